// The end of support of an operating system's version, from Microsoft's and
// the distributions' published lifecycles.
#pragma once

#include <string>

#include "index/rows.h"

namespace harvix::index {

// The last day of security updates of the computer's OS version, as the
// inventory file names it; invalid when not known.
Date EndOfSupport(const InventoryFacts& facts);

}  // namespace harvix::index
