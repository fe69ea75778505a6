// The index over one report's row, as two runs in a row see it: the report's
// date reads back whatever separator the writer's locale gave it, and a row
// compared with itself through inventaire.csv has not changed.
// Input: day, month, two bytes of year, eight bytes of a RAM size in Go, then
// the date separator.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fuzz_support.h"
#include "index/csv.h"
#include "index/flags.h"
#include "index/history.h"
#include "index/rows.h"

using namespace harvix;
using namespace harvix::index;

namespace {

void CheckDate(const ComputerRow& row, int day, int month, int year, const std::string& text) {
    HARVIX_CHECK(
        row.ReportDate.Day == day && row.ReportDate.Month == month && row.ReportDate.Year == year,
        "the date read from [" + text + "]");
}

// Written to inventaire.csv, read back and compared with itself.
void CheckNoChange(const ComputerRow& row, const std::string& ram) {
    History previous;
    HARVIX_CHECK(ImportInventory(InventoryHeader() + InventoryLine(row), previous),
                 "inventaire.csv reads back");
    std::vector<ComputerRow> again = {row};
    SetFlags(again, &previous.Computers, Date{1, 1, 2000});
    std::string changes;
    for (const std::string& c : again[0].Changes) changes += c + "; ";
    HARVIX_CHECK(!again[0].Changed, "RAM [" + ram + "] changed: " + changes);
    if (row.RamBytes >= 0)
        HARVIX_CHECK(!previous.Computers.begin()->second.Field("RAM installée (Go)").empty(),
                     "the RAM of [" + ram + "] is written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 13 || size > 64) return 0;
    const int day = 1 + data[0] % 31, month = 1 + data[1] % 12;
    const int year = 1900 + (data[2] | data[3] << 8) % 8100;
    double gigabytes;
    std::memcpy(&gigabytes, data + 4, sizeof gigabytes);
    if (!std::isfinite(gigabytes)) return 0;
    const std::string sep(reinterpret_cast<const char*>(data) + 12, size - 12);

    char dd[8], mm[8], yyyy[8], ram[64];
    std::snprintf(dd, sizeof dd, "%02d", day);
    std::snprintf(mm, sizeof mm, "%02d", month);
    std::snprintf(yyyy, sizeof yyyy, "%04d", year);
    const std::string text = dd + sep + mm + sep + yyyy;
    std::snprintf(ram, sizeof ram, "%.17g Go", std::fabs(gigabytes));

    ReportContents report;
    report.GeneratedOn = text;
    report.Memory.Installed = ram;
    report.Complete = true;
    const ComputerRow row = RowFromReport("PC_report.html", report);
    CheckDate(row, day, month, year, text);
    CheckNoChange(row, ram);
    return 0;
}
