// The index's columns, declared once: inventaire.csv, the page's head, cells
// and sorting values, and the change detection all read this table. A new
// column is one row of it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "index/rows.h"

namespace harvix::index {

// The spreadsheet heads the run itself needs: the row's key, its name, its date.
inline const char* const kNameColumn = "Nom";
inline const char* const kDateColumn = "Date du rapport";
inline const char* const kFileColumn = "Rapport";
inline const char* const kIncompleteColumn = "Rapport incomplet";

inline const char* const kYes = "oui";
inline const char* const kNo = "non";

enum class ColumnKind { Text, Bytes, Date, Count, Percent };

// How a change of the column is reported from one index to the next.
enum class ChangeForm {
    None,   // not compared
    Value,  // "RAM : 16,00 Go → 8,00 Go"
    List,   // only what went and came: "Disques : − A ; + B"
};

struct IndexColumn {
    const char* Csv = nullptr;    // inventaire.csv's head; null: not in the spreadsheet
    const char* Head = nullptr;   // the page's head; null: not on the page
    const char* Class = nullptr;  // the class of its page cells
    ColumnKind Kind = ColumnKind::Text;
    // Text, Date, Count: the value as text. Date: DD/MM/YYYY.
    std::string (*Text)(const ComputerRow&) = nullptr;
    // Bytes, Percent, Count: the value, if known; Bytes and Percent print it
    // divided by Scale with Decimals decimals.
    std::optional<double> (*Number)(const ComputerRow&) = nullptr;
    double Scale = 1;
    int Decimals = 0;
    bool (*Alert)(const ComputerRow&) = nullptr;  // the cell is shown as an alert
    // What the page cell shows when it is not the value itself (already HTML
    // for Html).
    std::string (*Shown)(const ComputerRow&) = nullptr;
    std::string (*Html)(const ComputerRow&) = nullptr;
    ChangeForm Change = ChangeForm::None;
    const char* ChangeLabel = nullptr;
    const char* Style = nullptr;  // CSS declarations of its page cells
    // A change is told only when both values are known: the value appearing
    // or going with the inventory file is none.
    bool BothKnown = false;
};

std::span<const IndexColumn> IndexColumns();

// The column's value as inventaire.csv holds it.
std::string CsvValue(const IndexColumn& c, const ComputerRow& row);
// A value as the page shows it and a change names it: "16,00 Go" for "16,00".
std::string ShownValue(const IndexColumn& c, const std::string& csvValue);
// The page's value to sort by, or empty.
std::string SortValue(const IndexColumn& c, const ComputerRow& row);

}  // namespace harvix::index
