#include "inventory/identity.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/text.h"

namespace harvix {

namespace {

// Lowercase ASCII, blanks removed: "System  Serial Number" and "systemserialnumber" are one.
std::string Folded(std::string_view text) {
    std::string out;
    for (char c : text)
        if (kWhiteSpace.find(c) == std::string_view::npos)
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

// GLPI's agent leaves these out of every SMBIOS value (isInvalidBiosValue in
// glpi-agent's lib/GLPI/Agent/Tools/Generic.pm); the last ones are serials GLPI
// itself refuses (its default blacklist, src/Blacklist.php) or that tell nobody apart.
constexpr std::string_view kPlaceholders[] = {
    "n/a", "none", "unknown", "notspecified", "notpresent", "notavailable", "defaultstring",
    "systemproductname", "systemmanufacturer", "systemserialnumber", "systemversion",
    "chassisserialnumber", "chassismanufacture", "chassismanufacturer", "chassisversion",
    "noassettag", "<badindex>", "<outofspec>", "<outofspec><outofspec>", "tobefilledbyo.e.m.",
    // Beyond the agent's list.
    "tobefilledbyo.e.m", "notapplicable", "serialnumber", "0123456789", "123456789", "invalid",
    "oem_serial", "systemserialnumb", "(nullstring)", "empty"};

// FNV-1a, then a finalizer, so that two close keys give ids that look nothing alike.
std::uint64_t Hash(std::string_view text) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

}  // namespace

bool IsPlaceholderIdentity(std::string_view text) {
    const std::string f = Folded(text);
    if (f.empty() || f.find_first_not_of('0') == std::string::npos) return true;
    return std::find(std::begin(kPlaceholders), std::end(kPlaceholders), f) !=
           std::end(kPlaceholders);
}

bool IsPlaceholderUuid(std::string_view uuid) {
    const std::string f = Folded(uuid);
    return f.find_first_not_of("0-") == std::string::npos ||
           f.find_first_not_of("f-") == std::string::npos ||
           f == "03000200-0400-0500-0006-000700080009";
}

std::string StableDeviceId(const GeneralInfos& general, const ExtendedInfos& ext) {
    // The board's identity first; a network card for boards that have none; the name last.
    std::string key;
    if (ext.Identity.Uuid && !IsPlaceholderUuid(*ext.Identity.Uuid))
        key += "uuid=" + AsciiLower(Trim(*ext.Identity.Uuid)) + ";";
    if (!IsPlaceholderIdentity(general.SerialNumber))
        key += "serial=" + Trim(general.SerialNumber) + ";";
    if (key.empty()) {
        std::vector<std::string> macs;
        for (const NetworkAdapter& a : ext.Networks)
            if (a.Mac && !a.Virtual.value_or(true) && Folded(*a.Mac) != "00:00:00:00:00:00")
                macs.push_back(AsciiLower(*a.Mac));
        if (!macs.empty()) key = "mac=" + *std::min_element(macs.begin(), macs.end()) + ";";
    }
    if (key.empty()) key = "name=" + AsciiLower(general.ComputerName) + ";";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Hash(key)));
    return std::string("harvix-") + hex;
}

}  // namespace harvix
