// The programs of the fleet: logiciels.csv, and what the page's software view
// is built from (each program, its versions and the computers holding them).
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "index/rows.h"

namespace harvix::index {

inline const char* const kSoftwareName = "logiciels.csv";

struct ProgramSummary {
    std::string Name;
    std::map<std::string, std::vector<int>> Versions;  // version → row indexes
};

// One summary per program name (letter case folded), sorted by name; a
// computer absent from rows is left out.
std::vector<ProgramSummary> SummarizePrograms(const std::vector<ProgramEntry>& programs,
                                              const std::vector<ComputerRow>& rows);

// The summary built one computer at a time, so that no run holds every
// program of the fleet at once.
struct ProgramCatalog {
    std::vector<ProgramSummary> Programs;
    std::unordered_map<std::string, std::size_t> Index;  // folded name → its place
};
void AddPrograms(ProgramCatalog& catalog, const std::vector<ProgramEntry>& programs, int row);
std::vector<ProgramSummary> SortedPrograms(ProgramCatalog&& catalog);

// logiciels.csv: the head, then one line per program of each computer.
std::string SoftwareHeader();
std::string SoftwareLine(const ProgramEntry& p);

}  // namespace harvix::index
