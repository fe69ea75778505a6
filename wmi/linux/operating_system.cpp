// Win32_OperatingSystem: os-release, the kernel release and its word size.
#include <sys/utsname.h>

#include <string_view>

#include "platform/encoding.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

std::optional<std::string> NonEmpty(std::optional<std::string> s) {
    if (s && s->empty()) return std::nullopt;
    return s;
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

}  // namespace harvix::linuxwmi
