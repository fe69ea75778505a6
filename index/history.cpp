// historique-index.json: what the next comparison needs, and every change found.
#include "index/history.h"

#include <nlohmann/json.hpp>

#include "index/columns.h"
#include "index/csv.h"

namespace harvix::index {

namespace {

using nlohmann::json;

// A JSON string; invalid UTF-8 from a report is replaced rather than refused.
std::string Quoted(const std::string& text) {
    return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string QuotedList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + Quoted(items[i]);
    return out + "]";
}

// What the next run needs of a computer: the compared values, and the name
// and report date a computer gone is listed with.
bool Kept(const IndexColumn& c) {
    const std::string_view csv = c.Csv ? c.Csv : "";
    return c.Csv && (c.Change != ChangeForm::None || csv == kNameColumn || csv == kDateColumn ||
                     csv == kFileColumn || csv == kIncompleteColumn);
}

std::vector<std::string> KeptHeads() {
    std::vector<std::string> heads;
    for (const IndexColumn& c : IndexColumns())
        if (Kept(c)) heads.push_back(c.Csv);
    return heads;
}

// The computer's values in the order of KeptHeads().
std::vector<std::string> KeptFields(const PreviousRow& p) {
    std::vector<std::string> values;
    const auto columns = IndexColumns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (Kept(columns[i])) values.push_back(i < p.Fields.size() ? p.Fields[i] : std::string());
    return values;
}

// Where each saved head sits in the column table now; npos for a head it no longer has.
std::vector<std::size_t> ColumnsOf(const std::vector<std::string>& heads) {
    std::vector<std::size_t> at;
    const auto columns = IndexColumns();
    for (const std::string& head : heads) {
        std::size_t found = std::string::npos;
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].Csv && head == columns[i].Csv) found = i;
        at.push_back(found);
    }
    return at;
}

PreviousRow RowFrom(const std::string& file, json& j, const std::vector<std::size_t>& at) {
    PreviousRow p;
    p.File = file;
    p.Fields.resize(IndexColumns().size());
    json& values = j.at("valeurs");
    for (std::size_t i = 0; i < values.size() && i < at.size(); ++i)
        if (at[i] != std::string::npos)
            p.Fields[at[i]] = std::move(values[i].get_ref<std::string&>());
    p.Incomplete = j.at("incomplet").get<bool>();
    return p;
}

void AddChange(History& h, const std::string& date, const std::string& computer,
               const std::string& file, std::string field, std::string before, std::string after) {
    h.Changes.push_back(
        {date, computer, file, std::move(field), std::move(before), std::move(after)});
}

PreviousRow Known(const ComputerRow& row) {
    PreviousRow p;
    p.File = row.File;
    for (const IndexColumn& c : IndexColumns())
        p.Fields.push_back(Kept(c) ? CsvValue(c, row) : std::string());
    p.Incomplete = row.Incomplete;
    return p;
}

}  // namespace

void WriteHistory(const History& h, const std::function<void(std::string_view)>& sink) {
    std::string out = "{\"version\":" + std::to_string(kHistoryVersion) + ",\n";
    out += "\"colonnes\":" + QuotedList(KeptHeads()) + ",\n\"ordinateurs\":{";
    // In pieces to the file: a fleet's history is never held whole.
    auto piece = [&](const char*& sep, const std::string& text) {
        out += sep + text;
        sep = ",\n";
        if (out.size() > (64u << 10)) sink(out), out.clear();
    };
    const char* sep = "\n";
    for (const auto& [file, p] : h.Computers)
        piece(sep, Quoted(file) + ":{\"valeurs\":" + QuotedList(KeptFields(p)) +
                       ",\"incomplet\":" + (p.Incomplete ? "true" : "false") + "}");
    out +=
        "},\n\"colonnes_techniciens\":" + QuotedList(h.OwnColumns) + ",\n\"valeurs_techniciens\":{";
    sep = "\n";
    for (const auto& [file, own] : h.Own)
        piece(sep,
              Quoted(file) + ":" + json(own).dump(-1, ' ', false, json::error_handler_t::replace));
    out += "},\n\"changements\":[";
    sep = "\n";
    for (const ChangeRecord& c : h.Changes)
        piece(sep, QuotedList({c.Date, c.Computer, c.File, c.Field, c.Before, c.After}));
    sink(out + "]}\n");
}

std::string HistoryJson(const History& h) {
    std::string all;
    WriteHistory(h, [&](std::string_view bytes) { all += bytes; });
    return all;
}

bool ParseHistory(std::string_view text, History& out, std::string& problem) {
    try {
        json j = json::parse(text);
        if (!j.is_object() || !j.contains("version") || !j["version"].is_number_integer()) {
            problem = "ce n'est pas un historique de l'index";
            return false;
        }
        if (j["version"].get<int>() != kHistoryVersion) {
            problem = "version " + j["version"].dump() + " inconnue de ce programme";
            return false;
        }
        History h;
        const auto at = ColumnsOf(j.at("colonnes").get<std::vector<std::string>>());
        for (auto& [file, c] : j.at("ordinateurs").items())
            h.Computers[file] = RowFrom(file, c, at);
        h.OwnColumns = j.at("colonnes_techniciens").get<std::vector<std::string>>();
        h.Own = j.at("valeurs_techniciens").get<decltype(h.Own)>();
        for (const json& c : j.at("changements"))
            h.Changes.push_back({c.at(0), c.at(1), c.at(2), c.at(3), c.at(4), c.at(5)});
        out = std::move(h);
        return true;
    } catch (const json::exception& e) {
        problem = std::string("contenu illisible (") + e.what() + ")";
        return false;
    }
}

void RecordRun(History& h, const std::vector<ComputerRow>& rows, bool compared,
               const std::vector<PreviousRow>& gone, const std::set<std::string>& unread,
               const std::string& date) {
    std::set<std::string> present = unread;
    for (const ComputerRow& row : rows) {
        auto it = h.Computers.find(row.File);
        if (compared && it == h.Computers.end())
            AddChange(h, date, row.Name, row.File, "Ordinateur", "(absent)", "présent");
        else if (compared)
            for (const FieldChange& c : FieldChanges(it->second, row))
                AddChange(h, date, row.Name, row.File, c.Field, c.Before, c.After);
        h.Computers[row.File] = Known(row);
        present.insert(row.File);
    }
    for (const PreviousRow& g : gone)
        AddChange(h, date, g.Field(kNameColumn), g.File, "Ordinateur", "présent", "(absent)");
    // Gone computers leave; a report there but unreadable keeps its last values.
    std::erase_if(h.Computers, [&](const auto& c) { return !present.count(c.first); });
    std::erase_if(h.Own, [&](const auto& c) { return !present.count(c.first); });
}

std::string ChangesCsv(const History& h) {
    std::string out = "\xEF\xBB\xBF" + CsvLine({"Date", "Ordinateur", "Champ", "Avant", "Après"});
    for (const ChangeRecord& c : h.Changes)
        out += CsvLine({c.Date, c.Computer, c.Field, c.Before, c.After});
    return out;
}

std::vector<std::string> OwnValues(const History& h, const std::string& file) {
    std::vector<std::string> values;
    auto it = h.Own.find(file);
    for (const std::string& head : h.OwnColumns) {
        std::string v;
        if (it != h.Own.end()) {
            auto own = it->second.find(head);
            if (own != it->second.end()) v = own->second;
        }
        values.push_back(std::move(v));
    }
    return values;
}

}  // namespace harvix::index
