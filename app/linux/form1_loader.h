// The window module on Linux, shared by both programs: harvix-gtk.so beside
// the program, loaded only when a display answers.
#pragma once

#include "app/form1_hooks.h"

namespace harvix {

// The module's entry, or nullptr when no display answers or GTK is not installed.
HarvixShowForm1Fn LoadForm1();

}  // namespace harvix
