// One row per computer, from its report.
#include "index/rows.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/text.h"

namespace harvix::index {

namespace {

using sv = std::string_view;

// Reports name hardware with blanks or tabs around a name now and then.
sv Trim(sv s) {
    return TrimOf(s, " \t");
}


// "15,49 Go", "512 Ko", "900 Octets" (powers of 1024) in bytes.
bool ReadSize(sv text, double& bytes) {
    std::size_t blank = text.rfind(' ');
    if (blank == sv::npos || !ReadDecimal(text.substr(0, blank), bytes)) return false;
    sv unit = text.substr(blank + 1);
    if (unit == "Go")
        bytes *= kGiB;
    else if (unit == "Ko")
        bytes *= kKiB;
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

std::string Join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? sep : "") + parts[i];
    return out;
}

// "BANK 0 : 8,00 Go Samsung M471A1K43CB1-CTD | ...", the modules as compared.
std::string ModulesText(const MemoryInfos& memory) {
    std::vector<std::string> modules;
    for (int i = 1; i <= memory.Modules.UBound(); ++i) {
        const MemoryModule& m = memory.Modules[i];
        modules.push_back(ModuleText(m.BankLabel, m.Capacity, m.Manufacturer, m.PartNumber));
    }
    return Join(modules, " | ");
}

// "Model 512 Go SN X | ...", the disks as compared; counts and sizes them into row.
std::string DisksText(const DiskList& disks, bool disksWhole, ComputerRow& row) {
    std::vector<std::string> texts;
    double bytes = 0;
    for (int i = 1; i <= disks.Disks.UBound(); ++i) {
        const DiskInfos& d = disks.Disks[i];
        double gb;
        sv size = d.Size;
        if (size.size() > 3 && size.substr(size.size() - 3) == " Go" &&
            ReadDecimal(size.substr(0, size.size() - 3), gb))
            bytes += gb * kGB;
        std::string text = std::string(Trim(d.Model)) + " " + d.Size;
        if (!Trim(d.SerialNumber).empty()) text += " SN " + std::string(Trim(d.SerialNumber));
        texts.push_back(text);
    }
    if (disksWhole) {
        row.DiskCount = disks.Disks.UBound();
        row.DiskBytes = bytes;
    }
    return Join(texts, " | ");
}

void FindFullestVolume(const VolumeList& volumes, ComputerRow& row) {
    for (int i = 1; i <= volumes.Volumes.UBound(); ++i) {
        const VolumeInfos& v = volumes.Volumes[i];
        double used, size;
        if (!ReadByteCount(v.UsedSpace, used) || !ReadByteCount(v.Size, size) || size <= 0)
            continue;
        double percent = used / size * 100;
        if (percent > row.FullestPercent) {
            row.FullestPercent = percent;
            row.FullestVolume = v.Name;
        }
    }
}

}  // namespace

std::string ModuleText(const std::string& bank, const std::string& capacity,
                       std::string_view maker, std::string_view part) {
    std::string text = bank + " : " + FrenchSize(capacity);
    for (sv extra : {Trim(maker), Trim(part)}) {
        if (extra.empty()) continue;
        text += ' ';
        text += extra;
    }
    return text;
}

bool ReadDecimal(sv text, double& out) {
    std::string s(Trim(text));
    for (char& c : s)
        if (c == ',') c = '.';
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

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
    // DD sep MM sep YYYY, where sep is the same text twice: the writer's locale's,
    // of any length ("ཟལ" in Tibetan is 6 bytes).
    Date d;
    if (text.size() < 10 || text.size() % 2 != 0) return d;
    const std::size_t sep = (text.size() - 8) / 2;
    if (text.substr(2, sep) != text.substr(4 + sep, sep)) return d;
    const auto day = ParseUnsigned(text.substr(0, 2)),
               month = ParseUnsigned(text.substr(2 + sep, 2)),
               year = ParseUnsigned(text.substr(4 + 2 * sep));
    if (!day || !month || !year || *day < 1 || *day > 31 || *month < 1 || *month > 12 ||
        *year < 1900)
        return d;
    d.Day = static_cast<int>(*day), d.Month = static_cast<int>(*month);
    d.Year = static_cast<int>(*year);
    return d;
}

std::string SerialKey(const std::string& serial) {
    return AsciiLower(Trim(serial));
}

bool ReadByteCount(const std::string& digits, double& out) {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    return ReadDecimal(digits, out);
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
    if (row.Name.empty()) row.Name = kNoName;
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
    // A report cut short says how far it got only by what it holds: the date
    // line opens the footer, after every disk; a disk comes after the memory,
    // whose slot count is read before its modules.
    const bool disksWhole = report.Complete || !report.GeneratedOn.empty();
    if (disksWhole || report.Disks.Disks.UBound() > 0 || report.Memory.SlotCount > 0) {
        row.UsedSlots = report.Memory.UsedSlots;
        row.SlotCount = report.Memory.SlotCount;
    }

    row.Modules = ModulesText(report.Memory);
    row.Disks = DisksText(report.Disks, disksWhole, row);
    FindFullestVolume(report.Volumes, row);
    row.Incomplete = !report.Complete;
    return row;
}

}  // namespace harvix::index
