#include "app/run.h"

#include <cstdio>
#include <string_view>

#include "inventory/extended.h"
#include "inventory/modGetInfos.h"
#include "platform/error.h"
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

// The computer name heads the names of the files the run writes beside the program.
// A character no Windows file name may hold would place them elsewhere: a separator
// ("..\\", "../"), a colon (a drive, or a stream of another file), and the characters the file API
// refuses, which would fail later with a less clear word.
void RefuseNameOutsideFolder(const std::string& name) {
    for (char c : name) {
        const bool control = static_cast<unsigned char>(c) < 0x20;
        if (!control && std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos) continue;
        const std::string shown =
            control ? "un caractère de contrôle" : "« " + std::string(1, c) + " »";
        throw HarvixError(
            "Le nom de l'ordinateur « " + name +
            " » ne peut pas nommer un fichier du dossier du programme : il contient " + shown +
            ". Aucun fichier n'a été écrit.");
    }
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
    RefuseNameOutsideFolder(GetComputerName());  // before any path is built
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
