// The dpkg status reader against a small reference written from deb822(5) and
// dpkg-query's naming: stanzas of "Field: value" lines, blank lines between them.
#include <map>

#include "fuzz_support.h"
#include "wmi/dpkg_status.h"

using namespace harvix;

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && Blank(s[b])) ++b;
    while (e > b && Blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::vector<std::vector<std::string>> Stanzas(const std::uint8_t* data, std::size_t size) {
    std::vector<std::vector<std::string>> stanzas(1);
    std::string line;
    auto end = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Trimmed(line).empty()) {
            stanzas.emplace_back();
        } else {
            stanzas.back().push_back(line);
        }
        line.clear();
    };
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            end();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    end();
    return stanzas;
}

std::vector<DpkgPackage> Reference(const std::uint8_t* data, std::size_t size) {
    std::vector<DpkgPackage> out;
    for (const auto& stanza : Stanzas(data, size)) {
        std::map<std::string, std::string> f;
        for (const std::string& l : stanza) {
            if (l[0] == ' ' || l[0] == '\t' || l.find(':') == std::string::npos) continue;
            std::string key = Trimmed(l.substr(0, l.find(':')));
            for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!f.count(key)) f[key] = Trimmed(l.substr(l.find(':') + 1));
        }
        const std::string status = f["status"];
        if (f["package"].empty() ||
            (status != "install ok installed" && status != "hold ok installed"))
            continue;
        DpkgPackage p;
        p.Package = p.Name = f["package"];
        if (!f["version"].empty()) p.Version = f["version"];
        if (!f["architecture"].empty()) p.Architecture = f["architecture"];
        std::string who = Trimmed(f["maintainer"].substr(0, f["maintainer"].find('<')));
        if (!who.empty()) p.Publisher = who;
        if (f["multi-arch"] == "same" && p.Architecture && *p.Architecture != "all")
            p.Name += ":" + *p.Architecture;
        out.push_back(p);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto got = ParseDpkgStatus(text);
    auto want = Reference(data, size);
    HARVIX_CHECK(got.size() == want.size(), "installed packages counted as deb822 stanzas");
    for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
        const std::string at = "package " + std::to_string(i);
        HARVIX_CHECK(got[i] == want[i], at + ": fields");
        HARVIX_CHECK(got[i].Name.rfind(got[i].Package, 0) == 0, at + ": name");
        HARVIX_CHECK(!got[i].Publisher || got[i].Publisher->find('<') == std::string::npos,
                     at + ": publisher without address");
    }
    return 0;
}
