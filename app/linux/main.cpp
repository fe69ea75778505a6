// Linux entry: Form_Load, then the window when one can be shown, else the
// run on the console.
#include <locale.h>

#include <cstdio>
#include <cstdlib>

#include "app/form1_handlers.h"
#include "app/linux/form1_loader.h"
#include "app/run.h"
#include "platform/platform.h"
#include "wmi/modWMI.h"

using namespace harvix;

namespace {

// A failure that reaches a handler: said on standard error, and in a message
// box where a window can be shown.
int Fail(const std::string& description, int* argc, char*** argv) {
    std::fprintf(stderr, "%s\n", description.c_str());
    if (HarvixShowForm1Fn show = LoadForm1()) {
        HarvixForm1Hooks hooks = HarvixHooks(description.c_str());
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

    HarvixForm1Hooks hooks = HarvixHooks(nullptr);
    if (!SilentMode) {
        if (HarvixShowForm1Fn show = LoadForm1()) {
            int status = show(&hooks, &argc, &argv);
            if (status != kHarvixNoDisplay) return status;
        }
    }
    char* text = nullptr;
    if (hooks.Timer1_Timer(&text) != 0) {
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
