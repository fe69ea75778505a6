// The uninstall records' rules, apart from the registry that holds them.
#include "wmi/uninstall.h"

#include <cctype>

#include "platform/encoding.h"
#include "platform/text.h"

namespace harvix {

namespace {

std::string Utf16leToUtf8(const std::string& bytes) {
    std::string out;
    const std::size_t units = bytes.size() / 2;  // an odd last byte is no character
    auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    };
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c == 0) break;  // the terminator, or the end of what the value means
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out += platform::EncodeUtf8(c);
    }
    return out;
}

// Text of a value, null when absent, of another type, or empty.
WmiValue TextOrNull(const std::optional<RegistryValue>& v) {
    if (!v) return WmiValue();
    auto text = RegistryText(*v);
    if (!text || TrimOf(*text, kWhiteSpace).empty()) return WmiValue();
    return WmiValue(std::move(*text));
}

// A REG_DWORD as GLPI's agent reads it: Win32::TieRegistry gives "0x%08X" text.
std::string AgentHex(std::uint32_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x00000000";
    for (int i = 9; i >= 2; --i, n >>= 4) text[i] = kDigits[n & 0xF];
    return text;
}

// SystemComponent as GLPI's agent tests it (Win32/Softwares.pm): the value is true
// to Perl and so is hex2dec of it, which reads "0x…" as hex and keeps other text.
// Perl's false text is "" and "0".
bool IsSystemComponent(const RegistryValue& v) {
    if (auto n = RegistryDword(v)) return *n != 0;
    auto text = RegistryText(v);
    if (!text || text->empty() || *text == "0") return false;
    if (!text->starts_with("0x")) return true;
    for (std::size_t i = 2; i < text->size(); ++i) {  // oct() stops at the first non-digit
        const char c = (*text)[i];
        if (!std::isxdigit(static_cast<unsigned char>(c))) break;
        if (c != '0') return true;
    }
    return false;
}

bool IsUpdateKind(const std::string& releaseType) {
    for (const char* kind : {"Update", "Hotfix", "Security Update", "Update Rollup"})
        if (EqualsNoCase(TrimOf(releaseType, kWhiteSpace), kind)) return true;
    return false;
}

}  // namespace

std::optional<std::string> RegistryText(const RegistryValue& v) {
    if (v.Type != kRegSz && v.Type != kRegExpandSz) return std::nullopt;
    return Utf16leToUtf8(v.Bytes);
}

std::optional<std::uint32_t> RegistryDword(const RegistryValue& v) {
    if (v.Type != kRegDword || v.Bytes.size() != 4) return std::nullopt;
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(v.Bytes[i]);
    return n;
}

WmiValue UninstallDate(const std::string& text) {
    auto date = CompactDate(text);
    return date ? WmiValue(std::move(*date)) : WmiValue();
}

std::optional<UninstallRecord> ReadUninstallRecord(const UninstallValues& values) {
    WmiValue name = TextOrNull(values.DisplayName);
    if (name.IsNull()) return std::nullopt;
    if (values.SystemComponent && IsSystemComponent(*values.SystemComponent)) return std::nullopt;
    if (!TextOrNull(values.ParentKeyName).IsNull()) return std::nullopt;
    WmiValue releaseType = TextOrNull(values.ReleaseType);
    if (releaseType.IsText() && IsUpdateKind(releaseType.Text())) return std::nullopt;
    UninstallRecord record;
    record.Name = name.Text();
    record.Version = TextOrNull(values.DisplayVersion);
    // A REG_DWORD version goes to GLPI as its agent sends it, so both key one version alike.
    if (values.DisplayVersion)
        if (auto n = RegistryDword(*values.DisplayVersion)) record.Version = WmiValue(AgentHex(*n));
    record.Publisher = TextOrNull(values.Publisher);
    WmiValue date = TextOrNull(values.InstallDate);
    record.InstallDate = date.IsText() ? UninstallDate(date.Text()) : WmiValue();
    return record;
}

}  // namespace harvix
