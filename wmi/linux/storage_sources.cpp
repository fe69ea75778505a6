// Disks, partitions and volumes: /sys/block, libblkid (or udev's records),
// and the mount table through libmount.
#include <blkid/blkid.h>
#include <libmount/libmount.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "platform/encoding.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Basename(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

WmiValue OrNull(const std::optional<std::string>& s) {
    return s ? WmiValue(*s) : WmiValue();
}

// sda < sdb < sdz < sdaa, nvme0n2 < nvme0n10.
bool NaturalLess(const std::string& a, const std::string& b) {
    auto runs = [](const std::string& s) {
        std::vector<std::string> out;
        for (char c : s) {
            bool digit = std::isdigit(static_cast<unsigned char>(c));
            if (out.empty() ||
                (std::isdigit(static_cast<unsigned char>(out.back()[0])) != 0) != digit)
                out.emplace_back();
            out.back() += c;
        }
        return out;
    };
    auto ra = runs(a), rb = runs(b);
    for (std::size_t i = 0; i < ra.size() && i < rb.size(); ++i) {
        if (ra[i] == rb[i]) continue;
        if (ra[i].size() != rb[i].size()) return ra[i].size() < rb[i].size();
        return ra[i] < rb[i];
    }
    return ra.size() < rb.size();
}

// Decodes udev's \xNN and the mount table's \NNN escapes.
std::string Unescape(const std::string& s) {
    auto isOct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (s[i] == '\\' && i + 3 < s.size() && isOct(s[i + 1]) && isOct(s[i + 2]) &&
                   isOct(s[i + 3])) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// udev's record of a block device: its E: properties.
std::map<std::string, std::string> UdevProperties(const Root& root, const std::string& blockName) {
    std::map<std::string, std::string> props;
    auto dev = root.Line("/sys/class/block/" + blockName + "/dev");
    if (!dev) return props;
    std::istringstream in(root.Read("/run/udev/data/b" + *dev).value_or(""));
    std::string line;
    while (std::getline(in, line)) {
        if (!StartsWith(line, "E:")) continue;
        std::size_t eq = line.find('=');
        if (eq != std::string::npos) props[line.substr(2, eq - 2)] = line.substr(eq + 1);
    }
    return props;
}

std::string MbrTypeName(unsigned code) {
    switch (code) {
        case 0x00:
            return "Unused";
        case 0x01:
            return "12-bit FAT";
        case 0x02:
            return "Xenix Type 1";
        case 0x03:
            return "Xenix Type 2";
        case 0x04:
            return "16-bit FAT";
        case 0x05:
            return "Extended Partition";
        case 0x06:
            return "MS-DOS V4 Huge";
        case 0x07:
            return "Installable File System";
        case 0x0B:
        case 0x0C:
        case 0x0E:
            return "Win95 w/Extended Int 13";
        case 0x0F:
            return "Extended w/Extended Int 13";
        case 0x41:
            return "PowerPC Reference Platform";
        case 0x42:
            return "Logical Disk Manager";
        case 0x63:
            return "UNIX";
        default:
            return "Unknown";
    }
}

std::string GptTypeName(std::string guid) {
    for (char& c : guid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (guid == "c12a7328-f81f-11d2-ba4b-00a0c93ec93b") return "GPT: System";
    if (guid == "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7") return "GPT: Basic Data";
    if (guid == "5808c8aa-7e8f-42e0-85d2-e1e90434cfb3") return "GPT: Logical Disk Manager Metadata";
    if (guid == "af9b60a0-1431-4f62-bc68-3311714a69ad") return "GPT: Logical Disk Manager Data";
    return "GPT: Unknown";
}

struct ProbeDeleter {
    void operator()(blkid_struct_probe* p) const { blkid_free_probe(p); }
};
using ProbePtr = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

std::optional<std::string> ProbeValue(blkid_probe pr, const char* name) {
    const char* data = nullptr;
    if (blkid_probe_lookup_value(pr, name, &data, nullptr) != 0 || !data) return std::nullopt;
    return platform::ToValidUtf8(data);
}

// Partition block names of a disk, with their table numbers.
std::vector<std::pair<std::string, int>> PartitionEntries(const Root& root,
                                                          const std::string& disk) {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& e : root.List("/sys/block/" + disk))
        if (auto n = root.Number("/sys/block/" + disk + "/" + e + "/partition"))
            out.emplace_back(e, static_cast<int>(*n));
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    return out;
}

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

// Block name behind a mounted filesystem: its device number first, the source path second.
std::optional<std::string> MountedBlock(const Root& root, dev_t devno, const char* source) {
    if (major(devno) != 0) {
        auto path = root.Resolve("/sys/dev/block/" + std::to_string(major(devno)) + ":" +
                                 std::to_string(minor(devno)));
        if (path && root.Exists(*path + "/dev")) return Basename(*path);
    }
    if (source && StartsWith(source, "/dev/")) {
        if (auto path = root.Resolve(source)) {
            std::string name = Basename(*path);
            if (root.Exists("/sys/class/block/" + name + "/dev")) return name;
        }
    }
    return std::nullopt;
}

// The whole disk a block device belongs to (itself when it is one).
std::string ParentDisk(const Root& root, const std::string& block) {
    if (!root.Exists("/sys/class/block/" + block + "/partition")) return block;
    auto path = root.Resolve("/sys/class/block/" + block);
    if (!path) return block;
    return Basename(path->substr(0, path->rfind('/')));
}

bool IsRamFs(const std::string& type) {
    return type == "tmpfs" || type == "ramfs";
}

bool IsNetFs(struct libmnt_fs* fs, const std::string& type) {
    static const std::set<std::string> kExtra = {"davfs",      "fuse.rclone",  "fuse.s3fs",
                                                 "fuse.sshfs", "fuse.gcsfuse", "smb3",
                                                 "afs",        "ceph",         "glusterfs"};
    return mnt_fs_is_netfs(fs) || kExtra.count(type) != 0;
}

// Size and free space of a mount point: statvfs on the live machine, the
// tree's own record otherwise.
std::pair<std::optional<std::string>, std::optional<std::string>> SpaceOf(
    const Root& root, const std::string& target) {
    if (root.Live()) {
        struct statvfs st;
        if (::statvfs(target.c_str(), &st) != 0) return {};
        unsigned long long unit = st.f_frsize ? st.f_frsize : st.f_bsize;
        return {std::to_string(static_cast<unsigned long long>(st.f_blocks) * unit),
                std::to_string(static_cast<unsigned long long>(st.f_bavail) *
                               unit)};  // what users may use, as df
    }
    std::istringstream in(root.Read("/.harvix/statvfs").value_or(""));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string mount, size, free;
        if (words >> mount >> size >> free && Unescape(mount) == target) return {size, free};
    }
    return {};
}

}  // namespace

