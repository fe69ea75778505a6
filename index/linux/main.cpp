// harvix-index on Linux: the index of a folder of reports, in Harvix's GTK
// window when there is a display, else on standard output.
#include <dlfcn.h>
#include <locale.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/form1_hooks.h"
#include "index/app.h"
#include "platform/platform.h"

using namespace harvix;

namespace {

index::Invocation gRun;
int gStatus = 0;

int Timer1_Timer(char** text) {
    index::IndexOutcome outcome = index::RunIndexReporting(gRun.Folder);
    gStatus = outcome.ExitStatus;
    *text = CopyText(outcome.Status);
    return 0;
}

int Label1_DblClick(char** text) {
    try {
        platform::OpenFolder(gRun.Folder + "/");
        *text = nullptr;
        return 0;
    } catch (const std::exception& e) {
        *text = CopyText(e.what());
        return 1;
    }
}

// Harvix's window module, when it can be shown.
HarvixShowForm1Fn LoadForm1() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    if (!(x && *x) && !(w && *w)) return nullptr;
    std::string path;
    try {
        path = platform::ProgramFolder() + "/harvix-gtk.so";
    } catch (const std::exception&) {
        return nullptr;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return nullptr;
    return reinterpret_cast<HarvixShowForm1Fn>(dlsym(module, kHarvixShowForm1Symbol));
}

}  // namespace

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    if (!index::ParseArguments(args, gRun, error)) {
        std::cerr << error << std::endl;
        return 2;
    }
    if (gRun.Folder.empty()) {
        try {
            gRun.Folder = platform::ProgramFolder();
        } catch (const std::exception& e) {
            std::cerr << e.what() << std::endl;
            return 2;
        }
    } else if (char* real = realpath(gRun.Folder.c_str(), nullptr)) {
        gRun.Folder = real;
        std::free(real);
    }
    if (!gRun.Silent) {
        if (HarvixShowForm1Fn show = LoadForm1()) {
            HarvixForm1Hooks hooks{index::kCaption,
                                   index::kInitialStatus,
                                   index::kCloseCaption,
                                   Timer1_Timer,
                                   Label1_DblClick,
                                   FreeText,
                                   nullptr,
                                   "Harvix"};
            int status = show(&hooks, &argc, &argv);
            if (status != kHarvixNoDisplay) return status == 0 ? gStatus : status;
        }
    }
    char* text = nullptr;
    Timer1_Timer(&text);
    std::cout << index::ConsoleText(text) << std::endl;
    FreeText(text);
    return gStatus;
}
