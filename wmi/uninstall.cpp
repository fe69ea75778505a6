// The uninstall records' rules, apart from the registry that holds them.
#include "wmi/uninstall.h"

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

bool IsDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Text of a value, null when absent, of another type, or empty.
WmiValue TextOrNull(const std::optional<RegistryValue>& v) {
    if (!v) return WmiValue();
    auto text = RegistryText(*v);
    if (!text || TrimOf(*text, kWhiteSpace).empty()) return WmiValue();
    return WmiValue(std::move(*text));
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
    if (text.size() != 8 || !IsDigits(text)) return WmiValue();
    const int month = (text[4] - '0') * 10 + (text[5] - '0');
    const int day = (text[6] - '0') * 10 + (text[7] - '0');
    if (month < 1 || month > 12 || day < 1 || day > 31) return WmiValue();
    return WmiValue(text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2));
}

std::optional<UninstallRecord> ReadUninstallRecord(const UninstallValues& values) {
    WmiValue name = TextOrNull(values.DisplayName);
    if (name.IsNull()) return std::nullopt;
    if (values.SystemComponent && RegistryDword(*values.SystemComponent) == 1u) return std::nullopt;
    if (!TextOrNull(values.ParentKeyName).IsNull()) return std::nullopt;
    WmiValue releaseType = TextOrNull(values.ReleaseType);
    if (releaseType.IsText() && IsUpdateKind(releaseType.Text())) return std::nullopt;
    UninstallRecord record;
    record.Name = name.Text();
    record.Version = TextOrNull(values.DisplayVersion);
    record.Publisher = TextOrNull(values.Publisher);
    WmiValue date = TextOrNull(values.InstallDate);
    record.InstallDate = date.IsText() ? UninstallDate(date.Text()) : WmiValue();
    return record;
}

}  // namespace harvix
