// modGetInfos: inventory records, value helpers and the collectors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace harvix {

// Growable list whose index 0 is an empty placeholder: real items sit at 1..UBound().
template <class T>
struct ItemList {
    std::vector<T> Items{T{}};

    int UBound() const { return static_cast<int>(Items.size()) - 1; }
    T& Grow() { return Items.emplace_back(); }
    T& operator[](int i) { return Items.at(static_cast<std::size_t>(i)); }
    const T& operator[](int i) const { return Items.at(static_cast<std::size_t>(i)); }
    bool operator==(const ItemList&) const = default;
};

struct GeneralInfos {
    std::string OperatingSystem, ComputerName, Domain, UserName, Model, SerialNumber;
    bool operator==(const GeneralInfos&) const = default;
};

struct CpuInfos {
    std::string Name, PhysicalCores, LogicalCores;
    bool operator==(const CpuInfos&) const = default;
};

struct MemoryModule {
    std::string Manufacturer, Speed, Capacity, PartNumber, SerialNumber, BankLabel;
    std::int16_t FormFactor = 0;
    bool operator==(const MemoryModule&) const = default;
};

struct MemoryInfos {
    std::string Installed, MaxSupported;
    std::int16_t SlotCount = 0;
    std::int16_t UsedSlots = 0;
    ItemList<MemoryModule> Modules;
};

struct DiskInfos {
    std::string Model, SerialNumber, Size, InterfaceType, DiskId;
    std::int16_t Partitions = 0;
    std::string MediaType, PartitionStyle;
    bool operator==(const DiskInfos&) const = default;
};

struct DiskList {
    std::int16_t Count = 0;
    ItemList<DiskInfos> Disks;
};

struct VolumeInfos {
    std::string Name, VolumeName;
    std::int16_t DriveType = 0;
    std::string FreeSpace, Size, UsedSpace, FileSystem, PartitionId, DiskId;
    bool operator==(const VolumeInfos&) const = default;
};

struct VolumeList {
    std::int16_t Count = 0;
    ItemList<VolumeInfos> Volumes;
};

// Working records of the disk and volume collectors.
struct PartitionInfos {
    std::string Type, DiskId;
};
struct AssociationLink {
    std::string DependentKey, AntecedentKey;
};

// ---- value helpers ----
std::string GetComputerName();
std::string GetUserName();
std::string FormFactorName(int code);
std::string FormatSize(const std::string& bytes);
// The key value of a WMI object path: from the first double quote to the next
// one that is not escaped, with \\ and \" read back as \ and ". Empty when
// the path holds no such pair.
std::string QuotedKey(const std::string& path);
// Element 1 of text split at sep: the piece after the first occurrence, up to the
// next; nullopt where sep does not occur. "\\.\PHYSICALDRIVE0" gives "DRIVE0".
std::optional<std::string> PieceAfter(const std::string& text, const std::string& sep);
// Number rounded to the given decimals, halves away from zero, as
// "###0.00"-style digits with the locale's separator; decimals 0 gives "###".
std::string FormatFixed(double x, int decimals);

// ---- collectors ----
std::string GetDomain();
std::string GetComputerModel();
std::string GetSerialNumber();
std::string GetOperatingSystem();
GeneralInfos GetGeneralInfos();
CpuInfos GetCpuInfos();
MemoryInfos GetMemoryInfos();
DiskList GetDiskInfos();
VolumeList GetVolumeInfos();

}  // namespace harvix