Probe ProbeDevice(const Root& root, const std::string& blockName, bool partitions) {
    Probe out;
    const std::string dev = root.Path("/dev/" + blockName);
    if (ProbePtr pr{blkid_new_probe_from_filename(dev.c_str())}) {
        blkid_probe_enable_superblocks(pr.get(), 1);
        blkid_probe_set_superblocks_flags(pr.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
        blkid_probe_enable_partitions(pr.get(), 0);
        if (blkid_do_safeprobe(pr.get()) >= 0) {
            out.Probed = true;
            out.Label = ProbeValue(pr.get(), "LABEL");
            out.FsType = ProbeValue(pr.get(), "TYPE");
        }
    }
    if (out.Probed && partitions) {
        if (ProbePtr pr{blkid_new_probe_from_filename(dev.c_str())}) {
            blkid_probe_enable_superblocks(pr.get(), 0);
            blkid_probe_enable_partitions(pr.get(), 1);
            blkid_probe_set_partitions_flags(pr.get(), BLKID_PARTS_ENTRY_DETAILS);
            if (blkid_partlist list = blkid_probe_get_partitions(pr.get())) {
                if (blkid_parttable table = blkid_partlist_get_table(list))
                    if (const char* t = blkid_parttable_get_type(table)) out.TableType = t;
                int n = blkid_partlist_numof_partitions(list);
                for (int i = 0; i < n; ++i) {
                    blkid_partition part = blkid_partlist_get_partition(list, i);
                    int number = blkid_partition_get_partno(part);
                    blkid_parttable own = blkid_partition_get_table(part);
                    std::string scheme =
                        own && blkid_parttable_get_type(own) ? blkid_parttable_get_type(own) : "";
                    out.PartitionSchemes[number] = scheme;
                    if (const char* guid = blkid_partition_get_type_string(part);
                        guid && scheme == "gpt") {
                        out.PartitionTypes[number] = guid;
                    } else {
                        char code[8];
                        std::snprintf(code, sizeof code, "0x%x", blkid_partition_get_type(part));
                        out.PartitionTypes[number] = code;
                    }
                }
            }
        }
    }
    if (out.Probed) return out;

    // No access to the device: udev's record of what it probed at boot.
    auto props = UdevProperties(root, blockName);
    if (props.count("ID_FS_TYPE") || props.count("ID_PART_TABLE_TYPE")) {
        out.Probed = true;
        if (props.count("ID_FS_TYPE")) out.FsType = props["ID_FS_TYPE"];
        if (props.count("ID_FS_LABEL_ENC"))
            out.Label = platform::ToValidUtf8(Unescape(props["ID_FS_LABEL_ENC"]));
        else if (props.count("ID_FS_LABEL"))
            out.Label = platform::ToValidUtf8(props["ID_FS_LABEL"]);
        if (props.count("ID_PART_TABLE_TYPE")) out.TableType = props["ID_PART_TABLE_TYPE"];
    }
    if (partitions) {
        for (const auto& [name, number] : PartitionEntries(root, blockName)) {
            auto p = UdevProperties(root, name);
            if (p.count("ID_PART_ENTRY_TYPE")) out.PartitionTypes[number] = p["ID_PART_ENTRY_TYPE"];
            if (p.count("ID_PART_ENTRY_SCHEME"))
                out.PartitionSchemes[number] = p["ID_PART_ENTRY_SCHEME"];
        }
    }
    if (!out.Probed) {
        // Last resort for a label: the by-label links.
        for (const auto& link : root.List("/dev/disk/by-label")) {
            auto target = root.Resolve("/dev/disk/by-label/" + link);
            if (target && Basename(*target) == blockName) {
                out.Label = platform::ToValidUtf8(Unescape(link));
                break;
            }
        }
    }
    return out;
}

std::vector<Disk> ReadDisks(const Root& root) {
    if (root.Cache() && root.Cache()->Disks) return *root.Cache()->Disks;
    std::vector<Disk> disks;
    for (const auto& name : root.List("/sys/block")) {
        const std::string sys = "/sys/block/" + name;
        bool virtualDevice = false;
        for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "nbd", "fd", "sr", "drbd"})
            virtualDevice = virtualDevice || StartsWith(name, prefix);
        if (virtualDevice || !root.Exists(sys + "/device")) continue;
        if (root.Number(sys + "/hidden").value_or(0) == 1) continue;  // NVMe multipath paths
        if (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos)
            continue;
        if (root.Line(sys + "/device/type").value_or("") == "5") continue;  // optical
        Disk d;
        d.Name = name;
        d.Bytes =
            static_cast<std::uint64_t>(std::max(0LL, root.Number(sys + "/size").value_or(0))) *
            512;  // sysfs counts 512-byte sectors
        // SD cards say "removable" 0 in sysfs; their card type tells.
        d.Removable = root.Number(sys + "/removable").value_or(0) == 1 ||
                      root.Line(sys + "/device/type").value_or("") == "SD";
        std::string devPath = root.Resolve(sys).value_or(sys);
        d.Usb = devPath.find("/usb") != std::string::npos;
        if (d.Usb)
            d.Interface = "USB";
        else if (devPath.find("/ata") != std::string::npos)
            d.Interface = "IDE";
        else if (devPath.find("/firewire") != std::string::npos)
            d.Interface = "1394";
        else
            d.Interface = "SCSI";  // WMI reports NVMe, SAS and virtio disks as SCSI
        d.Model = DiskModel(root, name);
        d.Serial = DiskSerial(root, name, devPath);
        Probe probe = ProbeDevice(root, name, true);
        d.Table = probe.TableType.value_or("");
        int index = 0;
        for (const auto& [part, number] : PartitionEntries(root, name)) {
            Partition p;
            p.Name = part;
            p.Number = number;
            p.Index = index++;
            p.Bytes = static_cast<std::uint64_t>(
                          std::max(0LL, root.Number(sys + "/" + part + "/size").value_or(0))) *
                      512;
            p.Start = static_cast<std::uint64_t>(
                          std::max(0LL, root.Number(sys + "/" + part + "/start").value_or(0))) *
                      512;
            auto type = probe.PartitionTypes.find(number);
            std::string scheme =
                probe.PartitionSchemes.count(number) ? probe.PartitionSchemes[number] : d.Table;
            if (type != probe.PartitionTypes.end()) {
                if (scheme == "gpt")
                    p.Type = GptTypeName(type->second);
                else
                    p.Type =
                        MbrTypeName(static_cast<unsigned>(std::stoul(type->second, nullptr, 16)));
            } else if (d.Table == "gpt") {
                p.Type = "GPT: Unknown";
            } else if (!d.Table.empty()) {
                p.Type = "Unknown";
            }
            d.Partitions.push_back(p);
        }
        disks.push_back(std::move(d));
    }
    // Built-in disks first, then what is plugged in; by name within each.
    std::sort(disks.begin(), disks.end(), [](const Disk& a, const Disk& b) {
        bool ea = a.Usb || a.Removable, eb = b.Usb || b.Removable;
        return ea != eb ? eb : NaturalLess(a.Name, b.Name);
    });
    for (std::size_t i = 0; i < disks.size(); ++i) disks[i].Index = static_cast<int>(i);
    if (root.Cache()) root.Cache()->Disks = disks;
    return disks;
}

