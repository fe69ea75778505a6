// The one run of the index: read the folder's reports, compare with the
// history, write the outputs and then the history.
#include "index/run.h"

#include <cstdio>
#include <map>
#include <set>

#include "index/csv.h"
#include "index/files.h"
#include "index/history.h"
#include "index/inventory_row.h"
#include "index/page.h"
#include "index/software.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace harvix::index {

namespace {

std::string Plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n > 1 ? many : one);
}

struct Reading {
    std::vector<ComputerRow> Rows;
    std::vector<UnreadFile> Unread;
    ProgramCatalog Programs;
    int Importable = 0;
};

// A computer's files: its report, its inventory file and Harvix's own file beside it.
struct ComputerFiles {
    const FolderEntry* Report = nullptr;
    const FolderEntry* Inventory = nullptr;
    const FolderEntry* Own = nullptr;
};

// The files by computer, in the folder's order; names differing only by case
// are the same computer's, as on Windows.
std::vector<ComputerFiles> PairFiles(const std::vector<FolderEntry>& entries) {
    std::vector<ComputerFiles> computers;
    std::map<std::string, std::size_t> at;
    for (const FolderEntry& e : entries) {
        const FolderEntry* ComputerFiles::*slot = nullptr;
        const char* suffix = nullptr;
        for (auto [s, member] : {std::pair{kReportSuffix, &ComputerFiles::Report},
                                 std::pair{kInventorySuffix, &ComputerFiles::Inventory},
                                 std::pair{kOwnSuffix, &ComputerFiles::Own}})
            if (EndsWithNoCase(e.Name, s)) suffix = s, slot = member;
        if (!slot) continue;
        auto [it, added] =
            at.try_emplace(AsciiLower(e.Name.substr(0, e.Name.size() - std::string(suffix).size())),
                           computers.size());
        if (added) computers.emplace_back();
        computers[it->second].*slot = &e;
    }
    // Harvix's own file alone tells nothing: its computer is read from its report.
    std::erase_if(computers, [](const ComputerFiles& c) { return !c.Report && !c.Inventory; });
    return computers;
}

// The report's name beside an inventory file, on disk too.
FolderEntry ReportBeside(const FolderEntry& inventory) {
    const std::size_t n = std::string(kInventorySuffix).size();
    FolderEntry e{inventory.Name.substr(0, inventory.Name.size() - n) + kReportSuffix, {}};
    if (!inventory.Raw.empty())
        e.Raw = inventory.Raw.substr(0, inventory.Raw.size() - n) + kReportSuffix;
    return e;
}

struct Outputs {
    OutputFile &Volumes, &Software;
};

// The row from the inventory file; false when it could not be read.
bool ReadInventoryFile(const std::string& folder, const ComputerFiles& files, Reading& out,
                       Outputs& to) {
    const FolderEntry& inv = *files.Inventory;
    ReadOutcome file = ReadCapped(JoinPath(folder, inv.OnDisk()), kInventoryReadCap);
    const FolderEntry report = files.Report ? *files.Report : ReportBeside(inv);
    ComputerRow row;
    std::vector<ProgramEntry> programs;
    std::string volumeLines, reason = file.Reason, ownProblem;
    ReadOutcome own;
    if (file.Ok && files.Own) {
        own = ReadCapped(JoinPath(folder, files.Own->OnDisk()), kInventoryReadCap);
        ownProblem = own.Ok && own.Bytes.empty() ? "fichier vide" : own.Reason;
    }
    if (!file.Ok || !ReadInventory(report.Name, file.Bytes, own.Bytes, row, programs, volumeLines,
                                   reason, ownProblem)) {
        out.Unread.push_back({inv.Name, reason});
        return false;
    }
    // The row stands, with less in it: the file left aside is said.
    if (!ownProblem.empty()) out.Unread.push_back({files.Own->Name, ownProblem});
    row.RawFile = report.Raw;
    if (row.Inventory.Importable) ++out.Importable;
    to.Volumes.Write(volumeLines);
    for (const ProgramEntry& p : programs) to.Software.Write(SoftwareLine(p));
    AddPrograms(out.Programs, programs, static_cast<int>(out.Rows.size()));
    out.Rows.push_back(std::move(row));
    return true;
}

// One file at a time: only its compact row is kept, its volumes and programs go
// to their spreadsheets. The inventory file is read first; the report stands in
// when there is none or it cannot be read.
Reading ReadComputers(const std::string& folder, const std::vector<FolderEntry>& entries,
                      Outputs to) {
    Reading out;
    for (const ComputerFiles& files : PairFiles(entries)) {
        if (files.Inventory && ReadInventoryFile(folder, files, out, to)) continue;
        if (!files.Report) continue;
        const FolderEntry& e = *files.Report;
        ReadOutcome file = ReadCapped(JoinPath(folder, e.OnDisk()), kReadCap);
        if (!file.Ok) {
            out.Unread.push_back({e.Name, file.Reason});
            continue;
        }
        ReadReportResult report = ReadReport(file.Bytes);
        if (!report.IsReport) {
            out.Unread.push_back({e.Name, report.Reason});
            continue;
        }
        out.Rows.push_back(RowFromReport(e.Name, report.Contents));
        out.Rows.back().RawFile = e.Raw;
        to.Volumes.Write(VolumeLines(out.Rows.back().Name, report.Contents));
    }
    return out;
}

