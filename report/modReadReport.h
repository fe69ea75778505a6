// The report read back: the inverse of the writers in modMakeReport, line by
// line on the forms both take from report_form.h.
#pragma once

#include <string>
#include <string_view>

#include "inventory/modGetInfos.h"

namespace harvix {

// What a report holds. Texts the writers do not print (a module's serial
// number, a disk's interface, a volume's free space, drive type and
// partition) stay empty; MediaType only says removable or not.
struct ReportContents {
    GeneralInfos General;
    CpuInfos Cpu;
    MemoryInfos Memory;
    DiskList Disks;
    VolumeList Volumes;
    std::string GeneratedOn;  // as written: DD, separator, MM, separator, YYYY
    bool Complete = false;    // the footer's last line was reached
};

struct ReadReportResult {
    bool IsReport = false;
    std::string Reason;  // why the bytes are not a report, in French
    ReportContents Contents;
};

// The bytes of one file. Windows-1252 unless the whole file is valid UTF-8;
// a report from another code page keeps its structure, only its non-ASCII
// letters may come out wrong.
ReadReportResult ReadReport(std::string_view bytes);

// The text of an HTML-escaped field: &amp; &lt; &gt; &quot; &apos; and numeric
// references, decimal or hexadecimal; anything else stays as it stands.
std::string HtmlUnescape(std::string_view text);

// The media type the reader gives a disk of either title.
inline const char* const kRemovableMediaType = "Removable Media";
inline const char* const kFixedMediaType = "Fixed hard disk media";

}  // namespace harvix
