// Harvix's texts and handlers as Form1's hooks, the same on every platform.
#pragma once

#include "app/form1_hooks.h"

namespace harvix {

// The inventory run and the folder it writes to; with startupFailure, only its box.
HarvixForm1Hooks HarvixHooks(const char* startupFailure);

}  // namespace harvix
