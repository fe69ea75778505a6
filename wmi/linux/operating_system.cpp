// Win32_OperatingSystem: os-release, the kernel release and its word size.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <ctime>
#include <string_view>

#include "platform/encoding.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

std::optional<std::string> NonEmpty(std::optional<std::string> s) {
    if (s && s->empty()) return std::nullopt;
    return s;
}

struct OsReleaseFields {
    std::vector<std::pair<std::string, std::string>> Values;
    std::optional<std::string> Get(const std::string& key) const {
        for (const auto& [k, v] : Values)
            if (k == key) return v;
        return std::nullopt;
    }
};

// Its last assignment of each key counts, as when the shell reads it.
OsReleaseFields OsRelease(const Root& root) {
    auto release = root.Read("/etc/os-release");
    if (!release) release = root.Read("/usr/lib/os-release");
    OsReleaseFields fields;
    for (const std::string& line : Split(release.value_or(""), '\n')) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        fields.Values.insert(
            fields.Values.begin(),
            {line.substr(0, eq), platform::ToValidUtf8(OsReleaseValue(line.substr(eq + 1)))});
    }
    return fields;
}

std::string Architecture(const Root& root) {
    std::string machine = Machine(root);
    if (machine.empty()) return std::string();
    for (const char* wide : {"x86_64", "aarch64", "arm64", "ppc64", "s390x", "riscv64", "mips64",
                             "loongarch64", "sparc64", "alpha", "ia64"})
        if (machine.rfind(wide, 0) == 0) return "64-bit";
    return "32-bit";
}

// The moment the system was installed: the installer's oldest log (Debian and
// Ubuntu keep /var/log/installer), else the root filesystem's birth on the live machine.
std::optional<long long> InstallTime(const Root& root) {
    std::optional<long long> oldest;
    for (const std::string& name : root.List("/var/log/installer")) {
        auto t = ModifiedTime(root, "/var/log/installer/" + name);
        if (t && (!oldest || *t < *oldest)) oldest = t;
    }
    if (oldest || !root.Live()) return oldest;
    struct statx sx {};
    // Overlay and virtual filesystems give a birth of 0: no date.
    if (statx(AT_FDCWD, "/", 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME) &&
        sx.stx_btime.tv_sec > 0)
        return static_cast<long long>(sx.stx_btime.tv_sec);
    return std::nullopt;
}

// btime of /proc/stat: seconds since 1970 at boot.
std::optional<long long> BootTime(const Root& root) {
    for (const std::string& line : Split(root.Read("/proc/stat").value_or(""), '\n')) {
        std::vector<std::string> words = Words(line);
        if (words.size() == 2 && words[0] == "btime") return ParseWhole(words[1]);
    }
    return std::nullopt;
}

// The zone's name: /etc/timezone, else the zoneinfo file /etc/localtime links to.
std::optional<std::string> ZoneName(const Root& root) {
    if (auto line = NonEmpty(root.Line("/etc/timezone"))) return platform::ToValidUtf8(*line);
    auto target = root.Resolve("/etc/localtime");
    const std::string marker = "/zoneinfo/";
    std::size_t at = target ? target->find(marker) : std::string::npos;
    if (at == std::string::npos) return std::nullopt;
    std::string name = target->substr(at + marker.size());
    if (name.rfind("posix/", 0) == 0) name = name.substr(6);
    return name.empty() ? std::nullopt : std::optional<std::string>(platform::ToValidUtf8(name));
}

// The volume at "/" is named after its mount point, as Win32_LogicalDisk names it.
WmiValue SystemDrive(const Root& root) {
    for (const std::string& line : Split(root.Read("/proc/self/mountinfo").value_or(""), '\n')) {
        std::vector<std::string> words = Words(line);  // id parent maj:min root point ...
        if (words.size() > 4 && words[4] == "/") return "/";
    }
    return WmiValue();
}

}  // namespace

std::string Machine(const Root& root) {
    std::string machine = root.Line("/proc/sys/kernel/arch").value_or("");
    if (machine.empty() && root.Live()) {
        utsname u{};
        if (uname(&u) == 0) machine = u.machine;
    }
    return machine;
}

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

std::vector<Instance> OperatingSystemInstances(const Root& root) {
    auto release = OsRelease(root);
    std::optional<std::string> caption = release.Get("PRETTY_NAME");
    if (!caption) caption = release.Get("NAME");
    if (!caption) {
        if (auto kernel = NonEmpty(root.Line("/proc/sys/kernel/osrelease")))
            caption = "Linux " + *kernel;
    }
    Instance inst;
    inst.Set("Caption", OrNull(caption));
    std::string arch = Architecture(root);
    inst.Set("OSArchitecture", arch.empty() ? WmiValue() : WmiValue(arch));
    inst.Set("Version", OrNull(release.Get("VERSION_ID")));
    inst.Set("BuildNumber", OrNull(NonEmpty(root.Line("/proc/sys/kernel/osrelease"))));
    auto install = InstallTime(root);
    auto installed = install ? LocalTime(root, *install) : std::nullopt;
    inst.Set("InstallDate", installed ? WmiValue(CimDateTime(*installed)) : WmiValue());
    auto boot = BootTime(root);
    auto booted = boot ? LocalTime(root, *boot) : std::nullopt;
    inst.Set("LastBootUpTime", booted ? WmiValue(CimDateTime(*booted)) : WmiValue());
    auto now = LocalTime(root, static_cast<long long>(std::time(nullptr)));
    inst.Set("CurrentTimeZone", now ? WmiValue(now->OffsetMinutes) : WmiValue());
    inst.Set("SystemDrive", SystemDrive(root));
    return {inst};
}

std::optional<std::string> Distributor(const Root& root) {
    // As lsb_release -i says it: os-release's ID capitalized, or NAME where the two differ
    // only in case ("Debian", "Ubuntu").
    auto release = OsRelease(root);
    auto id = NonEmpty(release.Get("ID"));
    if (!id) return std::nullopt;
    if (auto name = release.Get("NAME"); name && EqualsNoCase(*name, *id)) return name;
    if ((*id)[0] >= 'a' && (*id)[0] <= 'z') (*id)[0] = static_cast<char>((*id)[0] - 'a' + 'A');
    return id;
}

std::vector<Instance> HarvixOperatingSystemInstances(const Root& root) {
    auto release = OsRelease(root);
    Instance inst;
    inst.Set("Edition", OrNull(release.Get("NAME")));
    inst.Set("DisplayVersion", OrNull(release.Get("VERSION")));
    inst.Set("TimeZone", OrNull(ZoneName(root)));
    return {inst};
}

}  // namespace harvix::linuxwmi
