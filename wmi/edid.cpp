// EDID base block (VESA E-EDID 1.3/1.4): vendor and product at bytes 8-15, four
// 18-byte descriptors from byte 54, the name (0xFC) and serial (0xFF) among them.
#include "wmi/edid.h"

#include <cstdio>

namespace harvix {

namespace {

constexpr std::size_t kBlock = 128;
constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

unsigned Byte(std::string_view b, std::size_t i) {
    return static_cast<unsigned char>(b[i]);
}

bool ValidBase(std::string_view b) {
    if (b.size() < kBlock) return false;
    for (std::size_t i = 0; i < 8; ++i)
        if (Byte(b, i) != kHeader[i]) return false;
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) sum += Byte(b, i);
    return sum % 256 == 0;
}

// Three 5-bit letters, 1 = 'A'; anything else names no maker.
std::string PnpId(std::string_view b) {
    unsigned v = (Byte(b, 8) << 8) | Byte(b, 9);
    std::string id;
    for (int shift : {10, 5, 0}) {
        unsigned c = (v >> shift) & 0x1F;
        if (c < 1 || c > 26) return "";
        id += static_cast<char>('A' + c - 1);
    }
    return id;
}

// A display descriptor's text: up to 13 bytes, ended by a line feed, padded with
// blanks; only printable ASCII is kept.
std::string DescriptorText(std::string_view d) {
    std::string text;
    for (std::size_t i = 5; i < 18 && d[i] != '\n'; ++i) {
        unsigned c = static_cast<unsigned char>(d[i]);
        if (c >= 0x20 && c < 0x7F) text += static_cast<char>(c);
    }
    std::size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return text.substr(b, text.find_last_not_of(' ') - b + 1);
}

// The first non-blank text of the descriptors carrying tag.
std::string Descriptor(std::string_view b, unsigned tag) {
    for (std::size_t at = 54; at + 18 <= 126; at += 18) {
        std::string_view d = b.substr(at, 18);
        if (Byte(d, 0) != 0 || Byte(d, 1) != 0 || Byte(d, 2) != 0 || Byte(d, 3) != tag) continue;
        if (std::string text = DescriptorText(d); !text.empty()) return text;
    }
    return "";
}

}  // namespace

std::optional<EdidInfo> ParseEdid(std::string_view bytes) {
    if (!ValidBase(bytes)) return std::nullopt;
    EdidInfo info;
    info.Manufacturer = PnpId(bytes);
    info.Model = Descriptor(bytes, 0xFC);
    if (info.Model.empty()) {
        char code[8];
        std::snprintf(code, sizeof code, "%04X", Byte(bytes, 10) | (Byte(bytes, 11) << 8));
        info.Model = code;
    }
    info.SerialNumber = Descriptor(bytes, 0xFF);
    std::uint32_t serial = Byte(bytes, 12) | (Byte(bytes, 13) << 8) | (Byte(bytes, 14) << 16) |
                           (std::uint32_t(Byte(bytes, 15)) << 24);
    if (info.SerialNumber.empty() && serial != 0) info.SerialNumber = std::to_string(serial);
    return info;
}

std::string Base64(std::string_view bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t v = Byte(bytes, i) << 16;
        if (n > 1) v |= Byte(bytes, i + 1) << 8;
        if (n > 2) v |= Byte(bytes, i + 2);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

}  // namespace harvix
