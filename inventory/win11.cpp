// Windows 11 readiness from the extended inventory. The processor rules are those
// of Microsoft's hardware readiness script (HardwareReadiness.ps1,
// https://aka.ms/HWReadinessScript); every other criterion is one of Windows 11's
// minimum requirements. A criterion that could not be read is reported as unknown,
// never as failed.
//
// The verdicts agree with Microsoft's published lists: "Windows 11 supported Intel
// processors", "... AMD processors" and "... Qualcomm processors"
// (https://learn.microsoft.com/windows-hardware/design/minimum/supported/
// windows-11-supported-intel-processors, -amd-processors, -qualcomm-processors):
// Intel from the 8th generation, Skylake-X and Xeon Scalable (model 85) and Gemini
// Lake, with the i7-7820HQ the only 7th generation processor; AMD from Zen+ (Ryzen 2000,
// EPYC 7002) but Raven Ridge; every Qualcomm processor but the Snapdragon 835.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "inventory/extended.h"
#include "platform/text.h"

namespace harvix {

namespace {

bool Contains(const std::optional<std::string>& text, std::string_view part) {
    return text && AsciiLower(*text).find(part) != std::string::npos;
}

// Family 6, models 142 and 158, stepping 9 holds both 7th generation processors (i7-7700,
// i5-7200U) and 8th generation ones (i5-8200Y, m3-8100Y, i7-8705G): only the platform
// id tells them apart.
bool NeedsPlatformId(const ProcessorInfos& cpu) {
    return cpu.Manufacturer == "GenuineIntel" && cpu.Family == 6 &&
           (cpu.Model == 142 || cpu.Model == 158) && cpu.Stepping == 9;
}

// The script reads "Platform Specific Field 1" under
// HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\0, which Windows keeps as
// 1 << platform id, and supports model 142 at 16 and model 158 at 8 only.
bool PlatformIdSupported(int model, int platformId) {
    return (model == 142 && platformId == 4) || (model == 158 && platformId == 3);
}

// The script's one exception: the i7-7820HQ passes on the two computers it names,
// whatever its platform id.
bool NamedModelException(const ProcessorInfos& cpu, const std::optional<std::string>& model) {
    if (!Contains(cpu.Name, "i7-7820hq cpu @ 2.90ghz") || !model) return false;
    const std::string m = AsciiLower(std::string(TrimOf(*model, kWhiteSpace)));
    return m == "surface studio 2" || m == "precision 5520";
}

std::optional<bool> IntelSupported(const ProcessorInfos& cpu) {
    if (!cpu.Family) return std::nullopt;
    if (*cpu.Family < 6) return false;  // before the P6 line: no 64-bit processor
    if (!cpu.Model) return std::nullopt;
    const int family = *cpu.Family, model = *cpu.Model;
    if (model <= 95 && !(family == 6 && model == 85)) return false;
    if (family == 6 && (model == 142 || model == 158)) {
        if (!cpu.Stepping) return std::nullopt;
        if (*cpu.Stepping == 9) {
            if (!cpu.PlatformId) return std::nullopt;
            return PlatformIdSupported(model, *cpu.PlatformId);
        }
    }
    return true;
}

std::optional<bool> AmdSupported(const ProcessorInfos& cpu) {
    if (!cpu.Family) return std::nullopt;
    if (*cpu.Family < 23) return false;
    if (*cpu.Family > 23) return true;
    if (!cpu.Model) return std::nullopt;
    return !(*cpu.Model == 1 || *cpu.Model == 17);
}

using Test = std::optional<bool> (*)(const ExtendedInfos&);

struct Criterion {
    const char* Label;    // its name among the unknowns
    const char* Failure;  // the text of its failure
    const char* Source;   // what Harvix_Unread names for its source (lower case)
    Test Passes;
    const char* Reason;  // why it is unknown when no Harvix_Unread says
};

const char* const kMissing = "information non lue";

const ProcessorInfos* FirstCpu(const ExtendedInfos& in) {
    return in.Processors.empty() ? nullptr : &in.Processors[0];
}

// The size of the disk holding the system volume.
std::optional<std::uint64_t> SystemDiskBytes(const ExtendedInfos& infos) {
    for (const VolumeDetails& vol : infos.Volumes) {
        if (!vol.SystemDrive.value_or(false) || !vol.DiskId) continue;
        for (const DiskDetails& disk : infos.Disks)
            if (disk.DiskId == vol.DiskId) return disk.SizeBytes;
    }
    return std::nullopt;
}

std::optional<bool> AtLeastGiB(std::optional<std::uint64_t> bytes, long long gib) {
    if (!bytes) return std::nullopt;
    // Rounded to the nearest GiB, as the readiness check does; no maths library.
    const std::uint64_t unit = kGiB;
    return *bytes / unit + (*bytes % unit >= unit / 2) >= static_cast<std::uint64_t>(gib);
}

std::optional<bool> CpuPasses(const ExtendedInfos& in) {
    const ProcessorInfos* cpu = FirstCpu(in);
    return cpu ? ProcessorSupportsWindows11(*cpu, in.Identity.Model) : std::nullopt;
}

std::optional<bool> TpmPasses(const ExtendedInfos& in) {
    return in.Tpm.Present;
}

// Only a present TPM has a version to check.
std::optional<bool> TpmVersionPasses(const ExtendedInfos& in) {
    if (in.Tpm.Present != true) return true;
    if (!in.Tpm.Version) return std::nullopt;
    return in.Tpm.Version->rfind("2.", 0) == 0;
}

std::optional<bool> UefiPasses(const ExtendedInfos& in) {
    if (!in.Firmware.FirmwareType) return std::nullopt;
    return *in.Firmware.FirmwareType != "BIOS";
}

std::optional<bool> SecureBootPasses(const ExtendedInfos& in) {
    if (!in.Firmware.SecureBoot) return std::nullopt;
    return *in.Firmware.SecureBoot != "unsupported";
}

// The installed modules, as the readiness script counts them. Without them, the
// total the system shows (less what the firmware and graphics keep) can only pass.
std::optional<bool> RamPasses(const ExtendedInfos& in) {
    std::uint64_t sum = 0;
    bool all = !in.Modules.empty();
    for (const MemoryModuleDetails& m : in.Modules) {
        if (!m.CapacityBytes) all = false;
        const std::uint64_t bytes = m.CapacityBytes.value_or(0);
        sum = bytes > UINT64_MAX - sum ? UINT64_MAX : sum + bytes;
    }
    if (all || AtLeastGiB(sum, 4) == true) return AtLeastGiB(sum, 4);
    const std::optional<std::uint64_t> visible = in.Identity.TotalMemoryBytes;
    if (visible && *visible >= static_cast<std::uint64_t>(4 * kGiB)) return true;
    return std::nullopt;
}

std::optional<bool> DiskPasses(const ExtendedInfos& in) {
    return AtLeastGiB(SystemDiskBytes(in), 64);
}

// Cores of every processor; failing that, a single logical processor is one core.
// A count below one is no count; the sums are wide enough for any number of packages.
std::optional<bool> CoresPass(const ExtendedInfos& in) {
    std::int64_t cores = 0, threads = 0;
    bool allCores = !in.Processors.empty(), allThreads = allCores;
    for (const ProcessorInfos& cpu : in.Processors) {
        allCores = allCores && cpu.Cores.value_or(0) >= 1;
        allThreads = allThreads && cpu.Threads.value_or(0) >= 1;
        cores += std::max<std::int64_t>(cpu.Cores.value_or(0), 0);
        threads += std::max<std::int64_t>(cpu.Threads.value_or(0), 0);
    }
    if (allCores) return cores >= 2;
    if (allThreads && threads < 2) return false;
    return std::nullopt;
}

std::optional<bool> ClockPasses(const ExtendedInfos& in) {
    const ProcessorInfos* cpu = FirstCpu(in);
    if (!cpu || !cpu->SpeedMHz) return std::nullopt;
    return *cpu->SpeedMHz >= 1000;
}

std::optional<bool> SixtyFourBitsPasses(const ExtendedInfos& in) {
    const ProcessorInfos* cpu = FirstCpu(in);
    if (!cpu || !cpu->Architecture) return std::nullopt;
    return *cpu->Architecture == "x86_64" || *cpu->Architecture == "aarch64";
}

const Criterion kCriteria[] = {
    {"processeur", "processeur non pris en charge", "processeur", CpuPasses,
     "modèle de processeur non reconnu"},
    {"TPM", "TPM absent", "tpm", TpmPasses, kMissing},
    {"version du TPM", "TPM 1.2 (2.0 requis)", "tpm", TpmVersionPasses, kMissing},
    {"UEFI", "BIOS hérité (UEFI requis)", "firmware", UefiPasses, kMissing},
    {"Secure Boot", "Secure Boot non pris en charge", "secure boot", SecureBootPasses, kMissing},
    {"RAM", "RAM inférieure à 4 Go", "mémoire", RamPasses, "barrettes de mémoire non lues"},
    {"disque système", "disque système inférieur à 64 Go", "disque", DiskPasses, kMissing},
    {"cœurs", "moins de 2 cœurs", "processeur", CoresPass, kMissing},
    {"fréquence", "fréquence inférieure à 1 GHz", "processeur", ClockPasses, kMissing},
    {"64 bits", "processeur non 64 bits", "processeur", SixtyFourBitsPasses, kMissing},
};

const char* const kPlatformId = "Identifiant de plateforme";  // its Harvix_Unread name

// The reason Harvix_Unread gives for the source, else the check's own.
std::string WhyUnknown(const ExtendedInfos& infos, const Criterion& c) {
    const ProcessorInfos* cpu = FirstCpu(infos);
    if (c.Passes == CpuPasses && cpu && NeedsPlatformId(*cpu) && !cpu->PlatformId) {
        std::string why = "identifiant de plateforme non lu";
        for (const Unread& u : infos.Unreadable)
            if (u.What == kPlatformId && !u.Why.empty()) return why + ", " + u.Why;
        return why;
    }
    for (const Unread& u : infos.Unreadable)
        if (!u.Why.empty() && AsciiLower(u.What).find(c.Source) != std::string::npos) return u.Why;
    return c.Reason;
}

}  // namespace

std::optional<bool> ProcessorSupportsWindows11(const ProcessorInfos& cpu,
                                               const std::optional<std::string>& computerModel) {
    if (NamedModelException(cpu, computerModel)) return true;
    const std::string arch = cpu.Architecture.value_or("");
    const bool qualcomm = Contains(cpu.Manufacturer, "qualcomm") ||
                          Contains(cpu.Name, "snapdragon") || Contains(cpu.Name, "microsoft sq");
    if (arch == "arm") return false;
    if (arch == "aarch64" || (arch.empty() && qualcomm)) {
        if (!qualcomm) return std::nullopt;
        // The Snapdragon 835 lacks the ARM v8.1 atomics Windows 11 needs.
        return !Contains(cpu.Name, "835");
    }
    const std::string vendor = cpu.Manufacturer.value_or("");
    if (vendor == "GenuineIntel") return IntelSupported(cpu);
    if (vendor == "AuthenticAMD") return AmdSupported(cpu);
    return std::nullopt;
}

Win11Readiness Windows11Readiness(const ExtendedInfos& infos) {
    Win11Readiness result;
    for (const Criterion& c : kCriteria) {
        std::optional<bool> passes = c.Passes(infos);
        if (!passes)
            result.Unknown.push_back(std::string(c.Label) + " : " + WhyUnknown(infos, c));
        else if (!*passes)
            result.Failed.push_back(c.Failure);
    }
    if (!result.Failed.empty())
        result.Verdict = "non";
    else if (!result.Unknown.empty())
        result.Verdict = "indéterminé";
    else
        result.Verdict = "prêt";
    return result;
}

}  // namespace harvix
