// Win32_BIOS, Win32_SystemEnclosure and Win32_BaseBoard from /sys/class/dmi/id,
// and what a standard user may not read there.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

const std::string kDmi = "/sys/class/dmi/id/";

WmiValue Dmi(const Root& root, const char* file) {
    auto line = root.Line(kDmi + file);
    if (line && line->empty()) return WmiValue();
    return OrNull(line);
}

// "MM/DD/YYYY" as the firmware writes it, to a CIM datetime at midnight UTC.
WmiValue BiosDate(const Root& root) {
    auto line = root.Line(kDmi + "bios_date");
    if (!line) return WmiValue();
    std::vector<std::string> parts = Split(*line, '/');
    if (parts.size() != 3 || parts[2].size() != 4) return WmiValue();
    auto month = ParseWhole(parts[0]), day = ParseWhole(parts[1]), year = ParseWhole(parts[2]);
    if (!month || !day || !year || *year < 1 || *year > 9999 || *month < 1 || *month > 12 ||
        *day < 1 || *day > 31 ||
        !IsCalendarDate(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day)))
        return WmiValue();
    LocalMoment m;
    m.Year = static_cast<int>(*year);
    m.Month = static_cast<int>(*month);
    m.Day = static_cast<int>(*day);
    return CimDateTime(m);
}

}  // namespace

bool Denied(const Root& root, const std::string& machinePath) {
    int fd = ::open(root.Path(machinePath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

Instance UnreadObject(const std::string& what, const std::string& why) {
    Instance inst;
    inst.Set("What", what);
    inst.Set("Why", why);
    return inst;
}

std::string AdminOnly(const std::string& machinePath) {
    return "lecture réservée à l'administrateur (" + machinePath + ")";
}

std::vector<Instance> DmiUnread(const Root& root) {
    static const std::pair<const char*, const char*> kRootOnly[] = {
        {"product_uuid", "UUID"},
        {"product_serial", "Numéro de série"},
        {"chassis_serial", "Numéro de série du châssis"},
        {"board_serial", "Numéro de série de la carte mère"},
    };
    std::vector<Instance> out;
    for (const auto& [file, what] : kRootOnly)
        if (Denied(root, kDmi + file)) out.push_back(UnreadObject(what, AdminOnly(kDmi + file)));
    return out;
}

std::vector<Instance> UnreadInstances(const Root& root) {
    std::vector<Instance> out;
    for (auto read : {DmiUnread, FirmwareUnread, TpmUnread, ProcessorUnread})
        for (Instance& inst : read(root)) out.push_back(std::move(inst));
    return out;
}

std::vector<Instance> BiosInstances(const Root& root) {
    Instance inst;
    inst.Set("Manufacturer", Dmi(root, "bios_vendor"));
    inst.Set("SMBIOSBIOSVersion", Dmi(root, "bios_version"));
    inst.Set("ReleaseDate", BiosDate(root));
    inst.Set("SerialNumber", Dmi(root, "product_serial"));
    return {inst};
}

std::vector<Instance> SystemEnclosureInstances(const Root& root) {
    Instance inst;
    auto type = root.Number(kDmi + "chassis_type");
    inst.Set("ChassisTypes", type && *type >= 0 ? WmiValue(std::to_string(*type)) : WmiValue());
    inst.Set("Manufacturer", Dmi(root, "chassis_vendor"));
    inst.Set("SerialNumber", Dmi(root, "chassis_serial"));
    return {inst};
}

std::vector<Instance> BaseBoardInstances(const Root& root) {
    Instance inst;
    inst.Set("Manufacturer", Dmi(root, "board_vendor"));
    inst.Set("Product", Dmi(root, "board_name"));
    inst.Set("SerialNumber", Dmi(root, "board_serial"));
    return {inst};
}

}  // namespace harvix::linuxwmi
