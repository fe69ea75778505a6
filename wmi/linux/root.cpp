// The machine's files under one root folder: reading them, listing folders and
// resolving links without leaving the root.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/encoding.h"
#include "platform/text.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

std::vector<std::string> Split(const std::string& text, char delim) {
    std::vector<std::string> parts;
    std::size_t b = 0;
    while (b < text.size()) {
        std::size_t e = text.find(delim, b);
        if (e == std::string::npos) e = text.size();
        parts.push_back(text.substr(b, e - b));
        b = e + 1;
    }
    return parts;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t b = text.find_first_not_of(kWhiteSpace);
    while (b != std::string::npos) {
        std::size_t e = text.find_first_of(kWhiteSpace, b);
        words.push_back(text.substr(b, e == std::string::npos ? std::string::npos : e - b));
        b = e == std::string::npos ? e : text.find_first_not_of(kWhiteSpace, e);
    }
    return words;
}

Root::Root(std::string base) : base_(std::move(base)) {
    while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

std::string Root::Path(const std::string& machinePath) const {
    return base_ + machinePath;
}

std::optional<std::string> Root::Read(const std::string& machinePath) const {
    int fd = ::open(Path(machinePath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // A read error (a folder, a sysfs attribute the device refuses) ends the text there.
    // Read straight into the text, in pieces the size of a regular file (dpkg's status
    // runs to a megabyte); sysfs and /proc files say 4096 or 0 and are read on to the end.
    struct stat st;
    std::size_t piece = 4096;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 4096)
        piece = static_cast<std::size_t>(st.st_size) + 1;
    std::string text;
    for (;;) {
        const std::size_t used = text.size();
        text.resize(used + piece);
        ssize_t n = ::read(fd, text.data() + used, piece);
        if (n < 0 && errno == EINTR) {
            text.resize(used);
            continue;
        }
        text.resize(used + static_cast<std::size_t>(n > 0 ? n : 0));
        if (n <= 0) break;
    }
    ::close(fd);
    return text;
}

std::optional<std::string> Root::Line(const std::string& machinePath) const {
    auto text = Read(machinePath);
    if (!text) return std::nullopt;
    std::string_view line = std::string_view(*text).substr(0, text->find('\n'));
    return platform::ToValidUtf8(std::string(TrimOf(line, kWhiteSpace)));
}

std::optional<long long> Root::Number(const std::string& machinePath) const {
    auto line = Line(machinePath);
    if (!line) return std::nullopt;
    return ParseWhole(*line);
}

bool Root::Exists(const std::string& machinePath) const {
    struct stat st;
    return ::stat(Path(machinePath).c_str(), &st) == 0;
}

std::vector<std::string> Root::List(const std::string& machineDir) const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(Path(machineDir).c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> Root::Resolve(const std::string& machinePath) const {
    // Walks the path one component at a time so that links stay inside the root.
    std::vector<std::string> pending, done;
    auto push = [&](const std::string& p) {
        std::vector<std::string> parts;
        for (const std::string& c : Split(p, '/'))
            if (!c.empty() && c != ".") parts.push_back(c);
        pending.insert(pending.begin(), parts.begin(), parts.end());
    };
    push(machinePath);
    int links = 0;
    while (!pending.empty()) {
        std::string c = pending.front();
        pending.erase(pending.begin());
        if (c == "..") {
            if (!done.empty()) done.pop_back();
            continue;
        }
        done.push_back(c);
        std::string cur;
        for (const auto& d : done) cur += "/" + d;
        char buf[4096];
        ssize_t n = ::readlink(Path(cur).c_str(), buf, sizeof buf);
        if (n < 0) continue;
        if (++links > 40) return std::nullopt;
        std::string target(buf, static_cast<std::size_t>(n));
        done.pop_back();
        if (!target.empty() && target[0] == '/') done.clear();
        push(target);
    }
    std::string out;
    for (const auto& d : done) out += "/" + d;
    return out.empty() ? "/" : out;
}

}  // namespace harvix::linuxwmi
