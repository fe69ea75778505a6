// Form1 in the Win32 API, the one window of both programs: built into each
// executable, behind the same hooks as the GTK module on Linux.
#pragma once

#include "app/form1_hooks.h"

// Shows Form1 and runs until it closes (argc and argv are not used: Windows
// keeps its own command line); kHarvixNoDisplay when no window can be created.
extern "C" int HarvixShowForm1(const HarvixForm1Hooks* hooks, int* argc, char*** argv);

namespace harvix {

// The same run with Form1 never shown; failures still come in a message box,
// one without an owner. Where no window can be created the run goes on without one.
int RunForm1Hidden(const HarvixForm1Hooks* hooks);

}  // namespace harvix
