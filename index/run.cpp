// The one run of the index: read the folder's reports, compare with the
// history, write the outputs and then the history.
#include "index/run.h"

#include <cstdio>
#include <map>
#include <set>

#include "index/csv.h"
#include "index/files.h"
#include "index/history.h"
#include "index/page.h"
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
};

// One report at a time: only its compact row is kept, its volumes go to volumes.csv.
Reading ReadReports(const std::string& folder, const std::vector<FolderEntry>& entries,
                    OutputFile& volumes) {
    Reading out;
    for (const FolderEntry& e : entries) {
        if (!EndsWithNoCase(e.Name, kReportSuffix)) continue;
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
        volumes.Write(VolumeLines(out.Rows.back().Name, report.Contents));
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
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", t.Day, t.Month, t.Year);
    std::snprintf(time, sizeof time, "%02d:%02d", t.Hour, t.Minute);
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
        ".";
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
    const LocalTime now = Now();
    const Date today{now.Day, now.Month, now.Year};
    PastState past = LoadPast(folder);
    const auto* compared = past.HadPrevious ? &past.State.Computers : nullptr;

    OutputFile volumes(folder, kVolumesName);
    volumes.Write(VolumesHeader());
    Reading read = ReadReports(folder, entries, volumes);
    std::vector<PreviousRow> gone = SetFlags(read.Rows, compared, today);
    // A computer whose report is there but unreadable has not gone anywhere.
    std::set<std::string> unreadNames;
    for (const UnreadFile& u : read.Unread) unreadNames.insert(u.File);
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
                past.Notice, &past.State},
               [&](std::string_view bytes) { page.Write(bytes); });

    IndexOutcome outcome;
    outcome.Reports = static_cast<int>(read.Rows.size());
    outcome.Unread = static_cast<int>(read.Unread.size());
    std::string problems = CommitOutputs({{&volumes, kVolumesName},
                                          {&inventory, kInventoryName},
                                          {&changes, kChangesName},
                                          {&page, kIndexName}});
    // Last: a run stopped before this point is done again in full by the next.
    OutputFile state(folder, kHistoryName);
    WriteHistory(past.State, [&](std::string_view bytes) { state.Write(bytes); });
    problems += CommitOutputs({{&state, kHistoryName}});
    SetStatus(outcome, folder, problems);
    if (!past.Notice.empty()) outcome.Status += "\r\n" + past.Notice;
    return outcome;
}

}  // namespace harvix::index
