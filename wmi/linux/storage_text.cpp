// Text helpers of the storage readers: names, escapes, partition type names.
#include <cstdint>
#include <string>
#include <vector>

#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Basename(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool NaturalLess(const std::string& a, const std::string& b) {
    auto runs = [](const std::string& s) {
        std::vector<std::string> out;
        for (char c : s) {
            bool digit = std::isdigit(static_cast<unsigned char>(c));
            if (out.empty() ||
                (std::isdigit(static_cast<unsigned char>(out.back()[0])) != 0) != digit)
                out.emplace_back();
            out.back() += c;
        }
        return out;
    };
    auto ra = runs(a), rb = runs(b);
    for (std::size_t i = 0; i < ra.size() && i < rb.size(); ++i) {
        if (ra[i] == rb[i]) continue;
        if (ra[i].size() != rb[i].size()) return ra[i].size() < rb[i].size();
        return ra[i] < rb[i];
    }
    return ra.size() < rb.size();
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<unsigned> TypeByte(const std::string& text) {
    std::string_view digits = text;
    if (StartsWith(text, "0x") || StartsWith(text, "0X")) digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 2) return std::nullopt;
    auto v = ParseUnsigned(digits, 16);
    if (!v) return std::nullopt;
    return static_cast<unsigned>(*v);
}

std::string Unescape(const std::string& s) {
    auto isOct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && HexDigit(s[i + 2]) >= 0 &&
            HexDigit(s[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3]));
            i += 3;
        } else if (s[i] == '\\' && i + 3 < s.size() && isOct(s[i + 1]) && isOct(s[i + 2]) &&
                   isOct(s[i + 3])) {
            out +=
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool IsImageFs(const std::string& type) {
    return type == "squashfs" || type == "iso9660" || type == "udf" || type == "erofs";
}

std::string MbrTypeName(unsigned code) {
    switch (code) {
        case 0x00:
            return "Unused";
        case 0x01:
            return "12-bit FAT";
        case 0x02:
            return "Xenix Type 1";
        case 0x03:
            return "Xenix Type 2";
        case 0x04:
            return "16-bit FAT";
        case 0x05:
            return "Extended Partition";
        case 0x06:
            return "MS-DOS V4 Huge";
        case 0x07:
            return "Installable File System";
        case 0x0B:
        case 0x0C:
        case 0x0E:
            return "Win95 w/Extended Int 13";
        case 0x0F:
            return "Extended w/Extended Int 13";
        case 0x41:
            return "PowerPC Reference Platform";
        case 0x42:
            return "Logical Disk Manager";
        case 0x63:
            return "UNIX";
        default:
            return "Unknown";
    }
}

std::string GptTypeName(std::string guid) {
    guid = AsciiLower(guid);
    if (guid == "c12a7328-f81f-11d2-ba4b-00a0c93ec93b") return "GPT: System";
    if (guid == "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7") return "GPT: Basic Data";
    if (guid == "5808c8aa-7e8f-42e0-85d2-e1e90434cfb3") return "GPT: Logical Disk Manager Metadata";
    if (guid == "af9b60a0-1431-4f62-bc68-3311714a69ad") return "GPT: Logical Disk Manager Data";
    return "GPT: Unknown";
}

}  // namespace harvix::linuxwmi
