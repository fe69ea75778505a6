// Where a run's history comes from, and what it says when it is not the usual.
#include <algorithm>

#include "index/files.h"
#include "index/files_os.h"
#include "index/history.h"
#include "index/run.h"
#include "wmi/modWMI.h"

namespace harvix::index {

namespace {

bool Missing(const ReadOutcome& r) {
    return r.Reason.rfind("fichier introuvable", 0) == 0;
}

// A damaged history is never overwritten: it goes aside under a dated name,
// the current name's, which no GLPI import path takes.
std::string PutAside(const std::string& folder, const char* name, const std::string& problem) {
    const std::string dated = DatedName(kHistoryName, Now());
    if (!os::MoveTo(JoinPath(folder, name), JoinPath(folder, dated)))
        throw HarvixError(std::string("L'historique de l'index (") + name + ") est illisible (" +
                          problem + ") et n'a pas pu être mis de côté : l'index n'est pas écrit.");
    return std::string("L'historique de l'index (") + name + ") est illisible (" + problem +
           ") : il est conservé sous " + dated + " et un nouvel historique commence";
}

}  // namespace

PastState LoadPast(const std::string& folder) {
    PastState past;
    const char* name = kHistoryName;
    ReadOutcome state = ReadCapped(JoinPath(folder, kHistoryName), 1u << 30);
    ReadOutcome former = ReadCapped(JoinPath(folder, kFormerHistoryName), 1u << 30);
    if (Missing(state) && !Missing(former)) {
        // The version before's history: read as ours, removed once ours is written.
        state = std::move(former);
        name = kFormerHistoryName;
        past.TookOver = true;
    }
    std::string aside;
    if (state.Ok && former.Ok && !past.TookOver) {
        // Both: an index of the version before ran here after this one. Ours goes on;
        // the other is kept under a name nothing pushes to GLPI.
        const std::string dated = DatedName("historique-index-ancien.txt", Now());
        if (os::MoveTo(JoinPath(folder, kFormerHistoryName), JoinPath(folder, dated)))
            aside = std::string("Un ancien historique de l'index (") + kFormerHistoryName +
                    ") est conservé sous " + dated + ".";
    }
    bool damaged = false;
    if (state.Ok) {
        std::string problem;
        past.HadPrevious = ParseHistory(state.Bytes, past.State, problem);
        if (!past.HadPrevious) {
            past.Notice = PutAside(folder, name, problem);
            past.TookOver = false;
            damaged = true;
        }
    } else if (!Missing(state)) {
        throw HarvixError(std::string("Impossible de lire l'historique de l'index (") + name +
                          ") : " + state.Reason + ".");
    }
    const ReadOutcome inventory = ReadCapped(JoinPath(folder, kInventoryName), 64u << 20);
    const bool imported =
        !past.HadPrevious && inventory.Ok && ImportInventory(inventory.Bytes, past.State);
    const std::string from = "l'inventaire.csv précédent (" +
                             std::to_string(past.State.Computers.size()) + " ordinateurs)";
    if (damaged)
        past.Notice += imported ? ", à partir de " + from + "." : std::string(".");
    else if (imported)
        past.Notice = std::string("Historique de l'index absent (") + kHistoryName +
                      ") : il commence à partir de " + from + ", sans les changements passés.";
    past.HadPrevious = past.HadPrevious || imported;
    if (inventory.Ok) TakeOwnColumns(inventory.Bytes, past.State);
    if (!aside.empty()) past.Notice += (past.Notice.empty() ? "" : " ") + aside;
    return past;
}

void ForgetFormerHistory(const std::string& folder, const PastState& past) {
    if (past.TookOver) os::Remove(JoinPath(folder, kFormerHistoryName));
}

void RenameFormerAsides(const std::string& folder, const std::vector<std::string>& names) {
    // "historique-index-20261209-023015.json"
    const std::string stem = "historique-index-";
    for (const std::string& n : names) {
        if (n.size() != stem.size() + 15 + 5 || n.compare(0, stem.size(), stem) != 0 ||
            n.compare(n.size() - 5, 5, ".json") != 0 || n[stem.size() + 8] != '-' ||
            !std::all_of(n.begin() + stem.size(), n.end() - 5,
                         [](char c) { return c == '-' || (c >= '0' && c <= '9'); }))
            continue;
        const std::string txt = n.substr(0, n.size() - 5) + ".txt";
        if (std::find(names.begin(), names.end(), txt) == names.end())
            os::MoveTo(JoinPath(folder, n), JoinPath(folder, txt));
    }
}

}  // namespace harvix::index
