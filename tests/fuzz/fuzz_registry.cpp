// The uninstall records' rules against a reference written from the registry's
// documented forms. The input is up to seven values (DisplayName, DisplayVersion,
// Publisher, InstallDate, SystemComponent, ParentKeyName, ReleaseType), each as one
// byte of presence and type, one byte of length, then its raw bytes.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "fuzz_support.h"
#include "wmi/uninstall.h"

using namespace harvix;

namespace {

// UTF-16LE code units up to the first NUL; a last odd byte is not a unit.
std::u16string UnitsOf(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned low = static_cast<unsigned char>(bytes[i]);
        const unsigned high = static_cast<unsigned char>(bytes[i + 1]);
        const char16_t u = static_cast<char16_t>(high * 256 + low);
        if (u == 0) break;
        units += u;
    }
    return units;
}

std::optional<std::string> TextReference(const RegistryValue& v) {
    if (v.Type != 1 && v.Type != 2) return std::nullopt;
    std::u32string cps;
    const std::u16string u = UnitsOf(v.Bytes);
    for (std::size_t i = 0; i < u.size(); ++i) {
        const bool high = u[i] >= 0xD800 && u[i] < 0xDC00;
        if (high && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
            cps += char32_t(0x10000 + ((u[i] - 0xD800) << 10) + (u[i + 1] - 0xDC00));
            ++i;
        } else {
            cps += (u[i] >= 0xD800 && u[i] < 0xE000) ? char32_t(0xFFFD) : char32_t(u[i]);
        }
    }
    return fuzz::Utf8Of(cps);
}

bool Blank(const std::optional<RegistryValue>& v) {
    auto text = v ? TextReference(*v) : std::nullopt;
    return !text || text->find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

// GLPI's agent's test: Perl's truth of the value (a REG_DWORD as "0x%08X"), then of
// hex2dec of it, which is oct() for "0x..." text.
bool AgentSystemComponent(const RegistryValue& v) {
    if (v.Type == 4) return v.Bytes.size() == 4 && v.Bytes != std::string(4, '\0');
    auto text = TextReference(v);
    if (!text || *text == "" || *text == "0") return false;
    if (text->rfind("0x", 0) != 0) return true;
    const std::size_t digits = text->find_first_not_of("0123456789abcdefABCDEF", 2);
    return text->substr(2, digits == std::string::npos ? std::string::npos : digits - 2)
               .find_first_not_of('0') != std::string::npos;
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UninstallValues values;
    std::optional<RegistryValue>* slots[] = {
        &values.DisplayName,     &values.DisplayVersion, &values.Publisher,  &values.InstallDate,
        &values.SystemComponent, &values.ParentKeyName,  &values.ReleaseType};
    std::size_t at = 0;
    for (auto* slot : slots) {
        if (at + 2 > size) break;
        const std::uint8_t kind = data[at], length = data[at + 1];
        at += 2;
        const std::size_t n = std::min<std::size_t>(length, size - at);
        if (kind & 0x80)
            *slot = RegistryValue{kind & 0x7Fu,
                                  std::string(reinterpret_cast<const char*>(data + at), n)};
        at += n;
    }
    for (auto* slot : slots) {
        if (!*slot) continue;
        const RegistryValue& v = **slot;
        HARVIX_CHECK(RegistryText(v) == TextReference(v), "text of a value");
        if (auto text = RegistryText(v)) HARVIX_CHECK(fuzz::IsValidUtf8(*text), "valid UTF-8");
        std::optional<std::uint32_t> dword;
        if (v.Type == 4 && v.Bytes.size() == 4) {
            std::uint32_t n = 0;
            std::memcpy(&n, v.Bytes.data(), 4);  // the fuzzing hosts are little-endian, as Windows
            dword = n;
        }
        HARVIX_CHECK(RegistryDword(v) == dword, "REG_DWORD of 4 bytes only");
    }
    auto record = ReadUninstallRecord(values);
    const auto release = values.ReleaseType ? TextReference(*values.ReleaseType) : std::nullopt;
    bool update = false;
    if (release) {
        std::string kind = *release;
        kind.erase(0, kind.find_first_not_of(" \t\r\n\f\v"));
        kind.erase(kind.find_last_not_of(" \t\r\n\f\v") + 1);
        for (char& c : kind) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
        update = kind == "update" || kind == "hotfix" || kind == "security update" ||
                 kind == "update rollup";
    }
    const bool shown = !Blank(values.DisplayName) &&
                       !(values.SystemComponent && AgentSystemComponent(*values.SystemComponent)) &&
                       Blank(values.ParentKeyName) && !update;
    HARVIX_CHECK(record.has_value() == shown, "kept or left out");
    if (record) HARVIX_CHECK(record->Name == *TextReference(*values.DisplayName), "name");
    if (record && record->InstallDate.IsText()) {
        const std::string& d = record->InstallDate.Text();
        const std::string raw = *TextReference(*values.InstallDate);
        HARVIX_CHECK(d.size() == 10 && raw == d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2) &&
                         d.substr(5, 2) >= "01" && d.substr(5, 2) <= "12" &&
                         d.substr(8, 2) >= "01" && d.substr(8, 2) <= "31",
                     "date " + raw);
        const int y = std::stoi(d.substr(0, 4)), m = std::stoi(d.substr(5, 2)),
                  day = std::stoi(d.substr(8, 2));
        const int days[] = {31, LeapYear(y) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        HARVIX_CHECK(y >= 1 && day <= days[m - 1], "a day that exists " + raw);
    }
    if (record && values.DisplayVersion && values.DisplayVersion->Type == 4 &&
        values.DisplayVersion->Bytes.size() == 4) {
        char hex[16];
        std::uint32_t n = 0;
        std::memcpy(&n, values.DisplayVersion->Bytes.data(), 4);
        std::snprintf(hex, sizeof hex, "0x%08X", n);
        HARVIX_CHECK(record->Version.IsText() && record->Version.Text() == hex, "DWORD version");
    }
    if (record && !values.InstallDate) HARVIX_CHECK(record->InstallDate.IsNull(), "no date");
    return 0;
}
