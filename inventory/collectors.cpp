// The WMI collectors. Each statement is one guarded step: a failing step
// leaves its target as it was and the collector goes on.
#include <cmath>

#include "inventory/modGetInfos.h"
#include "wmi/modWMI.h"

namespace harvix {

namespace {

// Removes every non-overlapping occurrence, left to right, in one pass.
std::string RemoveAll(const std::string& text, const std::string& mark) {
    std::string out;
    std::size_t pos = 0, hit;
    while ((hit = text.find(mark, pos)) != std::string::npos) {
        out.append(text, pos, hit - pos);
        pos = hit + mark.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

// Element 1 of text split at sep; fails where there is none.
std::string SplitElement1(const std::string& text, const std::string& sep) {
    std::optional<std::string> piece = PieceAfter(text, sep);
    if (!piece) throw SubscriptOutOfRangeError();
    return *piece;
}

std::string Left3(const std::string& s) {
    return s.substr(0, 3);
}

// Size minus FreeSpace as plain digits; exact for whole digit texts.
std::string DifferenceText(const WmiValue& a, const WmiValue& b) {
    std::optional<double> x = ToNumberOrNull(a), y = ToNumberOrNull(b);
    if (!x || !y) throw InvalidUseOfNullError();
    auto whole = [](const WmiValue& v, long long& out) {
        if (!v.IsText()) return false;
        // Up to 18 digits: any two such differ by a long long.
        const std::string_view t = TrimView(v.Text());
        auto n = t.size() <= 18 ? ParseUnsigned(t) : std::nullopt;
        if (n) out = static_cast<long long>(*n);
        return n.has_value();
    };
    long long p, q;
    if (whole(a, p) && whole(b, q)) return std::to_string(p - q);
    return WholeNumberText(*x - *y);
}

// Every partition of the disk sets its style; the last one read wins.
void SetPartitionStyle(DiskInfos& disk, const ItemList<PartitionInfos>& partitions) {
    for (int i = 1; i <= partitions.UBound(); ++i) {
        const PartitionInfos& part = partitions[i];
        if (disk.DiskId != part.DiskId) continue;
        Step([&] { disk.PartitionStyle = Left3(part.Type) == "GPT" ? "GPT" : "MBR"; });
    }
}

void ReadVolume(const CurrentObject& obj, VolumeInfos& vol) {
    Step([&] { vol.Name = ToText(obj["Name"]); });
    Step([&] { vol.DriveType = ToInt16(obj["DriveType"]); });
    Step([&] { vol.FileSystem = ToText(obj["FileSystem"]); });
    Step([&] { vol.FreeSpace = ToText(obj["FreeSpace"]); });
    Step([&] { vol.Size = ToText(obj["Size"]); });
    Step([&] { vol.UsedSpace = DifferenceText(obj["Size"], obj["FreeSpace"]); });
    Step([&] { vol.VolumeName = ToText(obj["VolumeName"]); });
}

// The partition and the disk a volume lies on, through both association lists
// (their empty placeholders included, which match a volume without a name).
void FindVolumePlace(VolumeInfos& vol, const ItemList<AssociationLink>& volumeLinks,
                     const ItemList<AssociationLink>& driveLinks) {
    for (int i = 0; i <= volumeLinks.UBound(); ++i) {
        if (vol.Name != volumeLinks[i].DependentKey) continue;
        Step([&] { vol.PartitionId = volumeLinks[i].AntecedentKey; });
        for (int j = 0; j <= driveLinks.UBound(); ++j)
            if (vol.PartitionId == driveLinks[j].DependentKey)
                Step([&] { vol.DiskId = driveLinks[j].AntecedentKey; });
    }
}

}  // namespace

std::string GetDomain() {
    std::string result;
    ForEachObject("Select Domain from Win32_ComputerSystem",
                  [&](const CurrentObject& obj) { Step([&] { result = ToText(obj["Domain"]); }); });
    return result;
}

std::string GetComputerModel() {
    std::string result;
    ForEachObject("Select * from Win32_ComputerSystem", [&](const CurrentObject& obj) {
        Step([&] { result = Concat(obj["Manufacturer"], " - ", obj["Model"]); });
    });
    return result;
}

std::string GetSerialNumber() {
    std::string result;
    ForEachObject("Select IdentifyingNumber from Win32_ComputerSystemProduct",
                  [&](const CurrentObject& obj) {
                      Step([&] { result = ToText(obj["IdentifyingNumber"]); });
                      Step([&] {
                          if (Trim(result).empty()) result = "N/A";
                      });
                  });
    return result;
}

std::string GetOperatingSystem() {
    std::string result;
    ForEachObject("Select * from Win32_OperatingSystem", [&](const CurrentObject& obj) {
        Step([&] { result = Concat(obj["Caption"], " (", obj["OSArchitecture"], ")"); });
    });
    return result;
}

GeneralInfos GetGeneralInfos() {
    GeneralInfos info;
    info.ComputerName = GetComputerName();
    info.Domain = GetDomain();
    info.Model = GetComputerModel();
    info.SerialNumber = GetSerialNumber();
    info.OperatingSystem = GetOperatingSystem();
    info.UserName = GetUserName();
    return info;
}

CpuInfos GetCpuInfos() {
    CpuInfos info;
    ForEachObject("Select * from Win32_Processor", [&](const CurrentObject& obj) {
        Step([&] { info.Name = RemoveAll(RemoveAll(ToText(obj["Name"]), "(R)"), "(TM)"); });
        Step([&] { info.PhysicalCores = ToText(obj["NumberOfCores"]); });
        Step([&] { info.LogicalCores = ToText(obj["NumberOfLogicalProcessors"]); });
    });
    return info;
}

MemoryInfos GetMemoryInfos() {
    MemoryInfos info;
    ItemList<MemoryModule> modules;
    std::int32_t capacityTotal = 0;  // gigabytes

    ForEachObject("Select * from Win32_ComputerSystem", [&](const CurrentObject& obj) {
        Step([&] {
            info.Installed = FormatSize(ToText(BlankOrMinusNumberText(obj["TotalPhysicalMemory"])));
        });
    });
    ForEachObject("Select * from Win32_PhysicalMemoryArray", [&](const CurrentObject& obj) {
        Step([&] {
            // MaxCapacity counts kilobytes; rounded at every array.
            std::optional<double> kb = ToNumberOrNull(obj["MaxCapacity"]);
            if (!kb) throw InvalidUseOfNullError();
            capacityTotal = ToInt32(capacityTotal + *kb / kMiB);
        });
        Step([&] {
            std::optional<double> devices = ToNumberOrNull(obj["MemoryDevices"]);
            if (!devices) throw InvalidUseOfNullError();
            info.SlotCount = ToInt16(info.SlotCount + *devices);
        });
    });
    ForEachObject("Select * from Win32_PhysicalMemory", [&](const CurrentObject& obj) {
        Step([&] { modules.Grow(); });
        MemoryModule& target = modules[modules.UBound()];
        Step([&] { target.BankLabel = ToText(obj["BankLabel"]); });
        Step([&] { target.FormFactor = ToInt16(obj["FormFactor"]); });
        Step(
            [&] { target.Capacity = FormatSize(ToText(BlankOrMinusNumberText(obj["Capacity"]))); });
        Step([&] { target.Manufacturer = ToText(obj["Manufacturer"]); });
        Step([&] { target.PartNumber = ToText(obj["PartNumber"]); });
        Step([&] { target.SerialNumber = ToText(TrimValue(obj["SerialNumber"])); });
        Step([&] { target.Speed = Concat(obj["Speed"], " MHz"); });
    });
    Step([&] { info.Modules = modules; });
    Step([&] { info.UsedSlots = ToInt16(modules.UBound()); });
    Step([&] { info.MaxSupported = std::to_string(capacityTotal) + " Go"; });
    return info;
}

DiskList GetDiskInfos() {
    DiskList result;
    ItemList<DiskInfos> disks;
    ItemList<PartitionInfos> partitions;

    ForEachObject("Select * from Win32_DiskPartition", [&](const CurrentObject& obj) {
        Step([&] { partitions.Grow(); });
        PartitionInfos& part = partitions[partitions.UBound()];
        Step([&] { part.Type = ToText(obj["Type"]); });
        Step([&] { part.DiskId = Concat("DRIVE", obj["DiskIndex"]); });
    });
    ForEachObject("Select * from Win32_DiskDrive", [&](const CurrentObject& obj) {
        Step([&] { disks.Grow(); });
        DiskInfos& disk = disks[disks.UBound()];
        Step([&] { disk.Model = ToText(obj["Model"]); });
        Step([&] {
            // Decimal gigabytes, "###": nothing at all when it rounds to 0.
            std::optional<double> bytes = ToNumberOrNull(obj["Size"]);
            disk.Size = (bytes ? FormatFixed(*bytes / kGB, 0) : std::string()) + " Go";
        });
        Step([&] { disk.DiskId = SplitElement1(ToText(obj["DeviceID"]), "PHYSICAL"); });
        Step([&] { disk.InterfaceType = ToText(obj["InterfaceType"]); });
        Step([&] { disk.SerialNumber = ToText(TrimValue(obj["SerialNumber"])); });
        Step([&] { disk.Partitions = ToInt16(obj["Partitions"]); });
        Step([&] { disk.MediaType = ToText(obj["MediaType"]); });
        SetPartitionStyle(disk, partitions);
    });
    Step([&] { result.Disks = disks; });
    Step([&] { result.Count = ToInt16(disks.UBound()); });
    return result;
}

VolumeList GetVolumeInfos() {
    VolumeList result;
    ItemList<VolumeInfos> volumes;
    ItemList<AssociationLink> volumeLinks, driveLinks;
    // Mount points may hold quotes and backslashes, which the path escapes.
    auto quotedKey = [](const WmiValue& path) { return QuotedKey(ToText(path)); };

    ForEachObject("Select * from Win32_LogicalDiskToPartition", [&](const CurrentObject& obj) {
        Step([&] { volumeLinks.Grow(); });
        AssociationLink& link = volumeLinks[volumeLinks.UBound()];
        Step([&] { link.AntecedentKey = quotedKey(obj["Antecedent"]); });
        Step([&] { link.DependentKey = quotedKey(obj["Dependent"]); });
    });
    ForEachObject("Select * from Win32_DiskDriveToDiskPartition", [&](const CurrentObject& obj) {
        Step([&] { driveLinks.Grow(); });
        AssociationLink& link = driveLinks[driveLinks.UBound()];
        Step([&] { link.AntecedentKey = SplitElement1(quotedKey(obj["Antecedent"]), "PHYSICAL"); });
        Step([&] { link.DependentKey = quotedKey(obj["Dependent"]); });
    });
    ForEachObject("Select * from Win32_LogicalDisk", [&](const CurrentObject& obj) {
        // Network (4), optical (5) and RAM (6) drives are left out.
        If([&] { return LessOrEqual(obj["DriveType"], 3); },
           [&] {
               Step([&] { volumes.Grow(); });
               VolumeInfos& vol = volumes[volumes.UBound()];
               ReadVolume(obj, vol);
               FindVolumePlace(vol, volumeLinks, driveLinks);
           });
    });
    Step([&] { result.Volumes = volumes; });
    Step([&] { result.Count = ToInt16(volumes.UBound()); });
    return result;
}

}  // namespace harvix
