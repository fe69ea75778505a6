// The extended collectors: identity, firmware, TPM, system, processors and
// memory modules, each read through the WMI seam. A class the service does not
// know leaves its fields out; nothing here fails the run.
#include "inventory/extended_collectors.h"

#include <cmath>

#include "inventory/extended_values.h"
#include "platform/text.h"

namespace harvix {

namespace extended {

std::optional<WmiValue> Props::Value(const char* name) {
    std::optional<WmiValue> out;
    Step([&] {
        WmiValue v = obj_[name];
        answered_ = true;
        if (!v.IsNull()) out = std::move(v);
    });
    return out;
}

void Props::Text(const char* name, std::optional<std::string>& out) {
    auto v = Value(name);
    if (!v) return;
    std::string text =
        v->IsText() ? std::string(TrimOf(v->Text(), kWhiteSpace)) : std::to_string(v->Number());
    if (!text.empty()) out = std::move(text);
}

void Props::Int(const char* name, std::optional<std::int32_t>& out) {
    auto v = Value(name);
    if (!v) return;
    if (v->IsNumber()) {
        out = v->Number();
        return;
    }
    auto n = ParseWhole(TrimOf(v->Text(), kWhiteSpace));
    if (n && *n >= INT32_MIN && *n <= INT32_MAX) out = static_cast<std::int32_t>(*n);
}

void Props::Count(const char* name, std::optional<std::uint64_t>& out) {
    auto v = Value(name);
    if (!v) return;
    if (v->IsNumber()) {
        if (v->Number() >= 0) out = static_cast<std::uint64_t>(v->Number());
        return;
    }
    if (auto n = ParseUnsigned(TrimOf(v->Text(), kWhiteSpace))) out = *n;
}

void Props::Bool(const char* name, std::optional<bool>& out) {
    auto v = Value(name);
    if (v && v->IsNumber()) out = v->Number() != 0;
}

std::optional<std::string> DiskIdOf(const std::string& deviceId) {
    return PieceAfter(deviceId, "PHYSICAL");  // as the page names the disk
}

}  // namespace extended

namespace {

using extended::Props;
using extended::ReadAll;

struct Bios {
    std::optional<std::string> Maker, Version, Date, Serial;
};

void ReadIdentity(ExtendedInfos& infos, const Bios& bios) {
    IdentityInfos& id = infos.Identity;
    std::optional<std::string> vendor, name;
    ForEachObject("Select * from Win32_ComputerSystemProduct", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("UUID", id.Uuid);
        p.Text("Vendor", vendor);
        p.Text("Name", name);
    });
    ForEachObject("Select * from Win32_ComputerSystem", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("Manufacturer", id.Manufacturer);
        p.Text("Model", id.Model);
        p.Count("TotalPhysicalMemory", id.TotalMemoryBytes);
    });
    if (!id.Manufacturer) id.Manufacturer = vendor;
    if (!id.Model) id.Model = name;
    ForEachObject("Select * from Win32_SystemEnclosure", [&](const CurrentObject& obj) {
        Props p(obj);
        std::optional<std::string> types;
        p.Text("ChassisTypes", types);
        if (types && !id.ChassisType) id.ChassisType = ChassisFromTypes(*types);
        p.Text("SerialNumber", id.EnclosureSerial);
    });
    ForEachObject("Select * from Win32_BaseBoard", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("Manufacturer", id.BoardMaker);
        p.Text("Product", id.BoardModel);
        p.Text("SerialNumber", id.BoardSerial);
    });
    id.VirtualMachine = VirtualMachineOf(id.Manufacturer, id.Model, bios.Maker, bios.Version);
}

Bios ReadFirmware(ExtendedInfos& infos) {
    Bios bios;
    ForEachObject("Select * from Win32_BIOS", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("Manufacturer", bios.Maker);
        p.Text("SMBIOSBIOSVersion", bios.Version);
        p.Text("SerialNumber", bios.Serial);
        p.Text("ReleaseDate", bios.Date);
    });
    FirmwareInfos& fw = infos.Firmware;
    fw.BiosMaker = bios.Maker;
    fw.BiosVersion = bios.Version;
    fw.BiosSerial = bios.Serial;
    if (bios.Date) fw.BiosDate = CimDate(*bios.Date);
    ForEachObject("Select * from Harvix_Firmware", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("FirmwareType", fw.FirmwareType);
        p.Text("SecureBoot", fw.SecureBoot);
        p.Text("Ca2023Status", fw.Ca2023Status);
    });
    ForEachObject("Select * from Harvix_Tpm", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Bool("Present", infos.Tpm.Present);
        p.Text("SpecVersion", infos.Tpm.Version);
        p.Text("Manufacturer", infos.Tpm.Manufacturer);
    });
    return bios;
}

// "64 bits", "64-bit", "ARM 64 bits"... with the processor's own name when it agrees.
std::optional<std::string> OsArchitecture(const std::optional<std::string>& osArch,
                                          const std::vector<ProcessorInfos>& cpus) {
    if (!osArch) return std::nullopt;
    const std::string cpuArch = cpus.empty() ? std::string() : cpus[0].Architecture.value_or("");
    const bool arm = AsciiLower(*osArch).find("arm") != std::string::npos || cpuArch == "aarch64" ||
                     cpuArch == "arm";
    if (osArch->find("64") != std::string::npos) return arm ? "aarch64" : "x86_64";
    if (osArch->find("32") != std::string::npos) return arm ? "arm" : "i686";
    return std::nullopt;
}

