// The uninstall records of the registry (…\CurrentVersion\Uninstall\<key>) as
// "Programs and Features" lists them: values as the registry gave them (type and
// raw bytes, trusted for nothing), the record kept or left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "wmi/modWMI.h"

namespace harvix {

// Registry value types, as winnt.h numbers them.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
    std::uint32_t Type = 0;
    std::string Bytes;  // as RegQueryValueEx wrote them
};

// The values of one uninstall key the list depends on; absent ones stay empty.
struct UninstallValues {
    std::optional<RegistryValue> DisplayName, DisplayVersion, Publisher, InstallDate,
        SystemComponent, ParentKeyName, ReleaseType;
};

struct UninstallRecord {
    std::string Name;
    WmiValue Version, Publisher, InstallDate;  // null when absent or unreadable
};

// Text of a REG_SZ / REG_EXPAND_SZ (UTF-16LE, up to the first NUL or the end; an odd
// last byte dropped, unpaired surrogates as U+FFFD); nullopt for any other type.
std::optional<std::string> RegistryText(const RegistryValue& v);

// A REG_DWORD of exactly 4 bytes; nullopt otherwise.
std::optional<std::uint32_t> RegistryDword(const RegistryValue& v);

// "YYYYMMDD" of a day that exists as "YYYY-MM-DD"; null for any other form. GLPI's
// agent takes no ISO form ("2023-02-14") there either.
WmiValue UninstallDate(const std::string& text);

// nullopt for what "Programs and Features" does not show: no display name, a system
// component, an update of another program (ParentKeyName, or a ReleaseType of the
// updates' kinds, which the "Installed Updates" view lists instead). Odd forms are
// read as GLPI's agent reads them: SystemComponent as a nonzero REG_DWORD or as text
// Perl takes for true ("1", not "0"), a REG_DWORD DisplayVersion as "0x0000000A".
std::optional<UninstallRecord> ReadUninstallRecord(const UninstallValues& values);

}  // namespace harvix
