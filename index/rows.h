// One computer's row of the index, as compact as the index needs it, and the
// texts in the French form the page and the spreadsheets use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "report/modReadReport.h"

namespace harvix::index {

inline const char* const kReportSuffix = "_report.html";
// The name of a computer whose report and file name both leave it out.
inline const char* const kNoName = "(nom inconnu)";

struct Date {
    int Day = 0, Month = 0, Year = 0;
    bool Valid() const { return Year > 0; }
    long DaysSinceEpoch() const;
    std::string Text() const;  // DD/MM/YYYY, or empty
    std::string Iso() const;   // YYYY-MM-DD, or empty
};
// "DD/MM/YYYY" with any separator, the same twice (the writing user's locale's).
Date ParseReportDate(std::string_view text);

// What only the inventory file (<NAME>_inventory.json) tells; empty or unknown
// for a computer indexed from its report alone.
struct InventoryFacts {
    bool Present = false;     // the row's values come from the inventory file
    bool Importable = false;  // GLPI 10.0 would take it: deviceid, content, only its members
    std::string Uuid;
    std::vector<std::string> Macs;          // physical adapters, lower-case
    std::string OsName, OsVersion;          // "Windows 11 Professionnel", "23H2" / "12 (bookworm)"
    std::string OsBuild;                    // "10.0.22631.4460"
    std::string Win11Verdict;               // "prêt", "non", "indéterminé"
    std::vector<std::string> Win11Reasons;  // failed criteria, or what could not be read
    std::string SecureBoot;                 // "enabled", "disabled", "unsupported"
    std::string Tpm;                        // "2.0", "1.2", "absent"
    std::string BiosVersion;
    Date BiosDate;
    double MemoryBytes = -1;  // exact, where the file holds it
    // Filled by the flags: the end of support of the OS version, when known
    // (DD/MM/YYYY); OsUnsupported when it is past.
    std::string OsEndOfSupport;
    std::string CloneFlag;  // "même UUID que X", "même MAC que X", or empty
    std::string OsEdition;  // "Professional", "Enterprise"...: their support ends apart
    bool OsUnsupported = false;
    bool BiosOld = false;  // dated more than six years before the index
};

// One installed program of one computer, for logiciels.csv and the software view.
struct ProgramEntry {
    std::string Computer, Name, Version, Publisher, InstallDate;
};

struct ComputerRow {
    std::string File;     // the report's file name, the row's key from one index to the next
    std::string RawFile;  // the name's bytes on disk when they are not UTF-8, else empty
    std::string Name, User, Os, Model, Serial, Cpu, PhysicalCores, LogicalCores;
    Date ReportDate;
    double RamBytes = -1;                         // -1: unreadable
    std::int16_t UsedSlots = -1, SlotCount = -1;  // -1: not in the report (cut short)
    int DiskCount = -1;                           // -1: the disk list may be cut short
    double DiskBytes = -1;  // decimal gigabytes as the report gives them, in bytes; -1 likewise
    std::string FullestVolume;
    double FullestPercent = -1;  // -1: no volume with a size
    std::string Modules, Disks;  // one text each, compared from one index to the next
    bool Incomplete = false;
    // Flags
    bool Full = false, Old = false, Changed = false, New = false;
    std::string SerialFlag;            // why the serial number is suspect, or empty
    std::vector<std::string> Changes;  // "RAM : 16,00 Go → 8,00 Go", "Disques : − A ; + B"
    InventoryFacts Inventory;
};

// The serial number as compared: blanks around it and letter case do not count.
std::string SerialKey(const std::string& serial);

// A byte count as the report gives it: digits alone.
bool ReadByteCount(const std::string& digits, double& out);
// A number as the writing user's locale printed it: "15,49", "15.49", "512"; any
// locale of this process plays no part.
bool ReadDecimal(std::string_view text, double& out);

std::string GigabytesText(double bytes, int decimals = 2);  // "15,49 Go", powers of 1024
// One module as the modules are compared: "BANK 0 : 8,00 Go Samsung M471A1K43CB1-CTD".
std::string ModuleText(const std::string& bank, const std::string& capacity,
                       std::string_view maker, std::string_view part);
std::string RamText(const ComputerRow& row);                // empty when unknown

// The row of one report; file names the computer when the report does not.
ComputerRow RowFromReport(const std::string& file, const ReportContents& report);
// The row of a computer from its inventory file (reportFile: the report's file
// name beside it, the row's key) and Harvix's own file beside it (own, empty
// when there is none); false when the bytes are no inventory file. Its
// programs are appended to programs.
bool RowFromInventory(const std::string& reportFile, std::string_view json, ComputerRow& row,
                      std::vector<ProgramEntry>& programs, std::string_view own = {});

}  // namespace harvix::index
