// Value conversions of the extended collectors: CIM dates, SMBIOS codes, the
// processor's Description and the signs of a virtual machine.
#include "inventory/extended_values.h"

#include <array>
#include <cctype>
#include <limits>
#include <vector>

#include "platform/text.h"

namespace harvix {

namespace {

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int TwoDigits(std::string_view s, std::size_t at) {
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t start = s.find_first_not_of(kWhiteSpace, i);
        if (start == std::string_view::npos) break;
        std::size_t end = s.find_first_of(kWhiteSpace, start);
        if (end == std::string_view::npos) end = s.size();
        words.push_back(s.substr(start, end - start));
        i = end;
    }
    return words;
}

std::optional<std::int32_t> SmallNumber(std::string_view digits) {
    if (!AllDigits(digits)) return std::nullopt;
    auto n = ParseUnsigned(digits);
    if (!n || *n > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(*n);
}

// Whether word appears in text (lower case) between non-alphanumeric characters.
bool HasWord(const std::string& text, std::string_view word) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        bool startOk = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
        std::size_t end = at + word.size();
        bool endOk = end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end]));
        if (startOk && endOk) return true;
    }
    return false;
}

std::optional<std::string> HexAfter(std::string_view text, std::string_view mark) {
    std::size_t at = text.find(mark);
    if (at == std::string_view::npos || text.size() < at + mark.size() + 4) return std::nullopt;
    std::string hex = AsciiLower(text.substr(at + mark.size(), 4));
    if (!ParseUnsigned(hex, 16) || hex.find('x') != std::string::npos) return std::nullopt;
    return hex;
}

}  // namespace

std::optional<CpuSignature> ParseCpuDescription(std::string_view description) {
    std::vector<std::string_view> w = Words(description);
    for (std::size_t i = 0; i + 5 < w.size(); ++i) {
        if (!EqualsNoCase(w[i], "Family") || !EqualsNoCase(w[i + 2], "Model") ||
            !EqualsNoCase(w[i + 4], "Stepping"))
            continue;
        auto family = SmallNumber(w[i + 1]), model = SmallNumber(w[i + 3]),
             stepping = SmallNumber(w[i + 5]);
        if (family && model && stepping) return CpuSignature{*family, *model, *stepping};
    }
    return std::nullopt;
}

std::optional<std::string> CimDate(std::string_view cim) {
    if (cim.size() < 8) return std::nullopt;
    return CompactDate(cim.substr(0, 8));
}

std::optional<std::string> CimDateTime(std::string_view cim) {
    auto date = CimDate(cim);
    if (!date || cim.size() < 14 || !AllDigits(cim.substr(8, 6))) return std::nullopt;
    if (TwoDigits(cim, 8) > 23 || TwoDigits(cim, 10) > 59 || TwoDigits(cim, 12) > 60)
        return std::nullopt;
    std::string t(cim.substr(8, 6));
    return *date + " " + t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}

std::optional<std::string> IsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    std::string digits = std::string(text.substr(0, 4)) + std::string(text.substr(5, 2)) +
                         std::string(text.substr(8, 2));
    if (!CompactDate(digits)) return std::nullopt;
    return std::string(text);
}

std::optional<std::string> MemoryTypeName(std::int32_t code) {
    // SMBIOS 3.x, type 17 offset 12h; 0 is WMI's "not known", 2 SMBIOS's "Unknown".
    static const std::array<const char*, 37> kNames = {
        nullptr,        "Other",  nullptr,  "DRAM",
        "EDRAM",        "VRAM",   "SRAM",   "RAM",
        "ROM",          "Flash",  "EEPROM", "FEPROM",
        "EPROM",        "CDRAM",  "3DRAM",  "SDRAM",
        "SGRAM",        "RDRAM",  "DDR",    "DDR2",
        "DDR2 FB-DIMM", nullptr,  nullptr,  nullptr,
        "DDR3",         "FBD2",   "DDR4",   "LPDDR",
        "LPDDR2",       "LPDDR3", "LPDDR4", "Logical non-volatile device",
        "HBM",          "HBM2",   "DDR5",   "LPDDR5",
        "HBM3"};
    if (code < 0 || code >= static_cast<std::int32_t>(kNames.size()) || !kNames[code])
        return std::nullopt;
    return kNames[code];
}

