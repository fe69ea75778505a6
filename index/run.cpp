// The one run of the index: read the folder's reports, compare with the
// previous inventaire.csv, write the three outputs.
#include <cstdio>
#include <set>

#include "index/files.h"
#include "index/modIndex.h"
#include "platform/platform.h"

namespace harvix::index {

namespace {

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char a = s[s.size() - suffix.size() + i], b = suffix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

std::string Plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n > 1 ? many : one);
}

}  // namespace

IndexOutcome RunIndex(const std::string& folder) {
    IndexOutcome outcome;
    const LocalTime now = Now();
    const Date today{now.Day, now.Month, now.Year};

    // The previous index first: the outputs below replace it.
    std::map<std::string, PreviousRow> previous;
    bool hadPrevious = false;
    ReadOutcome prev = ReadCapped(JoinPath(folder, kInventoryName), 64u << 20);
    if (prev.Ok) hadPrevious = ReadInventory(prev.Bytes, previous);
    prev = ReadOutcome();

    const std::vector<FolderEntry> entries = ListFolder(folder);
    OutputFile volumes(folder, kVolumesName);
    volumes.Write(VolumesHeader());
    std::vector<ComputerRow> rows;
    std::vector<UnreadFile> unread;
    // One report at a time: only its compact row is kept.
    for (const FolderEntry& e : entries) {
        if (!EndsWithNoCase(e.Name, kReportSuffix) ||
            e.Name.size() == std::string(kReportSuffix).size())
            continue;
        ReadOutcome file = ReadCapped(JoinPath(folder, e.Name), kReadCap);
        if (!file.Ok) {
            unread.push_back({e.Name, file.Reason});
            continue;
        }
        ReadReportResult report = ReadReport(file.Bytes);
        if (!report.IsReport) {
            unread.push_back({e.Name, report.Reason});
            continue;
        }
        rows.push_back(RowFromReport(e.Name, report.Contents));
        volumes.Write(VolumeLines(rows.back().Name, report.Contents));
    }

    std::vector<PreviousRow> gone = SetFlags(rows, hadPrevious ? &previous : nullptr, today);
    // A computer whose report is there but unreadable has not gone anywhere.
    std::set<std::string> unreadNames;
    for (const UnreadFile& u : unread) unreadNames.insert(u.File);
    std::erase_if(gone, [&](const PreviousRow& g) { return unreadNames.count(g.File) > 0; });

    OutputFile inventory(folder, kInventoryName);
    inventory.Write(InventoryHeader());
    for (const ComputerRow& r : rows) inventory.Write(InventoryLine(r));

    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d à %02d:%02d", now.Day, now.Month, now.Year,
                  now.Hour, now.Minute);
    OutputFile page(folder, kIndexName);
    RenderPage({folder, stamp, &rows, &gone, &unread, hadPrevious},
               [&](std::string_view bytes) { page.Write(bytes); });

    outcome.Reports = static_cast<int>(rows.size());
    outcome.Unread = static_cast<int>(unread.size());
    std::string problems;
    struct Output {
        OutputFile* file;
        const char* name;
    };
    for (Output o : {Output{&volumes, kVolumesName}, Output{&inventory, kInventoryName},
                     Output{&page, kIndexName}}) {
        OutputFile::Result r = o.file->Commit();
        if (r.Replaced) continue;
        outcome.ExitStatus = 2;
        problems += "\r\n";
        if (!r.KeptAs.empty())
            problems +=
                "Impossible de remplacer " + std::string(o.name) +
                " (ouvert dans un autre programme ?) : la nouvelle version est enregistrée sous " +
                r.KeptAs + ".";
        else
            problems += "Impossible d'écrire " + std::string(o.name) + " : " + r.Error + ".";
    }
    if (outcome.ExitStatus == 0 && !unread.empty()) outcome.ExitStatus = 1;

    const std::string summary =
        Plural(outcome.Reports, "rapport lu", "rapports lus") +
        (unread.empty() ? std::string()
                        : ", " + Plural(outcome.Unread, "fichier non lu", "fichiers non lus") +
                              " (voir l'index)") +
        ".";
    if (outcome.ExitStatus == 2)
        outcome.Status = "L'index n'a pas pu être écrit entièrement." + problems + "\r\n" + summary;
    else
        outcome.Status = std::string("L'index a été créé dans le dossier:") + "\r\n" +
                         JoinPath(folder, kIndexName) + "\r\n" + summary;
    return outcome;
}

}  // namespace harvix::index
