// One row per computer, its flags and its changes since the previous index.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "index/modIndex.h"

namespace harvix::index {

namespace {

using sv = std::string_view;

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

sv Trim(sv s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string Lower(sv s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A number as the writing user's locale printed it: "15,49", "15.49", "512".
bool ReadDecimal(sv text, double& out) {
    std::string s(Trim(text));
    for (char& c : s)
        if (c == ',') c = '.';
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

// "15,49 Go", "512 Ko", "900 Octets" (powers of 1024) in bytes.
bool ReadSize(sv text, double& bytes) {
    std::size_t blank = text.rfind(' ');
    if (blank == sv::npos || !ReadDecimal(text.substr(0, blank), bytes)) return false;
    sv unit = text.substr(blank + 1);
    if (unit == "Go")
        bytes *= kGiB;
    else if (unit == "Ko")
        bytes *= 1024;
    else if (unit != "Octets")
        return false;
    return true;
}

// A size text in the French form whatever locale wrote it.
std::string FrenchSize(const std::string& text) {
    std::size_t blank = text.rfind(' ');
    double x;
    if (blank == std::string::npos || !ReadDecimal(sv(text).substr(0, blank), x)) return text;
    std::string number = text.substr(0, blank);
    for (char& c : number)
        if (c == '.') c = ',';
    return number + text.substr(blank);
}

bool ReadBytes(const std::string& digits, double& out) {
    if (digits.empty()) return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    return ReadDecimal(digits, out);
}

std::string Join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? sep : "") + parts[i];
    return out;
}

// The items of a " | "-joined list text, the form the row and inventaire.csv keep.
std::vector<std::string> Items(const std::string& text) {
    std::vector<std::string> items;
    for (std::size_t at = 0; !text.empty();) {
        std::size_t bar = text.find(" | ", at);
        items.push_back(text.substr(at, bar == std::string::npos ? bar : bar - at));
        if (bar == std::string::npos) break;
        at = bar + 3;
    }
    return items;
}

// The items taken out and put in, counted as a multiset: one of two identical
// disks removed still shows; the same hardware listed in another order is no change.
std::string ListDifference(const std::string& was, const std::string& now) {
    const std::vector<std::string> before = Items(was), after = Items(now);
    auto side = [](const std::vector<std::string>& from, const std::vector<std::string>& other,
                   const char* sign, std::string& out) {
        std::unordered_map<std::string, int> left;
        for (const std::string& item : other) ++left[item];
        std::vector<std::pair<std::string, int>> extra;  // in list order
        for (const std::string& item : from) {
            if (left[item] > 0) {
                --left[item];
                continue;
            }
            auto it = std::find_if(extra.begin(), extra.end(),
                                   [&](const auto& e) { return e.first == item; });
            if (it == extra.end())
                extra.emplace_back(item, 1);
            else
                ++it->second;
        }
        for (const auto& [item, n] : extra) {
            if (!out.empty()) out += " ; ";
            out += sign;
            if (n > 1) out += std::to_string(n) + " × ";
            out += item;
        }
    };
    std::string out;
    side(before, after, "− ", out);
    side(after, before, "+ ", out);
    return out;
}

}  // namespace

long Date::DaysSinceEpoch() const {
    // Days from civil, proleptic Gregorian.
    const int y = Year - (Month <= 2);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

std::string Date::Text() const {
    if (!Valid()) return std::string();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", Day % 100, Month % 100, Year % 10000);
    return buf;
}

std::string Date::Iso() const {
    if (!Valid()) return std::string();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", Year % 10000, Month % 100, Day % 100);
    return buf;
}

Date ParseReportDate(std::string_view text) {
    Date d;
    if (text.size() < 10) return d;
    auto digits = [&](std::size_t at, std::size_t n, int& out) {
        out = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    // DD sep MM sep YYYY, where sep is the same text twice (the locale's).
    for (std::size_t sep = 1; 2 + sep + 2 + sep + 4 <= text.size() && sep <= 4; ++sep) {
        if (text.size() != 2 + sep + 2 + sep + 4) continue;
        if (text.substr(2, sep) != text.substr(4 + sep, sep)) continue;
        int day, month, year;
        if (digits(0, 2, day) && digits(2 + sep, 2, month) && digits(4 + 2 * sep, 4, year) &&
            day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 1900) {
            d.Day = day, d.Month = month, d.Year = year;
        }
        break;
    }
    return d;
}

std::string FrenchDecimal(double x, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
    std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string GigabytesText(double bytes, int decimals) {
    return FrenchDecimal(bytes / kGiB, decimals) + " Go";
}

std::string RamText(const ComputerRow& row) {
    return row.RamBytes < 0 ? std::string() : GigabytesText(row.RamBytes);
}

ComputerRow RowFromReport(const std::string& file, const ReportContents& report) {
    ComputerRow row;
    row.File = file;
    const GeneralInfos& g = report.General;
    row.Name = g.ComputerName.empty()
                   ? file.substr(0, file.size() - std::string(kReportSuffix).size())
                   : g.ComputerName;
    row.User = g.UserName;
    row.Os = g.OperatingSystem;
    row.Model = g.Model;
    row.Serial = g.SerialNumber;
    row.Cpu = report.Cpu.Name;
    row.PhysicalCores = report.Cpu.PhysicalCores;
    row.LogicalCores = report.Cpu.LogicalCores;
    row.ReportDate = ParseReportDate(report.GeneratedOn);
    double ram;
    if (ReadSize(report.Memory.Installed, ram)) row.RamBytes = ram;
    row.UsedSlots = report.Memory.UsedSlots;
    row.SlotCount = report.Memory.SlotCount;

    std::vector<std::string> modules;
    for (int i = 1; i <= report.Memory.Modules.UBound(); ++i) {
        const MemoryModule& m = report.Memory.Modules[i];
        std::string text = m.BankLabel + " : " + FrenchSize(m.Capacity);
        for (sv extra : {Trim(m.Manufacturer), Trim(m.PartNumber)}) {
            if (extra.empty()) continue;
            text += ' ';
            text += extra;
        }
        modules.push_back(text);
    }
    row.Modules = Join(modules, " | ");

    std::vector<std::string> disks;
    row.DiskCount = report.Disks.Disks.UBound();
    for (int i = 1; i <= report.Disks.Disks.UBound(); ++i) {
        const DiskInfos& d = report.Disks.Disks[i];
        double gb;
        sv size = d.Size;
        if (size.size() > 3 && size.substr(size.size() - 3) == " Go" &&
            ReadDecimal(size.substr(0, size.size() - 3), gb))
            row.DiskBytes += gb * 1e9;
        std::string text = std::string(Trim(d.Model)) + " " + d.Size;
        if (!Trim(d.SerialNumber).empty()) text += " SN " + std::string(Trim(d.SerialNumber));
        disks.push_back(text);
    }
    row.Disks = Join(disks, " | ");

    for (int i = 1; i <= report.Volumes.Volumes.UBound(); ++i) {
        const VolumeInfos& v = report.Volumes.Volumes[i];
        double used, size;
        if (!ReadBytes(v.UsedSpace, used) || !ReadBytes(v.Size, size) || size <= 0) continue;
        double percent = used / size * 100;
        if (percent > row.FullestPercent) {
            row.FullestPercent = percent;
            row.FullestVolume = v.Name;
        }
    }
    row.Incomplete = !report.Complete;
    return row;
}

std::string SerialProblem(const std::string& serial) {
    static const char* const kPlaceholders[] = {"to be filled by o.e.m.",
                                                "to be filled by o.e.m",
                                                "default string",
                                                "system serial number",
                                                "chassis serial number",
                                                "not specified",
                                                "not applicable",
                                                "none",
                                                "serial number",
                                                "0123456789",
                                                "123456789",
                                                "invalid"};
    const std::string s = Lower(Trim(serial));
    if (s.empty() || s == "n/a") return "Numéro de série absent";
    if (s.find_first_not_of('0') == std::string::npos) return "Numéro de série générique";
    for (const char* p : kPlaceholders)
        if (s == p) return "Numéro de série générique";
    return std::string();
}

std::vector<PreviousRow> SetFlags(std::vector<ComputerRow>& rows,
                                  const std::map<std::string, PreviousRow>* previous,
                                  const Date& today) {
    std::unordered_map<std::string, int> serials;
    for (ComputerRow& row : rows) {
        row.SerialFlag = SerialProblem(row.Serial);
        if (row.SerialFlag.empty()) ++serials[Lower(Trim(row.Serial))];
    }
    std::unordered_map<std::string, bool> present;
    for (ComputerRow& row : rows) {
        present[row.File] = true;
        if (row.SerialFlag.empty()) {
            int n = serials[Lower(Trim(row.Serial))];
            if (n > 1)
                row.SerialFlag =
                    "Numéro de série partagé par " + std::to_string(n) + " ordinateurs";
        }
        row.Full = row.FullestPercent >= 90;
        row.Old = row.ReportDate.Valid() && today.Valid() &&
                  today.DaysSinceEpoch() - row.ReportDate.DaysSinceEpoch() > 30;
        if (!previous) continue;
        auto it = previous->find(row.File);
        if (it == previous->end()) {
            row.New = true;
            continue;
        }
        const PreviousRow& old = it->second;
        auto compare = [&](const char* label, const std::string& was, const std::string& now) {
            // A report cut short says nothing of what it does not hold.
            if ((row.Incomplete && now.empty()) || (old.Incomplete && was.empty())) return;
            if (was == now) return;
            row.Changes.push_back(std::string(label) + " : " + (was.empty() ? "(vide)" : was) +
                                  " → " + (now.empty() ? "(vide)" : now));
        };
        // A list shows only what differs: a server's disks in full are a wall of text.
        auto compareList = [&](const char* label, const std::string& was, const std::string& now) {
            if ((row.Incomplete && now.empty()) || (old.Incomplete && was.empty())) return;
            if (was == now) return;
            std::string difference = ListDifference(was, now);
            if (!difference.empty()) row.Changes.push_back(std::string(label) + " : " + difference);
        };
        compare("OS", old.Os, row.Os);
        compare("Modèle", old.Model, row.Model);
        compare("Numéro de série", old.Serial, row.Serial);
        compare("CPU", old.Cpu, row.Cpu);
        compare("RAM", old.Ram.empty() ? old.Ram : old.Ram + " Go",
                row.RamBytes < 0 ? std::string() : RamText(row));
        compareList("Modules", old.Modules, row.Modules);
        compareList("Disques", old.Disks, row.Disks);
        row.Changed = !row.Changes.empty();
    }
    std::vector<PreviousRow> gone;
    if (previous)
        for (const auto& [file, old] : *previous)
            if (!present.count(file)) gone.push_back(old);
    return gone;
}

}  // namespace harvix::index
