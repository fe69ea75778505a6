// modIndex: the fleet index over a folder of reports — one row per computer,
// the flags, the changes since the previous index, and the three outputs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "report/modReadReport.h"

namespace harvix::index {

inline const char* const kIndexName = "index.html";
inline const char* const kInventoryName = "inventaire.csv";
inline const char* const kVolumesName = "volumes.csv";
inline const char* const kReportSuffix = "_report.html";
// Far beyond any report; keeps a stray video named *_report.html from costing a run.
inline constexpr std::size_t kReadCap = 4u << 20;

struct Date {
    int Day = 0, Month = 0, Year = 0;
    bool Valid() const { return Year > 0; }
    long DaysSinceEpoch() const;
    std::string Text() const;  // DD/MM/YYYY, or empty
    std::string Iso() const;   // YYYY-MM-DD, or empty
};
// "DD/MM/YYYY" with any one-character separator (the writing user's locale).
Date ParseReportDate(std::string_view text);

// One computer, as compact as the index needs it.
struct ComputerRow {
    std::string File;  // the report's file name, the row's key from one index to the next
    std::string Name, User, Os, Model, Serial, Cpu, PhysicalCores, LogicalCores;
    Date ReportDate;
    double RamBytes = -1;  // -1: unreadable
    std::int16_t UsedSlots = 0, SlotCount = 0;
    int DiskCount = 0;
    double DiskBytes = 0;  // decimal gigabytes as the report gives them, in bytes
    std::string FullestVolume;
    double FullestPercent = -1;  // -1: no volume with a size
    std::string Modules, Disks;  // one text each, compared from one index to the next
    bool Incomplete = false;
    // Flags
    bool Full = false, Old = false, Changed = false, New = false;
    std::string SerialFlag;            // why the serial number is suspect, or empty
    std::vector<std::string> Changes;  // "RAM : 16,00 Go → 8,00 Go", "Disques : − A ; + B"
};

// Texts in the French form the page and the spreadsheets use.
std::string FrenchDecimal(double x, int decimals);
std::string GigabytesText(double bytes, int decimals = 2);  // "15,49 Go", powers of 1024
std::string RamText(const ComputerRow& row);                // empty when unknown

// The row of one report; file names the computer when the report does not.
ComputerRow RowFromReport(const std::string& file, const ReportContents& report);

// The fields of a previous inventaire.csv that the comparison needs.
struct PreviousRow {
    std::string File, Name, Os, Model, Serial, Cpu, Ram, Modules, Disks, ReportDate;
    bool Incomplete = false;
};

struct UnreadFile {
    std::string File, Reason;
};

// Serial number, age and fullness flags, changes against the previous rows
// (keyed by file name; null on a first run); returns the previous rows no
// longer present.
std::vector<PreviousRow> SetFlags(std::vector<ComputerRow>& rows,
                                  const std::map<std::string, PreviousRow>* previous,
                                  const Date& today);
// Why a serial number is no use to tell the computer apart, or empty.
std::string SerialProblem(const std::string& serial);

// ---- CSV: UTF-8 with BOM, ";" separators, CR LF, RFC 4180 quoting ----
std::string CsvField(std::string_view text);  // quoted where needed, formulas kept as text
std::string CsvLine(const std::vector<std::string>& fields);
// Records of a CSV text (BOM skipped); formula guards undone.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text);
std::string InventoryHeader();
std::string InventoryLine(const ComputerRow& row);
std::string VolumesHeader();
std::string VolumeLines(const std::string& computer, const ReportContents& report);
// Rows of an inventaire.csv by file name; false when the text is not one.
bool ReadInventory(std::string_view text, std::map<std::string, PreviousRow>& rows);

// ---- index.html ----
struct PageInput {
    std::string Folder, GeneratedAt;
    const std::vector<ComputerRow>* Rows;
    const std::vector<PreviousRow>* Gone;
    const std::vector<UnreadFile>* Unread;
    bool HadPrevious = false;
};
std::string HtmlEscape(std::string_view text);
void RenderPage(const PageInput& in, const std::function<void(std::string_view)>& sink);

// ---- the run ----
struct IndexOutcome {
    int ExitStatus = 0;  // 0 all read, 1 some unreadable, 2 an output not written
    std::string Status;  // for the window or standard output
    int Reports = 0, Unread = 0;
};
// Indexes every *_report.html of the folder (not its subfolders).
IndexOutcome RunIndex(const std::string& folder);

}  // namespace harvix::index
