// Whether a display answers at all, asked before GTK is given it: a dead SSH
// X forwarding accepts the connection and then never answers, and GTK would
// wait for it for ever.
#pragma once

#include <string>

namespace harvix::display {

// An X display name such as ":0", "unix:1", "localhost:10.0" or "[::1]:0".
// Names of a form it does not know count as answering.
bool XAnswers(const std::string& name, int timeoutMs);
// A Wayland socket name, relative to runtimeDir unless absolute.
bool WaylandAnswers(const std::string& name, const std::string& runtimeDir, int timeoutMs);

}  // namespace harvix::display
