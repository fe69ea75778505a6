// The extended inventory: what the inventory file holds beyond the page. Every
// field is optional: a source that fails or is absent leaves it out, and where
// the reason is known it is kept in Unread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inventory/modGetInfos.h"

namespace harvix {

// Something that could not be read, and why (e.g. a right a standard user lacks).
struct Unread {
    std::string What, Why;
    bool operator==(const Unread&) const = default;
};

struct IdentityInfos {
    std::optional<std::string> Uuid, ChassisType, Manufacturer, Model;
    std::optional<std::string> BoardMaker, BoardModel, BoardSerial, EnclosureSerial;
    // The hypervisor's name ("KVM", "VMware"...), "Physical", or unknown.
    std::optional<std::string> VirtualMachine;
    std::optional<std::uint64_t> TotalMemoryBytes;
};

struct FirmwareInfos {
    std::optional<std::string> BiosMaker, BiosVersion, BiosSerial;
    std::optional<std::string> BiosDate;        // YYYY-MM-DD
    std::optional<std::string> FirmwareType;    // "UEFI" or "BIOS"
    std::optional<std::string> SecureBoot;      // "enabled", "disabled", "unsupported"
    std::optional<std::string> Ca2023Status;    // as the system records it
};

struct TpmInfos {
    std::optional<bool> Present;
    std::optional<std::string> Version;  // "2.0", "1.2"
    std::optional<std::string> Manufacturer;
};

struct OsInfos {
    std::optional<std::string> Name, Caption, Edition, Version, DisplayVersion, Build;
    // Windows: the build with its update revision ("22631.4317"), else the service
    // pack's name ("Service Pack 1").
    std::optional<std::string> ServicePack;
    std::optional<std::string> KernelName, KernelVersion, Architecture;
    std::optional<std::string> InstallDate, LastBoot;  // YYYY-MM-DD HH:MM:SS
    std::optional<std::string> TimeZone;               // name, e.g. "Europe/Paris"
    std::optional<std::int32_t> TimeZoneOffsetMinutes;  // east of UTC
    std::optional<std::string> SystemDrive;            // the volume Name holding the system
};

struct ProcessorInfos {
    std::optional<std::string> Manufacturer;  // CPUID vendor: "GenuineIntel", "AuthenticAMD"
    std::optional<std::string> Name, Description;
    std::optional<std::int32_t> Family, Model, Stepping;  // CPUID, displayed values
    std::optional<std::int32_t> SpeedMHz, ExternalClockMHz, Cores, Threads;
    std::optional<std::string> Architecture;  // "x86_64", "i686", "aarch64"...
    std::optional<std::string> Id;
    // Intel's platform id, 0 to 7 (IA32_PLATFORM_ID bits 52:50): the first processor's only.
    std::optional<std::int32_t> PlatformId;
};

struct MemoryModuleDetails {
    std::optional<std::string> Type;  // "DDR4"...
    std::optional<std::int32_t> SpeedMHz;
    std::optional<std::uint64_t> CapacityBytes;
    std::optional<std::string> Manufacturer, SerialNumber, PartNumber, BankLabel, Locator;
    std::optional<std::string> FormFactor;
};

struct DiskDetails {
    std::optional<std::string> Model, SerialNumber, Firmware, Interface, MediaType, DiskId;
    // The system's own name of the disk: "sda" on Linux, "\\.\PHYSICALDRIVE0" on Windows.
    std::optional<std::string> DeviceName;
    std::optional<std::int32_t> Index;
    std::optional<std::uint64_t> SizeBytes;
    std::optional<bool> Rotational;  // false: SSD
};

struct VolumeDetails {
    std::string Name;  // the report's volume name
    std::optional<std::string> Label, FileSystem, Serial, DiskId;
    std::optional<std::int32_t> DriveType;
    std::optional<std::uint64_t> SizeBytes, FreeBytes;
    std::optional<bool> SystemDrive;
    std::optional<std::string> EncryptionType;    // "BitLocker", "LUKS"
    std::optional<std::string> EncryptionStatus;  // "Yes", "No", "Partially"
};

struct NetworkAddress {
    std::string Address;
    std::int32_t PrefixLength = 0;
    std::int32_t Family = 4;  // 4 or 6
};

struct NetworkAdapter {
    std::optional<std::string> Name, Description, Mac, Status, Type, DhcpServer;
    std::optional<std::uint64_t> SpeedBitsPerSecond;
    std::optional<bool> Virtual, Dhcp;
    std::optional<std::int32_t> Mtu;
    std::vector<std::string> Gateways;
    std::vector<NetworkAddress> Addresses;
};

struct VideoAdapter {
    std::optional<std::string> Name, Chipset, PciId, Resolution;
    std::optional<std::uint64_t> MemoryBytes;
};

struct MonitorInfos {
    std::optional<std::string> Port, Manufacturer, Model, Serial, EdidBase64;
};

struct SoftwareInfos {
    std::string Name;
    std::optional<std::string> Version, Publisher, Architecture, Source, Guid;
    std::optional<std::string> InstallDate;  // YYYY-MM-DD
};

// Windows 11 readiness: "prêt", "non" with the failed criteria, or "indéterminé"
// with what could not be read.
struct Win11Readiness {
    std::string Verdict;
    std::vector<std::string> Failed, Unknown;
};

struct ExtendedInfos {
    IdentityInfos Identity;
    FirmwareInfos Firmware;
    TpmInfos Tpm;
    OsInfos Os;
    std::vector<ProcessorInfos> Processors;
    std::vector<MemoryModuleDetails> Modules;
    std::vector<DiskDetails> Disks;
    std::vector<VolumeDetails> Volumes;
    std::vector<NetworkAdapter> Networks;
    std::vector<VideoAdapter> Videos;
    std::vector<MonitorInfos> Monitors;
    std::vector<SoftwareInfos> Software;
    std::vector<Unread> Unreadable;
};

// Reads everything above through the WMI seam (and Harvix's own classes).
ExtendedInfos GetExtendedInfos();

// The verdict from what was read; a criterion not readable is never failed.
Win11Readiness Windows11Readiness(const ExtendedInfos& infos);

// Whether Windows 11 supports this processor: true, false, or unknown. The computer's
// model decides for the one processor Microsoft supports on named models only.
std::optional<bool> ProcessorSupportsWindows11(
    const ProcessorInfos& cpu, const std::optional<std::string>& computerModel = std::nullopt);

}  // namespace harvix
