// The extended collectors' value conversions: WMI codes and texts to the
// inventory file's values. No WMI, no state; nullopt where the value says nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace harvix {

// CPUID family, model and stepping as Win32_Processor's Description writes them.
struct CpuSignature {
    std::int32_t Family = 0, Model = 0, Stepping = 0;
    bool operator==(const CpuSignature&) const = default;
};

// "... Family F Model M Stepping S ..." with decimal numbers; nullopt otherwise.
std::optional<CpuSignature> ParseCpuDescription(std::string_view description);

// CIM datetime "yyyymmddHHMMSS.ffffff+UUU" as "YYYY-MM-DD", or with the time as
// "YYYY-MM-DD HH:MM:SS" in the offset it carries.
std::optional<std::string> CimDate(std::string_view cim);
std::optional<std::string> CimDateTime(std::string_view cim);
// "YYYY-MM-DD" kept when it is one, else nullopt.
std::optional<std::string> IsoDate(std::string_view text);

// SMBIOS type 17 memory type code: "DDR4", "LPDDR5"...
std::optional<std::string> MemoryTypeName(std::int32_t code);
// SMBIOS type 3 chassis type code: "Desktop", "Notebook"...
std::optional<std::string> ChassisName(std::int32_t code);
// Win32_SystemEnclosure.ChassisTypes as text ("3" or "3,10"): the first code
// that names a chassis.
std::optional<std::string> ChassisFromTypes(std::string_view codes);
// Win32_Processor.Architecture: "x86_64", "i686", "aarch64", "arm".
std::optional<std::string> ArchitectureName(std::int32_t code);

// The hypervisor named by the machine's maker, model or BIOS; "Physical" when
// maker and model are known and name none; nullopt when they are not known.
std::optional<std::string> VirtualMachineOf(const std::optional<std::string>& maker,
                                            const std::optional<std::string>& model,
                                            const std::optional<std::string>& biosMaker,
                                            const std::optional<std::string>& biosVersion);

// "PCI\VEN_8086&DEV_46A6&..." as "8086:46a6".
std::optional<std::string> PciIdOf(std::string_view pnpDeviceId);

}  // namespace harvix
