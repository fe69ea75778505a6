// Harvix_Software: the packages dpkg installed. Their install date is the
// modification time of the package's file list, which dpkg writes on each
// install or upgrade. rpm, flatpak and snap are not read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/encoding.h"
#include "wmi/dpkg_status.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

// The modification times of dpkg's file lists: on the live machine through one
// handle on the folder (a thousand packages, a thousand short lookups), in a
// recorded tree from its list of times.
class ListTimes {
  public:
    explicit ListTimes(const Root& root) : root_(root) {
        if (root.Live())
            dir_ = ::open(root.Path(kInfo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~ListTimes() {
        if (dir_ >= 0) ::close(dir_);
    }
    ListTimes(const ListTimes&) = delete;
    ListTimes& operator=(const ListTimes&) = delete;

    std::optional<long long> Of(const std::string& name) const {
        if (!root_.Live()) return ModifiedTime(root_, std::string(kInfo) + "/" + name);
        struct stat st;
        if (dir_ < 0 || ::fstatat(dir_, name.c_str(), &st, 0) != 0) return std::nullopt;
        return static_cast<long long>(st.st_mtime);
    }

  private:
    static constexpr const char* kInfo = "/var/lib/dpkg/info";
    const Root& root_;
    int dir_ = -1;
};

WmiValue InstallDate(const Root& root, const ListTimes& lists, const DpkgPackage& p) {
    // dpkg names the list as dpkg-query names the package ("name:arch" for Multi-Arch:
    // same); an older dpkg kept the bare name.
    auto t = lists.Of(p.Name + ".list");
    if (!t && p.Name != p.Package) t = lists.Of(p.Package + ".list");
    if (!t && p.Architecture && p.Name == p.Package)
        t = lists.Of(p.Package + ":" + *p.Architecture + ".list");
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
    const ListTimes lists(root);
    // As GLPI's agent lists them: the bare package name, the architecture apart, and the
    // distribution as publisher, GLPI keying software on name and publisher.
    const WmiValue publisher = Text(Distributor(root));
    for (const DpkgPackage& p : ParseDpkgStatus(*status)) {
        Instance inst;
        inst.Set("Name", platform::ToValidUtf8(p.Package));
        inst.Set("Version", Text(p.Version));
        inst.Set("Publisher", publisher);
        inst.Set("InstallDate", InstallDate(root, lists, p));
        inst.Set("Architecture", Text(p.Architecture));
        inst.Set("Source", "dpkg");
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
