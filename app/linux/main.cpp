// Linux entry: Form_Load, then the window when one can be shown, else the
// run on the console.
#include <dlfcn.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/form1_hooks.h"
#include "app/linux/display_probe.h"
#include "app/run.h"
#include "platform/platform.h"
#include "wmi/modWMI.h"

using namespace harvix;

namespace {

char* Copy(const std::string& s) {
    return strdup(s.c_str());
}

int Timer1_Timer(char** text) {
    try {
        *text = Copy(RunInventory(platform::ProgramFolder(), platform::PathSeparator()));
        return 0;
    } catch (const std::exception& e) {
        *text = Copy(e.what());
        return 1;
    }
}

int Label1_DblClick(char** text) {
    try {
        platform::OpenFolder(platform::ProgramFolder() + platform::PathSeparator());
        *text = nullptr;
        return 0;
    } catch (const std::exception& e) {
        *text = Copy(e.what());
        return 1;
    }
}

void FreeText(char* text) {
    std::free(text);
}

// How long a display may take to answer its first request.
constexpr int kDisplayTimeoutMs = 3000;

// A display that does not answer is dropped from the environment, so that GTK
// never waits for it; asked once per run.
bool HaveDisplay() {
    static const bool answered = [] {
        const char* w = std::getenv("WAYLAND_DISPLAY");
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (w && *w && !display::WaylandAnswers(w, runtime ? runtime : "", kDisplayTimeoutMs))
            unsetenv("WAYLAND_DISPLAY");
        const char* x = std::getenv("DISPLAY");
        if (x && *x && !display::XAnswers(x, kDisplayTimeoutMs)) unsetenv("DISPLAY");
        x = std::getenv("DISPLAY");
        w = std::getenv("WAYLAND_DISPLAY");
        return (x && *x) || (w && *w);
    }();
    return answered;
}

// The window module, or nullptr when GTK is not installed.
HarvixShowForm1Fn LoadForm1() {
    if (!HaveDisplay()) return nullptr;
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

HarvixForm1Hooks Hooks(const char* startupFailure) {
    return {kCaption,        kInitialStatus, kCloseCaption, Timer1_Timer,
            Label1_DblClick, FreeText,       startupFailure};
}

// A failure that reaches a handler: said on standard error, and in a message
// box where a window can be shown.
int Fail(const std::string& description, int* argc, char*** argv) {
    std::fprintf(stderr, "%s\n", description.c_str());
    if (HarvixShowForm1Fn show = LoadForm1()) {
        HarvixForm1Hooks hooks = Hooks(description.c_str());
        show(&hooks, argc, argv);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    // Linux rarely sets these; the host and the account stand in.
    if (!std::getenv("COMPUTERNAME"))
        setenv("COMPUTERNAME", platform::FallbackComputerName().c_str(), 1);
    if (!std::getenv("USERNAME")) setenv("USERNAME", platform::FallbackUserName().c_str(), 1);

    std::string args;
    for (int i = 1; i < argc; ++i) args += (i > 1 ? " " : "") + std::string(argv[i]);

    // Form_Load
    try {
        WmiService = ConnectWMI("localhost");
    } catch (const std::exception& e) {
        return Fail(e.what(), &argc, &argv);
    }
    const bool SilentMode = IsSilentArgument(args);

    if (!SilentMode) {
        if (HarvixShowForm1Fn show = LoadForm1()) {
            HarvixForm1Hooks hooks = Hooks(nullptr);
            int status = show(&hooks, &argc, &argv);
            if (status != kHarvixNoDisplay) return status;
        }
    }
    char* text = nullptr;
    if (Timer1_Timer(&text) != 0) {
        std::string description = text;
        FreeText(text);
        return Fail(description, &argc, &argv);
    }
    if (!SilentMode) {
        std::string status = text;
        if (auto crlf = status.find("\r\n"); crlf != std::string::npos) status.erase(crlf, 1);
        std::fwrite(status.data(), 1, status.size(), stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }
    FreeText(text);
    return 0;
}
