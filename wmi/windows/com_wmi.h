// The COM side of the WMI seam, as far as the tests need to reach into it.
#pragma once

#include <windows.h>

#include <wbemidl.h>

#include <memory>

#include "wmi/modWMI.h"
#include "wmi/windows/com_types.h"

namespace harvix::comwmi {

// How long one advance of a walk waits for WMI. A broken repository or a
// provider stuck on a dead network drive must not hold an unattended run for
// ever: an advance that times out fails, and the walk ends with what it has.
constexpr long kWalkTimeoutMs = 30000;

// The walk over a query's enumerator; each advance waits at most timeoutMs.
std::unique_ptr<WmiResultSet> WalkOf(ComPtr<IEnumWbemClassObject> results,
                                     long timeoutMs = kWalkTimeoutMs);

}  // namespace harvix::comwmi
