// logiciels.csv and the fleet's programs, name by name.
#include "index/software.h"

#include <algorithm>
#include <unordered_map>

#include "index/csv.h"
#include "platform/text.h"

namespace harvix::index {

namespace {

// "2023-01-15" as the spreadsheet's date, DD/MM/YYYY; anything else as text.
std::string InstallDateField(const std::string& iso) {
    if (iso.size() == 10 && iso[4] == '-' && iso[7] == '-')
        return iso.substr(8, 2) + "/" + iso.substr(5, 2) + "/" + iso.substr(0, 4);
    return KeepAsText(iso);
}

}  // namespace

void AddPrograms(ProgramCatalog& catalog, const std::vector<ProgramEntry>& programs, int row) {
    for (const ProgramEntry& p : programs) {
        auto [it, added] = catalog.Index.try_emplace(AsciiLower(p.Name), catalog.Programs.size());
        if (added) catalog.Programs.push_back({p.Name, {}});
        std::vector<int>& rows = catalog.Programs[it->second].Versions[p.Version];
        // A program listed twice (32 and 64 bits) counts its computer once.
        if (rows.empty() || rows.back() != row) rows.push_back(row);
    }
}

std::vector<ProgramSummary> SortedPrograms(ProgramCatalog&& catalog) {
    std::vector<ProgramSummary> out = std::move(catalog.Programs);
    std::sort(out.begin(), out.end(), [](const ProgramSummary& a, const ProgramSummary& b) {
        return AsciiLower(a.Name) < AsciiLower(b.Name);
    });
    return out;
}

std::vector<ProgramSummary> SummarizePrograms(const std::vector<ProgramEntry>& programs,
                                              const std::vector<ComputerRow>& rows) {
    std::unordered_map<std::string, int> rowOf;
    for (std::size_t i = 0; i < rows.size(); ++i)
        rowOf.try_emplace(rows[i].Name, static_cast<int>(i));
    ProgramCatalog catalog;
    for (const ProgramEntry& p : programs) {
        auto it = rowOf.find(p.Computer);
        if (it != rowOf.end()) AddPrograms(catalog, {p}, it->second);
    }
    return SortedPrograms(std::move(catalog));
}

std::string SoftwareHeader() {
    return "\xEF\xBB\xBF" +
           CsvLine({"Ordinateur", "Nom", "Version", "Éditeur", "Date d'installation"});
}

std::string SoftwareLine(const ProgramEntry& p) {
    return CsvLine({KeepAsText(p.Computer), KeepAsText(p.Name), KeepAsText(p.Version),
                    KeepAsText(p.Publisher), InstallDateField(p.InstallDate)});
}

}  // namespace harvix::index
