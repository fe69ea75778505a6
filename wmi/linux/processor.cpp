// Win32_Processor: one object per package, from sysfs topology and /proc/cpuinfo;
// Harvix_Processor: the first processor's platform id, from its MSR.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

std::optional<long long> Field(const CpuBlock& b, const char* key, int base = 10) {
    auto it = b.find(key);
    if (it == b.end()) return std::nullopt;
    std::string_view v = it->second;
    if (base == 16 && v.rfind("0x", 0) == 0) v.remove_prefix(2);
    return ParseWhole(v, base);
}

std::optional<std::string> Vendor(const CpuBlock& b) {
    if (auto it = b.find("vendor_id"); it != b.end() && !it->second.empty()) return it->second;
    static const std::map<long long, const char*> kImplementers = {
        {0x41, "ARM"},    {0x42, "Broadcom"}, {0x43, "Cavium"}, {0x48, "HiSilicon"},
        {0x4e, "NVIDIA"}, {0x51, "Qualcomm"}, {0x61, "Apple"},  {0xc0, "Ampere"}};
    auto imp = Field(b, "CPU implementer", 16);
    auto it = imp ? kImplementers.find(*imp) : kImplementers.end();
    if (it == kImplementers.end()) return std::nullopt;
    return std::string(it->second);
}

// "Intel64 Family 6 Model 158 Stepping 10", as Windows names x86 processors.
std::optional<std::string> Description(const CpuBlock& b, const std::string& machine) {
    auto family = Field(b, "cpu family"), model = Field(b, "model"),
         stepping = Field(b, "stepping");
    if (!family || !model || !stepping) return std::nullopt;
    std::string kind;
    if (machine == "x86_64")
        kind = b.count("vendor_id") && b.at("vendor_id") == "GenuineIntel" ? "Intel64" : "AMD64";
    else if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86")
        kind = "x86";
    else
        return std::nullopt;
    return kind + " Family " + std::to_string(*family) + " Model " + std::to_string(*model) +
           " Stepping " + std::to_string(*stepping);
}

// CPUID leaf 1 as Windows prints it: EDX's feature bits, then EAX's signature, in hex.
std::optional<std::string> ProcessorId(const CpuBlock& b) {
    auto family = Field(b, "cpu family"), model = Field(b, "model"),
         stepping = Field(b, "stepping");
    auto flags = b.find("flags");
    if (!family || !model || !stepping || flags == b.end()) return std::nullopt;
    if (*family < 0 || *family > 15 + 255 || *model < 0 || *model > 255 || *stepping < 0 ||
        *stepping > 15)
        return std::nullopt;
    unsigned long long baseFamily = *family >= 15 ? 15 : *family;
    unsigned long long eax = *stepping | ((*model & 0xF) << 4) | (baseFamily << 8) |
                             ((*model >> 4) << 16) | ((*family - baseFamily) << 20);
    static const char* const kEdx[32] = {
        "fpu",  "vme",  "de",   "pse", "tsc",  "msr", "pae",   "mce", "cx8",     "apic", "",
        "sep",  "mtrr", "pge",  "mca", "cmov", "pat", "pse36", "pn",  "clflush", "",     "dts",
        "acpi", "mmx",  "fxsr", "sse", "sse2", "ss",  "ht",    "tm",  "ia64",    "pbe"};
    unsigned long long edx = 0;
    for (const std::string& flag : Words(flags->second))
        for (int bit = 0; bit < 32; ++bit)
            if (*kEdx[bit] && flag == kEdx[bit]) edx |= 1ULL << bit;
    char buf[20];
    std::snprintf(buf, sizeof buf, "%08llX%08llX", edx, eax);
    return std::string(buf);
}

// Windows' PROCESSOR_ARCHITECTURE codes.
WmiValue ArchitectureCode(const std::string& machine) {
    if (machine == "x86_64") return 9;
    if (machine == "aarch64" || machine == "arm64") return 12;
    if (machine.rfind("arm", 0) == 0) return 5;
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86") return 0;
    return WmiValue();
}

// kHz in a cpufreq file, in MHz.
WmiValue Megahertz(const Root& root, long long cpu, const char* file) {
    auto khz =
        root.Number("/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/" + file);
    if (!khz || *khz <= 0 || *khz / 1000 > std::numeric_limits<std::int32_t>::max())
        return WmiValue();
    return static_cast<std::int32_t>((*khz + 500) / 1000);
}

