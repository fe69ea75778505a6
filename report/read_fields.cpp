#include "report/read_fields.h"

#include <limits>
#include <optional>
#include <vector>

#include "platform/text.h"
#include "report/modReadReport.h"
#include "report/report_form.h"

namespace harvix::reading {

namespace {

using sv = std::string_view;

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

// The form factor at the text's end, by its name; an unknown code prints none.
bool TakeFormFactor(sv& s, std::int16_t& code) {
    std::size_t blank = s.rfind(form::kModuleBlank);
    if (blank == sv::npos) return false;
    sv name = s.substr(blank + 1);
    code = name == "DIMM" ? 8 : name == "SODIMM" ? 12 : 0;
    if (!name.empty() && code == 0) return false;
    s = s.substr(0, blank);
    return true;
}

// Speed: a number and " MHz", or empty where WMI gave none.
bool TakeSpeed(sv& s, std::string& speed) {
    if (!s.ends_with(" MHz")) {
        if (!s.ends_with(form::kModuleBlank)) return false;
        s.remove_suffix(1);
        return true;
    }
    s.remove_suffix(4);
    std::size_t blank = s.rfind(form::kModuleBlank);
    if (blank == sv::npos || !Field(s.substr(blank + 1), speed)) return false;
    speed += " MHz";
    s = s.substr(0, blank);
    return true;
}

// Capacity: a number and its unit, or empty (then a blank ends the text). A
// count of bytes is a blank-or-minus number (" 0 Octets"): where two blanks
// stand before its digits, the second is its own.
bool TakeCapacity(sv& s, sv& capacity) {
    std::size_t unit = s.rfind(form::kModuleBlank);
    std::size_t number = unit != sv::npos && unit > 0 ? s.rfind(' ', unit - 1) : sv::npos;
    if (number != sv::npos && IsSizeUnit(s.substr(unit + 1))) {
        if (s.substr(unit + 1) == "Octets" && number > 0 && s[number - 1] == ' ' &&
            s[number + 1] != '-')
            --number;
        capacity = s.substr(number + 1);
        s = s.substr(0, number);
        return true;
    }
    if (!s.ends_with(form::kModuleBlank)) return false;
    s.remove_suffix(1);
    return true;
}

// "Manufacturer Capacity Speed FormFactorName": read from the right, where
// the pieces have a known form.
bool ModuleText(sv s, MemoryModule& m) {
    sv capacity;
    return TakeFormFactor(s, m.FormFactor) && TakeSpeed(s, m.Speed) && TakeCapacity(s, capacity) &&
           Field(capacity, m.Capacity) && Field(s, m.Manufacturer);
}

// "Name (Label": the first split that leaves both sides' parentheses paired.
bool NameAndLabel(sv names, VolumeInfos& v) {
    std::size_t split = sv::npos;
    for (std::size_t at = names.find(form::kLabelOpen); at != sv::npos;
         at = names.find(form::kLabelOpen, at + 1)) {
        if (split == sv::npos) split = at;
        if (BalancedParentheses(names.substr(0, at)) &&
            BalancedParentheses(names.substr(at + form::kLabelOpen.size()))) {
            split = at;
            break;
        }
    }
    if (split == sv::npos) return false;
    return Field(names.substr(0, split), v.Name) &&
           Field(names.substr(split + form::kLabelOpen.size()), v.VolumeName);
}

}  // namespace

bool Field(sv escaped, std::string& out) {
    if (escaped.find('<') != sv::npos) return false;
    out = HtmlUnescape(escaped);
    return true;
}

bool WholeNumber(sv text, std::int16_t& out) {
    std::optional<long long> n = ParseWhole(text);
    if (!n || *n < std::numeric_limits<std::int16_t>::min() ||
        *n > std::numeric_limits<std::int16_t>::max())
        return false;
    out = static_cast<std::int16_t>(*n);
    return true;
}

bool RowLine(sv line, sv label, std::string& value) {
    std::vector<sv> f;
    return form::SplitLine(line, form::kRowLine, f) && f[0] == label && Field(f[1], value);
}

bool SlotsLine(sv line, MemoryInfos& m) {
    std::vector<sv> f;
    return form::SplitLine(line, form::kSlotsLine, f) && WholeNumber(f[0], m.UsedSlots) &&
           WholeNumber(f[1], m.SlotCount);
}

bool ModuleLine(sv line, MemoryModule& m) {
    std::vector<sv> f;
    return form::SplitLine(line, form::kModuleLine, f) && Field(f[0], m.BankLabel) &&
           ModuleText(f[1], m) && Field(f[2], m.PartNumber);
}

bool DiskLine(sv line, DiskInfos& d) {
    std::vector<sv> f;
    return form::SplitLine(line, form::kDiskLine, f) && WholeNumber(f[1], d.Partitions) &&
           Field(f[0], d.DiskId) && Field(f[2], d.PartitionStyle) && Field(f[3], d.Model) &&
           Field(f[4], d.Size) && Field(f[5], d.SerialNumber);
}

// The shown sizes (f[1]) say again what used and size say.
bool VolumeLine(sv line, VolumeInfos& v) {
    std::vector<sv> f;
    return form::SplitLine(line, form::kVolumeLine, f) && NameAndLabel(f[0], v) &&
           Field(f[2], v.FileSystem) && Field(f[3], v.UsedSpace) && Field(f[4], v.Size);
}

bool DateLine(sv line, std::string& date) {
    std::vector<sv> f;
    return form::SplitLine(line, form::kDateLine, f) && Field(f[0], date);
}

}  // namespace harvix::reading
