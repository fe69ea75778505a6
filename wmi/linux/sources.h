// Readers of the provider: every path goes through the root folder.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "wmi/linux/provider.h"

namespace harvix::linuxwmi {

// The pieces between delimiters, as getline gives them: an empty last piece is none.
std::vector<std::string> Split(const std::string& text, char delim);
// The words between white space of the C locale (blank, \t, \n, \v, \f, \r).
std::vector<std::string> Words(const std::string& text);

class Root {
  public:
    explicit Root(std::string base);
    // The path of an absolute machine path inside the root.
    std::string Path(const std::string& machinePath) const;
    bool Live() const { return base_.empty(); }

    std::optional<std::string> Read(const std::string& machinePath) const;
    // First line, surrounding white space removed.
    std::optional<std::string> Line(const std::string& machinePath) const;
    std::optional<long long> Number(const std::string& machinePath) const;
    bool Exists(const std::string& machinePath) const;
    std::vector<std::string> List(const std::string& machineDir) const;
    // Machine path of a link's target or of a path with links resolved, kept inside the root.
    std::optional<std::string> Resolve(const std::string& machinePath) const;

  private:
    std::string base_;  // empty for the live machine
};

// A missing text is a null value.
inline WmiValue OrNull(const std::optional<std::string>& s) {
    return s ? WmiValue(*s) : WmiValue();
}
// 64-bit sizes travel as their decimal text.
inline WmiValue OrNull(const std::optional<std::uint64_t>& n) {
    return n ? WmiValue(std::to_string(*n)) : WmiValue();
}

// An unsigned count as WMI hands it over: a whole number while it fits in 32
// signed bits, its decimal text beyond (as for WMI's 64-bit counts).
template <class Unsigned>
WmiValue Count(const std::optional<Unsigned>& n) {
    if (!n) return WmiValue();
    if (*n <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return WmiValue(static_cast<std::int32_t>(*n));
    return WmiValue(std::to_string(static_cast<std::uint64_t>(*n)));
}

// Names for association paths: the short host name.
std::string HostName(const Root& root);
// \\HOST\root\cimv2:Class.Key="value", backslashes and quotes in the value escaped.
std::string ObjectPath(const std::string& host, const std::string& cls, const std::string& key,
                       const std::string& value);

// A value of os-release as the shell reads it: quotes removed, escapes undone.
std::string OsReleaseValue(const std::string& raw);

std::vector<Instance> ProcessorInstances(const Root& root);
std::vector<Instance> ComputerSystemProductInstances(const Root& root);
std::vector<Instance> ComputerSystemInstances(const Root& root);
std::vector<Instance> OperatingSystemInstances(const Root& root);
std::vector<Instance> PhysicalMemoryArrayInstances(const Root& root);
std::vector<Instance> PhysicalMemoryInstances(const Root& root);

// Devices: network interfaces, display controllers and monitors.
std::vector<Instance> NetworkAdapterInstances(const Root& root);
std::vector<Instance> NetworkAddressInstances(const Root& root);
std::vector<Instance> VideoControllerInstances(const Root& root);
std::vector<Instance> MonitorInstances(const Root& root);
// "<vendor> <device>" of a PCI device folder from the PCI ID database; nullopt
// for no PCI device or one the database does not know.
std::optional<std::string> PciDeviceName(const Root& root, const std::string& devicePath);

}  // namespace harvix::linuxwmi