void SetDetails(Instance& inst, const Root& root, const CpuBlock* b, long long cpu,
                std::size_t socket) {
    const CpuBlock none;
    if (!b) b = &none;
    const std::string machine = Machine(root);
    inst.Set("Manufacturer", OrNull(Vendor(*b)));
    inst.Set("Description", OrNull(Description(*b, machine)));
    inst.Set("MaxClockSpeed", Megahertz(root, cpu, "cpuinfo_max_freq"));
    WmiValue current = Megahertz(root, cpu, "scaling_cur_freq");
    if (current.IsNull() && b->count("cpu MHz")) {
        auto mhz = ParseWhole(b->at("cpu MHz").substr(0, b->at("cpu MHz").find('.')));
        if (mhz && *mhz > 0 && *mhz < 1000000) current = static_cast<std::int32_t>(*mhz);
    }
    inst.Set("CurrentClockSpeed", current);
    inst.Set("ExternalClock", Count(ExternalClock(root, socket)));
    inst.Set("ProcessorId", OrNull(ProcessorId(*b)));
    inst.Set("Architecture", ArchitectureCode(machine));
}

const std::string kMsr = "/dev/cpu/0/msr";

// The block of cpu0, whose registers the platform id is read from.
std::optional<CpuBlock> FirstCpuBlock(const Root& root) {
    auto blocks = CpuInfoBlocks(root);
    for (const CpuBlock& b : blocks)
        if (Field(b, "processor") == 0) return b;
    if (blocks.empty()) return std::nullopt;
    return blocks.front();
}

bool Intel(const CpuBlock& b) {
    return b.count("vendor_id") && b.at("vendor_id") == "GenuineIntel";
}

struct PlatformRead {
    std::optional<std::int32_t> Id;
    std::string Why;  // when not read
};

// IA32_PLATFORM_ID (MSR 0x17), bits 52:50 (Intel SDM vol. 4, table 2-2). The msr driver
// reads a register at the file offset of its number; a recorded tree keeps the register's
// 8 bytes there. Root only, and only once the msr module is loaded.
PlatformRead ReadPlatformId(const Root& root) {
    // Non-blocking: a recorded tree holding a FIFO there never stalls the run.
    int fd = ::open(root.Path(kMsr).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return {std::nullopt, AdminOnly(kMsr)};
        return {std::nullopt,
                "lecture réservée à l'administrateur, avec le module msr (" + kMsr + ")"};
    }
    unsigned char bytes[8];
    ssize_t n;
    do {
        n = ::pread(fd, bytes, sizeof bytes, 0x17);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n != static_cast<ssize_t>(sizeof bytes))
        return {std::nullopt, "registre refusé par le processeur (" + kMsr + ")"};
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    return {static_cast<std::int32_t>((value >> 50) & 7), {}};
}

}  // namespace

std::vector<Instance> HarvixProcessorInstances(const Root& root) {
    auto b = FirstCpuBlock(root);
    if (!b) return {};
    Instance inst;
    inst.Set("DeviceID", "CPU0");
    // Only Intel has the register; elsewhere reading it fails.
    const auto id = Intel(*b) ? ReadPlatformId(root).Id : std::nullopt;
    inst.Set("PlatformId", id ? WmiValue(*id) : WmiValue());
    return {inst};
}

std::vector<Instance> ProcessorUnread(const Root& root) {
    // Said only where Windows 11's verdict hangs on it: Intel family 6, models 142 and
    // 158, stepping 9.
    auto b = FirstCpuBlock(root);
    if (!b || !Intel(*b) || Field(*b, "cpu family") != 6 || Field(*b, "stepping") != 9) return {};
    if (auto model = Field(*b, "model"); model != 142 && model != 158) return {};
    PlatformRead read = ReadPlatformId(root);
    if (read.Id) return {};
    return {UnreadObject("Identifiant de plateforme", read.Why)};
}

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
        auto first = byCpu.find(p.firstCpu);
        SetDetails(inst, root,
                   first != byCpu.end() ? first->second
                   : blocks.empty()     ? nullptr
                                        : &blocks.front(),
                   p.firstCpu, out.size());
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
