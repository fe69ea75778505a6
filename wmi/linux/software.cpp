// Harvix_Software: the packages dpkg installed. Their install date is the
// modification time of the package's file list, which dpkg writes on each
// install or upgrade. rpm, flatpak and snap are not read.
#include "platform/encoding.h"
#include "wmi/dpkg_status.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

WmiValue InstallDate(const Root& root, const DpkgPackage& p) {
    const std::string info = "/var/lib/dpkg/info/";
    auto t = ModifiedTime(root, info + p.Package + ".list");
    if (!t && p.Architecture)
        t = ModifiedTime(root, info + p.Package + ":" + *p.Architecture + ".list");
    auto local = t ? LocalTime(root, *t) : std::nullopt;
    return local ? WmiValue(IsoDate(*local)) : WmiValue();
}

WmiValue Text(const std::optional<std::string>& s) {
    return s ? WmiValue(platform::ToValidUtf8(*s)) : WmiValue();
}

}  // namespace

std::vector<Instance> SoftwareInstances(const Root& root) {
    std::vector<Instance> out;
    auto status = root.Read("/var/lib/dpkg/status");
    if (!status) return out;
    for (const DpkgPackage& p : ParseDpkgStatus(*status)) {
        Instance inst;
        inst.Set("Name", platform::ToValidUtf8(p.Name));
        inst.Set("Version", Text(p.Version));
        inst.Set("Publisher", Text(p.Publisher));
        inst.Set("InstallDate", InstallDate(root, p));
        inst.Set("Architecture", Text(p.Architecture));
        inst.Set("Source", "dpkg");
        inst.Set("Guid", platform::ToValidUtf8(p.Name));
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
