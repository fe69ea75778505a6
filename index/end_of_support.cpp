// The lifecycle tables: each date from the page named beside it. Windows: the last
// Patch Tuesday of each feature update, Home/Pro apart from Enterprise/Education
// where they differ; Pro Education and Pro for Workstations are listed with Home and
// Pro. Debian: the end of its LTS; Ubuntu: the end of standard support of its LTS
// releases.
#include "index/end_of_support.h"

#include <cstring>

#include "platform/text.h"

namespace harvix::index {

namespace {

struct WindowsRelease {
    const char* Product;  // as the OS name says it
    long Build;           // the build that tells the version when the name does not
    const char* Version;
    Date HomePro, Business;  // Business: Enterprise and Education
};

// clang-format off
const WindowsRelease kWindows[] = {
    // https://learn.microsoft.com/lifecycle/products/windows-10-home-and-pro
    // https://learn.microsoft.com/lifecycle/products/windows-10-enterprise-and-education
    {"Windows 10", 10240, "1507", {9, 5, 2017}, {9, 5, 2017}},
    {"Windows 10", 10586, "1511", {10, 10, 2017}, {10, 4, 2018}},
    {"Windows 10", 14393, "1607", {10, 4, 2018}, {9, 4, 2019}},
    {"Windows 10", 15063, "1703", {9, 10, 2018}, {8, 10, 2019}},
    {"Windows 10", 16299, "1709", {9, 4, 2019}, {13, 10, 2020}},
    {"Windows 10", 17134, "1803", {12, 11, 2019}, {11, 5, 2021}},
    {"Windows 10", 17763, "1809", {10, 11, 2020}, {11, 5, 2021}},
    {"Windows 10", 18362, "1903", {8, 12, 2020}, {8, 12, 2020}},
    {"Windows 10", 18363, "1909", {11, 5, 2021}, {10, 5, 2022}},
    {"Windows 10", 19041, "2004", {14, 12, 2021}, {14, 12, 2021}},
    {"Windows 10", 19042, "20H2", {10, 5, 2022}, {9, 5, 2023}},
    {"Windows 10", 19043, "21H1", {13, 12, 2022}, {13, 12, 2022}},
    {"Windows 10", 19044, "21H2", {13, 6, 2023}, {11, 6, 2024}},
    {"Windows 10", 19045, "22H2", {14, 10, 2025}, {14, 10, 2025}},
    // https://learn.microsoft.com/lifecycle/products/windows-11-home-and-pro
    // https://learn.microsoft.com/lifecycle/products/windows-11-enterprise-and-education
    {"Windows 11", 22000, "21H2", {10, 10, 2023}, {8, 10, 2024}},
    {"Windows 11", 22621, "22H2", {8, 10, 2024}, {14, 10, 2025}},
    {"Windows 11", 22631, "23H2", {11, 11, 2025}, {10, 11, 2026}},
    {"Windows 11", 26100, "24H2", {13, 10, 2026}, {12, 10, 2027}},
    {"Windows 11", 26200, "25H2", {12, 10, 2027}, {10, 10, 2028}},
};

// Products whose every version ends together (extended support).
struct Product {
    const char* Name;
    Date End;
};
// https://learn.microsoft.com/lifecycle/products/ followed by the name at the end of each line.
const Product kProducts[] = {
    {"Windows 7", {14, 1, 2020}},              // windows-7
    {"Windows 8.1", {10, 1, 2023}},            // windows-81
    {"Windows 8", {12, 1, 2016}},              // windows-8
    {"Windows Server 2008", {14, 1, 2020}},    // windows-server-2008, -2008-r2
    {"Windows Server 2012", {10, 10, 2023}},   // windows-server-2012, -2012-r2
    {"Windows Server 2016", {12, 1, 2027}},    // windows-server-2016
    {"Windows Server 2019", {9, 1, 2029}},     // windows-server-2019
    {"Windows Server 2022", {14, 10, 2031}},   // windows-server-2022
    {"Windows Server 2025", {10, 10, 2034}},   // windows-server-2025
};

// Distributions, by the number their version starts with.
struct Release {
    const char* Distribution;
    const char* Version;
    Date End;
};
const Release kReleases[] = {
    // https://wiki.debian.org/LTS
    {"Debian", "9", {30, 6, 2022}},   {"Debian", "10", {30, 6, 2024}},
    {"Debian", "11", {31, 8, 2026}},  {"Debian", "12", {30, 6, 2028}},
    {"Debian", "13", {30, 6, 2030}},
    // https://ubuntu.com/about/release-cycle
    {"Ubuntu", "18.04", {31, 5, 2023}}, {"Ubuntu", "20.04", {31, 5, 2025}},
    {"Ubuntu", "22.04", {31, 5, 2027}}, {"Ubuntu", "24.04", {31, 5, 2029}},
};
// clang-format on

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// Lower case without accents, for the Latin letters of UTF-8 edition names: "Éducation"
// and "education" compare alike.
std::string Folded(const std::string& text) {
    // The letters of U+00C0 to U+00FF, upper and lower alike; '?' where none fits.
    static const char kLatin1[] = "aaaaaaaceeeeiiiidnooooo?ouuuuyts";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next =
            i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0xC3 && next >= 0x80 && next <= 0xBF) {
            out += next == 0xBF ? 'y' : kLatin1[(next - 0x80) % 32];  // ÿ, where ß stands above
            ++i;
        } else {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    return out;
}

bool IsBusinessEdition(const InventoryFacts& f) {
    const std::string all = Folded(f.OsEdition + " " + f.OsName);
    // Pro Education ("ProfessionalEducation", "Professionnel Éducation") is a Pro.
    for (const char* e : {"professionaleducation", "pro education", "professional education",
                          "professionnel education", "education professionnel"})
        if (Contains(all, e)) return false;
    for (const char* e : {"enterprise", "entreprise", "education"})
        if (Contains(all, e)) return true;
    return false;
}

// "10.0.19045.4460" → 19045.
long BuildOf(const std::string& osBuild) {
    if (osBuild.rfind("10.0.", 0) != 0) return -1;
    const auto build = ParseUnsigned(osBuild.substr(5, osBuild.find('.', 5) - 5));
    return build ? static_cast<long>(*build) : -1;
}

Date WindowsEnd(const InventoryFacts& f) {
    const long build = BuildOf(f.OsBuild);
    // Long-term channels keep their own, longer dates: not guessed from the build.
    if (Contains(f.OsName, "LTSC") || Contains(f.OsName, "LTSB")) return Date();
    for (const WindowsRelease& r : kWindows) {
        if (!Contains(f.OsName, r.Product)) continue;
        if (r.Build == build || (build < 0 && f.OsVersion == r.Version))
            return IsBusinessEdition(f) ? r.Business : r.HomePro;
    }
    // "Windows Server 2012 R2" ends with "Windows Server 2012".
    for (const Product& p : kProducts)
        if (Contains(f.OsName, p.Name)) return p.End;
    return Date();
}

bool StartsWithVersion(const std::string& version, const char* release) {
    const std::size_t n = std::strlen(release);
    return version.compare(0, n, release) == 0 &&
           (version.size() == n || version[n] == '.' || version[n] == ' ');
}

}  // namespace

Date EndOfSupport(const InventoryFacts& f) {
    if (Contains(f.OsName, "Windows")) return WindowsEnd(f);
    for (const Release& r : kReleases)
        if (Contains(f.OsName, r.Distribution) && StartsWithVersion(f.OsVersion, r.Version))
            return r.End;
    return Date();
}

}  // namespace harvix::index
