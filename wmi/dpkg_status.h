// dpkg's status file (/var/lib/dpkg/status): the packages installed, as dpkg-query lists them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harvix {

struct DpkgPackage {
    std::string Package;  // the Package field
    std::string Name;     // as dpkg-query -W shows it: "name:arch" for Multi-Arch: same
    std::optional<std::string> Version, Publisher, Architecture;
    bool operator==(const DpkgPackage&) const = default;
};

// The installed packages ("install ok installed", "hold ok installed") in file
// order. Stanzas are separated by empty lines; continuation lines and CR LF line
// ends are allowed; a stanza without Package is none.
std::vector<DpkgPackage> ParseDpkgStatus(std::string_view text);

// A Maintainer field's name: "Jane Doe <jane@example.org>" gives "Jane Doe".
std::string MaintainerName(std::string_view maintainer);

}  // namespace harvix
