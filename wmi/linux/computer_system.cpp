// Win32_ComputerSystem and Win32_ComputerSystemProduct: identity, domain and memory total.
#include <algorithm>
#include <limits>

#include "platform/encoding.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

// The host's DNS domain from local files only: no resolver call.
std::optional<std::string> Domain(const Root& root) {
    std::string host = root.Line("/proc/sys/kernel/hostname").value_or("");
    if (host.empty()) host = root.Line("/etc/hostname").value_or("");
    if (std::size_t dot = host.find('.'); dot != std::string::npos && dot + 1 < host.size())
        return host.substr(dot + 1);
    std::vector<std::string> hosts;
    if (!host.empty()) hosts = Split(root.Read("/etc/hosts").value_or(""), '\n');
    for (const std::string& line : hosts) {
        // address, canonical name, aliases
        std::vector<std::string> names = Words(line.substr(0, line.find('#')));
        if (names.size() < 2) continue;
        const std::string canonical = names[1];
        bool mine = std::find(names.begin() + 1, names.end(), host) != names.end();
        std::size_t dot = canonical.find('.');
        if (mine && dot != std::string::npos && dot + 1 < canonical.size())
            return platform::ToValidUtf8(canonical.substr(dot + 1));
    }
    std::optional<std::string> search;
    for (const std::string& line : Split(root.Read("/etc/resolv.conf").value_or(""), '\n')) {
        std::vector<std::string> words = Words(line);  // key, value, ...
        if (words.size() < 2) continue;
        if (words[0] == "domain") return platform::ToValidUtf8(words[1]);
        if (words[0] == "search" && !search) search = platform::ToValidUtf8(words[1]);
    }
    return search;
}

// MemTotal of /proc/meminfo in bytes; what is no count, or overflows as bytes, is unknown.
std::optional<std::string> MemTotalBytes(const Root& root) {
    // "Key:   value kB" lines
    for (const std::string& line : Split(root.Read("/proc/meminfo").value_or(""), '\n')) {
        std::vector<std::string> words = Words(line);  // key, count, unit
        if (words.size() < 2 || words[0] != "MemTotal:") continue;
        auto kb = ParseWhole(words[1]);
        if (kb && *kb >= 0 && *kb <= std::numeric_limits<long long>::max() / kKiB &&
            (words.size() < 3 || words[2] == "kB"))
            return std::to_string(*kb * kKiB);
        return std::nullopt;
    }
    return std::nullopt;
}

// Upper-case as Windows prints it; the kernel already orders the bytes the same way.
std::optional<std::string> Uuid(const Root& root) {
    auto line = root.Line("/sys/class/dmi/id/product_uuid");
    if (!line || line->empty()) return std::nullopt;
    for (char& c : *line)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return line;
}

}  // namespace

std::vector<Instance> ComputerSystemProductInstances(const Root& root) {
    Instance inst;
    inst.Set("IdentifyingNumber", OrNull(root.Line("/sys/class/dmi/id/product_serial")));
    inst.Set("Name", OrNull(root.Line("/sys/class/dmi/id/product_name")));
    inst.Set("Vendor", OrNull(root.Line("/sys/class/dmi/id/sys_vendor")));
    inst.Set("UUID", OrNull(Uuid(root)));
    return {inst};
}

std::vector<Instance> ComputerSystemInstances(const Root& root) {
    Instance inst;
    inst.Set("Name", HostName(root));
    inst.Set("Manufacturer", OrNull(root.Line("/sys/class/dmi/id/sys_vendor")));
    inst.Set("Model", OrNull(root.Line("/sys/class/dmi/id/product_name")));
    inst.Set("Domain", OrNull(Domain(root)));
    inst.Set("TotalPhysicalMemory", OrNull(MemTotalBytes(root)));
    return {inst};
}

}  // namespace harvix::linuxwmi
