// Readers of the provider: every path goes through the root folder.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wmi/linux/provider.h"

namespace harvix::linuxwmi {

struct Disk;
struct Volume;

// What one run reads of the storage stack, read once: four classes share the
// disks and two the mount table.
struct StorageCache {
    std::optional<std::vector<Disk>> Disks;
    std::optional<std::vector<Volume>> Volumes;
};

class Root {
  public:
    explicit Root(std::string base, std::shared_ptr<StorageCache> cache = nullptr);
    // The path of an absolute machine path inside the root.
    std::string Path(const std::string& machinePath) const;
    bool Live() const { return base_.empty(); }

    std::optional<std::string> Read(const std::string& machinePath) const;
    // First line, surrounding white space removed.
    std::optional<std::string> Line(const std::string& machinePath) const;
    std::optional<long long> Number(const std::string& machinePath) const;
    bool Exists(const std::string& machinePath) const;
    std::vector<std::string> List(const std::string& machineDir) const;
    // Machine path of a link's target or of a path with links resolved, kept inside the root.
    std::optional<std::string> Resolve(const std::string& machinePath) const;

    StorageCache* Cache() const { return cache_.get(); }

  private:
    std::string base_;  // empty for the live machine
    std::shared_ptr<StorageCache> cache_;
};

// Names for association paths: the short host name.
std::string HostName(const Root& root);
// \\HOST\root\cimv2:Class.Key="value", backslashes and quotes in the value escaped.
std::string ObjectPath(const Root& root, const std::string& cls, const std::string& key,
                       const std::string& value);

std::vector<Instance> ProcessorInstances(const Root& root);
std::vector<Instance> ComputerSystemProductInstances(const Root& root);
std::vector<Instance> ComputerSystemInstances(const Root& root);
std::vector<Instance> OperatingSystemInstances(const Root& root);
std::vector<Instance> PhysicalMemoryArrayInstances(const Root& root);
std::vector<Instance> PhysicalMemoryInstances(const Root& root);

// Storage, gathered once per query.
struct Partition {
    std::string Name;  // block name, such as sda1
    int Number = 0;    // partition number in the table
    int Index = 0;     // 0-based position on its disk
    std::uint64_t Bytes = 0, Start = 0;
    std::optional<std::string> Type;  // WMI type text
};

struct Disk {
    std::string Name;  // block name, such as sda
    int Index = 0;
    std::uint64_t Bytes = 0;
    bool Removable = false, Usb = false;
    std::optional<std::string> Model, Serial;
    std::string Interface;
    std::string Table;  // "gpt", "dos" or empty
    std::vector<Partition> Partitions;
};

struct Volume {
    std::string Name;  // mount point
    std::string FileSystem;
    int DriveType = 3;
    std::optional<std::string> Label;
    std::optional<std::string> Size, Free;
    std::string Device;  // block name when the volume lies on a block device
};

std::vector<Disk> ReadDisks(const Root& root);
std::vector<Volume> ReadVolumes(const Root& root);
// Partitions or listed whole disks a block device finally lies on.
std::vector<std::string> UnderlyingDevices(const Root& root, const std::vector<Disk>& disks,
                                           const std::string& blockName);
std::string PartitionDeviceId(const Disk& d, int index);

std::vector<Instance> DiskDriveInstances(const Root& root);
std::vector<Instance> DiskPartitionInstances(const Root& root);
std::vector<Instance> DiskDriveToDiskPartitionInstances(const Root& root);
std::vector<Instance> LogicalDiskInstances(const Root& root);
std::vector<Instance> LogicalDiskToPartitionInstances(const Root& root);

// Label, filesystem and partition-table facts of a block device.
struct Probe {
    bool Probed = false;  // something answered; a missing label is then a real blank
    std::optional<std::string> Label, FsType, TableType;
    std::map<int, std::string> PartitionTypes;  // partition number -> GUID or "0xNN"
    std::map<int, std::string> PartitionSchemes;
};
Probe ProbeDevice(const Root& root, const std::string& blockName, bool partitions);

}  // namespace harvix::linuxwmi
