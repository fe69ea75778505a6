// The names association objects carry: the host and WMI object paths.
#include <unistd.h>

#include "platform/encoding.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

std::string HostName(const Root& root) {
    std::string host = root.Line("/proc/sys/kernel/hostname").value_or("");
    if (host.empty() && root.Live()) {
        char buf[256] = {};
        if (gethostname(buf, sizeof buf - 1) == 0) host = platform::ToValidUtf8(buf);
    }
    return host.substr(0, host.find('.'));
}

std::string ObjectPath(const std::string& host, const std::string& cls, const std::string& key,
                       const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return "\\\\" + host + "\\root\\cimv2:" + cls + "." + key + "=\"" + escaped + "\"";
}

}  // namespace harvix::linuxwmi
