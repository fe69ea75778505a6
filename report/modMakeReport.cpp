#include "report/modMakeReport.h"

#include <cerrno>
#include <cstring>

#include "platform/encoding.h"
#include "platform/platform.h"
#include "report/report_form.h"
#include "wmi/modWMI.h"

#ifndef HARVIX_FONTAWESOME_URL
#define HARVIX_FONTAWESOME_URL "https://use.fontawesome.com/releases/v5.12.0/css/all.css"
#endif
#ifndef HARVIX_LOGO_URL
#define HARVIX_LOGO_URL "https://www.tarvell.com/wp-content/uploads/2016/02/Image1.png"
#endif

namespace harvix {

namespace {

// One writer's hold on the report: opened on construction, closed before return.
class ReportFile {
  public:
    ReportFile(const std::string& path, bool append)
        : path_(path), file_(platform::OpenReportFile(path, append)) {}
    ~ReportFile() {
        if (file_) std::fclose(file_);
    }
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void Line(const std::string& text) {
        std::string bytes = platform::EncodeForReport(text) + "\r\n";
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) Fail();
    }
    void Close() {
        std::FILE* f = file_;
        file_ = nullptr;
        if (std::fclose(f) != 0) Fail();
    }

  private:
    [[noreturn]] void Fail() {
        throw HarvixError("Impossible d'écrire le rapport " + path_ + " : " + std::strerror(errno));
    }
    std::string path_;
    std::FILE* file_;
};

template <class Infos, std::size_t N>
void WriteRows(ReportFile& f, const form::RowForm<Infos> (&rows)[N], const Infos& info) {
    for (const auto& row : rows)
        f.Line(form::FillLine(form::kRowLine, {row.label, HtmlText(info.*row.field)}));
}

// A table of rows only: its head, its rows, its end.
template <class Infos, std::size_t N>
void WriteTable(ReportFile& f, const std::string& head, const form::RowForm<Infos> (&rows)[N],
                const Infos& info) {
    f.Line(head);
    WriteRows(f, rows, info);
    f.Line(form::kTableEnd);
}

// A size text for the page; a count FormatSize cannot read stays empty so that
// one odd volume does not cut the report short.
std::string SizeText(const std::string& bytes) {
    try {
        return HtmlText(FormatSize(bytes));
    } catch (const HarvixError&) {
        return std::string();
    }
}

std::string ModuleText(const MemoryModule& m) {
    const std::string blank(form::kModuleBlank);
    return HtmlText(m.Manufacturer) + blank + HtmlText(m.Capacity) + blank + HtmlText(m.Speed) +
           blank + FormFactorName(m.FormFactor);
}

std::string VolumeLine(const VolumeInfos& vol) {
    return form::FillLine(
        form::kVolumeLine,
        {HtmlText(vol.Name) + std::string(form::kLabelOpen) + HtmlText(vol.VolumeName),
         SizeText(vol.UsedSpace) + std::string(form::kSizesJoin) + SizeText(vol.Size),
         HtmlText(vol.FileSystem), HtmlText(vol.UsedSpace), HtmlText(vol.Size)});
}

}  // namespace

std::string HtmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : platform::DecodeUtf8(text)) {
        switch (cp) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // A control character would break the one-line-per-write layout,
                // and a browser would not show it as collected.
                if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
                    out += platform::CharacterReference(cp);
                else
                    out += platform::EncodeUtf8(cp);
        }
    }
    return out;
}

void WriteReportHeader(const std::string& ReportPath) {
    ReportFile f(ReportPath, false);
    for (const std::string& line : form::kHeadLines) f.Line(line);
    f.Line(form::FillLine(form::kStylesheetLine, {HARVIX_FONTAWESOME_URL}));
    f.Line(form::FillLine(form::kLogoLine, {HARVIX_LOGO_URL}));
    f.Close();
}

void WriteGeneralSection(const std::string& ReportPath, const GeneralInfos& info) {
    ReportFile f(ReportPath, true);
    WriteTable(f, form::kGeneralHead, form::kGeneralRows, info);
    f.Close();
}

void WriteCpuSection(const std::string& ReportPath, const CpuInfos& info) {
    ReportFile f(ReportPath, true);
    WriteTable(f, form::kCpuHead, form::kCpuRows, info);
    f.Close();
}

void WriteMemorySection(const std::string& ReportPath, const MemoryInfos& info) {
    ReportFile f(ReportPath, true);
    f.Line(form::kMemoryHead);
    WriteRows(f, form::kMemoryRows, info);
    f.Line(form::FillLine(form::kSlotsLine,
                          {std::to_string(info.UsedSlots), std::to_string(info.SlotCount)}));
    for (int i = 1; i <= info.Modules.UBound(); ++i) {
        const MemoryModule& m = info.Modules[i];
        f.Line(form::FillLine(form::kModuleLine,
                              {HtmlText(m.BankLabel), ModuleText(m), HtmlText(m.PartNumber)}));
    }
    f.Line(form::kNestedEnd);
    f.Line(form::kTableEnd);
    f.Close();
}

void WriteStorageSections(const std::string& ReportPath, const DiskList& disks,
                          const VolumeList& volumes) {
    ReportFile f(ReportPath, true);
    for (int d = 1; d <= disks.Disks.UBound(); ++d) {
        const DiskInfos& disk = disks.Disks[d];
        f.Line(disk.MediaType.substr(0, 3) == "Rem" ? form::kRemovableHead : form::kFixedHead);
        f.Line(form::FillLine(
            form::kDiskLine,
            {HtmlText(disk.DiskId), std::to_string(disk.Partitions), HtmlText(disk.PartitionStyle),
             HtmlText(disk.Model), HtmlText(disk.Size), HtmlText(disk.SerialNumber)}));
        for (int v = 1; v <= volumes.Volumes.UBound(); ++v) {
            const VolumeInfos& vol = volumes.Volumes[v];
            if (vol.DiskId == disk.DiskId) f.Line(VolumeLine(vol));
        }
        f.Line(form::kDiskEnd);
    }
    f.Close();
}

void WriteReportFooter(const std::string& ReportPath) {
    ReportFile f(ReportPath, true);
    platform::LocalDate today = platform::Today();
    char date[64];
    const std::string sep = platform::DateSeparator();
    std::snprintf(date, sizeof date, "%02d%s%02d%s%04d", today.day, sep.c_str(), today.month,
                  sep.c_str(), today.year);
    f.Line(form::FillLine(form::kDateLine, {date}));
    for (const std::string& line : form::kFooterLines) f.Line(line);
    f.Close();
}

}  // namespace harvix
