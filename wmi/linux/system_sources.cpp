// Processor, identity, operating system and memory classes.
#include <sys/utsname.h>

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <string_view>

#include "platform/encoding.h"
#include "wmi/linux/smbios.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

std::optional<std::string> NonEmpty(std::optional<std::string> s) {
    if (s && s->empty()) return std::nullopt;
    return s;
}

WmiValue OrNull(const std::optional<std::string>& s) {
    return s ? WmiValue(*s) : WmiValue();
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

// "key : value" blocks of /proc/cpuinfo, one map per block.
std::vector<std::map<std::string, std::string>> CpuInfoBlocks(const Root& root) {
    std::vector<std::map<std::string, std::string>> blocks(1);
    for (const std::string& line : Split(root.Read("/proc/cpuinfo").value_or(""), '\n')) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            if (!blocks.back().empty()) blocks.emplace_back();
            continue;
        }
        const std::string_view l = line;
        blocks.back()[std::string(TrimOf(l.substr(0, colon), kLineBlanks))] =
            platform::ToValidUtf8(std::string(TrimOf(l.substr(colon + 1), kLineBlanks)));
    }
    if (blocks.back().empty()) blocks.pop_back();
    return blocks;
}

// ARM cores carry no model name; name them from their implementer and part codes.
std::optional<std::string> ArmName(const std::map<std::string, std::string>& b) {
    auto imp = b.find("CPU implementer"), part = b.find("CPU part");
    if (imp == b.end() || part == b.end()) return std::nullopt;
    static const std::map<std::pair<long long, long long>, const char*> kParts = {
        {{0x41, 0xd03}, "ARM Cortex-A53"},  {{0x41, 0xd04}, "ARM Cortex-A35"},
        {{0x41, 0xd05}, "ARM Cortex-A55"},  {{0x41, 0xd07}, "ARM Cortex-A57"},
        {{0x41, 0xd08}, "ARM Cortex-A72"},  {{0x41, 0xd09}, "ARM Cortex-A73"},
        {{0x41, 0xd0a}, "ARM Cortex-A75"},  {{0x41, 0xd0b}, "ARM Cortex-A76"},
        {{0x41, 0xd0c}, "ARM Neoverse-N1"}, {{0x41, 0xd0d}, "ARM Cortex-A77"},
        {{0x41, 0xd40}, "ARM Neoverse-V1"}, {{0x41, 0xd41}, "ARM Cortex-A78"},
        {{0x41, 0xd44}, "ARM Cortex-X1"},   {{0x41, 0xd46}, "ARM Cortex-A510"},
        {{0x41, 0xd47}, "ARM Cortex-A710"}, {{0x41, 0xd49}, "ARM Neoverse-N2"},
        {{0x41, 0xd4f}, "ARM Neoverse-V2"}, {{0x61, 0x022}, "Apple M1"},
        {{0x61, 0x023}, "Apple M1"},        {{0x61, 0x032}, "Apple M2"},
        {{0x61, 0x033}, "Apple M2"},        {{0xc0, 0xac3}, "Ampere-1"},
    };
    auto implementer = ParseWhole(imp->second, 16), partNumber = ParseWhole(part->second, 16);
    if (!implementer || !partNumber) return std::nullopt;
    auto it = kParts.find({*implementer, *partNumber});
    if (it != kParts.end()) return std::string(it->second);
    return std::nullopt;
}

std::optional<std::string> CpuName(const std::map<std::string, std::string>& b) {
    for (const char* key : {"model name", "Processor", "cpu model", "cpu"}) {
        auto it = b.find(key);
        if (it != b.end() && !it->second.empty()) return it->second;
    }
    return ArmName(b);
}

std::vector<std::uint8_t> SmbiosTable(const Root& root) {
    auto raw = root.Read("/sys/firmware/dmi/tables/DMI");
    if (!raw) return {};
    return std::vector<std::uint8_t>(raw->begin(), raw->end());
}

// Arrays of system memory; other arrays (video, flash) are not the board's RAM.
bool IsSystemArray(const smbios::MemoryArray& a) {
    return !a.Use || *a.Use == 0x03;
}

