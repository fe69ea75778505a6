#include "report/inventory_json.h"

#include <algorithm>
#include <cstdio>

#include "inventory/identity.h"
#include "report/inventory_json_parts.h"

namespace harvix {

namespace {

using namespace inventory_json;

std::optional<std::int32_t> WholeNumber(const std::string& digits) {
    std::optional<std::uint64_t> n = ByteCount(digits);
    if (!n || *n > 0x7fffffff) return std::nullopt;
    return static_cast<std::int32_t>(*n);
}

// The format's architectures: i386 to i986, arm and its variants, and a fixed list.
bool KnownArchitecture(const std::optional<std::string>& a) {
    if (!a) return false;
    if (a->size() == 4 && (*a)[0] == 'i' && (*a)[1] >= '0' && (*a)[1] <= '9' &&
        a->compare(2, 2, "86") == 0)
        return true;
    if (a->rfind("arm", 0) == 0) return true;
    return OneOf(a, {"mips", "mips64", "alpha", "sparc", "sparc64", "m68k", "x86_64", "powerpc",
                     "powerpc64", "aarch64"});
}

// An identity value GLPI may match computers on: placeholders left out, as GLPI's
// agent leaves them, so that boards sharing one are not taken for one computer.
void PutIdentity(json& j, const char* key, const std::optional<std::string>& v) {
    if (v && !IsPlaceholderIdentity(*v)) Put(j, key, v);
}

json Hardware(const GeneralInfos& general, const ExtendedInfos& ext) {
    json j = json::object();
    Put(j, "name", general.ComputerName);
    Put(j, "workgroup", general.Domain);
    Put(j, "lastloggeduser", general.UserName);
    if (ext.Identity.Uuid && !IsPlaceholderUuid(*ext.Identity.Uuid))
        Put(j, "uuid", ext.Identity.Uuid);
    Put(j, "chassis_type", ext.Identity.ChassisType);
    Put(j, "vmsystem", ext.Identity.VirtualMachine);
    Put(j, "memory", MiB(ext.Identity.TotalMemoryBytes));
    return j;
}

json Bios(const GeneralInfos& general, const ExtendedInfos& ext) {
    const FirmwareInfos& fw = ext.Firmware;
    const IdentityInfos& id = ext.Identity;
    json j = json::object();
    PutIdentity(j, "bmanufacturer", fw.BiosMaker);
    PutIdentity(j, "bversion", fw.BiosVersion);
    Put(j, "bdate", fw.BiosDate);
    PutIdentity(j, "biosserial", fw.BiosSerial);
    PutIdentity(j, "smanufacturer", id.Manufacturer);
    PutIdentity(j, "smodel", id.Model);
    // "N/A", the page's word for none, is a placeholder too.
    PutIdentity(j, "ssn", general.SerialNumber);
    PutIdentity(j, "mmanufacturer", id.BoardMaker);
    PutIdentity(j, "mmodel", id.BoardModel);
    PutIdentity(j, "msn", id.BoardSerial);
    PutIdentity(j, "enclosureserial", id.EnclosureSerial);
    if (OneOf(fw.SecureBoot, {"enabled", "disabled", "unsupported"}))
        j["secure_boot"] = *fw.SecureBoot;
    return j;
}

// "+0100" from minutes east of UTC.
std::string OffsetText(std::int32_t minutes) {
    char text[16];
    const int m = minutes < 0 ? -minutes : minutes;
    std::snprintf(text, sizeof text, "%c%02d%02d", minutes < 0 ? '-' : '+', m / 60 % 100, m % 60);
    return text;
}

json OperatingSystem(const GeneralInfos& general, const ExtendedInfos& ext) {
    const OsInfos& os = ext.Os;
    json j = json::object();
    Put(j, "name", os.Name);
    Put(j, "full_name", os.Caption ? *os.Caption : general.OperatingSystem);
    // Windows: the display version ("23H2") as GLPI's agent gives it; the build
    // ("10.0.22631") stays in kernel_version.
    const bool windows = os.KernelName == "MSWin32";
    Put(j, "version", windows ? os.DisplayVersion : os.Version);
    Put(j, "service_pack", os.ServicePack);
    Put(j, "kernel_name", os.KernelName);
    Put(j, "kernel_version", os.KernelVersion);
    Put(j, "arch", os.Architecture);
    Put(j, "install_date", os.InstallDate);
    Put(j, "boot_time", os.LastBoot);
    // The format wants both or neither.
    if (os.TimeZone && !os.TimeZone->empty() && os.TimeZoneOffsetMinutes)
        j["timezone"] = {{"name", *os.TimeZone}, {"offset", OffsetText(*os.TimeZoneOffsetMinutes)}};
    return j;
}

// GLPI's agents name the two usual CPUID vendors by their makers.
std::optional<std::string> Maker(const std::optional<std::string>& vendor) {
    if (vendor == "GenuineIntel") return std::string("Intel");
    if (vendor == "AuthenticAMD") return std::string("AMD");
    return vendor;
}

json Cpu(const ProcessorInfos& p) {
    json j = json::object();
    Put(j, "name", p.Name);
    Put(j, "manufacturer", Maker(p.Manufacturer));
    Put(j, "description", p.Description);
    if (p.Family) j["familynumber"] = std::to_string(*p.Family);
    if (p.Model) j["model"] = std::to_string(*p.Model);
    Put(j, "stepping", p.Stepping);
    Put(j, "speed", p.SpeedMHz);
    Put(j, "external_clock", p.ExternalClockMHz);
    Put(j, "core", p.Cores);
    // Threads per core, as the format and GLPI (nbthreads) mean it.
    if (p.Threads && p.Cores && *p.Cores > 0 && *p.Threads >= *p.Cores)
        j["thread"] = *p.Threads / *p.Cores;
    Put(j, "id", p.Id);
    if (KnownArchitecture(p.Architecture)) j["arch"] = *p.Architecture;
    return j;
}

json Cpus(const CpuInfos& cpu, const ExtendedInfos& ext) {
    json list = json::array();
    for (const ProcessorInfos& p : ext.Processors) list.push_back(Cpu(p));
    // The page's processor, when nothing more was read.
    if (list.empty() && !cpu.Name.empty()) {
        ProcessorInfos p;
        p.Name = cpu.Name;
        p.Cores = WholeNumber(cpu.PhysicalCores);
        p.Threads = WholeNumber(cpu.LogicalCores);
        list.push_back(Cpu(p));
    }
    return list;
}

json Memory(const MemoryModule* shown, const MemoryModuleDetails* more, int slot) {
    json j = json::object();
    j["numslots"] = slot;
    if (more) {
        Put(j, "capacity", MiB(more->CapacityBytes));
        Put(j, "type", more->Type);
        if (more->SpeedMHz) j["speed"] = std::to_string(*more->SpeedMHz);
        Put(j, "caption", more->Locator ? more->Locator : more->BankLabel);
        Put(j, "description", more->FormFactor);
        Put(j, "manufacturer", more->Manufacturer);
        Put(j, "model", more->PartNumber);
        Put(j, "serialnumber", more->SerialNumber);
    }
    // What the page shows wins where both were read.
    if (shown) {
        Put(j, "manufacturer", shown->Manufacturer);
        Put(j, "model", shown->PartNumber);
        Put(j, "serialnumber", shown->SerialNumber);
        if (!j.contains("caption")) Put(j, "caption", shown->BankLabel);
        if (shown->FormFactor != 0) Put(j, "description", FormFactorName(shown->FormFactor));
    }
    return j;
}

// The page's modules and the details read of them come in the same order.
json Memories(const MemoryInfos& memory, const ExtendedInfos& ext) {
    json list = json::array();
    const int shown = memory.Modules.UBound();
    const int more = static_cast<int>(ext.Modules.size());
    for (int i = 1; i <= std::max(shown, more); ++i)
        list.push_back(Memory(i <= shown ? &memory.Modules[i] : nullptr,
                              i <= more ? &ext.Modules[static_cast<std::size_t>(i - 1)] : nullptr,
                              i));
    return list;
}

}  // namespace

std::string InventoryJson(const GeneralInfos& general, const CpuInfos& cpu,
                          const MemoryInfos& memory, const DiskList& disks,
                          const VolumeList& volumes, const ExtendedInfos& extended,
                          const JsonStamp& stamp, std::string* own) {
    json content = json::object();
    content["versionclient"] = "Harvix-" + stamp.Version;
    content["hardware"] = Hardware(general, extended);
    content["bios"] = Bios(general, extended);
    content["operatingsystem"] = OperatingSystem(general, extended);
    if (!general.UserName.empty()) content["users"] = json::array({{{"login", general.UserName}}});
    content["cpus"] = Cpus(cpu, extended);
    content["memories"] = Memories(memory, extended);
    content["storages"] = Storages(disks, extended);
    content["drives"] = Drives(volumes, extended);
    content["networks"] = Networks(extended);
    content["videos"] = Videos(extended);
    content["monitors"] = Monitors(extended);
    content["softwares"] = Softwares(extended);

    // GLPI finds the agent by it: one that changed on every run would be a new agent each time.
    json doc = {{"deviceid", StableDeviceId(general, extended)},
                {"itemtype", "Computer"},
                {"action", "inventory"},
                {"content", std::move(content)}};
    if (own)
        *own = HarvixJson(doc["deviceid"].get<std::string>(), general, cpu, memory, disks, volumes,
                          extended, stamp);
    // Compact, as GLPI's agents send it: a thousand programs would double it indented.
    return doc.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace harvix
