// The WMI stand-in on Linux: answers the collectors' WQL texts from /proc,
// /sys, SMBIOS and the mount table, all read under one root folder.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "wmi/instance.h"
#include "wmi/modWMI.h"

namespace harvix::linuxwmi {

// Names the root folder of a recorded machine tree; "/" when unset.
inline const char* const kRootVariable = "HARVIX_ROOT";

using harvix::Instance;

class StorageSnapshot;

class Provider : public WmiServiceBase {
  public:
    explicit Provider(std::string root);
    ~Provider() override;
    std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) override;

    // One object per instance of the class, in a stable order; throws for a
    // class it does not know.
    std::vector<Instance> Instances(const std::string& className) const;

  private:
    std::string root_;
    std::unique_ptr<StorageSnapshot> storage_;  // one snapshot of the storage stack per run
};

}  // namespace harvix::linuxwmi
