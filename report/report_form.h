// The report's page declared once, line by line: the writers (modMakeReport)
// print these forms and the reader (modReadReport) matches the same ones, so
// the two cannot drift apart. Adding a row to a table is one line here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "inventory/modGetInfos.h"

namespace harvix::form {

// A line with fields: the fixed piece before each field, then the one after
// the last. Fields stand as the page holds them (escaped by the writer).
using LineForm = std::vector<std::string>;

std::string FillLine(const LineForm& form, const std::vector<std::string>& fields);
// The line's fields where it has the form: the first piece starts it, each
// inner piece is found at its first place, the last piece ends it.
bool SplitLine(std::string_view line, const LineForm& form, std::vector<std::string_view>& fields);

// Head block: fixed lines, then the stylesheet and logo lines around the
// build's two web addresses.
extern const std::vector<std::string> kHeadLines;
extern const LineForm kStylesheetLine;  // address
extern const LineForm kLogoLine;        // address

// A table's head and end; a plain row holds a label and a value.
extern const std::string kGeneralHead, kCpuHead, kMemoryHead, kFixedHead, kRemovableHead;
extern const std::string kTableEnd;
extern const LineForm kRowLine;  // label, value

template <class Infos>
struct RowForm {
    const char* label;
    std::string Infos::*field;
};

inline constexpr RowForm<GeneralInfos> kGeneralRows[] = {
    {"OS", &GeneralInfos::OperatingSystem},
    {"Nom de l'ordinateur", &GeneralInfos::ComputerName},
    {"Nom du domaine/workgroup", &GeneralInfos::Domain},
    {"Nom de l'utilisateur", &GeneralInfos::UserName},
    {"Modèle de l'ordinateur", &GeneralInfos::Model},
    {"Numéro de série", &GeneralInfos::SerialNumber},
};
inline constexpr RowForm<CpuInfos> kCpuRows[] = {
    {"CPU", &CpuInfos::Name},
    {"Coeurs physiques", &CpuInfos::PhysicalCores},
    {"Coeurs logiques", &CpuInfos::LogicalCores},
};
inline constexpr RowForm<MemoryInfos> kMemoryRows[] = {
    {"RAM installée", &MemoryInfos::Installed},
    {"RAM maximale supportée", &MemoryInfos::MaxSupported},
};

// Memory after its rows: the slots line opens the modules' nested table, one
// line a module, then the nested table's end and the table's end.
extern const LineForm kSlotsLine;   // used slots, slot count
extern const LineForm kModuleLine;  // bank, module text, part number
// The module text: manufacturer, capacity, speed and form factor name, joined.
inline constexpr std::string_view kModuleBlank = " ";
extern const std::string kNestedEnd;

// Storage: a table per disk, fixed or removable, its line opens the volumes'
// nested table; one line a volume, then kDiskEnd closes both tables.
extern const LineForm kDiskLine;    // id, partitions, partition style, model, size, serial
extern const LineForm kVolumeLine;  // name and label, shown sizes, file system, used, size
// Within the volume's first field: name, kLabelOpen, label (closed by the form).
inline constexpr std::string_view kLabelOpen = " (";
inline constexpr std::string_view kSizesJoin = " / ";  // used, size as shown
extern const std::string kDiskEnd;

// Footer: the date line, then fixed lines; the last one ends the report.
extern const LineForm kDateLine;  // date
extern const std::vector<std::string> kFooterLines;

}  // namespace harvix::form
