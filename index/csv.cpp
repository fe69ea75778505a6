// inventaire.csv and volumes.csv in the form French Excel opens by double-click.
#include <charconv>

#include "index/modIndex.h"

namespace harvix::index {

namespace {

using sv = std::string_view;

bool IsFormulaStart(char c) {
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// A leading apostrophe keeps a would-be formula as text; apostrophes already in
// front of one get one more, so reading back is exact.
bool NeedsGuard(sv s) {
    std::size_t i = s.find_first_not_of('\'');
    return i != sv::npos && IsFormulaStart(s[i]);
}

const char* const kYes = "oui";
const char* const kNo = "non";

const std::vector<std::string>& InventoryColumns() {
    static const std::vector<std::string> k = {"Nom",
                                               "Date du rapport",
                                               "Utilisateur",
                                               "OS",
                                               "Modèle",
                                               "Numéro de série",
                                               "CPU",
                                               "Cœurs physiques",
                                               "Cœurs logiques",
                                               "RAM installée (Go)",
                                               "Slots utilisés",
                                               "Slots présents",
                                               "Disques",
                                               "Capacité des disques (Go)",
                                               "Volume le plus plein",
                                               "Occupation du volume (%)",
                                               "Rapport",
                                               "Modules",
                                               "Liste des disques",
                                               "Volume à 90 % ou plus",
                                               "Rapport de plus de 30 jours",
                                               "Rapport incomplet",
                                               "Numéro de série suspect",
                                               "Nouveau",
                                               "Modifié",
                                               "Changements"};
    return k;
}

}  // namespace

std::string CsvField(std::string_view text) {
    std::string s;
    if (NeedsGuard(text)) s += '\'';
    s.append(text);
    if (s.find_first_of(";\"\r\n") == std::string::npos) return s;
    std::string quoted = "\"";
    for (char c : s) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ';';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

std::vector<std::vector<std::string>> ParseCsv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, any = false;
    auto endField = [&] {
        if (field.size() > 1 && field[0] == '\'' && NeedsGuard(sv(field).substr(1)))
            field.erase(0, 1);
        record.push_back(std::move(field));
        field.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        any = true;
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"')
                    field += '"', ++i;
                else
                    quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endField();
            records.push_back(std::move(record));
            record.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any) {
        endField();
        records.push_back(std::move(record));
    }
    return records;
}

std::string InventoryHeader() {
    return "\xEF\xBB\xBF" + CsvLine(InventoryColumns());
}

std::string InventoryLine(const ComputerRow& r) {
    return CsvLine({r.Name,
                    r.ReportDate.Text(),
                    r.User,
                    r.Os,
                    r.Model,
                    r.Serial,
                    r.Cpu,
                    r.PhysicalCores,
                    r.LogicalCores,
                    r.RamBytes < 0 ? std::string() : FrenchDecimal(r.RamBytes / (1 << 30), 2),
                    std::to_string(r.UsedSlots),
                    std::to_string(r.SlotCount),
                    std::to_string(r.DiskCount),
                    FrenchDecimal(r.DiskBytes / 1e9, 0),
                    r.FullestVolume,
                    r.FullestPercent < 0 ? std::string() : FrenchDecimal(r.FullestPercent, 1),
                    r.File,
                    r.Modules,
                    r.Disks,
                    r.Full ? kYes : kNo,
                    r.Old ? kYes : kNo,
                    r.Incomplete ? kYes : kNo,
                    r.SerialFlag,
                    r.New ? kYes : kNo,
                    r.Changed ? kYes : kNo,
                    [&] {
                        std::string all;
                        for (const std::string& c : r.Changes)
                            all += (all.empty() ? "" : " | ") + c;
                        return all;
                    }()});
}

std::string VolumesHeader() {
    return "\xEF\xBB\xBF" +
           CsvLine({"Ordinateur", "Disque", "Modèle du disque", "Volume", "Nom de volume",
                    "Système de fichiers", "Octets utilisés", "Octets au total", "Occupation (%)"});
}

std::string VolumeLines(const std::string& computer, const ReportContents& report) {
    std::string out;
    for (int i = 1; i <= report.Volumes.Volumes.UBound(); ++i) {
        const VolumeInfos& v = report.Volumes.Volumes[i];
        std::string model;
        for (int d = 1; d <= report.Disks.Disks.UBound(); ++d)
            if (report.Disks.Disks[d].DiskId == v.DiskId) {
                model = report.Disks.Disks[d].Model;
                break;
            }
        std::string percent;
        double used = 0, size = 0;
        auto number = [](const std::string& s, double& x) {
            auto r = std::from_chars(s.data(), s.data() + s.size(), x);
            return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() &&
                   s.find_first_not_of("0123456789") == std::string::npos;
        };
        if (number(v.UsedSpace, used) && number(v.Size, size) && size > 0)
            percent = FrenchDecimal(used / size * 100, 1);
        out += CsvLine({computer, v.DiskId, model, v.Name, v.VolumeName, v.FileSystem, v.UsedSpace,
                        v.Size, percent});
    }
    return out;
}

bool ReadInventory(std::string_view text, std::map<std::string, PreviousRow>& rows) {
    auto records = ParseCsv(text);
    if (records.empty()) return false;
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < records[0].size(); ++i) column[records[0][i]] = i;
    if (!column.count("Rapport") || !column.count("Nom")) return false;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const auto& rec = records[r];
        auto get = [&](const char* name) {
            auto it = column.find(name);
            return it != column.end() && it->second < rec.size() ? rec[it->second] : std::string();
        };
        PreviousRow p;
        p.File = get("Rapport");
        if (p.File.empty()) continue;
        p.Name = get("Nom");
        p.Os = get("OS");
        p.Model = get("Modèle");
        p.Serial = get("Numéro de série");
        p.Cpu = get("CPU");
        p.Ram = get("RAM installée (Go)");
        p.Modules = get("Modules");
        p.Disks = get("Liste des disques");
        p.ReportDate = get("Date du rapport");
        p.Incomplete = get("Rapport incomplet") == kYes;
        rows[p.File] = p;
    }
    return true;
}

}  // namespace harvix::index
