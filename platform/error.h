// The one kind of failure the program raises, below every layer that raises it.
#pragma once

#include <stdexcept>

namespace harvix {

// Every failure the program raises carries a description for the message box.
struct HarvixError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace harvix
