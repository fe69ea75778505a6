// Block devices: which are disks, their partitions, model, serial number and
// what device-mapper and md devices are built on.
#include <algorithm>
#include <functional>

#include "platform/encoding.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

std::optional<std::string> ScsiSerial(const Root& root, const std::string& disk) {
    auto page = root.Read("/sys/block/" + disk + "/device/vpd_pg80");
    if (!page || page->size() < 4) return std::nullopt;
    std::size_t len =
        (static_cast<unsigned char>((*page)[2]) << 8) | static_cast<unsigned char>((*page)[3]);
    std::string serial = page->substr(4, std::min(len, page->size() - 4));
    serial.erase(std::remove(serial.begin(), serial.end(), '\0'), serial.end());
    return platform::ToValidUtf8(Trim(serial));
}

std::optional<std::string> DiskSerial(const Root& root, const std::string& disk,
                                      const std::string& devPath) {
    for (const char* file : {"/device/serial", "/serial"})
        if (auto s = root.Line("/sys/block/" + disk + file); s && !s->empty()) return s;
    if (auto s = ScsiSerial(root, disk); s && !s->empty()) return s;
    // USB sticks: the serial of the USB device above the disk.
    for (std::string p = devPath; p.size() > 1; p = p.substr(0, p.rfind('/'))) {
        if (root.Exists(p + "/idVendor")) {
            auto s = root.Line(p + "/serial");
            if (s && !s->empty()) return s;
            break;
        }
    }
    return std::nullopt;
}

std::optional<std::string> DiskModel(const Root& root, const std::string& disk) {
    const std::string dev = "/sys/block/" + disk + "/device/";
    std::string model = root.Line(dev + "model").value_or(root.Line(dev + "name").value_or(""));
    std::string vendor = root.Line(dev + "vendor").value_or("");
    // PCI ids (virtio) and the "ATA" placeholder of SATA disks name nobody.
    if (vendor == "ATA" || StartsWith(vendor, "0x")) vendor.clear();
    std::string full =
        Trim(vendor.empty() || StartsWith(model, vendor.c_str()) ? model : vendor + " " + model);
    if (full.empty()) return std::nullopt;
    return full;
}

// NVMe controllers and ATA disks name it firmware_rev; SCSI's INQUIRY revision is rev.
std::optional<std::string> DiskFirmware(const Root& root, const std::string& disk) {
    for (const char* file : {"/device/firmware_rev", "/device/rev"})
        if (auto s = root.Line("/sys/block/" + disk + file); s && !s->empty()) return s;
    return std::nullopt;
}

// The file behind a loop device; nullopt for an unbound one.
std::optional<std::string> BackingFile(const Root& root, const std::string& name) {
    if (!StartsWith(name, "loop")) return std::nullopt;
    auto file = root.Line("/sys/block/" + name + "/loop/backing_file");
    if (!file || file->empty()) return std::nullopt;
    return file;
}

bool IsDisk(const Root& root, const std::string& name) {
    const std::string sys = "/sys/block/" + name;
    if (StartsWith(name, "loop")) return BackingFile(root, name).has_value();
    for (const char* prefix : {"ram", "zram", "dm-", "md", "nbd", "fd", "sr", "drbd"})
        if (StartsWith(name, prefix)) return false;
    if (!root.Exists(sys + "/device")) return false;
    if (root.Number(sys + "/hidden").value_or(0) == 1) return false;  // NVMe multipath paths
    if (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos)
        return false;
    return root.Line(sys + "/device/type").value_or("") != "5";  // optical
}

// sysfs counts 512-byte sectors.
std::optional<std::uint64_t> Sectors(const Root& root, const std::string& file) {
    auto n = ParseUnsigned(root.Line(file).value_or(""));
    if (!n || *n > UINT64_MAX / 512) return std::nullopt;
    return *n * 512;
}

std::string InterfaceOf(const std::string& devPath) {
    if (devPath.find("/usb") != std::string::npos) return "USB";
    if (devPath.find("/ata") != std::string::npos) return "IDE";
    if (devPath.find("/firewire") != std::string::npos) return "1394";
    return "SCSI";  // WMI reports NVMe, SAS and virtio disks as SCSI
}

std::optional<std::string> PartitionType(const Disk& d, Probe& probe, int number) {
    auto type = probe.PartitionTypes.find(number);
    std::string scheme =
        probe.PartitionSchemes.count(number) ? probe.PartitionSchemes[number] : d.Table;
    if (type != probe.PartitionTypes.end()) {
        if (scheme == "gpt") return GptTypeName(type->second);
        if (auto code = TypeByte(type->second)) return MbrTypeName(*code);
        return std::nullopt;  // an Atari "LNX" or an empty record: unreadable
    }
    if (d.Table == "gpt") return "GPT: Unknown";
    if (!d.Table.empty()) return "Unknown";
    return std::nullopt;
}

