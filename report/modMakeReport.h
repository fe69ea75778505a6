// modMakeReport: the report writers. Each opens the file, writes whole
// CR LF lines, and closes it before returning; failures pass to the caller.
#pragma once

#include <string>

#include "inventory/modGetInfos.h"

namespace harvix {

void WriteReportHeader(const std::string& ReportPath);
void WriteGeneralSection(const std::string& ReportPath, const GeneralInfos& info);
void WriteCpuSection(const std::string& ReportPath, const CpuInfos& info);
void WriteMemorySection(const std::string& ReportPath, const MemoryInfos& info);
void WriteStorageSections(const std::string& ReportPath, const DiskList& disks,
                          const VolumeList& volumes);
void WriteReportFooter(const std::string& ReportPath);

// A collected text made safe for the page: markup characters and control
// characters (C1 included) become references a browser shows as collected;
// bytes that are not UTF-8 become U+FFFD.
std::string HtmlText(const std::string& text);

}  // namespace harvix
