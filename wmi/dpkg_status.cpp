#include "wmi/dpkg_status.h"


#include "platform/text.h"

namespace harvix {

namespace {

// The fields kept, by their place in Stanza::Values; the first occurrence wins.
constexpr std::string_view kFields[] = {"package",      "status",    "version",
                                        "architecture", "maintainer", "multi-arch"};
enum Field { kPackage, kStatus, kVersion, kArchitecture, kMaintainer, kMultiArch, kCount };

// One stanza's kept fields, as views into the status text (nothing else is copied:
// the file runs to a megabyte of descriptions).
struct Stanza {
    std::optional<std::string_view> Values[kCount];
    void Clear() {
        for (auto& v : Values) v.reset();
    }
};

int FieldOf(std::string_view name) {
    for (int i = 0; i < kCount; ++i)
        if (EqualsNoCase(name, kFields[i])) return i;
    return -1;
}

std::optional<std::string> Get(const Stanza& s, Field f) {
    if (!s.Values[f] || s.Values[f]->empty()) return std::nullopt;
    return std::string(*s.Values[f]);
}

bool Installed(const Stanza& s) {
    std::string_view status = s.Values[kStatus].value_or("");
    return status == "install ok installed" || status == "hold ok installed";
}

void Keep(const Stanza& s, std::vector<DpkgPackage>& out) {
    auto package = Get(s, kPackage);
    if (!package || !Installed(s)) return;
    DpkgPackage p;
    p.Package = *package;
    p.Name = *package;
    p.Version = Get(s, kVersion);
    p.Architecture = Get(s, kArchitecture);
    if (auto maintainer = Get(s, kMaintainer)) {
        std::string name = MaintainerName(*maintainer);
        if (!name.empty()) p.Publisher = name;
    }
    if (Get(s, kMultiArch) == "same" && p.Architecture && *p.Architecture != "all")
        p.Name += ":" + *p.Architecture;
    out.push_back(std::move(p));
}

}  // namespace

std::string MaintainerName(std::string_view maintainer) {
    return std::string(TrimOf(maintainer.substr(0, maintainer.find('<')), kWhiteSpace));
}

std::vector<DpkgPackage> ParseDpkgStatus(std::string_view text) {
    std::vector<DpkgPackage> out;
    Stanza stanza;
    std::size_t b = 0;
    while (b <= text.size()) {
        std::size_t e = text.find('\n', b);
        if (e == std::string_view::npos) e = text.size();
        std::string_view line = text.substr(b, e - b);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        b = e + 1;
        if (TrimOf(line, kWhiteSpace).empty()) {
            Keep(stanza, out);
            stanza.Clear();
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t')
            continue;  // continues a field: none we keep spans lines
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const int field = FieldOf(TrimOf(line.substr(0, colon), kWhiteSpace));
        if (field >= 0 && !stanza.Values[field])
            stanza.Values[field] = TrimOf(line.substr(colon + 1), kWhiteSpace);
    }
    Keep(stanza, out);
    return out;
}

}  // namespace harvix
