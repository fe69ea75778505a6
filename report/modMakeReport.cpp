#include "report/modMakeReport.h"

#include <cerrno>
#include <cstring>

#include "platform/encoding.h"
#include "platform/platform.h"
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

const char* const kTableEnd = "</tbody></table>";

std::string Row(const char* label, const std::string& value) {
    return std::string("<tr><td>") + label + "</td><td>" + HtmlText(value) + "</td></tr>";
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
    f.Line("<!DOCTYPE html>");
    f.Line("<html><head><style>");
    f.Line(
        "body {font-family: Tahoma; font-size: 13px;} progress[value] {display: inline; width: 150px;} table {border-collapse: collapse; width: 700px; margin-bottom: 10px;} table.noborder {margin-bottom:-1px; width: 699px;} table.noborder td {border: none; border-bottom: 1px solid #ddd;} table.noborder td:first-child {width: 174px; min-width: 174px; max-width: 174px; word-break: break-all; padding-left: 28px;} table.noborder tr{background-color: #fff;} table.noborder tr:hover{background-color: #f5f5f5;}");
    f.Line(
        "th, td {padding: 5px; text-align: left; border: 1px solid #ddd;} td.nopadding {padding: 0px;} th {background-color: #f5f5fc;} tbody tr td:first-child {width: 15em; min-width: 15em; max-width: 15em; word-break: break-all;} tr:hover {background-color:#f5f5f5;} .hand {cursor: pointer;} .nested {display: none;} .active {display: table-row;}");
    f.Line(
        ".tooltip {position: relative; display: inline-block;} .tooltip .tooltiptext {visibility: hidden; width: 120px; background-color: black; color: #fff; text-align: center; border-radius: 6px; padding: 5px 0; position: absolute; z-index: 1; top: -5px; right: 150%; opacity: 0; transition: opacity 1s;} .tooltip:hover .tooltiptext {visibility: visible; opacity: 0.7;} .tooltip .tooltiptext::after {content: \"\"; position: absolute; top: 50%; left: 100%; margin-top: -5px; border-width: 5px; border-style: solid; border-color: transparent transparent transparent black;} .tooltip:hover .tooltiptext {visibility: visible;} .small {margin: 1px; font-size: 10px;}");
    f.Line(std::string("</style><link rel=\"stylesheet\" href=\"") + HARVIX_FONTAWESOME_URL +
           "\"></head>");
    f.Line(std::string("<body><center><img src=\"") + HARVIX_LOGO_URL +
           "\" width=300px><br /><br />");
    f.Close();
}

void WriteGeneralSection(const std::string& ReportPath, const GeneralInfos& info) {
    ReportFile f(ReportPath, true);
    f.Line(
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-desktop\"></i> Général</th></tr></thead><tbody>");
    f.Line(Row("OS", info.OperatingSystem));
    f.Line(Row("Nom de l'ordinateur", info.ComputerName));
    f.Line(Row("Nom du domaine/workgroup", info.Domain));
    f.Line(Row("Nom de l'utilisateur", info.UserName));
    f.Line(Row("Modèle de l'ordinateur", info.Model));
    f.Line(Row("Numéro de série", info.SerialNumber));
    f.Line(kTableEnd);
    f.Close();
}

void WriteCpuSection(const std::string& ReportPath, const CpuInfos& info) {
    ReportFile f(ReportPath, true);
    f.Line(
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-microchip\"></i> Processeur</th></tr></thead><tbody>");
    f.Line(Row("CPU", info.Name));
    f.Line(Row("Coeurs physiques", info.PhysicalCores));
    f.Line(Row("Coeurs logiques", info.LogicalCores));
    f.Line(kTableEnd);
    f.Close();
}

