// The index's texts and handlers as Form1's hooks, the same on every platform.
#pragma once

#include <string>

#include "app/form1_hooks.h"

namespace harvix::index {

// The index of folder as Form1's run; its outcome's exit status is kept for ExitStatus.
HarvixForm1Hooks IndexHooks(const std::string& folder);
// The last run's exit status; 0 before any run.
int ExitStatus();

}  // namespace harvix::index
