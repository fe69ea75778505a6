// The index's own memory: each computer's last values and every change ever
// found, kept in historique-index.txt beside the outputs. The spreadsheets
// are outputs only; whatever is done to them changes nothing in the next
// comparison.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "index/flags.h"

namespace harvix::index {

// A .txt: GLPI's injector pushes every *.json of a folder, and GLPI refuses it.
inline const char* const kHistoryName = "historique-index.txt";
// Its name before, taken over once.
inline const char* const kFormerHistoryName = "historique-index.json";
inline const char* const kChangesName = "changements.csv";
inline const char* const kLockName = "historique-index.lock";
inline constexpr int kHistoryVersion = 1;

struct ChangeRecord {
    std::string Date;      // of the index run: "DD/MM/YYYY HH:MM"
    std::string Computer;  // its name
    std::string File;      // its row key
    std::string Field, Before, After;
};

struct History {
    // Each computer's last values by report file name, as the comparison takes them.
    std::map<std::string, PreviousRow> Computers;
    // The technician's columns: their heads in order, the values by file then head.
    std::vector<std::string> OwnColumns;
    std::map<std::string, std::map<std::string, std::string>> Own;
    std::vector<ChangeRecord> Changes;  // oldest first
};

// Written by hand, field by field: a fleet's history is never held as a JSON tree.
void WriteHistory(const History& h, const std::function<void(std::string_view)>& sink);
std::string HistoryJson(const History& h);
// False, with why in French, when text is not a history this program can read.
bool ParseHistory(std::string_view text, History& out, std::string& problem);

// The run's findings into the history: changes, arrivals and departures
// (only when compared, against h's own computers), then the computers' new
// values; the unread keep their last ones.
void RecordRun(History& h, const std::vector<ComputerRow>& rows, bool compared,
               const std::vector<PreviousRow>& gone, const std::set<std::string>& unread,
               const std::string& date);

// changements.csv, the whole history.
std::string ChangesCsv(const History& h);

// An inventaire.csv in any form a spreadsheet saves it: BOM or not, UTF-8 or
// windows-1252, ";" "," or tab separators.
std::vector<std::vector<std::string>> ReadSpreadsheetCsv(std::string_view bytes);
// A first version's inventaire.csv as the starting point; false when it is none.
bool ImportInventory(std::string_view bytes, History& out);
// Columns a technician added to inventaire.csv, kept in the history by row key.
void TakeOwnColumns(std::string_view bytes, History& h);
// The technician's values for a row, in OwnColumns' order.
std::vector<std::string> OwnValues(const History& h, const std::string& file);

// The history a run starts from.
struct PastState {
    History State;
    bool HadPrevious = false;  // something to compare with
    std::string Notice;        // what the status and the page say of the history, or empty
    bool TookOver = false;     // read from kFormerHistoryName
};
// historique-index.txt; else the one kept under kFormerHistoryName; else a
// first version's inventaire.csv, once. A damaged history is kept under a
// dated name and said; throws HarvixError when it can neither be read nor put
// aside.
PastState LoadPast(const std::string& folder);
// Once the history is written under its name: the one taken over goes.
void ForgetFormerHistory(const std::string& folder, const PastState& past);
// Damaged histories the version before kept as historique-index-<date>.json,
// which GLPI's injector would push, renamed to .txt; names: the folder's entries.
void RenameFormerAsides(const std::string& folder, const std::vector<std::string>& names);

// The page's panel of each computer's changes, newest first, and the script
// that opens it from a click on the computer's name.
std::string HistoryPanel(const History& h);
const char* HistoryScript();

}  // namespace harvix::index
