// Stand-in for the extended collectors while they are not in the tree: nothing
// read, nothing decided. Linked only by the test build (tests/CMakeLists.txt).
#include "inventory/extended.h"

namespace harvix {

ExtendedInfos GetExtendedInfos() {
    return {};
}

Win11Readiness Windows11Readiness(const ExtendedInfos&) {
    return {"indéterminé", {}, {}};
}

std::optional<bool> ProcessorSupportsWindows11(const ProcessorInfos&) {
    return std::nullopt;
}

}  // namespace harvix
