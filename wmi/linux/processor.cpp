// Win32_Processor: one object per package, from sysfs topology and /proc/cpuinfo.
#include <algorithm>
#include <limits>
#include <map>
#include <set>

#include "platform/encoding.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

using CpuBlock = std::map<std::string, std::string>;

struct Package {
    std::set<std::pair<long long, long long>> cores;  // (die, core)
    int logical = 0;
    long long firstCpu = -1;
};

// "key : value" blocks of /proc/cpuinfo, one map per block.
std::vector<CpuBlock> CpuInfoBlocks(const Root& root) {
    std::vector<CpuBlock> blocks(1);
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
std::optional<std::string> ArmName(const CpuBlock& b) {
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

std::optional<std::string> CpuName(const CpuBlock& b) {
    for (const char* key : {"model name", "Processor", "cpu model", "cpu"}) {
        auto it = b.find(key);
        if (it != b.end() && !it->second.empty()) return it->second;
    }
    return ArmName(b);
}

// Packages of the online CPUs sysfs lists with their topology.
std::map<long long, Package> TopologyPackages(const Root& root) {
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
    return packages;
}

// No topology in sysfs: cpuinfo's own ids.
std::map<long long, Package> CpuinfoPackages(const std::map<long long, const CpuBlock*>& byCpu) {
    std::map<long long, Package> packages;
    for (const auto& entry : byCpu) {
        const long long cpu = entry.first;
        const CpuBlock* block = entry.second;  // a plain name: lambdas capture it
        auto get = [&](const char* k) {
            auto it = block->find(k);
            return it == block->end() ? 0LL : ParseWhole(it->second).value_or(0);
        };
        Package& p = packages[get("physical id")];
        p.cores.insert({0, block->count("core id") ? get("core id") : cpu});
        ++p.logical;
        if (p.firstCpu < 0) p.firstCpu = cpu;
    }
    return packages;
}

}  // namespace

std::vector<Instance> ProcessorInstances(const Root& root) {
    auto blocks = CpuInfoBlocks(root);
    std::map<long long, const CpuBlock*> byCpu;
    for (const auto& b : blocks) {
        auto it = b.find("processor");
        if (it == b.end()) continue;
        if (auto cpu = ParseWhole(it->second)) byCpu[*cpu] = &b;
    }
    std::map<long long, Package> packages = TopologyPackages(root);
    if (packages.empty()) packages = CpuinfoPackages(byCpu);
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

}  // namespace harvix::linuxwmi
