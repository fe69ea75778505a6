// The one run of the index over a folder of reports, and its three outputs.
#pragma once

#include <cstddef>
#include <string>

namespace harvix::index {

inline const char* const kIndexName = "index.html";
inline const char* const kInventoryName = "inventaire.csv";
inline const char* const kVolumesName = "volumes.csv";
// How long a run waits for another one in the same folder to end.
inline constexpr int kLockWaitSeconds = 30;

struct IndexOutcome {
    int ExitStatus = 0;  // 0 all read, 1 some unreadable, 2 an output not written
    std::string Status;  // for the window or standard output
    int Reports = 0, Unread = 0;
    int Importable = 0;  // inventory files GLPI would take
};
// Indexes every *_report.html and *_inventory.json of the folder (not its
// subfolders): one row per computer, from its inventory file where it reads.
IndexOutcome RunIndex(const std::string& folder);

}  // namespace harvix::index
