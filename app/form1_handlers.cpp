#include "app/form1_handlers.h"

#include "app/run.h"
#include "platform/platform.h"

namespace harvix {

namespace {

int Timer1_Timer(char** text) {
    try {
        *text = CopyText(RunInventory(platform::ProgramFolder(), platform::PathSeparator()));
        return 0;
    } catch (const std::exception& e) {
        *text = CopyText(e.what());
        return 1;
    }
}

int Label1_DblClick(char** text) {
    try {
        platform::OpenFolder(platform::ProgramFolder() + platform::PathSeparator());
        *text = nullptr;
        return 0;
    } catch (const std::exception& e) {
        *text = CopyText(e.what());
        return 1;
    }
}

}  // namespace

HarvixForm1Hooks HarvixHooks(const char* startupFailure) {
    return {kCaption,        kInitialStatus, kCloseCaption,  Timer1_Timer,
            Label1_DblClick, FreeText,       startupFailure, "Harvix"};
}

}  // namespace harvix
