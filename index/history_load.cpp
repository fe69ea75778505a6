// Where a run's history comes from, and what it says when it is not the usual.
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

// A damaged history is never overwritten: it goes aside under a dated name.
std::string PutAside(const std::string& folder, const std::string& problem) {
    const std::string dated = DatedName(kHistoryName, Now());
    if (!os::MoveTo(JoinPath(folder, kHistoryName), JoinPath(folder, dated)))
        throw HarvixError(std::string("L'historique de l'index (") + kHistoryName +
                          ") est illisible (" + problem +
                          ") et n'a pas pu être mis de côté : l'index n'est pas écrit.");
    return std::string("L'historique de l'index (") + kHistoryName + ") est illisible (" + problem +
           ") : il est conservé sous " + dated + " et un nouvel historique commence";
}

}  // namespace

PastState LoadPast(const std::string& folder) {
    PastState past;
    const ReadOutcome state = ReadCapped(JoinPath(folder, kHistoryName), 1u << 30);
    bool damaged = false;
    if (state.Ok) {
        std::string problem;
        past.HadPrevious = ParseHistory(state.Bytes, past.State, problem);
        if (!past.HadPrevious) {
            past.Notice = PutAside(folder, problem);
            damaged = true;
        }
    } else if (!Missing(state)) {
        throw HarvixError(std::string("Impossible de lire l'historique de l'index (") +
                          kHistoryName + ") : " + state.Reason + ".");
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
    return past;
}

}  // namespace harvix::index
