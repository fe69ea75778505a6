// The row of a computer from its inventory file, with its lines of volumes.csv.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "index/rows.h"

namespace harvix::index {

inline const char* const kInventorySuffix = "_inventory.json";
// Harvix's own file beside it: no GLPI import path takes a .txt.
inline const char* const kOwnSuffix = "_harvix.txt";
// Far beyond an inventory listing every package of a Linux workstation.
inline constexpr std::size_t kInventoryReadCap = 32u << 20;

// As RowFromInventory; volumeLines gets the computer's lines of volumes.csv,
// reason why the bytes are no inventory file, ownProblem why the own file was
// left aside (the row is then read without it).
bool ReadInventory(const std::string& reportFile, std::string_view json, std::string_view own,
                   ComputerRow& row, std::vector<ProgramEntry>& programs, std::string& volumeLines,
                   std::string& reason, std::string& ownProblem);

}  // namespace harvix::index
