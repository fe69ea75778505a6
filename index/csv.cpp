// inventaire.csv and volumes.csv in the form French Excel opens by double-click.
#include "index/csv.h"

#include "index/columns.h"
#include "index/rows.h"
#include "platform/text.h"

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

// U+2060 WORD JOINER: invisible, and no spreadsheet reads a number after it.
const sv kKeepText = "\xE2\x81\xA0";

bool StartsWithDigit(sv s) {
    return !s.empty() && s[0] >= '0' && s[0] <= '9';
}

// What Calc or Excel would take for a number, a date, a time or a truth value:
// "000123456789", "1E5", "3/4", "1-2", "12:30", ",5", "(12)", "€5", "VRAI" — figures
// and what joins them only, so that a model such as "20QDCTO1WW" stays as it is.
// Texts that already start with the joiner count too, so reading back is exact.
bool LooksLikeNumber(sv s) {
    if (s.substr(0, kKeepText.size()) == kKeepText) return true;
    s = TrimOf(s, " ");
    const std::string word = AsciiLower(s);
    if (word == "vrai" || word == "faux" || word == "true" || word == "false") return true;
    for (sv sign : {sv("\xE2\x82\xAC"), sv("\xC2\xA3"), sv("$")})
        if (s.substr(0, sign.size()) == sign) s = TrimOf(s.substr(sign.size()), " ");
    if (s.find_first_not_of("0123456789.,:/-+eE%() ") != sv::npos) return false;
    if (!StartsWithDigit(s) && (s.empty() || sv(".,(").find(s[0]) == sv::npos)) return false;
    return s.find_first_of("0123456789") != sv::npos;
}

// Texts stay texts; figures and dates stay what the spreadsheet makes of them,
// and one that a report gave behind a joiner still reads back exactly.
std::string InventoryField(const IndexColumn& c, const ComputerRow& row) {
    std::string value = CsvValue(c, row);
    if (c.Kind == ColumnKind::Text || value.starts_with(kKeepText)) return KeepAsText(value);
    return value;
}

}  // namespace

std::string KeepAsText(std::string_view text) {
    return LooksLikeNumber(text) ? std::string(kKeepText) + std::string(text) : std::string(text);
}

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

std::vector<std::vector<std::string>> ParseCsv(std::string_view text, char separator) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, any = false;
    auto endField = [&] {
        if (field.size() > 1 && field[0] == '\'' && NeedsGuard(sv(field).substr(1)))
            field.erase(0, 1);
        else if (sv(field).substr(0, kKeepText.size()) == kKeepText &&
                 LooksLikeNumber(sv(field).substr(kKeepText.size())))
            field.erase(0, kKeepText.size());
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
        } else if (c == separator) {
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

std::string InventoryHeader(const std::vector<std::string>& own) {
    std::vector<std::string> heads;
    for (const IndexColumn& c : IndexColumns())
        if (c.Csv) heads.push_back(c.Csv);
    heads.insert(heads.end(), own.begin(), own.end());
    return "\xEF\xBB\xBF" + CsvLine(heads);
}

std::string InventoryLine(const ComputerRow& row, const std::vector<std::string>& own) {
    std::vector<std::string> fields;
    for (const IndexColumn& c : IndexColumns())
        if (c.Csv) fields.push_back(InventoryField(c, row));
    for (const std::string& value : own) fields.push_back(KeepAsText(value));
    return CsvLine(fields);
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
        if (ReadByteCount(v.UsedSpace, used) && ReadByteCount(v.Size, size) && size > 0)
            percent = FrenchDecimal(used / size * 100, 1);
        out += CsvLine({KeepAsText(computer), KeepAsText(v.DiskId), KeepAsText(model),
                        KeepAsText(v.Name), KeepAsText(v.VolumeName), KeepAsText(v.FileSystem),
                        v.UsedSpace, v.Size, percent});
    }
    return out;
}

}  // namespace harvix::index