std::optional<std::string> ChassisName(std::int32_t code) {
    // SMBIOS 3.x, type 3 offset 05h (lock bit cleared); 2 is "Unknown".
    static const std::array<const char*, 37> kNames = {nullptr,
                                                       "Other",
                                                       nullptr,
                                                       "Desktop",
                                                       "Low Profile Desktop",
                                                       "Pizza Box",
                                                       "Mini Tower",
                                                       "Tower",
                                                       "Portable",
                                                       "Laptop",
                                                       "Notebook",
                                                       "Hand Held",
                                                       "Docking Station",
                                                       "All In One",
                                                       "Sub Notebook",
                                                       "Space-saving",
                                                       "Lunch Box",
                                                       "Main Server Chassis",
                                                       "Expansion Chassis",
                                                       "Sub Chassis",
                                                       "Bus Expansion Chassis",
                                                       "Peripheral Chassis",
                                                       "RAID Chassis",
                                                       "Rack Mount Chassis",
                                                       "Sealed-case PC",
                                                       "Multi-system",
                                                       "CompactPCI",
                                                       "AdvancedTCA",
                                                       "Blade",
                                                       "Blade Enclosing",
                                                       "Tablet",
                                                       "Convertible",
                                                       "Detachable",
                                                       "IoT Gateway",
                                                       "Embedded PC",
                                                       "Mini PC",
                                                       "Stick PC"};
    if (code < 0) return std::nullopt;
    code &= 0x7F;
    if (code >= static_cast<std::int32_t>(kNames.size()) || !kNames[code]) return std::nullopt;
    return kNames[code];
}

std::optional<std::string> ChassisFromTypes(std::string_view codes) {
    std::size_t pos = 0;
    while (pos <= codes.size()) {
        std::size_t comma = codes.find(',', pos);
        if (comma == std::string_view::npos) comma = codes.size();
        auto code = SmallNumber(TrimOf(codes.substr(pos, comma - pos), kWhiteSpace));
        if (code)
            if (auto name = ChassisName(*code)) return name;
        pos = comma + 1;
    }
    return std::nullopt;
}

std::optional<std::string> ArchitectureName(std::int32_t code) {
    switch (code) {
        case 0:
            return "i686";
        case 5:
            return "arm";
        case 9:
            return "x86_64";
        case 12:
            return "aarch64";
        default:
            return std::nullopt;
    }
}

std::optional<std::string> VirtualMachineOf(const std::optional<std::string>& maker,
                                            const std::optional<std::string>& model,
                                            const std::optional<std::string>& biosMaker,
                                            const std::optional<std::string>& biosVersion) {
    std::string all;
    for (const auto* part : {&maker, &model, &biosMaker, &biosVersion})
        if (*part) all += AsciiLower(**part) + "\n";
    const std::string lowMaker = AsciiLower(maker.value_or(""));
    const std::string lowModel = AsciiLower(model.value_or(""));
    if (HasWord(all, "kvm")) return "KVM";
    if (HasWord(all, "qemu")) return "QEMU";
    if (all.find("vmware") != std::string::npos) return "VMware";
    if (all.find("virtualbox") != std::string::npos || HasWord(all, "innotek gmbh"))
        return "VirtualBox";
    if (lowMaker.find("microsoft") != std::string::npos &&
        lowModel.find("virtual machine") != std::string::npos)
        return "Hyper-V";
    if (HasWord(all, "xen") || HasWord(all, "hvm domu")) return "Xen";
    if (all.find("parallels") != std::string::npos) return "Parallels";
    if (HasWord(all, "bochs")) return "Bochs";
    if (HasWord(all, "bhyve")) return "bhyve";
    if (Trim(maker.value_or("")).empty() || Trim(model.value_or("")).empty()) return std::nullopt;
    return "Physical";
}

std::optional<std::string> PciIdOf(std::string_view pnpDeviceId) {
    std::string upper = AsciiUpper(pnpDeviceId);
    if (upper.rfind("PCI\\", 0) != 0) return std::nullopt;
    auto vendor = HexAfter(upper, "VEN_"), device = HexAfter(upper, "DEV_");
    if (!vendor || !device) return std::nullopt;
    return *vendor + ":" + *device;
}

}  // namespace harvix