std::string Architecture(const Root& root) {
    std::string machine = root.Line("/proc/sys/kernel/arch").value_or("");
    if (machine.empty() && root.Live()) {
        utsname u{};
        if (uname(&u) == 0) machine = u.machine;
    }
    if (machine.empty()) return std::string();
    for (const char* wide : {"x86_64", "aarch64", "arm64", "ppc64", "s390x", "riscv64", "mips64",
                             "loongarch64", "sparc64", "alpha", "ia64"})
        if (machine.rfind(wide, 0) == 0) return "64-bit";
    return "32-bit";
}

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

}  // namespace

std::string OsReleaseValue(const std::string& line) {
    // Shell quoting as os-release(5) allows it: in double quotes a backslash
    // escapes " \ ` $ (and is kept before anything else); single quotes keep
    // everything; outside quotes a backslash escapes any character.
    // Files written on Windows end their lines in CR LF.
    const std::string raw(TrimEndOf(line, kLineBlanks));
    std::string out;
    std::size_t i = 0;
    while (i < raw.size()) {
        char c = raw[i];
        if (c == '"' || c == '\'') {
            std::size_t j = i + 1;
            std::string part;
            bool closed = false;
            for (; j < raw.size(); ++j) {
                if (raw[j] == c) {
                    closed = true;
                    break;
                }
                if (c == '"' && raw[j] == '\\' && j + 1 < raw.size() &&
                    std::string_view("\"\\`$").find(raw[j + 1]) != std::string_view::npos)
                    ++j;
                part += raw[j];
            }
            if (!closed) return raw;  // no shell would take it: keep the text as written
            out += part;
            i = j + 1;
        } else if (c == '\\' && i + 1 < raw.size()) {
            out += raw[i + 1];
            i += 2;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::vector<Instance> ProcessorInstances(const Root& root) {
    auto blocks = CpuInfoBlocks(root);
    std::map<long long, const std::map<std::string, std::string>*> byCpu;
    for (const auto& b : blocks) {
        auto it = b.find("processor");
        if (it == b.end()) continue;
        if (auto cpu = ParseWhole(it->second)) byCpu[*cpu] = &b;
    }
    struct Package {
        std::set<std::pair<long long, long long>> cores;  // (die, core)
        int logical = 0;
        long long firstCpu = -1;
    };
    std::map<long long, Package> packages;
    for (const auto& entry : root.List("/sys/devices/system/cpu")) {
        if (entry.size() < 4 || entry.rfind("cpu", 0) != 0 ||
            entry.find_first_not_of("0123456789", 3) != std::string::npos)
            continue;
        const std::string topo = "/sys/devices/system/cpu/" + entry + "/topology/";
        if (!root.Exists(topo + "core_id")) continue;  // offline
        // The kernel numbers CPUs with an int: a larger number names no CPU.
        auto number = ParseWhole(entry.substr(3));
        if (!number || *number > std::numeric_limits<int>::max()) continue;
        const long long cpu = *number;
        long long pkg = std::max(0LL, root.Number(topo + "physical_package_id").value_or(0));
        long long die = std::max(0LL, root.Number(topo + "die_id").value_or(0));
        Package& p = packages[pkg];
        p.cores.insert({die, root.Number(topo + "core_id").value_or(cpu)});
        ++p.logical;
        if (p.firstCpu < 0 || cpu < p.firstCpu) p.firstCpu = cpu;
    }
    if (packages.empty()) {
        // No topology in sysfs: fall back to cpuinfo's own ids.
        for (const auto& entry : byCpu) {
            const long long cpu = entry.first;
            const auto* block = entry.second;
            auto get = [&](const char* k) {
                auto it = block->find(k);
                return it == block->end() ? 0LL : ParseWhole(it->second).value_or(0);
            };
            Package& p = packages[get("physical id")];
            p.cores.insert({0, block->count("core id") ? get("core id") : cpu});
            ++p.logical;
            if (p.firstCpu < 0) p.firstCpu = cpu;
        }
    }
    std::vector<Instance> out;
    for (const auto& [pkg, p] : packages) {
        Instance inst;
        inst.Set("DeviceID", "CPU" + std::to_string(out.size()));
        std::optional<std::string> name;
        if (auto it = byCpu.find(p.firstCpu); it != byCpu.end()) name = CpuName(*it->second);
        if (!name && !blocks.empty()) name = CpuName(blocks.front());
        inst.Set("Name", OrNull(name));
        inst.Set("NumberOfCores", Count(std::optional<std::size_t>(p.cores.size())));
        inst.Set("NumberOfLogicalProcessors", p.logical);
        inst.Set("SocketDesignation", "CPU" + std::to_string(pkg));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> ComputerSystemProductInstances(const Root& root) {
    Instance inst;
    inst.Set("IdentifyingNumber", OrNull(root.Line("/sys/class/dmi/id/product_serial")));
    inst.Set("Name", OrNull(root.Line("/sys/class/dmi/id/product_name")));
    inst.Set("Vendor", OrNull(root.Line("/sys/class/dmi/id/sys_vendor")));
    return {inst};
}

std::vector<Instance> ComputerSystemInstances(const Root& root) {
    Instance inst;
    inst.Set("Name", HostName(root));
    inst.Set("Manufacturer", OrNull(root.Line("/sys/class/dmi/id/sys_vendor")));
    inst.Set("Model", OrNull(root.Line("/sys/class/dmi/id/product_name")));
    inst.Set("Domain", OrNull(Domain(root)));
    std::optional<std::string> total;
    // "Key:   value kB" lines
    for (const std::string& line : Split(root.Read("/proc/meminfo").value_or(""), '\n')) {
        std::vector<std::string> words = Words(line);  // key, count, unit
        if (words.size() < 2 || words[0] != "MemTotal:") continue;
        auto kb = ParseWhole(words[1]);
        // kilobytes; what is no count, or overflows as bytes, is unknown
        if (kb && *kb >= 0 && *kb <= std::numeric_limits<long long>::max() / kKiB &&
            (words.size() < 3 || words[2] == "kB"))
            total = std::to_string(*kb * kKiB);
        break;
    }
    inst.Set("TotalPhysicalMemory", OrNull(total));
    return {inst};
}

std::vector<Instance> OperatingSystemInstances(const Root& root) {
    auto release = root.Read("/etc/os-release");
    if (!release) release = root.Read("/usr/lib/os-release");
    std::optional<std::string> caption, name;
    for (const std::string& line : Split(release.value_or(""), '\n')) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = OsReleaseValue(line.substr(eq + 1));
        if (key == "PRETTY_NAME") caption = platform::ToValidUtf8(value);
        if (key == "NAME") name = platform::ToValidUtf8(value);
    }
    if (!caption) caption = name;
    if (!caption) {
        if (auto kernel = NonEmpty(root.Line("/proc/sys/kernel/osrelease")))
            caption = "Linux " + *kernel;
    }
    Instance inst;
    inst.Set("Caption", OrNull(caption));
    std::string arch = Architecture(root);
    inst.Set("OSArchitecture", arch.empty() ? WmiValue() : WmiValue(arch));
    inst.Set("Version", OrNull(root.Line("/proc/sys/kernel/osrelease")));
    return {inst};
}

std::vector<Instance> PhysicalMemoryArrayInstances(const Root& root) {
    auto bytes = SmbiosTable(root);
    std::vector<Instance> out;
    for (const auto& a : smbios::ParseMemory(bytes).Arrays) {
        if (!IsSystemArray(a)) continue;
        Instance inst;
        inst.Set("MaxCapacity", Count(a.MaxCapacityKb));
        inst.Set("MemoryDevices", Count(a.Devices));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> PhysicalMemoryInstances(const Root& root) {
    auto bytes = SmbiosTable(root);
    smbios::MemoryTable table = smbios::ParseMemory(bytes);
    std::set<std::uint16_t> otherArrays;
    for (const auto& a : table.Arrays)
        if (!IsSystemArray(a)) otherArrays.insert(a.Handle);
    auto text = [](const std::optional<std::string>& s) {
        return s ? WmiValue(platform::ToValidUtf8(*s)) : WmiValue();
    };
    std::vector<Instance> out;
    for (const auto& d : table.Devices) {
        if (!d.Installed) continue;
        if (d.ArrayHandle && otherArrays.count(*d.ArrayHandle)) continue;
        Instance inst;
        inst.Set("BankLabel", text(d.BankLocator));
        inst.Set("DeviceLocator", text(d.DeviceLocator));
        inst.Set("Capacity", d.SizeBytes ? WmiValue(std::to_string(*d.SizeBytes)) : WmiValue());
        inst.Set("FormFactor",
                 d.FormFactor ? WmiValue(smbios::WmiFormFactor(*d.FormFactor)) : WmiValue());
        inst.Set("Manufacturer", text(d.Manufacturer));
        inst.Set("PartNumber", text(d.PartNumber));
        inst.Set("SerialNumber", text(d.SerialNumber));
        inst.Set("Speed", Count(d.Speed));
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
