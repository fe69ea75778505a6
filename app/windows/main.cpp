// Harvix.exe: Form_Load, then Form1 with the inventory as its run.
#include <windows.h>

#include <string>

#include "app/form1_handlers.h"
#include "app/run.h"
#include "app/windows/form1.h"
#include "platform/platform.h"
#include "platform/wide.h"
#include "wmi/modWMI.h"

using namespace harvix;

namespace {

// Form1 with only its failure box, which ends the process.
int Fail(const std::string& description) {
    HarvixForm1Hooks hooks = HarvixHooks(description.c_str());
    return HarvixShowForm1(&hooks, nullptr, nullptr);
}

// The text after the program's own name, as the command line holds it.
std::wstring ArgumentString() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // An empty card reader must never stop an unattended run with "insert a disk".
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Form_Load
    try {
        WmiService = ConnectWMI("localhost");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    // No trimming, no splitting: the whole string must be "/silent".
    const bool SilentMode = IsSilentArgument(platform::Utf8(ArgumentString().c_str()));

    HarvixForm1Hooks hooks = HarvixHooks(nullptr);
    if (SilentMode) return RunForm1Hidden(&hooks);
    const int status = HarvixShowForm1(&hooks, nullptr, nullptr);
    // No window station to speak of (a service session, Wine without a display).
    if (status == kHarvixNoDisplay) return Fail("Impossible de créer la fenêtre du programme.");
    return status;
}
