// The flags of the rows, and what changed since the previous index.
#include "index/flags.h"

#include <algorithm>
#include <unordered_map>

#include "index/columns.h"
#include "index/end_of_support.h"
#include "inventory/identity.h"

namespace harvix::index {

namespace {

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

// The items of from beyond those of other, appended to out with sign; "2 × X" for two.
void Extra(const std::vector<std::string>& from, const std::vector<std::string>& other,
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
}

// The items taken out and put in, counted as a multiset: one of two identical
// disks removed still shows; the same hardware listed in another order is no change.
std::string ListDifference(const std::string& was, const std::string& now) {
    const std::vector<std::string> before = Items(was), after = Items(now);
    std::string out;
    Extra(before, after, "− ", out);
    Extra(after, before, "+ ", out);
    return out;
}

// "OS : A → B", or for a list only what differs: a server's disks in full are
// a wall of text. Empty when nothing is to be said.
std::string ChangeText(const IndexColumn& c, const std::string& was, const std::string& now) {
    if (was == now) return std::string();
    if (c.Change == ChangeForm::List) {
        std::string difference = ListDifference(was, now);
        return difference.empty() ? difference : std::string(c.ChangeLabel) + " : " + difference;
    }
    return std::string(c.ChangeLabel) + " : " + (was.empty() ? "(vide)" : was) + " → " +
           (now.empty() ? "(vide)" : now);
}

std::vector<std::string> ChangesSince(const PreviousRow& old, const ComputerRow& row) {
    std::vector<std::string> texts;
    for (FieldChange& c : FieldChanges(old, row)) texts.push_back(std::move(c.Text));
    return texts;
}

// Shared serial numbers: clones, or a maker's placeholder not yet known as one.
void FlagSerials(std::vector<ComputerRow>& rows) {
    std::unordered_map<std::string, int> serials;
    for (ComputerRow& row : rows) {
        row.SerialFlag = SerialProblem(row.Serial);
        if (row.SerialFlag.empty()) ++serials[SerialKey(row.Serial)];
    }
    for (ComputerRow& row : rows) {
        if (!row.SerialFlag.empty()) continue;
        int n = serials[SerialKey(row.Serial)];
        if (n > 1)
            row.SerialFlag = "Numéro de série partagé par " + std::to_string(n) + " ordinateurs";
    }
}

// A UUID makers leave unset tells no computer apart.
bool UsableUuid(const std::string& uuid) {
    return !IsPlaceholderUuid(uuid);
}

// Clones: the same UUID, or the same physical adapter, on two computers.
void FlagClones(std::vector<ComputerRow>& rows) {
    std::unordered_map<std::string, std::vector<std::size_t>> uuids, macs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const InventoryFacts& f = rows[i].Inventory;
        if (UsableUuid(f.Uuid)) uuids[AsciiLower(f.Uuid)].push_back(i);
        for (const std::string& mac : f.Macs) macs[mac].push_back(i);
    }
    auto flag = [&](const auto& seen, const char* what) {
        for (const auto& [key, at] : seen) {
            if (at.size() < 2) continue;
            for (std::size_t i : at) {
                std::string& text = rows[i].Inventory.CloneFlag;
                if (!text.empty()) continue;
                const std::size_t other = at[0] == i ? at[1] : at[0];
                text = std::string("même ") + what + " que " + rows[other].Name;
            }
        }
    };
    flag(uuids, "UUID");
    flag(macs, "MAC");
}

void FlagSupport(ComputerRow& row, const Date& today) {
    InventoryFacts& f = row.Inventory;
    if (!f.Present) return;
    const Date end = EndOfSupport(f);
    f.OsEndOfSupport = end.Text();
    f.OsUnsupported = end.Valid() && today.Valid() && today.DaysSinceEpoch() > end.DaysSinceEpoch();
    const Date sixYearsAgo{today.Day, today.Month, today.Year - 6};
    f.BiosOld = f.BiosDate.Valid() && today.Valid() &&
                f.BiosDate.DaysSinceEpoch() < sixYearsAgo.DaysSinceEpoch();
}

void FlagChanges(ComputerRow& row, const std::map<std::string, PreviousRow>& previous) {
    auto it = previous.find(row.File);
    if (it == previous.end()) {
        row.New = true;
        return;
    }
    row.Changes = ChangesSince(it->second, row);
    row.Changed = !row.Changes.empty();
}

std::vector<PreviousRow> GoneSince(const std::map<std::string, PreviousRow>& previous,
                                   const std::vector<ComputerRow>& rows) {
    std::unordered_map<std::string, bool> present;
    for (const ComputerRow& row : rows) present[row.File] = true;
    std::vector<PreviousRow> gone;
    for (const auto& [file, old] : previous)
        if (!present.count(file)) gone.push_back(old);
    return gone;
}

}  // namespace

std::vector<FieldChange> FieldChanges(const PreviousRow& old, const ComputerRow& row) {
    std::vector<FieldChange> changes;
    const auto columns = IndexColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const IndexColumn& c = columns[i];
        if (c.Change == ChangeForm::None) continue;
        const std::string was = ShownValue(c, i < old.Fields.size() ? old.Fields[i] : ""),
                          now = ShownValue(c, CsvValue(c, row));
        // A report cut short says nothing of what it does not hold.
        if ((row.Incomplete && now.empty()) || (old.Incomplete && was.empty())) continue;
        // What only an inventory file tells changes only between two that tell it.
        if (c.BothKnown && (was.empty() || now.empty())) continue;
        std::string text = ChangeText(c, was, now);
        if (!text.empty()) changes.push_back({c.ChangeLabel, was, now, std::move(text)});
    }
    return changes;
}

const std::string& PreviousRow::Field(std::string_view csvName) const {
    static const std::string kNone;
    const auto columns = IndexColumns();
    for (std::size_t i = 0; i < columns.size() && i < Fields.size(); ++i)
        if (columns[i].Csv && csvName == columns[i].Csv) return Fields[i];
    return kNone;
}

std::string SerialProblem(const std::string& serial) {
    const std::string s = SerialKey(serial);
    if (s.empty() || s == "n/a") return "Numéro de série absent";
    // The inventory file's own list: what it leaves out, the index flags.
    if (IsPlaceholderIdentity(s)) return "Numéro de série générique";
    return std::string();
}

std::vector<PreviousRow> SetFlags(std::vector<ComputerRow>& rows,
                                  const std::map<std::string, PreviousRow>* previous,
                                  const Date& today) {
    FlagSerials(rows);
    FlagClones(rows);
    for (ComputerRow& row : rows) {
        FlagSupport(row, today);
        row.Full = row.FullestPercent >= 90;
        row.Old = row.ReportDate.Valid() && today.Valid() &&
                  today.DaysSinceEpoch() - row.ReportDate.DaysSinceEpoch() > 30;
        if (previous) FlagChanges(row, *previous);
    }
    return previous ? GoneSince(*previous, rows) : std::vector<PreviousRow>();
}

}  // namespace harvix::index