std::string PartitionDeviceId(const Disk& d, int index) {
    return "Disk #" + std::to_string(d.Index) + ", Partition #" + std::to_string(index);
}

std::vector<std::string> UnderlyingDevices(const Root& root, const std::vector<Disk>& disks,
                                           const std::string& blockName) {
    std::vector<std::string> out;
    std::function<void(const std::string&, int)> walk = [&](const std::string& b, int depth) {
        for (const auto& d : disks) {
            bool leaf = d.Name == b;
            for (const auto& p : d.Partitions) leaf = leaf || p.Name == b;
            if (leaf) {
                if (std::find(out.begin(), out.end(), b) == out.end()) out.push_back(b);
                return;
            }
        }
        if (depth > 16) return;
        // Device-mapper and md devices name what they are built on.
        for (const auto& s : root.List("/sys/class/block/" + b + "/slaves")) walk(s, depth + 1);
    };
    walk(blockName, 0);
    return out;
}

std::vector<Volume> ReadVolumes(const Root& root) {
    if (root.Cache() && root.Cache()->Volumes) return *root.Cache()->Volumes;
    std::unique_ptr<libmnt_table, void (*)(libmnt_table*)> table(mnt_new_table(), mnt_unref_table);
    if (!table) return {};
    if (mnt_table_parse_file(table.get(), root.Path("/proc/self/mountinfo").c_str()) != 0 &&
        mnt_table_parse_file(table.get(), root.Path("/proc/mounts").c_str()) != 0)
        return {};
    std::map<std::string, Volume> byKey;
    std::unique_ptr<libmnt_iter, void (*)(libmnt_iter*)> iter(mnt_new_iter(MNT_ITER_FORWARD),
                                                              mnt_free_iter);
    libmnt_fs* fs = nullptr;
    // A mount hides what was mounted earlier on the same point: only the last one is seen.
    std::map<std::string, libmnt_fs*> visible;
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0)
        if (const char* target = mnt_fs_get_target(fs)) visible[target] = fs;
    mnt_reset_iter(iter.get(), MNT_ITER_FORWARD);
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        const char* target = mnt_fs_get_target(fs);
        const char* typeText = mnt_fs_get_fstype(fs);
        if (!target || !typeText || visible[target] != fs) continue;
        std::string type = typeText;
        const char* source = mnt_fs_get_source(fs);
        dev_t devno = mnt_fs_get_devno(fs);
        Volume v;
        v.Name = platform::ToValidUtf8(target);
        v.FileSystem = platform::ToValidUtf8(type);
        std::string key;
        if (IsRamFs(type)) {
            v.DriveType = 6;
            key = "ram:" + std::to_string(major(devno)) + ":" + std::to_string(minor(devno));
        } else if (IsNetFs(fs, type)) {
            v.DriveType = 4;
            key = "net:" + type + ":" + (source ? source : "");
        } else if (auto block = MountedBlock(root, devno, source)) {
            v.Device = *block;
            std::string disk = ParentDisk(root, *block);
            if (StartsWith(disk, "sr") ||
                root.Line("/sys/class/block/" + disk + "/device/type").value_or("") == "5")
                v.DriveType = 5;
            else
                v.DriveType =
                    root.Number("/sys/class/block/" + disk + "/removable").value_or(0) == 1 ? 2 : 3;
            key = "blk:" + *block;
        } else if (type == "zfs" && !mnt_fs_is_pseudofs(fs)) {
            key = "src:" + std::string(source ? source : "");
        } else {
            continue;  // proc, sysfs, cgroup, overlay and other views of no device
        }
        auto it = byKey.find(key);
        // One volume per filesystem: the shortest mount point names it.
        if (it != byKey.end() &&
            (it->second.Name.size() < v.Name.size() ||
             (it->second.Name.size() == v.Name.size() && it->second.Name <= v.Name)))
            continue;
        byKey[key] = v;
    }
    std::vector<Volume> out;
    for (auto& [key, v] : byKey) {
        if (v.DriveType != 4)
            std::tie(v.Size, v.Free) = SpaceOf(root, v.Name);  // a dead server would hang statvfs
        if (!v.Device.empty()) {
            Probe probe = ProbeDevice(root, v.Device, false);
            v.Label = probe.Probed ? probe.Label.value_or("") : probe.Label;
            // ntfs-3g and other FUSE block filesystems mount as "fuseblk".
            if (v.FileSystem == "fuseblk" && probe.FsType) v.FileSystem = *probe.FsType;
        }
        out.push_back(std::move(v));
    }
    std::sort(out.begin(), out.end(),
              [](const Volume& a, const Volume& b) { return a.Name < b.Name; });
    if (root.Cache()) root.Cache()->Volumes = out;
    return out;
}

