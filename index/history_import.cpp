// inventaire.csv read back as a spreadsheet may have saved it: only to start a
// history from a first version's file, and for the technician's own columns.
#include <algorithm>

#include "index/columns.h"
#include "index/csv.h"
#include "index/history.h"
#include "index/rows.h"
#include "platform/encoding.h"
#include "platform/text.h"

namespace harvix::index {

namespace {

// The separator the head line uses most, outside quotes.
char Separator(std::string_view text) {
    int semicolons = 0, commas = 0, tabs = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\r' || c == '\n') break;
        semicolons += c == ';', commas += c == ',', tabs += c == '\t';
    }
    if (tabs > semicolons && tabs > commas) return '\t';
    return commas > semicolons ? ',' : ';';
}

// A spreadsheet shows "16,00" as 16 and saves it so: the figure, in the
// program's own form, so that a re-save is no change.
std::string Normalized(const IndexColumn& c, const std::string& value) {
    if (value.empty() || (c.Kind != ColumnKind::Bytes && c.Kind != ColumnKind::Percent))
        return value;
    double x = 0;
    return ReadDecimal(value, x) ? FrenchDecimal(x, c.Decimals) : value;
}

struct Heads {
    std::map<std::string, std::size_t> Index;
    bool Has(const char* name) const { return Index.count(name) > 0; }
};

Heads HeadsOf(const std::vector<std::string>& head) {
    Heads h;
    for (std::size_t i = 0; i < head.size(); ++i) h.Index.emplace(Trim(head[i]), i);
    return h;
}

std::string FieldOf(const Heads& heads, const std::vector<std::string>& rec, const char* name) {
    auto it = heads.Index.find(name);
    return it != heads.Index.end() && it->second < rec.size() ? rec[it->second] : std::string();
}

bool IsProgramColumn(const std::string& head) {
    for (const IndexColumn& c : IndexColumns())
        if (c.Csv && head == c.Csv) return true;
    return false;
}

}  // namespace

std::vector<std::vector<std::string>> ReadSpreadsheetCsv(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const std::string text =
        platform::IsValidUtf8(bytes) ? std::string(bytes) : platform::DecodeWindows1252(bytes);
    return ParseCsv(text, Separator(text));
}

bool ImportInventory(std::string_view bytes, History& out) {
    const auto records = ReadSpreadsheetCsv(bytes);
    if (records.empty()) return false;
    const Heads heads = HeadsOf(records[0]);
    if (!heads.Has(kFileColumn) || !heads.Has(kNameColumn)) return false;
    History h;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const std::string file = FieldOf(heads, records[r], kFileColumn);
        if (file.empty()) continue;
        PreviousRow p;
        p.File = file;
        for (const IndexColumn& col : IndexColumns())
            p.Fields.push_back(col.Csv ? Normalized(col, FieldOf(heads, records[r], col.Csv))
                                       : std::string());
        p.Incomplete = p.Field(kIncompleteColumn) == kYes;
        h.Computers[file] = std::move(p);
    }
    out = std::move(h);
    return true;
}

void TakeOwnColumns(std::string_view bytes, History& h) {
    // Most folders have none: the head line alone says so, without reading a fleet's rows.
    const auto head = ReadSpreadsheetCsv(bytes.substr(0, bytes.find('\n')));
    if (head.empty() || std::all_of(head[0].begin(), head[0].end(), [](const std::string& name) {
            return Trim(name).empty() || IsProgramColumn(Trim(name));
        }))
        return;
    const auto records = ReadSpreadsheetCsv(bytes);
    if (records.empty()) return;
    const Heads heads = HeadsOf(records[0]);
    if (!heads.Has(kFileColumn)) return;
    std::vector<std::string> own;
    for (const std::string& head : records[0]) {
        const std::string name = Trim(head);
        if (!name.empty() && !IsProgramColumn(name)) own.push_back(name);
    }
    for (const std::string& name : own)
        if (std::find(h.OwnColumns.begin(), h.OwnColumns.end(), name) == h.OwnColumns.end())
            h.OwnColumns.push_back(name);
    for (std::size_t r = 1; r < records.size(); ++r) {
        const std::string file = FieldOf(heads, records[r], kFileColumn);
        if (!h.Computers.count(file)) continue;
        for (const std::string& name : own)
            h.Own[file][name] = FieldOf(heads, records[r], name.c_str());
    }
}

}  // namespace harvix::index
