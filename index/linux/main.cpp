// harvix-index on Linux: the index of a folder of reports, in Harvix's GTK
// window when a display answers, else on standard output.
#include <locale.h>

#include <climits>
#include <cstdlib>
#include <iostream>

#include "app/linux/form1_loader.h"
#include "index/app.h"
#include "index/form1_handlers.h"
#include "platform/platform.h"

using namespace harvix;

namespace {

// The command line into run, its folder made whole; false, with the reason on
// standard error, when the command line is wrong.
bool ReadCommandLine(int argc, char** argv, index::Invocation& run) {
    std::string error;
    if (!index::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), run, error)) {
        std::cerr << error << std::endl;
        return false;
    }
    if (run.Folder.empty()) {
        try {
            run.Folder = platform::ProgramFolder();
        } catch (const std::exception& e) {
            std::cerr << e.what() << std::endl;
            return false;
        }
    } else if (char* real = realpath(run.Folder.c_str(), nullptr)) {
        run.Folder = real;
        std::free(real);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    index::Invocation run;
    if (!ReadCommandLine(argc, argv, run)) return 2;
    HarvixForm1Hooks hooks = index::IndexHooks(run.Folder);
    if (!run.Silent) {
        if (HarvixShowForm1Fn show = LoadForm1()) {
            int status = show(&hooks, &argc, &argv);
            if (status != kHarvixNoDisplay) return status == 0 ? index::ExitStatus() : status;
        }
    }
    char* text = nullptr;
    hooks.Timer1_Timer(&text);
    std::cout << index::ConsoleText(text) << std::endl;
    FreeText(text);
    return index::ExitStatus();
}
