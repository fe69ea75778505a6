// The five storage classes, built from one snapshot of the storage stack.
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

std::string DriveId(const Disk& d) {
    return "\\\\.\\PHYSICALDRIVE" + std::to_string(d.Index);
}

// The partition identifier of each leaf block device: a partition, or a whole disk.
std::map<std::string, std::string> LeafPartitionIds(const std::vector<Disk>& disks) {
    std::map<std::string, std::string> ids;
    for (const auto& d : disks) {
        ids[d.Name] = PartitionDeviceId(d, 0);
        for (const auto& p : d.Partitions) ids[p.Name] = PartitionDeviceId(d, p.Index);
    }
    return ids;
}

// A device-mapper device opened by cryptsetup from a LUKS header names it in its
// uuid; LVM volumes and md arrays lie on it through their slaves.
bool OnLuks(const Root& root, const std::string& block, int depth = 0) {
    const std::string sys = "/sys/class/block/" + block;
    if (StartsWith(root.Line(sys + "/dm/uuid").value_or(""), "CRYPT-LUKS")) return true;
    if (depth > 16) return false;
    for (const auto& s : root.List(sys + "/slaves"))
        if (OnLuks(root, s, depth + 1)) return true;
    return false;
}

}  // namespace

const BlockIndex& StorageSnapshot::Blocks(const Root& root) {
    if (!blocks_) blocks_ = ReadBlockIndex(root);
    return *blocks_;
}

const std::vector<Disk>& StorageSnapshot::Disks(const Root& root) {
    if (!disks_) disks_ = ReadDisks(root, Blocks(root));
    return *disks_;
}

const std::vector<Volume>& StorageSnapshot::Volumes(const Root& root) {
    if (!volumes_) volumes_ = ReadVolumes(root, Blocks(root));
    return *volumes_;
}

std::string PartitionDeviceId(const Disk& d, int index) {
    return "Disk #" + std::to_string(d.Index) + ", Partition #" + std::to_string(index);
}

std::vector<Instance> DiskDriveInstances(const Root& root, StorageSnapshot& storage) {
    std::vector<Instance> out;
    for (const auto& d : storage.Disks(root)) {
        Instance inst;
        inst.Set("DeviceID", DriveId(d));
        inst.Set("Index", d.Index);
        inst.Set("Model", OrNull(d.Model));
        inst.Set("Caption", OrNull(d.Model));
        inst.Set("Size", OrNull(d.Bytes));
        inst.Set("InterfaceType", d.Interface);
        inst.Set("SerialNumber", OrNull(d.Serial));
        inst.Set("FirmwareRevision", OrNull(d.Firmware));
        inst.Set("MediaType", d.Removable ? "Removable Media"
                              : d.Usb     ? "External hard disk media"
                                          : "Fixed hard disk media");
        inst.Set("Partitions", static_cast<std::int32_t>(d.Partitions.size()));
        inst.Set("Name", DriveId(d));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> DiskPartitionInstances(const Root& root, StorageSnapshot& storage) {
    std::vector<Instance> out;
    for (const auto& d : storage.Disks(root)) {
        for (const auto& p : d.Partitions) {
            Instance inst;
            inst.Set("DeviceID", PartitionDeviceId(d, p.Index));
            inst.Set("Name", PartitionDeviceId(d, p.Index));
            // The disk's style follows from its partitions' types: where the kind of table
            // is unknown, the partition names no disk rather than make it read "MBR".
            inst.Set("DiskIndex", p.TableKnown ? WmiValue(d.Index) : WmiValue());
            inst.Set("Index", p.Index);
            inst.Set("Type", OrNull(p.Type));
            inst.Set("Size", OrNull(p.Bytes));
            inst.Set("StartingOffset", OrNull(p.Start));
            out.push_back(std::move(inst));
        }
    }
    return out;
}

std::vector<Instance> DiskDriveToDiskPartitionInstances(const Root& root,
                                                        StorageSnapshot& storage) {
    const std::string host = HostName(root);
    std::vector<Instance> out;
    for (const auto& d : storage.Disks(root)) {
        std::string drive = ObjectPath(host, "Win32_DiskDrive", "DeviceID", DriveId(d));
        auto link = [&](int index) {
            Instance inst;
            inst.Set("Antecedent", drive);
            inst.Set("Dependent", ObjectPath(host, "Win32_DiskPartition", "DeviceID",
                                             PartitionDeviceId(d, index)));
            out.push_back(std::move(inst));
        };
        for (const auto& p : d.Partitions) link(p.Index);
        // A filesystem written on the whole disk lies on the disk itself.
        if (d.Partitions.empty()) link(0);
    }
    return out;
}

std::vector<Instance> LogicalDiskInstances(const Root& root, StorageSnapshot& storage) {
    std::vector<Instance> out;
    for (const auto& v : storage.Volumes(root)) {
        Instance inst;
        inst.Set("DeviceID", v.Name);
        inst.Set("Name", v.Name);
        inst.Set("DriveType", v.DriveType);
        inst.Set("FileSystem", v.FileSystem);
        inst.Set("FreeSpace", OrNull(v.Free));
        inst.Set("Size", OrNull(v.Size));
        inst.Set("VolumeName", OrNull(v.Label));
        inst.Set("VolumeSerialNumber", OrNull(v.Serial));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> LogicalDiskToPartitionInstances(const Root& root, StorageSnapshot& storage) {
    const auto leaves = LeafPartitionIds(storage.Disks(root));
    const std::string host = HostName(root);
    std::vector<Instance> out;
    for (const auto& v : storage.Volumes(root)) {
        if (v.Device.empty()) continue;
        for (const auto& leaf : UnderlyingDevices(root, leaves, v.Device)) {
            Instance inst;
            inst.Set("Antecedent",
                     ObjectPath(host, "Win32_DiskPartition", "DeviceID", leaves.at(leaf)));
            inst.Set("Dependent", ObjectPath(host, "Win32_LogicalDisk", "DeviceID", v.Name));
            out.push_back(std::move(inst));
        }
    }
    return out;
}

std::vector<Instance> PhysicalDiskInstances(const Root& root, StorageSnapshot& storage) {
    std::vector<Instance> out;
    for (const auto& d : storage.Disks(root)) {
        Instance inst;
        inst.Set("Index", d.Index);
        inst.Set("Name", d.Name);  // a kernel name: ASCII
        inst.Set("Rotational", d.Rotational ? WmiValue(*d.Rotational ? -1 : 0) : WmiValue());
        out.push_back(std::move(inst));
    }
    return out;
}

// Only what is known to be encrypted: a volume on a LUKS mapping.
std::vector<Instance> VolumeEncryptionInstances(const Root& root, StorageSnapshot& storage) {
    std::vector<Instance> out;
    for (const auto& v : storage.Volumes(root)) {
        if (v.Device.empty() || !OnLuks(root, v.Device)) continue;
        Instance inst;
        inst.Set("Name", v.Name);
        inst.Set("Type", "LUKS");
        inst.Set("Status", "Yes");
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
