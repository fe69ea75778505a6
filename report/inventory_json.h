// The inventory file: the computer in GLPI's native inventory format, and
// Harvix's own file beside it with what that format has no place for.
#pragma once

#include <string>

#include "inventory/extended.h"
#include "inventory/modGetInfos.h"

namespace harvix {

// What the file says of its own making; given by the run, fixed by tests.
struct JsonStamp {
    std::string DateTime;  // local "YYYY-MM-DD HH:MM:SS"
    std::string Version;   // the program's, e.g. "4.0"
};

// UTF-8 JSON text; bytes of the records that are not UTF-8 become U+FFFD.
// GLPI's document holds only members its format names: GLPI 10.0 refuses a
// file with any other. own, when given, gets Harvix's own file (HarvixJson)
// with the same deviceid.
std::string InventoryJson(const GeneralInfos& general, const CpuInfos& cpu,
                          const MemoryInfos& memory, const DiskList& disks,
                          const VolumeList& volumes, const ExtendedInfos& extended,
                          const JsonStamp& stamp, std::string* own = nullptr);

// Harvix's own file: the page's exact values and what GLPI's format has no
// member for, tied to the inventory file by its deviceid and the computer's name.
inline constexpr int kHarvixFileVersion = 1;
std::string HarvixJson(const std::string& deviceId, const GeneralInfos& general,
                       const CpuInfos& cpu, const MemoryInfos& memory, const DiskList& disks,
                       const VolumeList& volumes, const ExtendedInfos& extended,
                       const JsonStamp& stamp);

}  // namespace harvix
