// The storage stack as the provider reads it: block devices, what probing
// says of them, the mounted volumes, and the five classes built from them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

struct Partition {
    std::string Name;                           // block name, such as sda1
    int Number = 0;                             // partition number in the table
    int Index = 0;                              // 0-based position on its disk
    std::optional<std::uint64_t> Bytes, Start;  // null when sysfs says nothing readable
    std::optional<std::string> Type;            // WMI type text
    bool TableKnown = false;                    // the kind of table it is in could be read
};

struct Disk {
    std::string Name;  // block name, such as sda
    int Index = 0;
    std::optional<std::uint64_t> Bytes;
    bool Removable = false, Usb = false;
    bool Virtual = false;  // a loop device backed by a file: an attached virtual disk
    std::optional<std::string> Model, Serial, Firmware;
    std::optional<bool> Rotational;  // queue/rotational: a spinning disk
    std::string Interface;
    std::string Table;  // "gpt", "dos" or empty
    std::vector<Partition> Partitions;
};

struct Volume {
    std::string Name;    // mount point, as valid UTF-8
    std::string Target;  // mount point as the kernel has it: what statvfs must be given
    std::string FileSystem;
    int DriveType = 3;
    std::optional<std::string> Label;
    std::optional<std::string> Serial;  // the filesystem's UUID
    std::optional<std::string> Size, Free;
    std::string Device;  // block name when the volume lies on a block device
};

// Label, filesystem and partition-table facts of a block device.
struct Probe {
    bool Probed = false;  // something answered; a missing label is then a real blank
    std::optional<std::string> Label, FsType, TableType, Uuid;
    std::map<int, std::string> PartitionTypes;  // partition number -> GUID or "0xNN"
    std::map<int, std::string> PartitionSchemes;
};

using PartitionList = std::vector<std::pair<std::string, int>>;  // block name, table number
// Every block device by its device number, and the whole device each lies on
// (itself when it is one), read once from /sys/block.
struct BlockIndex {
    std::map<std::string, std::string> ByDevno;       // "8:1" -> sda1
    std::map<std::string, std::string> Devno;         // sda1 -> "8:1"
    std::map<std::string, std::string> Parent;        // sda1 -> sda, sda -> sda
    std::map<std::string, PartitionList> Partitions;  // sda -> its partitions, by /sys/block
};
// What one run reads of the storage stack, read once: four classes share the
// disks and two the mount table.
class StorageSnapshot {
  public:
    const std::vector<Disk>& Disks(const Root& root);
    const std::vector<Volume>& Volumes(const Root& root);

  private:
    const BlockIndex& Blocks(const Root& root);

    std::optional<BlockIndex> blocks_;
    std::optional<std::vector<Disk>> disks_;
    std::optional<std::vector<Volume>> volumes_;
};

// Block devices (storage_blocks.cpp).
std::vector<Disk> ReadDisks(const Root& root, const BlockIndex& blocks);
BlockIndex ReadBlockIndex(const Root& root);
// Partition block names of a disk, with their table numbers, in table order.
std::vector<std::pair<std::string, int>> PartitionEntries(const Root& root,
                                                          const std::string& disk);
// Partitions or listed whole disks (the leaves) a block device finally lies on.
std::vector<std::string> UnderlyingDevices(const Root& root,
                                           const std::map<std::string, std::string>& leaves,
                                           const std::string& blockName);

// Probing (storage_probe.cpp).
// A disk's probe also reads its partition table: pass its partitions (for udev's
// records of them); nullptr probes a filesystem alone.
Probe ProbeDevice(const Root& root, const BlockIndex& blocks, const std::string& blockName,
                  const PartitionList* partitions = nullptr);

// Mounts (storage_mounts.cpp).
std::vector<Volume> ReadVolumes(const Root& root, const BlockIndex& blocks);
// Sizes (storage_space.cpp): statvfs on the live machine, each bounded in time,
// so that a stopped FUSE daemon or a dead server leaves that volume's sizes null.
void ReadSpaces(const Root& root, std::vector<Volume>& volumes);

// The classes (storage_classes.cpp).
std::string PartitionDeviceId(const Disk& d, int index);
std::vector<Instance> DiskDriveInstances(const Root& root, StorageSnapshot& storage);
std::vector<Instance> DiskPartitionInstances(const Root& root, StorageSnapshot& storage);
std::vector<Instance> DiskDriveToDiskPartitionInstances(const Root& root, StorageSnapshot& storage);
std::vector<Instance> LogicalDiskInstances(const Root& root, StorageSnapshot& storage);
std::vector<Instance> LogicalDiskToPartitionInstances(const Root& root, StorageSnapshot& storage);
std::vector<Instance> PhysicalDiskInstances(const Root& root, StorageSnapshot& storage);
std::vector<Instance> VolumeEncryptionInstances(const Root& root, StorageSnapshot& storage);

// Read-only image filesystems (squashfs, iso9660, udf, erofs): what Windows
// shows as a mounted disc image.
bool IsImageFs(const std::string& type);

// Small text helpers shared by the storage files (storage_text.cpp).
bool StartsWith(const std::string& s, const char* prefix);
std::string Basename(const std::string& path);
// Decodes udev's \xNN and the mount table's \NNN escapes.
std::string Unescape(const std::string& s);
// sda < sdb < sdz < sdaa, nvme0n2 < nvme0n10.
bool NaturalLess(const std::string& a, const std::string& b);
std::string MbrTypeName(unsigned code);
// A type byte such as "0x83" or "83"; nullopt for anything else.
std::optional<unsigned> TypeByte(const std::string& text);
std::string GptTypeName(std::string guid);

}  // namespace harvix::linuxwmi
