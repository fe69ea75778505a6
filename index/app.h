// What both entries of the index share: the command line, the window's texts,
// and a run that turns every failure into a status.
#pragma once

#include <string>
#include <vector>

#include "index/run.h"

namespace harvix::index {

inline const char* const kCaption = "Tarvell - Index des inventaires";
inline const char* const kInitialStatus =
    "Lecture des rapports en cours, merci de patienter quelques instants...";
inline const char* const kCloseCaption = "Fermer";

struct Invocation {
    std::string Folder;  // empty: the program's own folder
    bool Silent = false;
};
// [folder] [/silent]: "/silent" in any case, as the last argument.
bool ParseArguments(const std::vector<std::string>& args, Invocation& out, std::string& error);

// RunIndex, with a folder that cannot be listed reported as an index not written.
IndexOutcome RunIndexReporting(const std::string& folder);

// The status line for a console: line ends as the console has them.
std::string ConsoleText(const std::string& status);

}  // namespace harvix::index
