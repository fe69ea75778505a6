#include "report/modReadReport.h"

#include <charconv>

#include "platform/encoding.h"

namespace harvix {

namespace {

// The writers' literals, as they stand in modMakeReport.cpp.
const char* const kHead[] = {
    "<!DOCTYPE html>",
    "<html><head><style>",
    "body {font-family: Tahoma; font-size: 13px;} progress[value] {display: inline; width: 150px;} table {border-collapse: collapse; width: 700px; margin-bottom: 10px;} table.noborder {margin-bottom:-1px; width: 699px;} table.noborder td {border: none; border-bottom: 1px solid #ddd;} table.noborder td:first-child {width: 174px; min-width: 174px; max-width: 174px; word-break: break-all; padding-left: 28px;} table.noborder tr{background-color: #fff;} table.noborder tr:hover{background-color: #f5f5f5;}",
    "th, td {padding: 5px; text-align: left; border: 1px solid #ddd;} td.nopadding {padding: 0px;} th {background-color: #f5f5fc;} tbody tr td:first-child {width: 15em; min-width: 15em; max-width: 15em; word-break: break-all;} tr:hover {background-color:#f5f5f5;} .hand {cursor: pointer;} .nested {display: none;} .active {display: table-row;}",
    ".tooltip {position: relative; display: inline-block;} .tooltip .tooltiptext {visibility: hidden; width: 120px; background-color: black; color: #fff; text-align: center; border-radius: 6px; padding: 5px 0; position: absolute; z-index: 1; top: -5px; right: 150%; opacity: 0; transition: opacity 1s;} .tooltip:hover .tooltiptext {visibility: visible; opacity: 0.7;} .tooltip .tooltiptext::after {content: \"\"; position: absolute; top: 50%; left: 100%; margin-top: -5px; border-width: 5px; border-style: solid; border-color: transparent transparent transparent black;} .tooltip:hover .tooltiptext {visibility: visible;} .small {margin: 1px; font-size: 10px;}",
};
// The two web addresses are build settings: only what frames them is fixed.
const char* const kLinkOpen = "</style><link rel=\"stylesheet\" href=\"";
const char* const kLinkClose = "\"></head>";
const char* const kLogoOpen = "<body><center><img src=\"";
const char* const kLogoClose = "\" width=300px><br /><br />";

const char* const kGeneralHead =
    "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-desktop\"></i> Général</th></tr></thead><tbody>";
const char* const kCpuHead =
    "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-microchip\"></i> Processeur</th></tr></thead><tbody>";
const char* const kMemoryHead =
    "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-memory\"></i> RAM</th></tr></thead><tbody>";
const char* const kTableEnd = "</tbody></table>";
const char* const kSlotsOpen =
    "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">Afficher les détails</span></a> Slots utilisés</td><td>";
const char* const kNestedOpen =
    "</td></tr><tr class=\"nested\"><td class=\"nopadding\" colspan=\"2\"><table class=\"noborder\">";
const char* const kModulesEnd = "</table></td></tr>";
const char* const kRemovableHead =
    "<table><thead><tr><th colspan=\"2\"><i class=\"fab fa-usb\"></i> Stockage amovible</th></tr></thead><tbody>";
const char* const kFixedHead =
    "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-hdd\"></i> Stockage fixe</th></tr></thead><tbody>";
const char* const kDiskOpen =
    "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">Afficher les volumes</span></a> ";
const char* const kSmall = "<p class=\"small\">";
const char* const kDiskEnd = "</table></td></tr></tbody></table>";
const char* const kDateOpen = "<br /><p class=\"small\">Rapport généré le ";
const char* const kFooter[] = {
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

using sv = std::string_view;

bool StartsWith(sv s, sv p) {
    return s.substr(0, p.size()) == p;
}
bool EndsWith(sv s, sv p) {
    return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// Takes the text up to the next `delim` and steps past it.
bool Take(sv& s, sv delim, sv& out) {
    std::size_t at = s.find(delim);
    if (at == sv::npos) return false;
    out = s.substr(0, at);
    s.remove_prefix(at + delim.size());
    return true;
}
bool Skip(sv& s, sv literal) {
    if (!StartsWith(s, literal)) return false;
    s.remove_prefix(literal.size());
    return true;
}

bool ToInt16(sv text, std::int16_t& out) {
    if (text.empty()) return false;
    auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

void AppendCodePoint(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    out += platform::EncodeUtf8(static_cast<char32_t>(cp));
}

// A numeric reference at s[i] ("&#233;", "&#xE9;"): its code point and length, or 0.
std::size_t NumericReference(sv s, std::size_t i, unsigned long& cp) {
    if (i + 3 > s.size() || s[i] != '&' || s[i + 1] != '#') return 0;
    std::size_t j = i + 2;
    int base = 10;
    if (s[j] == 'x' || s[j] == 'X') base = 16, ++j;
    std::size_t digits = j;
    cp = 0;
    while (j < s.size() && j - digits < 8) {
        char c = s[j];
        int d = c >= '0' && c <= '9'                 ? c - '0'
                : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
        if (d < 0) break;
        cp = cp * base + d;
        ++j;
    }
    if (j == digits || j >= s.size() || s[j] != ';') return 0;
    return j + 1 - i;
}

// The references that stand for letters the code page lacks: they never stand
// for markup, so labels and titles can be matched with them undone.
std::string DecodeLetterReferences(std::string text) {
    if (text.find("&#") == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned long cp;
        std::size_t len = NumericReference(text, i, cp);
        if (len && cp >= 0x80) {
            AppendCodePoint(out, cp);
            i += len;
        } else {
            out += text[i++];
        }
    }
    return out;
}

// The file's lines, decoded; a last line without its line end was cut short.
class LineReader {
  public:
    LineReader(sv bytes, bool utf8) : rest_(bytes), utf8_(utf8) {}
    bool Next(std::string& line) {
        std::size_t lf = rest_.find('\n');
        if (lf == sv::npos) return false;
        sv raw = rest_.substr(0, lf);
        rest_.remove_prefix(lf + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        line = DecodeLetterReferences(utf8_ ? std::string(raw) : platform::DecodeWindows1252(raw));
        return true;
    }

  private:
    sv rest_;
    bool utf8_;
};

// A field as the page holds it: no markup, or it is not one of ours.
bool Field(sv escaped, std::string& out) {
    if (escaped.find('<') != sv::npos) return false;
    out = HtmlUnescape(escaped);
    return true;
}

// "<tr><td>label</td><td>value</td></tr>"
bool PlainRow(const std::string& line, sv label, std::string& value) {
    sv s = line;
    if (!Skip(s, "<tr><td>") || !Skip(s, label) || !Skip(s, "</td><td>") ||
        !EndsWith(s, "</td></tr>"))
        return false;
    return Field(s.substr(0, s.size() - 10), value);
}

bool BalancedParentheses(sv s) {
    int depth = 0;
    for (char c : s) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth < 0) return false;
    }
    return depth == 0;
}

bool IsSizeUnit(sv unit) {
    return unit == "Go" || unit == "Ko" || unit == "Octets";
}

// "Manufacturer Capacity Speed FormFactorName", each joined by one blank: read
// from the right, where the pieces have a known form.
bool ModuleText(sv s, MemoryModule& m) {
    std::size_t blank = s.rfind(' ');
    if (blank == sv::npos) return false;
    sv form = s.substr(blank + 1);
    m.FormFactor = form == "DIMM" ? 8 : form == "SODIMM" ? 12 : 0;
    if (!form.empty() && m.FormFactor == 0) return false;
    s = s.substr(0, blank);
    // Speed: a number and " MHz", or empty where WMI gave none.
    if (EndsWith(s, " MHz")) {
        s.remove_suffix(4);
        blank = s.rfind(' ');
        if (blank == sv::npos) return false;
        std::string speed;
        if (!Field(s.substr(blank + 1), speed)) return false;
        m.Speed = speed + " MHz";
        s = s.substr(0, blank);
    } else {
        if (!EndsWith(s, " ")) return false;
        s.remove_suffix(1);
    }
    // Capacity: a number and its unit, or empty (then a blank ends the text).
    sv capacity;
    std::size_t unit = s.rfind(' ');
    std::size_t number = unit != sv::npos && unit > 0 ? s.rfind(' ', unit - 1) : sv::npos;
    if (number != sv::npos && IsSizeUnit(s.substr(unit + 1))) {
        capacity = s.substr(number + 1);
        s = s.substr(0, number);
    } else {
        if (!EndsWith(s, " ")) return false;
        s.remove_suffix(1);
    }
    return Field(capacity, m.Capacity) && Field(s, m.Manufacturer);
}

bool ModuleLine(const std::string& line, MemoryModule& m) {
    sv s = line, bank, text, part;
    if (!Skip(s, "<tr><td>") || !Take(s, "</td><td>", bank) || !Take(s, kSmall, text) ||
        !Take(s, "</p></td></tr>", part) || !s.empty())
        return false;
    return Field(bank, m.BankLabel) && ModuleText(text, m) && Field(part, m.PartNumber);
}

bool DiskLine(const std::string& line, DiskInfos& d) {
    sv s = line, id, count, style, model, size, serial;
    if (!Skip(s, kDiskOpen) || !Take(s, kSmall, id) || !Take(s, " Partition(s) - Type ", count) ||
        !Take(s, "</p></td><td>", style) || !Take(s, kSmall, model) || !Take(s, " - SN: ", size) ||
        !EndsWith(s, std::string("</p>") + kNestedOpen))
        return false;
    serial = s.substr(0, s.size() - 4 - std::char_traits<char>::length(kNestedOpen));
    return ToInt16(count, d.Partitions) && Field(id, d.DiskId) && Field(style, d.PartitionStyle) &&
           Field(model, d.Model) && Field(size, d.Size) && Field(serial, d.SerialNumber);
}

bool VolumeLine(const std::string& line, VolumeInfos& v) {
    sv s = line, names, shown, fs, used, size;
    if (!Skip(s, "<tr><td>") || !Take(s, ")</td><td>", names) || !Take(s, kSmall, shown) ||
        !Take(s, " <progress value=\"", fs) || !Take(s, "\" max=\"", used) ||
        !Take(s, "\"></progress></p></td></tr>", size) || !s.empty())
        return false;
    // "Name (Label": the first split that leaves both sides' parentheses paired.
    std::size_t split = sv::npos;
    for (std::size_t at = names.find(" ("); at != sv::npos; at = names.find(" (", at + 1)) {
        if (split == sv::npos) split = at;
        if (BalancedParentheses(names.substr(0, at)) && BalancedParentheses(names.substr(at + 2))) {
            split = at;
            break;
        }
    }
    if (split == sv::npos) return false;
    return Field(names.substr(0, split), v.Name) && Field(names.substr(split + 2), v.VolumeName) &&
           Field(fs, v.FileSystem) && Field(used, v.UsedSpace) && Field(size, v.Size);
}

class Parser {
  public:
    Parser(LineReader& lines, ReportContents& c) : lines_(lines), c_(c) {}

    bool Head() {
        for (const char* literal : kHead)
            if (!Next() || line_ != literal) return false;
        if (!Next() || !StartsWith(line_, kLinkOpen) || !EndsWith(line_, kLinkClose)) return false;
        if (!Next() || !StartsWith(line_, kLogoOpen) || !EndsWith(line_, kLogoClose)) return false;
        return true;
    }

    // Every section in the writers' order; false where the report stops.
    bool Body() {
        GeneralInfos& g = c_.General;
        if (!Expect(kGeneralHead) || !Row("OS", g.OperatingSystem) ||
            !Row("Nom de l'ordinateur", g.ComputerName) ||
            !Row("Nom du domaine/workgroup", g.Domain) ||
            !Row("Nom de l'utilisateur", g.UserName) || !Row("Modèle de l'ordinateur", g.Model) ||
            !Row("Numéro de série", g.SerialNumber) || !Expect(kTableEnd))
            return false;
        CpuInfos& cpu = c_.Cpu;
        if (!Expect(kCpuHead) || !Row("CPU", cpu.Name) ||
            !Row("Coeurs physiques", cpu.PhysicalCores) ||
            !Row("Coeurs logiques", cpu.LogicalCores) || !Expect(kTableEnd))
            return false;
        if (!Memory()) return false;
        for (;;) {
            if (!Next()) return false;
            if (line_ == kFixedHead || line_ == kRemovableHead) {
                if (!Disk(line_ == kRemovableHead)) return false;
                continue;
            }
            return Footer();
        }
    }

  private:
    bool Next() { return lines_.Next(line_); }
    bool Expect(const char* literal) { return Next() && line_ == literal; }
    bool Row(sv label, std::string& value) { return Next() && PlainRow(line_, label, value); }

    bool Memory() {
        MemoryInfos& m = c_.Memory;
        if (!Expect(kMemoryHead) || !Row("RAM installée", m.Installed) ||
            !Row("RAM maximale supportée", m.MaxSupported) || !Next())
            return false;
        sv s = line_, used;
        if (!Skip(s, kSlotsOpen) || !Take(s, " sur ", used) || !EndsWith(s, kNestedOpen) ||
            !ToInt16(used, m.UsedSlots) ||
            !ToInt16(s.substr(0, s.size() - std::char_traits<char>::length(kNestedOpen)),
                     m.SlotCount))
            return false;
        for (;;) {
            if (!Next()) return false;
            if (line_ == kModulesEnd) break;
            MemoryModule module;
            if (!ModuleLine(line_, module)) return false;
            m.Modules.Grow() = module;
        }
        return Expect(kTableEnd);
    }

    bool Disk(bool removable) {
        DiskInfos disk;
        if (!Next() || !DiskLine(line_, disk)) return false;
        disk.MediaType = removable ? kRemovableMediaType : kFixedMediaType;
        c_.Disks.Disks.Grow() = disk;
        c_.Disks.Count = static_cast<std::int16_t>(c_.Disks.Disks.UBound());
        for (;;) {
            if (!Next()) return false;
            if (line_ == kDiskEnd) return true;
            VolumeInfos v;
            if (!VolumeLine(line_, v)) return false;
            v.DiskId = disk.DiskId;
            c_.Volumes.Volumes.Grow() = v;
            c_.Volumes.Count = static_cast<std::int16_t>(c_.Volumes.Volumes.UBound());
        }
    }

    bool Footer() {
        sv s = line_;
        if (!Skip(s, kDateOpen) || !EndsWith(s, "</p>")) return false;
        std::string date;
        if (!Field(s.substr(0, s.size() - 4), date)) return false;
        c_.GeneratedOn = date;
        for (const char* literal : kFooter)
            if (!Expect(literal)) return false;
        return true;
    }

    LineReader& lines_;
    ReportContents& c_;
    std::string line_;
};

}  // namespace

std::string HtmlUnescape(std::string_view text) {
    if (text.find('&') == sv::npos) return std::string(text);
    static const std::pair<sv, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        unsigned long cp;
        if (std::size_t len = NumericReference(text, i, cp)) {
            AppendCodePoint(out, cp);
            i += len;
            continue;
        }
        bool named = false;
        for (const auto& [entity, c] : kNamed) {
            if (text.substr(i, entity.size()) == entity) {
                out += c;
                i += entity.size();
                named = true;
                break;
            }
        }
        if (!named) out += text[i++];
    }
    return out;
}

ReadReportResult ReadReport(std::string_view bytes) {
    ReadReportResult result;
    if (bytes.empty()) {
        result.Reason = "fichier vide";
        return result;
    }
    if (bytes.find('\0') != sv::npos) {
        result.Reason = "fichier binaire";
        return result;
    }
    // Windows with UTF-8 as its ANSI code page writes the report in UTF-8; a
    // windows-1252 report with any accent is never valid UTF-8.
    LineReader lines(bytes, platform::IsValidUtf8(bytes));
    Parser parser(lines, result.Contents);
    if (!parser.Head()) {
        result.Reason = "pas un rapport Harvix";
        return result;
    }
    result.IsReport = true;
    result.Contents.Complete = parser.Body();
    return result;
}

}  // namespace harvix
