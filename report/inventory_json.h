// The inventory file: the computer in GLPI's native inventory format, with
// what that format has no place for under content.harvix.
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
std::string InventoryJson(const GeneralInfos& general, const CpuInfos& cpu,
                          const MemoryInfos& memory, const DiskList& disks,
                          const VolumeList& volumes, const ExtendedInfos& extended,
                          const JsonStamp& stamp);

}  // namespace harvix
