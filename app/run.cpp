#include "app/run.h"

#include "inventory/modGetInfos.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/modMakeReport.h"

namespace harvix {

bool IsSilentArgument(const std::string& args) {
    return EqualsNoCase(args, "/silent");
}

std::string BuildReportPath(const std::string& folder, const std::string& separator) {
    return folder + separator + GetComputerName() + "_report.html";
}

std::string RunInventory(const std::string& folder, const std::string& separator) {
    const std::string ReportPath = BuildReportPath(folder, separator);
    // Held until the footer is written: a second run on this report waits for it.
    const std::shared_ptr<void> claim = platform::ClaimReport(ReportPath);
    WriteReportHeader(ReportPath);
    GeneralInfos general = GetGeneralInfos();
    WriteGeneralSection(ReportPath, general);
    CpuInfos cpu = GetCpuInfos();
    WriteCpuSection(ReportPath, cpu);
    MemoryInfos memory = GetMemoryInfos();
    WriteMemorySection(ReportPath, memory);
    VolumeList volumes = GetVolumeInfos();
    DiskList disks = GetDiskInfos();
    WriteStorageSections(ReportPath, disks, volumes);
    WriteReportFooter(ReportPath);
    // Built afresh, as the status line shows it.
    return std::string("Le rapport a été créé dans le dossier:") + "\r\n" +
           BuildReportPath(folder, separator);
}

}  // namespace harvix
