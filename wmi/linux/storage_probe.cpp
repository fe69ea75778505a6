// What a block device holds: libblkid on the device first, then udev's record
// of what it probed at boot, then the /dev/disk/by-label links.
#include <blkid/blkid.h>

#include <cstdio>
#include <memory>

#include "platform/encoding.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

struct ProbeDeleter {
    void operator()(blkid_struct_probe* p) const { blkid_free_probe(p); }
};
using ProbePtr = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

std::optional<std::string> ProbeValue(blkid_probe pr, const char* name) {
    const char* data = nullptr;
    if (blkid_probe_lookup_value(pr, name, &data, nullptr) != 0 || !data) return std::nullopt;
    return platform::ToValidUtf8(data);
}

// Label and filesystem type from the superblock.
void ProbeSuperblock(const std::string& dev, Probe& out) {
    ProbePtr pr{blkid_new_probe_from_filename(dev.c_str())};
    if (!pr) return;
    blkid_probe_enable_superblocks(pr.get(), 1);
    blkid_probe_set_superblocks_flags(pr.get(),
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID);
    blkid_probe_enable_partitions(pr.get(), 0);
    if (blkid_do_safeprobe(pr.get()) >= 0) {
        out.Probed = true;
        out.Label = ProbeValue(pr.get(), "LABEL");
        out.FsType = ProbeValue(pr.get(), "TYPE");
        out.Uuid = ProbeValue(pr.get(), "UUID");
    }
}

void AddPartitionEntry(blkid_partition part, Probe& out) {
    int number = blkid_partition_get_partno(part);
    blkid_parttable own = blkid_partition_get_table(part);
    std::string scheme = own && blkid_parttable_get_type(own) ? blkid_parttable_get_type(own) : "";
    out.PartitionSchemes[number] = scheme;
    if (const char* guid = blkid_partition_get_type_string(part); guid && scheme == "gpt") {
        out.PartitionTypes[number] = guid;
    } else {
        char code[8];
        std::snprintf(code, sizeof code, "0x%x", blkid_partition_get_type(part));
        out.PartitionTypes[number] = code;
    }
}

// The partition table's kind and each entry's type.
void ProbePartitionTable(const std::string& dev, Probe& out) {
    ProbePtr pr{blkid_new_probe_from_filename(dev.c_str())};
    if (!pr) return;
    blkid_probe_enable_superblocks(pr.get(), 0);
    blkid_probe_enable_partitions(pr.get(), 1);
    blkid_probe_set_partitions_flags(pr.get(), BLKID_PARTS_ENTRY_DETAILS);
    blkid_partlist list = blkid_probe_get_partitions(pr.get());
    if (!list) return;
    if (blkid_parttable table = blkid_partlist_get_table(list))
        if (const char* t = blkid_parttable_get_type(table)) out.TableType = t;
    int n = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < n; ++i) AddPartitionEntry(blkid_partlist_get_partition(list, i), out);
}

// udev's record of a block device: its E: properties.
std::map<std::string, std::string> UdevProperties(const Root& root, const BlockIndex& blocks,
                                                  const std::string& blockName) {
    std::map<std::string, std::string> props;
    auto dev = blocks.Devno.find(blockName);
    if (dev == blocks.Devno.end()) return props;
    for (const std::string& line :
         Split(root.Read("/run/udev/data/b" + dev->second).value_or(""), '\n')) {
        if (!StartsWith(line, "E:")) continue;
        std::size_t eq = line.find('=');
        if (eq != std::string::npos) props[line.substr(2, eq - 2)] = line.substr(eq + 1);
    }
    return props;
}

void ProbeFromUdev(const Root& root, const BlockIndex& blocks, const std::string& blockName,
                   Probe& out) {
    auto props = UdevProperties(root, blocks, blockName);
    if (!props.count("ID_FS_TYPE") && !props.count("ID_PART_TABLE_TYPE")) return;
    out.Probed = true;
    if (props.count("ID_FS_TYPE")) out.FsType = platform::ToValidUtf8(props["ID_FS_TYPE"]);
    if (props.count("ID_FS_LABEL_ENC"))
        out.Label = platform::ToValidUtf8(Unescape(props["ID_FS_LABEL_ENC"]));
    else if (props.count("ID_FS_LABEL"))
        out.Label = platform::ToValidUtf8(props["ID_FS_LABEL"]);
    if (props.count("ID_PART_TABLE_TYPE")) out.TableType = props["ID_PART_TABLE_TYPE"];
    if (props.count("ID_FS_UUID")) out.Uuid = platform::ToValidUtf8(props["ID_FS_UUID"]);
}

void ProbePartitionsFromUdev(const Root& root, const BlockIndex& blocks,
                             const PartitionList& partitions, Probe& out) {
    for (const auto& [name, number] : partitions) {
        auto p = UdevProperties(root, blocks, name);
        if (p.count("ID_PART_ENTRY_TYPE")) out.PartitionTypes[number] = p["ID_PART_ENTRY_TYPE"];
        if (p.count("ID_PART_ENTRY_SCHEME"))
            out.PartitionSchemes[number] = p["ID_PART_ENTRY_SCHEME"];
    }
}

// The name of the /dev/disk/by-label (or by-uuid) link to the device.
std::optional<std::string> NameFromLinks(const Root& root, const std::string& folder,
                                         const std::string& blockName) {
    for (const auto& link : root.List(folder)) {
        auto target = root.Resolve(folder + "/" + link);
        if (target && Basename(*target) == blockName) return platform::ToValidUtf8(Unescape(link));
    }
    return std::nullopt;
}

// Without udev nobody makes /dev/dm-N; device-mapper makes /dev/mapper/<name> itself.
std::string DeviceNode(const Root& root, const std::string& blockName) {
    const std::string dev = "/dev/" + blockName;
    if (StartsWith(blockName, "dm-") && !root.Exists(dev))
        if (auto name = root.Line("/sys/class/block/" + blockName + "/dm/name");
            name && !name->empty())
            return root.Path("/dev/mapper/" + *name);
    return root.Path(dev);
}

}  // namespace

Probe ProbeDevice(const Root& root, const BlockIndex& blocks, const std::string& blockName,
                  const PartitionList* partitions) {
    Probe out;
    const std::string dev = DeviceNode(root, blockName);
    ProbeSuperblock(dev, out);
    if (out.Probed && partitions) ProbePartitionTable(dev, out);
    if (out.Probed) return out;
    // No access to the device.
    ProbeFromUdev(root, blocks, blockName, out);
    if (partitions) ProbePartitionsFromUdev(root, blocks, *partitions, out);
    if (!out.Probed) out.Label = NameFromLinks(root, "/dev/disk/by-label", blockName);
    if (!out.Uuid) out.Uuid = NameFromLinks(root, "/dev/disk/by-uuid", blockName);
    return out;
}

}  // namespace harvix::linuxwmi
