// The fleet's answers at a glance: what each chart counts.
#include "index/page_glance.h"

#include <algorithm>
#include <functional>
#include <map>

#include "platform/text.h"

namespace harvix::index {

namespace {

const char* const kUnknown = "inconnu";

struct Category {
    const char* Key;  // the row's value
    const char* Label;
    bool Alert;
};

GlanceBar Bar(std::string label, std::vector<int> rows, bool alert = false) {
    GlanceBar b;
    b.Label = std::move(label);
    b.Rows = std::move(rows);
    b.Alert = alert;
    return b;
}

using RowKey = std::function<std::string(const ComputerRow&)>;

// Each row's key with the indexes holding it, in row order.
std::map<std::string, std::vector<int>> Group(const std::vector<ComputerRow>& rows,
                                              const RowKey& key) {
    std::map<std::string, std::vector<int>> out;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        out[key(rows[static_cast<std::size_t>(i)])].push_back(i);
    return out;
}

// The categories in their order, then any other value met, then the unknown
// (an empty key); every category is shown, even at zero.
GlanceChart Categories(const char* title, const std::vector<ComputerRow>& rows, const RowKey& key,
                       std::initializer_list<Category> categories) {
    std::map<std::string, std::vector<int>> groups = Group(rows, key);
    GlanceChart chart{title, {}};
    for (const Category& c : categories) {
        chart.Bars.push_back(Bar(c.Label, std::move(groups[c.Key]), c.Alert));
        groups.erase(c.Key);
    }
    std::vector<int> unknown = std::move(groups[""]);
    groups.erase("");
    for (auto& [value, indexes] : groups) chart.Bars.push_back(Bar(value, std::move(indexes)));
    chart.Bars.push_back(Bar(kUnknown, std::move(unknown)));
    return chart;
}

std::string Inventoried(const ComputerRow& r, const std::string& value) {
    return r.Inventory.Present ? value : std::string();
}

// Verdicts, and under "non" its most frequent reasons.
GlanceChart Windows11(const std::vector<ComputerRow>& rows) {
    GlanceChart chart = Categories(
        "Windows 11", rows,
        [](const ComputerRow& r) { return Inventoried(r, r.Inventory.Win11Verdict); },
        {{"prêt", "prêt", false}, {"non", "non", true}, {"indéterminé", "indéterminé", false}});
    std::map<std::string, std::vector<int>> reasons;
    for (int i : chart.Bars[1].Rows)
        for (const std::string& why : rows[static_cast<std::size_t>(i)].Inventory.Win11Reasons)
            if (reasons[why].empty() || reasons[why].back() != i) reasons[why].push_back(i);
    std::vector<GlanceBar> details;
    for (auto& [why, indexes] : reasons) {
        details.push_back(Bar(why, std::move(indexes), true));
        details.back().Detail = true;
    }
    std::stable_sort(details.begin(), details.end(), [](const GlanceBar& a, const GlanceBar& b) {
        return a.Rows.size() > b.Rows.size();
    });
    if (details.size() > 3) details.resize(3);
    chart.Bars.insert(chart.Bars.begin() + 2, details.begin(), details.end());
    return chart;
}

// "Windows 11 Professionnel 23H2" from the inventory, else the report's text.
std::string OsKey(const ComputerRow& r) {
    if (r.Inventory.Present && !r.Inventory.OsName.empty())
        return r.Inventory.OsVersion.empty() ? r.Inventory.OsName
                                             : r.Inventory.OsName + " " + r.Inventory.OsVersion;
    return r.Os;
}

// Past when its end is a date before today; an end that is no date is past.
bool PastSupport(const ComputerRow& r, const Date& today) {
    const std::string& end = r.Inventory.OsEndOfSupport;
    if (end.empty()) return false;
    const Date d = ParseReportDate(end);
    return !d.Valid() || !today.Valid() || d.DaysSinceEpoch() < today.DaysSinceEpoch();
}

// The most frequent systems, the rest together, and those past their end of support.
GlanceChart Systems(const std::vector<ComputerRow>& rows, const Date& today) {
    const std::size_t kShown = 5;
    std::map<std::string, std::vector<int>> groups = Group(rows, OsKey);
    std::vector<int> unknown = std::move(groups[""]);
    groups.erase("");
    std::vector<GlanceBar> bars;
    for (auto& [os, indexes] : groups) {
        const ComputerRow& first = rows[static_cast<std::size_t>(indexes.front())];
        const std::string& end = first.Inventory.OsEndOfSupport;
        bars.push_back(Bar(os, std::move(indexes), PastSupport(first, today)));
        if (!end.empty()) bars.back().Hint = "fin de support : " + end;
    }
    std::stable_sort(bars.begin(), bars.end(), [](const GlanceBar& a, const GlanceBar& b) {
        return a.Rows.size() > b.Rows.size();
    });
    GlanceChart chart{"Systèmes", {}};
    GlanceBar others = Bar("autres", {});
    for (std::size_t i = 0; i < bars.size(); ++i) {
        if (i < kShown)
            chart.Bars.push_back(std::move(bars[i]));
        else
            others.Rows.insert(others.Rows.end(), bars[i].Rows.begin(), bars[i].Rows.end());
    }
    std::sort(others.Rows.begin(), others.Rows.end());
    if (!others.Rows.empty()) chart.Bars.push_back(std::move(others));
    chart.Bars.push_back(Bar(kUnknown, std::move(unknown)));
    GlanceBar past = Bar("hors support", {}, true);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        if (PastSupport(rows[static_cast<std::size_t>(i)], today)) past.Rows.push_back(i);
    chart.Bars.push_back(std::move(past));
    return chart;
}

std::string RamBand(const ComputerRow& r) {
    if (r.RamBytes < 0) return std::string();
    const double gib = r.RamBytes / static_cast<double>(kGiB);
    return gib < 4 ? "<4" : gib < 8 ? "4-8" : gib < 16 ? "8-16" : ">=16";
}

std::string FullBand(const ComputerRow& r) {
    if (r.FullestPercent < 0) return std::string();
    return r.Full ? "plein" : "ok";
}

// The same bounds as the flag of reports over 30 days old.
RowKey AgeBand(const Date& today) {
    return [today](const ComputerRow& r) -> std::string {
        if (!r.ReportDate.Valid() || !today.Valid()) return std::string();
        const long days = today.DaysSinceEpoch() - r.ReportDate.DaysSinceEpoch();
        return days <= 30 ? "30" : days <= 90 ? "90" : "plus";
    };
}

}  // namespace

std::vector<GlanceChart> GlanceCharts(const std::vector<ComputerRow>& rows, const Date& today) {
    std::vector<GlanceChart> out;
    out.push_back(Windows11(rows));
    out.push_back(Systems(rows, today));
    out.push_back(
        Categories("Secure Boot", rows,
                   [](const ComputerRow& r) { return Inventoried(r, r.Inventory.SecureBoot); },
                   {{"enabled", "activé", false},
                    {"disabled", "désactivé", true},
                    {"unsupported", "non pris en charge", true}}));
    out.push_back(Categories(
        "TPM", rows, [](const ComputerRow& r) { return Inventoried(r, r.Inventory.Tpm); },
        {{"2.0", "2.0", false}, {"1.2", "1.2", true}, {"absent", "absent", true}}));
    out.push_back(Categories("RAM", rows, RamBand,
                             {{"<4", "< 4 Go", true},
                              {"4-8", "4 à 8 Go", false},
                              {"8-16", "8 à 16 Go", false},
                              {">=16", "16 Go ou plus", false}}));
    out.push_back(Categories("Volume le plus plein", rows, FullBand,
                             {{"plein", "à 90 % ou plus", true}, {"ok", "moins de 90 %", false}}));
    out.push_back(Categories("Âge des rapports", rows, AgeBand(today),
                             {{"30", "30 jours ou moins", false},
                              {"90", "31 à 90 jours", false},
                              {"plus", "plus de 90 jours", true}}));
    return out;
}

std::string RowList(const std::vector<int>& ascending) {
    std::string out;
    int previous = 0;
    for (int i : ascending) {
        if (!out.empty()) out += ',';
        out += std::to_string(i - previous);
        previous = i;
    }
    return out;
}

}  // namespace harvix::index
