#include "app/linux/form1_loader.h"

#include <dlfcn.h>

#include <cstdlib>

#include "app/linux/display_probe.h"
#include "platform/platform.h"

namespace harvix {

namespace {

// How long a display may take to answer its first request.
constexpr int kDisplayTimeoutMs = 3000;

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A display that does not answer is dropped from the environment, so that GTK
// never waits for it; asked once per run.
bool HaveDisplay() {
    static const bool answered = [] {
        if (Set("WAYLAND_DISPLAY")) {
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            if (!display::WaylandAnswers(std::getenv("WAYLAND_DISPLAY"), runtime ? runtime : "",
                                         kDisplayTimeoutMs))
                unsetenv("WAYLAND_DISPLAY");
        }
        if (Set("DISPLAY") && !display::XAnswers(std::getenv("DISPLAY"), kDisplayTimeoutMs))
            unsetenv("DISPLAY");
        return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
    }();
    return answered;
}

}  // namespace

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

}  // namespace harvix
