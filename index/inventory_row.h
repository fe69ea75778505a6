// The row of a computer from its inventory file, with its lines of volumes.csv.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "index/rows.h"

namespace harvix::index {

inline const char* const kInventorySuffix = "_inventory.json";
// Far beyond an inventory listing every package of a Linux workstation.
inline constexpr std::size_t kInventoryReadCap = 32u << 20;

// As RowFromInventory; volumeLines gets the computer's lines of volumes.csv,
// reason why the bytes are no inventory file.
bool ReadInventory(const std::string& reportFile, std::string_view json, ComputerRow& row,
                   std::vector<ProgramEntry>& programs, std::string& volumeLines,
                   std::string& reason);

}  // namespace harvix::index