void WriteMemorySection(const std::string& ReportPath, const MemoryInfos& info) {
    ReportFile f(ReportPath, true);
    f.Line(
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-memory\"></i> RAM</th></tr></thead><tbody>");
    f.Line(Row("RAM installée", info.Installed));
    f.Line(Row("RAM maximale supportée", info.MaxSupported));
    f.Line(
        "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">Afficher les détails</span></a> Slots utilisés</td><td>" +
        std::to_string(info.UsedSlots) + " sur " + std::to_string(info.SlotCount) +
        "</td></tr><tr class=\"nested\"><td class=\"nopadding\" colspan=\"2\"><table class=\"noborder\">");
    for (int i = 1; i <= info.Modules.UBound(); ++i) {
        const MemoryModule& m = info.Modules[i];
        f.Line("<tr><td>" + HtmlText(m.BankLabel) + "</td><td>" + HtmlText(m.Manufacturer) + " " +
               HtmlText(m.Capacity) + " " + HtmlText(m.Speed) + " " + FormFactorName(m.FormFactor) +
               "<p class=\"small\">" + HtmlText(m.PartNumber) + "</p></td></tr>");
    }
    f.Line("</table></td></tr>");
    f.Line(kTableEnd);
    f.Close();
}

void WriteStorageSections(const std::string& ReportPath, const DiskList& disks,
                          const VolumeList& volumes) {
    ReportFile f(ReportPath, true);
    for (int d = 1; d <= disks.Disks.UBound(); ++d) {
        const DiskInfos& disk = disks.Disks[d];
        if (disk.MediaType.substr(0, 3) == "Rem")
            f.Line(
                "<table><thead><tr><th colspan=\"2\"><i class=\"fab fa-usb\"></i> Stockage amovible</th></tr></thead><tbody>");
        else
            f.Line(
                "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-hdd\"></i> Stockage fixe</th></tr></thead><tbody>");
        f.Line(
            "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">Afficher les volumes</span></a> " +
            HtmlText(disk.DiskId) + "<p class=\"small\">" + std::to_string(disk.Partitions) +
            " Partition(s) - Type " + HtmlText(disk.PartitionStyle) + "</p></td><td>" +
            HtmlText(disk.Model) + "<p class=\"small\">" + HtmlText(disk.Size) +
            " - SN: " + HtmlText(disk.SerialNumber) +
            "</p></td></tr><tr class=\"nested\"><td class=\"nopadding\" colspan=\"2\"><table class=\"noborder\">");
        for (int v = 1; v <= volumes.Volumes.UBound(); ++v) {
            const VolumeInfos& vol = volumes.Volumes[v];
            if (vol.DiskId != disk.DiskId) continue;
            f.Line("<tr><td>" + HtmlText(vol.Name) + " (" + HtmlText(vol.VolumeName) +
                   ")</td><td>" + SizeText(vol.UsedSpace) + " / " + SizeText(vol.Size) +
                   "<p class=\"small\">" + HtmlText(vol.FileSystem) + " <progress value=\"" +
                   HtmlText(vol.UsedSpace) + "\" max=\"" + HtmlText(vol.Size) +
                   "\"></progress></p></td></tr>");
        }
        f.Line("</table></td></tr></tbody></table>");
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
    f.Line(std::string("<br /><p class=\"small\">Rapport généré le ") + date + "</p>");
    f.Line("</center><script>");
    f.Line("var toggler = document.getElementsByClassName(\"downlink\");");
    f.Line("var i;");
    f.Line("for (i = 0; i < toggler.length; i++) {");
    f.Line("toggler[i].addEventListener(\"click\", function() {");
    f.Line("this.parentElement.querySelector(\".nested\").classList.toggle(\"active\");");
    f.Line("if(this.parentElement.querySelector(\".nested\").classList.contains(\"active\")){");
    f.Line(
        "this.parentElement.querySelector(\".fa\").classList.replace(\"fa-plus\",\"fa-minus\");");
    f.Line("}else{");
    f.Line(
        "this.parentElement.querySelector(\".fa\").classList.replace(\"fa-minus\",\"fa-plus\");");
    f.Line("}");
    f.Line("});");
    f.Line("}");
    f.Line("</script></body></html>");
    f.Close();
}

}  // namespace harvix
