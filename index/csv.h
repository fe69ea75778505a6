// inventaire.csv and volumes.csv: UTF-8 with BOM, ";" separators, CR LF,
// RFC 4180 quoting.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "index/flags.h"

namespace harvix::index {

// A text a spreadsheet would turn into a number or a date, behind an invisible
// word joiner; ParseCsv takes it off.
std::string KeepAsText(std::string_view text);
std::string CsvField(std::string_view text);  // quoted where needed, formulas kept as text
std::string CsvLine(const std::vector<std::string>& fields);
// Records of a CSV text (BOM skipped); formula and number guards undone.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text, char separator = ';');
// own: the technician's columns, after the program's.
std::string InventoryHeader(const std::vector<std::string>& own = {});
std::string InventoryLine(const ComputerRow& row, const std::vector<std::string>& own = {});
std::string VolumesHeader();
std::string VolumeLines(const std::string& computer, const ReportContents& report);

}  // namespace harvix::index
