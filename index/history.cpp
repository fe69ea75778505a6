// historique-index.json: what the next comparison needs, and every change found.
#include "index/history.h"

#include <nlohmann/json.hpp>

#include "index/columns.h"
#include "index/csv.h"

namespace harvix::index {

namespace {

using nlohmann::json;

json ComputerJson(const KnownComputer& c) {
    json j = {{"champs", c.Fields}, {"incomplet", c.Incomplete}};
    if (!c.Own.empty()) j["colonnes_techniciens"] = c.Own;
    return j;
}

KnownComputer ComputerFrom(const json& j) {
    KnownComputer c;
    c.Fields = j.at("champs").get<std::map<std::string, std::string>>();
    c.Incomplete = j.at("incomplet").get<bool>();
    if (j.contains("colonnes_techniciens"))
        c.Own = j.at("colonnes_techniciens").get<std::map<std::string, std::string>>();
    return c;
}

void AddChange(History& h, const std::string& date, const std::string& computer,
               const std::string& file, std::string field, std::string before, std::string after) {
    h.Changes.push_back(
        {date, computer, file, std::move(field), std::move(before), std::move(after)});
}

KnownComputer Known(const ComputerRow& row, const KnownComputer* was) {
    KnownComputer c;
    for (const IndexColumn& col : IndexColumns())
        if (col.Csv) c.Fields[col.Csv] = CsvValue(col, row);
    c.Incomplete = row.Incomplete;
    if (was) c.Own = was->Own;
    return c;
}

}  // namespace

std::string HistoryJson(const History& h) {
    json computers = json::object();
    for (const auto& [file, c] : h.Computers) computers[file] = ComputerJson(c);
    json changes = json::array();
    for (const ChangeRecord& c : h.Changes)
        changes.push_back({{"date", c.Date},
                           {"ordinateur", c.Computer},
                           {"rapport", c.File},
                           {"champ", c.Field},
                           {"avant", c.Before},
                           {"apres", c.After}});
    json j = {{"version", kHistoryVersion},
              {"ordinateurs", computers},
              {"colonnes_techniciens", h.OwnColumns},
              {"changements", changes}};
    // Invalid UTF-8 from a report is replaced rather than refused.
    return j.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
}

bool ParseHistory(std::string_view text, History& out, std::string& problem) {
    try {
        const json j = json::parse(text);
        if (!j.is_object() || !j.contains("version") || !j["version"].is_number_integer()) {
            problem = "ce n'est pas un historique de l'index";
            return false;
        }
        if (j["version"].get<int>() != kHistoryVersion) {
            problem = "version " + j["version"].dump() + " inconnue de ce programme";
            return false;
        }
        History h;
        for (const auto& [file, c] : j.at("ordinateurs").items())
            h.Computers[file] = ComputerFrom(c);
        h.OwnColumns = j.at("colonnes_techniciens").get<std::vector<std::string>>();
        for (const json& c : j.at("changements"))
            h.Changes.push_back({c.at("date"), c.at("ordinateur"), c.at("rapport"), c.at("champ"),
                                 c.at("avant"), c.at("apres")});
        out = std::move(h);
        return true;
    } catch (const json::exception& e) {
        problem = std::string("contenu illisible (") + e.what() + ")";
        return false;
    }
}

std::map<std::string, PreviousRow> PreviousRows(const History& h) {
    std::map<std::string, PreviousRow> rows;
    const auto columns = IndexColumns();
    for (const auto& [file, c] : h.Computers) {
        PreviousRow p;
        p.File = file;
        p.Incomplete = c.Incomplete;
        for (const IndexColumn& col : columns) {
            auto it = col.Csv ? c.Fields.find(col.Csv) : c.Fields.end();
            p.Fields.push_back(it == c.Fields.end() ? std::string() : it->second);
        }
        rows[file] = std::move(p);
    }
    return rows;
}

void RecordRun(History& h, const std::vector<ComputerRow>& rows,
               const std::map<std::string, PreviousRow>* previous,
               const std::vector<PreviousRow>& gone, const std::set<std::string>& unread,
               const std::string& date) {
    std::map<std::string, KnownComputer> now;
    for (const ComputerRow& row : rows) {
        if (previous) {
            auto it = previous->find(row.File);
            if (it == previous->end())
                AddChange(h, date, row.Name, row.File, "Ordinateur", "(absent)", "présent");
            else
                for (const FieldChange& c : FieldChanges(it->second, row))
                    AddChange(h, date, row.Name, row.File, c.Field, c.Before, c.After);
        }
        auto was = h.Computers.find(row.File);
        now[row.File] = Known(row, was == h.Computers.end() ? nullptr : &was->second);
    }
    for (const PreviousRow& g : gone)
        AddChange(h, date, g.Field(kNameColumn), g.File, "Ordinateur", "présent", "(absent)");
    // A report there but unreadable: the computer has not gone anywhere.
    for (const std::string& file : unread) {
        auto it = h.Computers.find(file);
        if (it != h.Computers.end()) now[file] = it->second;
    }
    h.Computers = std::move(now);
}

std::string ChangesCsv(const History& h) {
    std::string out = "\xEF\xBB\xBF" + CsvLine({"Date", "Ordinateur", "Champ", "Avant", "Après"});
    for (const ChangeRecord& c : h.Changes)
        out += CsvLine({c.Date, c.Computer, c.Field, c.Before, c.After});
    return out;
}

std::vector<std::string> OwnValues(const History& h, const std::string& file) {
    std::vector<std::string> values;
    auto it = h.Computers.find(file);
    for (const std::string& head : h.OwnColumns) {
        std::string v;
        if (it != h.Computers.end()) {
            auto own = it->second.Own.find(head);
            if (own != it->second.Own.end()) v = own->second;
        }
        values.push_back(std::move(v));
    }
    return values;
}

}  // namespace harvix::index
