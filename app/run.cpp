#include "app/run.h"

#include <cstdio>

#include "inventory/extended.h"
#include "inventory/modGetInfos.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/inventory_json.h"
#include "report/modMakeReport.h"

#ifndef HARVIX_VERSION
#define HARVIX_VERSION "4.0"
#endif

namespace harvix {

namespace {

JsonStamp StampNow() {
    const platform::LocalDateTime t = platform::Now();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return {text, HARVIX_VERSION};
}

}  // namespace

bool IsSilentArgument(const std::string& args) {
    return EqualsNoCase(args, "/silent");
}

std::string BuildReportPath(const std::string& folder, const std::string& separator) {
    return folder + separator + GetComputerName() + "_report.html";
}

std::string BuildInventoryPath(const std::string& folder, const std::string& separator) {
    return folder + separator + GetComputerName() + "_inventory.json";
}

std::string BuildHarvixPath(const std::string& folder, const std::string& separator) {
    return folder + separator + GetComputerName() + "_harvix.txt";
}

std::string RunInventory(const std::string& folder, const std::string& separator) {
    const std::string ReportPath = BuildReportPath(folder, separator);
    // Held until the inventory file is written: a second run on this report waits for it.
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
    // The page is complete before anything more is read; a failure from here on leaves it so.
    const ExtendedInfos extended = GetExtendedInfos();
    std::string own;
    platform::ReplaceFileWith(
        BuildInventoryPath(folder, separator),
        InventoryJson(general, cpu, memory, disks, volumes, extended, StampNow(), &own));
    platform::ReplaceFileWith(BuildHarvixPath(folder, separator), own);
    // Built afresh, as the status line shows it.
    return std::string("Le rapport a été créé dans le dossier:") + "\r\n" +
           BuildReportPath(folder, separator);
}

}  // namespace harvix