void ReadPartitions(const Root& root, const PartitionList& entries, Disk& d, Probe& probe) {
    const std::string sys = "/sys/block/" + d.Name;
    int index = 0;
    for (const auto& [part, number] : entries) {
        Partition p;
        p.Name = part;
        p.Number = number;
        p.Index = index++;
        p.Bytes = Sectors(root, sys + "/" + part + "/size");
        p.Start = Sectors(root, sys + "/" + part + "/start");
        p.Type = PartitionType(d, probe, number);
        p.TableKnown = !d.Table.empty() || !probe.PartitionSchemes[number].empty();
        d.Partitions.push_back(p);
    }
}

// A disc image on a loop device is no disk. Where the device cannot be probed,
// a read-only loop device is taken for one, as every snap package is.
bool IsDiscImage(const Root& root, const std::string& name, const Probe& probe) {
    if (probe.Probed) return IsImageFs(probe.FsType.value_or(""));
    return root.Line("/sys/block/" + name + "/ro").value_or("") == "1";
}

void DescribeVirtualDisk(const std::string& backingFile, Disk& d) {
    d.Virtual = true;
    d.Model = "Virtual Disk (" + platform::ToValidUtf8(Basename(backingFile)) + ")";
    d.Serial.reset();
    d.Firmware.reset();
}

std::optional<Disk> ReadDisk(const Root& root, const BlockIndex& blocks, const std::string& name) {
    const std::string sys = "/sys/block/" + name;
    Disk d;
    d.Name = name;
    d.Bytes = Sectors(root, sys + "/size");
    // SD cards say "removable" 0 in sysfs; their card type tells.
    d.Removable = root.Number(sys + "/removable").value_or(0) == 1 ||
                  root.Line(sys + "/device/type").value_or("") == "SD";
    std::string devPath = root.Resolve(sys).value_or(sys);
    d.Usb = devPath.find("/usb") != std::string::npos;
    d.Interface = InterfaceOf(devPath);
    d.Model = DiskModel(root, name);
    d.Serial = DiskSerial(root, name, devPath);
    d.Firmware = DiskFirmware(root, name);
    if (auto r = root.Number(sys + "/queue/rotational"); r == 0 || r == 1) d.Rotational = *r == 1;
    const PartitionList& entries = blocks.Partitions.at(name);
    Probe probe = ProbeDevice(root, blocks, name, &entries);
    if (auto file = BackingFile(root, name)) {
        if (IsDiscImage(root, name, probe)) return std::nullopt;
        DescribeVirtualDisk(*file, d);
    }
    d.Table = probe.TableType.value_or("");
    ReadPartitions(root, entries, d, probe);
    return d;
}

}  // namespace

std::vector<std::pair<std::string, int>> PartitionEntries(const Root& root,
                                                          const std::string& disk) {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& e : root.List("/sys/block/" + disk)) {
        // The kernel names a partition after its disk (sda1, nvme0n1p1); the
        // other entries are attributes, not worth a read each.
        if (!StartsWith(e, disk.c_str())) continue;
        auto n =
            ParseUnsigned(root.Line("/sys/block/" + disk + "/" + e + "/partition").value_or(""));
        if (n && *n <= INT32_MAX) out.emplace_back(e, static_cast<int>(*n));
    }
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    return out;
}

std::vector<Disk> ReadDisks(const Root& root, const BlockIndex& blocks) {
    std::vector<Disk> disks;
    for (const auto& [name, partitions] : blocks.Partitions)
        if (IsDisk(root, name))
            if (auto d = ReadDisk(root, blocks, name)) disks.push_back(std::move(*d));
    // Built-in disks first, then virtual ones, then what is plugged in; by name within each.
    auto rank = [](const Disk& d) { return d.Usb || d.Removable ? 2 : d.Virtual ? 1 : 0; };
    std::sort(disks.begin(), disks.end(), [&](const Disk& a, const Disk& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : NaturalLess(a.Name, b.Name);
    });
    for (std::size_t i = 0; i < disks.size(); ++i) disks[i].Index = static_cast<int>(i);
    return disks;
}

BlockIndex ReadBlockIndex(const Root& root) {
    BlockIndex index;
    auto add = [&](const std::string& sys, const std::string& name, const std::string& parent) {
        if (auto dev = root.Line(sys + "/dev"); dev && !dev->empty()) {
            index.ByDevno[*dev] = name;
            index.Devno[name] = *dev;
        }
        index.Parent[name] = parent;
    };
    for (const auto& disk : root.List("/sys/block")) {
        add("/sys/block/" + disk, disk, disk);
        PartitionList& parts = index.Partitions[disk] = PartitionEntries(root, disk);
        for (const auto& [part, number] : parts) add("/sys/block/" + disk + "/" + part, part, disk);
    }
    return index;
}

std::vector<std::string> UnderlyingDevices(const Root& root,
                                           const std::map<std::string, std::string>& leaves,
                                           const std::string& blockName) {
    std::vector<std::string> out;
    std::function<void(const std::string&, int)> walk = [&](const std::string& b, int depth) {
        if (leaves.count(b)) {
            if (std::find(out.begin(), out.end(), b) == out.end()) out.push_back(b);
            return;
        }
        if (depth > 16) return;
        // Device-mapper and md devices name what they are built on.
        for (const auto& s : root.List("/sys/class/block/" + b + "/slaves")) walk(s, depth + 1);
    };
    walk(blockName, 0);
    return out;
}

}  // namespace harvix::linuxwmi
