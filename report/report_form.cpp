#include "report/report_form.h"

#include <cassert>

namespace harvix::form {

namespace {

std::string SectionHead(std::string_view icon, std::string_view title) {
    return std::string("<table><thead><tr><th colspan=\"2\"><i class=\"") + std::string(icon) +
           "\"></i> " + std::string(title) + "</th></tr></thead><tbody>";
}

// A row that shows its nested table on a click, with a tooltip saying so.
std::string DownlinkOpen(std::string_view tip) {
    return std::string(
               "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">") +
           std::string(tip) + "</span></a> ";
}

const std::string kNestedOpen =
    "</td></tr><tr class=\"nested\"><td class=\"nopadding\" colspan=\"2\"><table class=\"noborder\">";
const std::string kSmall = "<p class=\"small\">";
const std::string kSmallEnd = "</p>";

}  // namespace

std::string FillLine(const LineForm& form, const std::vector<std::string>& fields) {
    assert(fields.size() + 1 == form.size());
    std::string line = form[0];
    std::size_t i = 1;
    for (const std::string& field : fields) line += field + form[i++];
    return line;
}

bool SplitLine(std::string_view line, const LineForm& form, std::vector<std::string_view>& fields) {
    fields.clear();
    if (!line.starts_with(form.front())) return false;
    line.remove_prefix(form.front().size());
    for (std::size_t i = 1; i + 1 < form.size(); ++i) {
        std::size_t at = line.find(form[i]);
        if (at == std::string_view::npos) return false;
        fields.push_back(line.substr(0, at));
        line.remove_prefix(at + form[i].size());
    }
    if (!line.ends_with(form.back())) return false;
    fields.push_back(line.substr(0, line.size() - form.back().size()));
    return true;
}

const std::vector<std::string> kHeadLines = {
    "<!DOCTYPE html>",
    "<html><head><style>",
    "body {font-family: Tahoma; font-size: 13px;} progress[value] {display: inline; width: 150px;} table {border-collapse: collapse; width: 700px; margin-bottom: 10px;} table.noborder {margin-bottom:-1px; width: 699px;} table.noborder td {border: none; border-bottom: 1px solid #ddd;} table.noborder td:first-child {width: 174px; min-width: 174px; max-width: 174px; word-break: break-all; padding-left: 28px;} table.noborder tr{background-color: #fff;} table.noborder tr:hover{background-color: #f5f5f5;}",
    "th, td {padding: 5px; text-align: left; border: 1px solid #ddd;} td.nopadding {padding: 0px;} th {background-color: #f5f5fc;} tbody tr td:first-child {width: 15em; min-width: 15em; max-width: 15em; word-break: break-all;} tr:hover {background-color:#f5f5f5;} .hand {cursor: pointer;} .nested {display: none;} .active {display: table-row;}",
    ".tooltip {position: relative; display: inline-block;} .tooltip .tooltiptext {visibility: hidden; width: 120px; background-color: black; color: #fff; text-align: center; border-radius: 6px; padding: 5px 0; position: absolute; z-index: 1; top: -5px; right: 150%; opacity: 0; transition: opacity 1s;} .tooltip:hover .tooltiptext {visibility: visible; opacity: 0.7;} .tooltip .tooltiptext::after {content: \"\"; position: absolute; top: 50%; left: 100%; margin-top: -5px; border-width: 5px; border-style: solid; border-color: transparent transparent transparent black;} .tooltip:hover .tooltiptext {visibility: visible;} .small {margin: 1px; font-size: 10px;}",
};
const LineForm kStylesheetLine = {"</style><link rel=\"stylesheet\" href=\"", "\"></head>"};
const LineForm kLogoLine = {"<body><center><img src=\"", "\" width=300px><br /><br />"};

const std::string kGeneralHead = SectionHead("fa fa-desktop", "Général");
const std::string kCpuHead = SectionHead("fa fa-microchip", "Processeur");
const std::string kMemoryHead = SectionHead("fa fa-memory", "RAM");
const std::string kFixedHead = SectionHead("fa fa-hdd", "Stockage fixe");
const std::string kRemovableHead = SectionHead("fab fa-usb", "Stockage amovible");
const std::string kTableEnd = "</tbody></table>";
const LineForm kRowLine = {"<tr><td>", "</td><td>", "</td></tr>"};

const LineForm kSlotsLine = {DownlinkOpen("Afficher les détails") + "Slots utilisés</td><td>",
                             " sur ", kNestedOpen};
const LineForm kModuleLine = {"<tr><td>", "</td><td>", kSmall, kSmallEnd + "</td></tr>"};
const std::string kNestedEnd = "</table></td></tr>";

const LineForm kDiskLine = {DownlinkOpen("Afficher les volumes"),
                            kSmall,
                            " Partition(s) - Type ",
                            kSmallEnd + "</td><td>",
                            kSmall,
                            " - SN: ",
                            kSmallEnd + kNestedOpen};
const LineForm kVolumeLine = {
    "<tr><td>",  ")</td><td>",
    kSmall,      " <progress value=\"",
    "\" max=\"", "\"></progress>" + kSmallEnd + "</td></tr>",
};
const std::string kDiskEnd = kNestedEnd + kTableEnd;

const LineForm kDateLine = {"<br />" + kSmall + "Rapport généré le ", kSmallEnd};
const std::vector<std::string> kFooterLines = {
    "</center><script>",
    "var toggler = document.getElementsByClassName(\"downlink\");",
    "var i;",
    "for (i = 0; i < toggler.length; i++) {",
    "toggler[i].addEventListener(\"click\", function() {",
    "this.parentElement.querySelector(\".nested\").classList.toggle(\"active\");",
    "if(this.parentElement.querySelector(\".nested\").classList.contains(\"active\")){",
    "this.parentElement.querySelector(\".fa\").classList.replace(\"fa-plus\",\"fa-minus\");",
    "}else{",
    "this.parentElement.querySelector(\".fa\").classList.replace(\"fa-minus\",\"fa-plus\");",
    "}",
    "});",
    "}",
    "</script></body></html>",
};

}  // namespace harvix::form
