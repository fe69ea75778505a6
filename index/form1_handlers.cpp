#include "index/form1_handlers.h"

#include "index/app.h"
#include "platform/platform.h"

namespace harvix::index {

namespace {

std::string gFolder;
int gStatus = 0;

int Timer1_Timer(char** text) {
    IndexOutcome outcome = RunIndexReporting(gFolder);
    gStatus = outcome.ExitStatus;
    *text = CopyText(outcome.Status);
    return 0;
}

int Label1_DblClick(char** text) {
    try {
        platform::OpenFolder(gFolder + platform::PathSeparator());
        *text = nullptr;
        return 0;
    } catch (const std::exception& e) {
        *text = CopyText(e.what());
        return 1;
    }
}

}  // namespace

HarvixForm1Hooks IndexHooks(const std::string& folder) {
    gFolder = folder;
    return {kCaption,        kInitialStatus, kCloseCaption, Timer1_Timer,
            Label1_DblClick, FreeText,       nullptr,       "HarvixIndex"};
}

int ExitStatus() {
    return gStatus;
}

}  // namespace harvix::index
