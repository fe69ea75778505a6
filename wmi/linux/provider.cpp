#include "wmi/linux/provider.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "platform/encoding.h"
#include "platform/text.h"
#include "wmi/linux/sources.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

// ---- Text ----

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

// ---- Root ----

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
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
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

// ---- objects and result sets ----

namespace {

class InstanceObject : public WmiObject {
  public:
    InstanceObject(const Instance* inst, const std::vector<std::string>* selected)
        : inst_(inst), selected_(selected) {}
    WmiValue Get(const std::string& name) const override {
        const std::string want = AsciiLower(name);
        bool allowed = selected_->empty() ||
                       std::find(selected_->begin(), selected_->end(), want) != selected_->end();
        if (allowed)
            for (const auto& [prop, value] : inst_->Properties)
                if (EqualsNoCase(prop, want)) return value;
        throw HarvixError("Propriété introuvable : " + name);
    }

  private:
    const Instance* inst_;
    const std::vector<std::string>* selected_;
};

class InstanceResults : public WmiResultSet {
  public:
    InstanceResults(std::function<std::vector<Instance>()> produce,
                    std::vector<std::string> selected)
        : produce_(std::move(produce)), selected_(std::move(selected)) {}

    const WmiObject* Next() override {
        if (!started_) {
            // Like WMI with "return immediately": errors surface when the walk starts.
            started_ = true;
            instances_ = produce_();
            pos_ = 0;
        } else {
            ++pos_;
        }
        if (pos_ >= instances_.size()) return nullptr;
        current_.emplace(&instances_[pos_], &selected_);
        return &*current_;
    }

  private:
    std::function<std::vector<Instance>()> produce_;
    std::vector<std::string> selected_;
    std::vector<Instance> instances_;
    std::size_t pos_ = 0;
    bool started_ = false;
    std::optional<InstanceObject> current_;
};

// ASCII letters, digits and underscores, whatever the user's locale.
bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// "Select * from C" or "Select P, Q from C"; nullopt when the text is not of that form.
std::optional<std::pair<std::vector<std::string>, std::string>> ParseQuery(const std::string& wql) {
    // Tokens: names, "*" and ","; white space only separates them.
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < wql.size();) {
        unsigned char c = wql[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '*' || c == ',') {
            tokens.emplace_back(1, static_cast<char>(c));
            ++i;
        } else if (IsNameChar(c)) {
            std::size_t j = i;
            while (j < wql.size() && IsNameChar(wql[j])) ++j;
            tokens.push_back(wql.substr(i, j - i));
            i = j;
        } else {
            return std::nullopt;
        }
    }
    auto isName = [](const std::string& t) {
        const std::string l = AsciiLower(t);
        return !t.empty() && t != "*" && t != "," && l != "select" && l != "from";
    };
    std::size_t k = 0;
    if (tokens.size() < 4 || !EqualsNoCase(tokens[k++], "select")) return std::nullopt;
    std::vector<std::string> selected;
    if (tokens[k] == "*") {
        ++k;
    } else {
        for (;;) {
            if (k >= tokens.size() || !isName(tokens[k])) return std::nullopt;
            selected.push_back(AsciiLower(tokens[k++]));
            if (k < tokens.size() && tokens[k] == ",") {
                ++k;
                continue;
            }
            break;
        }
    }
    if (k + 2 != tokens.size() || !EqualsNoCase(tokens[k], "from") || !isName(tokens[k + 1]))
        return std::nullopt;
    return std::make_pair(selected, tokens[k + 1]);
}

}  // namespace

Provider::Provider(std::string root)
    : root_(root == "/" ? std::string() : std::move(root)),
      storage_(std::make_unique<StorageSnapshot>()) {}

Provider::~Provider() = default;

std::vector<Instance> Provider::Instances(const std::string& className) const {
    using Reader = std::vector<Instance> (*)(const Root&);
    static const std::pair<const char*, Reader> kClasses[] = {
        {"Win32_Processor", ProcessorInstances},
        {"Win32_ComputerSystemProduct", ComputerSystemProductInstances},
        {"Win32_ComputerSystem", ComputerSystemInstances},
        {"Win32_OperatingSystem", OperatingSystemInstances},
        {"Win32_PhysicalMemoryArray", PhysicalMemoryArrayInstances},
        {"Win32_PhysicalMemory", PhysicalMemoryInstances},
    };
    using StorageReader = std::vector<Instance> (*)(const Root&, StorageSnapshot&);
    static const std::pair<const char*, StorageReader> kStorageClasses[] = {
        {"Win32_DiskDrive", DiskDriveInstances},
        {"Win32_DiskPartition", DiskPartitionInstances},
        {"Win32_DiskDriveToDiskPartition", DiskDriveToDiskPartitionInstances},
        {"Win32_LogicalDisk", LogicalDiskInstances},
        {"Win32_LogicalDiskToPartition", LogicalDiskToPartitionInstances},
    };
    Root root(root_);
    for (const auto& [name, read] : kClasses)
        if (EqualsNoCase(name, className)) return read(root);
    for (const auto& [name, read] : kStorageClasses)
        if (EqualsNoCase(name, className)) return read(root, *storage_);
    throw HarvixError("Classe non valide : " + className);
}

std::unique_ptr<WmiResultSet> Provider::ExecQuery(const std::string& wql, int /*flags*/) {
    auto parsed = ParseQuery(wql);
    if (!parsed) {
        return std::make_unique<InstanceResults>(
            [wql]() -> std::vector<Instance> { throw HarvixError("Requête non valide : " + wql); },
            std::vector<std::string>{});
    }
    std::string cls = parsed->second;
    return std::make_unique<InstanceResults>([this, cls] { return Instances(cls); }, parsed->first);
}

}  // namespace harvix::linuxwmi

namespace harvix {

WmiServicePtr ConnectWMI(const std::string& computerName) {
    if (computerName != "localhost" && computerName != ".")
        throw HarvixError("Le serveur RPC n'est pas disponible : " + computerName);
    const char* root = std::getenv(linuxwmi::kRootVariable);
    return std::make_shared<linuxwmi::Provider>(root && *root ? root : "/");
}

}  // namespace harvix
