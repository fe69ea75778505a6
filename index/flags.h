// The flags of the index's rows: serial numbers, age, fullness, and the
// changes since the previous index.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "index/rows.h"

namespace harvix::index {

// A row of a previous inventaire.csv: its fields by column of the index's
// table (empty where that index had no such column).
struct PreviousRow {
    std::string File;
    std::vector<std::string> Fields;
    bool Incomplete = false;
    // The field of the column of that spreadsheet head, or empty.
    const std::string& Field(std::string_view csvName) const;
};

// One field's change: its label, the values as the page shows them, the text.
struct FieldChange {
    std::string Field, Before, After, Text;
};
std::vector<FieldChange> FieldChanges(const PreviousRow& old, const ComputerRow& row);

// Serial number, age and fullness flags, changes against the previous rows
// (keyed by file name; null on a first run); returns the previous rows no
// longer present.
std::vector<PreviousRow> SetFlags(std::vector<ComputerRow>& rows,
                                  const std::map<std::string, PreviousRow>* previous,
                                  const Date& today);
// Why a serial number is no use to tell the computer apart, or empty.
std::string SerialProblem(const std::string& serial);

}  // namespace harvix::index
