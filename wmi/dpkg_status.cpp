#include "wmi/dpkg_status.h"

#include <map>

#include "platform/text.h"

namespace harvix {

namespace {

using Stanza = std::map<std::string, std::string>;  // field names in lower case

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<std::string> Get(const Stanza& s, const char* key) {
    auto it = s.find(key);
    if (it == s.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

bool Installed(const Stanza& s) {
    std::string status = Get(s, "status").value_or("");
    return status == "install ok installed" || status == "hold ok installed";
}

void Keep(const Stanza& s, std::vector<DpkgPackage>& out) {
    auto package = Get(s, "package");
    if (!package || !Installed(s)) return;
    DpkgPackage p;
    p.Package = *package;
    p.Name = *package;
    p.Version = Get(s, "version");
    p.Architecture = Get(s, "architecture");
    if (auto maintainer = Get(s, "maintainer")) {
        std::string name = MaintainerName(*maintainer);
        if (!name.empty()) p.Publisher = name;
    }
    if (Get(s, "multi-arch") == "same" && p.Architecture && *p.Architecture != "all")
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
            stanza.clear();
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t')
            continue;  // continues a field: none we keep spans lines
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        stanza.emplace(Lower(TrimOf(line.substr(0, colon), kWhiteSpace)),
                       std::string(TrimOf(line.substr(colon + 1), kWhiteSpace)));
    }
    Keep(stanza, out);
    return out;
}

}  // namespace harvix
