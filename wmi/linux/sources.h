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
// The distribution as lsb_release -i names it ("Debian"); unknown without os-release's ID.
std::optional<std::string> Distributor(const Root& root);
// The kernel's machine name ("x86_64", "aarch64"...); empty when unknown.
std::string Machine(const Root& root);

std::vector<Instance> ProcessorInstances(const Root& root);
// Harvix_Processor: cpu0's platform id (PlatformId, 0 to 7), Intel only.
std::vector<Instance> HarvixProcessorInstances(const Root& root);
std::vector<Instance> ComputerSystemProductInstances(const Root& root);
std::vector<Instance> ComputerSystemInstances(const Root& root);
std::vector<Instance> OperatingSystemInstances(const Root& root);
std::vector<Instance> PhysicalMemoryArrayInstances(const Root& root);
std::vector<Instance> PhysicalMemoryInstances(const Root& root);
// The bus clock of the n-th processor socket of the SMBIOS table, in MHz.
std::optional<std::uint16_t> ExternalClock(const Root& root, std::size_t socket);

// ---- firmware, identity, OS details and software ----

// A file or folder that exists but that the system refuses to open (a right the user lacks).
bool Denied(const Root& root, const std::string& machinePath);
// A Harvix_Unread object: what could not be read and why, in French.
Instance UnreadObject(const std::string& what, const std::string& why);
// "lecture réservée à l'administrateur (<path>)"
std::string AdminOnly(const std::string& machinePath);

// A moment as the machine's clock shows it: local fields and minutes east of UTC.
struct LocalMoment {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    int OffsetMinutes = 0;
};
// In the time zone of the root's /etc/localtime (the process's own on the live machine);
// unknown where the zone's rules cannot be read.
std::optional<LocalMoment> LocalTime(const Root& root, long long epochSeconds);
// "yyyymmddHHMMSS.000000+UUU"
std::string CimDateTime(const LocalMoment& m);
// "YYYY-MM-DD"
std::string IsoDate(const LocalMoment& m);
// Modification time of a file in seconds since 1970; a recorded tree lists its
// files' times in /.harvix/mtime ("<seconds> <machine path>" lines), git keeping none.
std::optional<long long> ModifiedTime(const Root& root, const std::string& machinePath);

std::vector<Instance> BiosInstances(const Root& root);
std::vector<Instance> SystemEnclosureInstances(const Root& root);
std::vector<Instance> BaseBoardInstances(const Root& root);
std::vector<Instance> FirmwareInstances(const Root& root);
std::vector<Instance> TpmInstances(const Root& root);
std::vector<Instance> HarvixOperatingSystemInstances(const Root& root);
std::vector<Instance> SoftwareInstances(const Root& root);
// Every Harvix_Unread object of the sources above.
std::vector<Instance> UnreadInstances(const Root& root);
// The Harvix_Unread objects of each source.
std::vector<Instance> DmiUnread(const Root& root);
std::vector<Instance> FirmwareUnread(const Root& root);
std::vector<Instance> TpmUnread(const Root& root);
std::vector<Instance> ProcessorUnread(const Root& root);

// Devices: network interfaces, display controllers and monitors.
std::vector<Instance> NetworkAdapterInstances(const Root& root);
std::vector<Instance> NetworkAddressInstances(const Root& root);
std::vector<Instance> VideoControllerInstances(const Root& root);
std::vector<Instance> MonitorInstances(const Root& root);
// "<vendor> <device>" of a PCI device folder from the PCI ID database; nullopt
// for no PCI device or one the database does not know.
std::optional<std::string> PciDeviceName(const Root& root, const std::string& devicePath);

}  // namespace harvix::linuxwmi
