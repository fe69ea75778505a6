// A scripted WMI service for the tests: given objects per query, failing
// starts and advances, unreadable properties, and a log of the queries run.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "wmi/modWMI.h"

namespace harvix::testing {

struct FakeObject : WmiObject {
    std::map<std::string, WmiValue> Values;
    std::set<std::string> Unreadable;  // present but the read fails

    FakeObject() = default;
    FakeObject(std::initializer_list<std::pair<const std::string, WmiValue>> v) : Values(v) {}
    FakeObject& Broken(const std::string& name) {
        Unreadable.insert(name);
        return *this;
    }
    WmiValue Get(const std::string& name) const override;
};

struct FakeQuery {
    std::vector<FakeObject> Objects;
    bool FailStart = false;
    int FailAdvanceAfter = -1;  // the advance after this many objects fails
};

class FakeService : public WmiServiceBase {
  public:
    std::map<std::string, FakeQuery> Queries;
    std::vector<std::string> Log;
    std::vector<int> Flags;

    // Queries not scripted fail at start, as an unknown class does.
    std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) override;
    FakeQuery& On(const std::string& wql) { return Queries[wql]; }
};

// Installs a fresh double as WmiService for one test.
std::shared_ptr<FakeService> InstallFake();

}  // namespace harvix::testing