// ---- classes ----

std::vector<Instance> DiskDriveInstances(const Root& root) {
    std::vector<Instance> out;
    for (const auto& d : ReadDisks(root)) {
        Instance inst;
        inst.Set("DeviceID", "\\\\.\\PHYSICALDRIVE" + std::to_string(d.Index));
        inst.Set("Index", d.Index);
        inst.Set("Model", OrNull(d.Model));
        inst.Set("Caption", OrNull(d.Model));
        inst.Set("Size", std::to_string(d.Bytes));
        inst.Set("InterfaceType", d.Interface);
        inst.Set("SerialNumber", OrNull(d.Serial));
        inst.Set("MediaType", d.Removable ? "Removable Media"
                              : d.Usb     ? "External hard disk media"
                                          : "Fixed hard disk media");
        inst.Set("Partitions", static_cast<std::int32_t>(d.Partitions.size()));
        inst.Set("Name", "\\\\.\\PHYSICALDRIVE" + std::to_string(d.Index));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> DiskPartitionInstances(const Root& root) {
    std::vector<Instance> out;
    for (const auto& d : ReadDisks(root)) {
        for (const auto& p : d.Partitions) {
            Instance inst;
            inst.Set("DeviceID", PartitionDeviceId(d, p.Index));
            inst.Set("Name", PartitionDeviceId(d, p.Index));
            inst.Set("DiskIndex", d.Index);
            inst.Set("Index", p.Index);
            inst.Set("Type", OrNull(p.Type));
            inst.Set("Size", std::to_string(p.Bytes));
            inst.Set("StartingOffset", std::to_string(p.Start));
            out.push_back(std::move(inst));
        }
    }
    return out;
}

std::vector<Instance> DiskDriveToDiskPartitionInstances(const Root& root) {
    std::vector<Instance> out;
    for (const auto& d : ReadDisks(root)) {
        std::string drive = ObjectPath(root, "Win32_DiskDrive", "DeviceID",
                                       "\\\\.\\PHYSICALDRIVE" + std::to_string(d.Index));
        auto link = [&](int index) {
            Instance inst;
            inst.Set("Antecedent", drive);
            inst.Set("Dependent", ObjectPath(root, "Win32_DiskPartition", "DeviceID",
                                             PartitionDeviceId(d, index)));
            out.push_back(std::move(inst));
        };
        for (const auto& p : d.Partitions) link(p.Index);
        // A filesystem written on the whole disk lies on the disk itself.
        if (d.Partitions.empty()) link(0);
    }
    return out;
}

std::vector<Instance> LogicalDiskInstances(const Root& root) {
    std::vector<Instance> out;
    for (const auto& v : ReadVolumes(root)) {
        Instance inst;
        inst.Set("DeviceID", v.Name);
        inst.Set("Name", v.Name);
        inst.Set("DriveType", v.DriveType);
        inst.Set("FileSystem", v.FileSystem);
        inst.Set("FreeSpace", OrNull(v.Free));
        inst.Set("Size", OrNull(v.Size));
        inst.Set("VolumeName", OrNull(v.Label));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> LogicalDiskToPartitionInstances(const Root& root) {
    std::vector<Disk> disks = ReadDisks(root);
    std::vector<Instance> out;
    for (const auto& v : ReadVolumes(root)) {
        if (v.Device.empty()) continue;
        for (const auto& leaf : UnderlyingDevices(root, disks, v.Device)) {
            std::string partitionId;
            for (const auto& d : disks) {
                if (d.Name == leaf) partitionId = PartitionDeviceId(d, 0);
                for (const auto& p : d.Partitions)
                    if (p.Name == leaf) partitionId = PartitionDeviceId(d, p.Index);
            }
            Instance inst;
            inst.Set("Antecedent",
                     ObjectPath(root, "Win32_DiskPartition", "DeviceID", partitionId));
            inst.Set("Dependent", ObjectPath(root, "Win32_LogicalDisk", "DeviceID", v.Name));
            out.push_back(std::move(inst));
        }
    }
    return out;
}

}  // namespace harvix::linuxwmi
