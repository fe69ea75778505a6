// The WQL the services without COM read: "Select * from C" or "Select P, Q from C",
// and the result sets that walk the instances of a class.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wmi/instance.h"

namespace harvix {

struct Query {
    std::vector<std::string> Selected;  // lower-case property names; empty for "*"
    std::string ClassName;
};

// nullopt when the text is not of either form.
std::optional<Query> ParseQuery(const std::string& wql);

// Like WMI with "return immediately": produce runs, and its errors surface, when the
// walk starts. Objects answer only the selected properties (all when none), in any case.
std::unique_ptr<WmiResultSet> LazyResults(std::function<std::vector<Instance>()> produce,
                                          std::vector<std::string> selected);

}  // namespace harvix
