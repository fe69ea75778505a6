// One object of a class answered without COM: its properties in the order set.
// Both the Linux provider and the Windows service for Harvix's own classes build them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "wmi/modWMI.h"

namespace harvix {

struct Instance {
    std::vector<std::pair<std::string, WmiValue>> Properties;
    void Set(const std::string& name, WmiValue v) { Properties.emplace_back(name, std::move(v)); }
};

}  // namespace harvix