void ReadSystem(ExtendedInfos& infos) {
    OsInfos& os = infos.Os;
    std::optional<std::string> osArch, install, boot, buildNumber, servicePack;
    std::optional<std::int32_t> ubr;
    ForEachObject("Select * from Win32_OperatingSystem", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("Caption", os.Caption);
        p.Text("Version", os.Version);
        p.Text("BuildNumber", buildNumber);
        p.Text("CSDVersion", servicePack);
        p.Text("OSArchitecture", osArch);
        p.Text("InstallDate", install);
        p.Text("LastBootUpTime", boot);
        p.Int("CurrentTimeZone", os.TimeZoneOffsetMinutes);
        p.Text("SystemDrive", os.SystemDrive);
    });
    ForEachObject("Select * from Harvix_OperatingSystem", [&](const CurrentObject& obj) {
        Props p(obj);
        p.Text("Edition", os.Edition);
        p.Text("DisplayVersion", os.DisplayVersion);
        p.Int("UBR", ubr);
        p.Text("TimeZone", os.TimeZone);
    });
    if (install) os.InstallDate = CimDateTime(*install);
    if (boot) os.LastBoot = CimDateTime(*boot);
    os.Architecture = OsArchitecture(osArch, infos.Processors);
    // Windows gives a build number of digits; Linux the kernel release.
    const bool windows = buildNumber && ParseUnsigned(*buildNumber).has_value();
    if (buildNumber) {
        os.Build = *buildNumber;
        if (windows && ubr) os.Build->append(".").append(std::to_string(*ubr));
        // Updates are counted by revision where service packs used to be.
        if (windows) os.ServicePack = ubr ? os.Build : servicePack;
        os.KernelName = windows ? "MSWin32" : "linux";
        os.KernelVersion = windows ? os.Version : buildNumber;
    }
    os.Name = windows ? std::optional<std::string>("Windows") : os.Edition;
    if (!os.Name) os.Name = os.Caption;
}

void ReadProcessors(ExtendedInfos& infos) {
    infos.Processors = ReadAll<ProcessorInfos>("Win32_Processor", [](Props& p, auto& cpu) {
        p.Text("Manufacturer", cpu.Manufacturer);
        p.Text("Name", cpu.Name);
        p.Text("Description", cpu.Description);
        if (auto sig = cpu.Description ? ParseCpuDescription(*cpu.Description) : std::nullopt) {
            cpu.Family = sig->Family;
            cpu.Model = sig->Model;
            cpu.Stepping = sig->Stepping;
        }
        p.Int("MaxClockSpeed", cpu.SpeedMHz);
        // A Linux VM without cpufreq gives no maximum, only the kernel's "cpu MHz".
        if (!cpu.SpeedMHz || *cpu.SpeedMHz <= 0) p.Int("CurrentClockSpeed", cpu.SpeedMHz);
        if (cpu.SpeedMHz && *cpu.SpeedMHz <= 0) cpu.SpeedMHz.reset();
        p.Int("ExternalClock", cpu.ExternalClockMHz);
        p.Int("NumberOfCores", cpu.Cores);
        p.Int("NumberOfLogicalProcessors", cpu.Threads);
        std::optional<std::int32_t> arch;
        p.Int("Architecture", arch);
        if (arch) cpu.Architecture = ArchitectureName(*arch);
        p.Text("ProcessorId", cpu.Id);
    });
    // The platform id is kept for the first processor only (CentralProcessor\0, cpu0).
    ForEachObject("Select * from Harvix_Processor", [&](const CurrentObject& obj) {
        Props p(obj);
        std::optional<std::int32_t> id;
        p.Int("PlatformId", id);
        if (id && *id >= 0 && *id <= 7 && !infos.Processors.empty())
            infos.Processors[0].PlatformId = id;
    });
}

void ReadModules(ExtendedInfos& infos) {
    infos.Modules = ReadAll<MemoryModuleDetails>("Win32_PhysicalMemory", [](Props& p, auto& m) {
        std::optional<std::int32_t> type, formFactor;
        p.Int("SMBIOSMemoryType", type);
        if (type) m.Type = MemoryTypeName(*type);
        p.Int("ConfiguredClockSpeed", m.SpeedMHz);
        if (!m.SpeedMHz || *m.SpeedMHz <= 0) p.Int("Speed", m.SpeedMHz);
        if (m.SpeedMHz && *m.SpeedMHz <= 0) m.SpeedMHz.reset();
        p.Count("Capacity", m.CapacityBytes);
        p.Text("Manufacturer", m.Manufacturer);
        p.Text("SerialNumber", m.SerialNumber);
        p.Text("PartNumber", m.PartNumber);
        p.Text("BankLabel", m.BankLabel);
        p.Text("DeviceLocator", m.Locator);
        p.Int("FormFactor", formFactor);
        if (formFactor && !FormFactorName(*formFactor).empty())
            m.FormFactor = FormFactorName(*formFactor);
    });
}

}  // namespace

ExtendedInfos GetExtendedInfos() {
    ExtendedInfos infos;
    Bios bios = ReadFirmware(infos);
    ReadIdentity(infos, bios);
    ReadProcessors(infos);
    ReadSystem(infos);
    ReadModules(infos);
    extended::ReadDisksAndVolumes(infos);
    extended::ReadNetworks(infos);
    extended::ReadDevices(infos);
    return infos;
}

}  // namespace harvix
