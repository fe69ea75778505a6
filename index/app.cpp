#include "index/app.h"

#include "platform/text.h"

namespace harvix::index {

bool ParseArguments(const std::vector<std::string>& args, Invocation& out, std::string& error) {
    std::vector<std::string> rest = args;
    if (!rest.empty()) {
        if (EqualsNoCase(rest.back(), "/silent")) {
            out.Silent = true;
            rest.pop_back();
        }
    }
    if (rest.size() > 1) {
        error = "Usage : harvix-index [dossier] [/silent]";
        return false;
    }
    if (!rest.empty()) out.Folder = rest[0];
    return true;
}

IndexOutcome RunIndexReporting(const std::string& folder) {
    try {
        return RunIndex(folder);
    } catch (const std::exception& e) {
        IndexOutcome o;
        o.ExitStatus = 2;
        o.Status = std::string("L'index n'a pas pu être écrit.") + "\r\n" + e.what();
        return o;
    }
}

std::string ConsoleText(const std::string& status) {
    std::string out;
    for (std::size_t i = 0; i < status.size(); ++i) {
        if (status[i] == '\r' && i + 1 < status.size() && status[i + 1] == '\n') continue;
        out += status[i];
    }
    return out;
}

}  // namespace harvix::index
