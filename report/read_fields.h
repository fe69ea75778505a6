// The reader's view of single lines of the report, on the forms of report_form.h.
#pragma once

#include <string>
#include <string_view>

#include "inventory/modGetInfos.h"

namespace harvix::reading {

// A field as the page holds it: no markup, or it is not one of ours.
bool Field(std::string_view escaped, std::string& out);
// A whole number as the writers print it, and nothing else.
bool WholeNumber(std::string_view text, std::int16_t& out);

bool RowLine(std::string_view line, std::string_view label, std::string& value);
bool SlotsLine(std::string_view line, MemoryInfos& m);
bool ModuleLine(std::string_view line, MemoryModule& m);
bool DiskLine(std::string_view line, DiskInfos& d);
bool VolumeLine(std::string_view line, VolumeInfos& v);
bool DateLine(std::string_view line, std::string& date);

// The references that stand for letters the code page lacks (never markup), undone.
std::string DecodeLetterReferences(std::string text);

}  // namespace harvix::reading