// What could not be written, one line each; empty when all was.
std::string CommitOutputs(std::initializer_list<std::pair<OutputFile*, const char*>> outputs) {
    std::string problems;
    for (const auto& [file, name] : outputs) {
        OutputFile::Result r = file->Commit();
        if (r.Replaced) continue;
        problems += "\r\n";
        if (!r.KeptAs.empty())
            problems +=
                "Impossible de remplacer " + std::string(name) +
                " (ouvert dans un autre programme ?) : la nouvelle version est enregistrée sous " +
                r.KeptAs + ".";
        else
            problems += "Impossible d'écrire " + std::string(name) + " : " + r.Error + ".";
    }
    return problems;
}

// "09/12/2026 à 08:50" on the page, "09/12/2026 08:50" in the history.
std::string Stamp(const LocalTime& t, const char* between) {
    char date[40], time[24];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", t.day, t.month, t.year);
    std::snprintf(time, sizeof time, "%02d:%02d", t.hour, t.minute);
    return std::string(date) + between + time;
}

void SetStatus(IndexOutcome& outcome, const std::string& folder, const std::string& problems) {
    if (!problems.empty())
        outcome.ExitStatus = 2;
    else if (outcome.Unread > 0)
        outcome.ExitStatus = 1;
    const std::string summary =
        Plural(outcome.Reports, "rapport lu", "rapports lus") +
        (outcome.Unread == 0 ? std::string()
                             : ", " + Plural(outcome.Unread, "fichier non lu", "fichiers non lus") +
                                   " (voir l'index)") +
        "." +
        (outcome.Importable == 0 ? std::string()
                                 : " " +
                                       Plural(outcome.Importable, "inventaire importable dans GLPI",
                                              "inventaires importables dans GLPI") +
                                       ".");
    if (outcome.ExitStatus == 2)
        outcome.Status = "L'index n'a pas pu être écrit entièrement." + problems + "\r\n" + summary;
    else
        outcome.Status = std::string("L'index a été créé dans le dossier:") + "\r\n" +
                         JoinPath(folder, kIndexName) + "\r\n" + summary;
}

}  // namespace

IndexOutcome RunIndex(const std::string& folder) {
    const std::vector<FolderEntry> entries = ListFolder(folder);
    const FolderLock lock(folder, kLockName, kLockWaitSeconds);
    std::vector<std::string> names;
    for (const FolderEntry& e : entries) names.push_back(e.Name);
    RenameFormerAsides(folder, names);
    const LocalTime now = Now();
    const Date today{now.day, now.month, now.year};
    PastState past = LoadPast(folder);
    const auto* compared = past.HadPrevious ? &past.State.Computers : nullptr;

    OutputFile volumes(folder, kVolumesName);
    volumes.Write(VolumesHeader());
    OutputFile software(folder, kSoftwareName);
    software.Write(SoftwareHeader());
    Reading read = ReadComputers(folder, entries, {volumes, software});
    std::vector<PreviousRow> gone = SetFlags(read.Rows, compared, today);
    // A computer whose report or inventory file is there but unreadable has not gone anywhere.
    std::set<std::string> unreadNames;
    for (const UnreadFile& u : read.Unread) {
        unreadNames.insert(u.File);
        if (EndsWithNoCase(u.File, kInventorySuffix))
            unreadNames.insert(ReportBeside({u.File, {}}).Name);
    }
    const std::vector<ProgramSummary> programs = SortedPrograms(std::move(read.Programs));
    std::erase_if(gone, [&](const PreviousRow& g) { return unreadNames.count(g.File) > 0; });

    RecordRun(past.State, read.Rows, past.HadPrevious, gone, unreadNames, Stamp(now, " "));

    OutputFile inventory(folder, kInventoryName);
    inventory.Write(InventoryHeader(past.State.OwnColumns));
    for (const ComputerRow& r : read.Rows)
        inventory.Write(InventoryLine(r, OwnValues(past.State, r.File)));
    OutputFile changes(folder, kChangesName);
    changes.Write(ChangesCsv(past.State));
    OutputFile page(folder, kIndexName);
    RenderPage({folder, Stamp(now, " à "), &read.Rows, &gone, &read.Unread, past.HadPrevious,
                past.Notice, &past.State, &programs},
               [&](std::string_view bytes) { page.Write(bytes); });

    IndexOutcome outcome;
    outcome.Reports = static_cast<int>(read.Rows.size());
    outcome.Unread = static_cast<int>(read.Unread.size());
    outcome.Importable = read.Importable;
    std::string problems = CommitOutputs({{&volumes, kVolumesName},
                                          {&software, kSoftwareName},
                                          {&inventory, kInventoryName},
                                          {&changes, kChangesName},
                                          {&page, kIndexName}});
    // Last: a run stopped before this point is done again in full by the next.
    OutputFile state(folder, kHistoryName);
    WriteHistory(past.State, [&](std::string_view bytes) { state.Write(bytes); });
    const std::string historyProblem = CommitOutputs({{&state, kHistoryName}});
    if (historyProblem.empty()) ForgetFormerHistory(folder, past);
    problems += historyProblem;
    SetStatus(outcome, folder, problems);
    if (!past.Notice.empty()) outcome.Status += "\r\n" + past.Notice;
    return outcome;
}

}  // namespace harvix::index
