// The EDID reader against a block written from VESA E-EDID 1.4 (header,
// vendor and product at 8-15, display descriptors from 54, checksum), and
// base64 against a decoder written from RFC 4648. The first byte picks the
// property: any bytes, a block built from the input, or base64 of the input.
#include <string>

#include "fuzz_support.h"
#include "wmi/edid.h"

using namespace harvix;

namespace {

std::string Printable(std::string_view in) {
    std::string out;
    for (char c : in) out += static_cast<char>(0x21 + static_cast<unsigned char>(c) % 0x5E);
    return out;
}

// A base block with the maker's letters, product code, serial number and up to
// two text descriptors (0xFC name, 0xFF serial) after a detailed timing.
std::string Block(const std::string& maker, unsigned product, std::uint32_t serial,
                  const std::string& name, const std::string& serialText) {
    std::string b(128, '\0');
    for (int i = 1; i < 7; ++i) b[i] = '\xFF';
    unsigned code = 0;
    for (char c : maker) code = (code << 5) | static_cast<unsigned>(c - 'A' + 1);
    b[8] = static_cast<char>(code >> 8), b[9] = static_cast<char>(code & 0xFF);
    b[10] = static_cast<char>(product & 0xFF), b[11] = static_cast<char>(product >> 8);
    for (int k = 0; k < 4; ++k) b[12 + k] = static_cast<char>((serial >> (8 * k)) & 0xFF);
    b[18] = 1, b[19] = 4;
    b[54] = 0x02, b[55] = 0x3A;  // a pixel clock: a timing, not a descriptor
    auto put = [&](std::size_t at, unsigned tag, const std::string& text) {
        b[at + 3] = static_cast<char>(tag);
        std::string body =
            text.size() < 13 ? text + "\n" + std::string(12 - text.size(), ' ') : text;
        b.replace(at + 5, 13, body);
    };
    if (!serialText.empty()) put(72, 0xFF, serialText);
    if (!name.empty()) put(90, 0xFC, name);
    unsigned sum = 0;
    for (int i = 0; i < 127; ++i) sum += static_cast<unsigned char>(b[i]);
    b[127] = static_cast<char>((256 - sum % 256) % 256);
    return b;
}

std::string DecodeBase64(const std::string& text) {
    static const std::string kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        std::size_t v = kDigits.find(c);
        HARVIX_CHECK(v != std::string::npos, "a character outside the alphabet");
        bits = (bits << 6) | static_cast<std::uint32_t>(v), count += 6;
        if (count >= 8) out += static_cast<char>((bits >> (count -= 8)) & 0xFF);
    }
    return out;
}

void AnyBytes(std::string_view in) {
    auto info = ParseEdid(in);
    bool header =
        in.size() >= 128 && in.substr(0, 8) == std::string_view("\0\xFF\xFF\xFF\xFF\xFF\xFF\0", 8);
    unsigned sum = 0;
    for (std::size_t i = 0; header && i < 128; ++i) sum += static_cast<unsigned char>(in[i]);
    HARVIX_CHECK(info.has_value() == (header && sum % 256 == 0),
                 "valid exactly for a whole base block");
    if (!info) return;
    for (const std::string* s : {&info->Manufacturer, &info->Model, &info->SerialNumber})
        for (char c : *s) HARVIX_CHECK(c >= 0x20 && c < 0x7F, "printable ASCII only");
    HARVIX_CHECK(info->Manufacturer.empty() || info->Manufacturer.size() == 3, "a 3-letter id");
}

void Built(std::string_view in) {
    if (in.size() < 12) return;
    std::string maker;
    for (int i = 0; i < 3; ++i)
        maker += static_cast<char>('A' + static_cast<unsigned char>(in[i]) % 26);
    unsigned product = static_cast<unsigned char>(in[3]) | (static_cast<unsigned char>(in[4]) << 8);
    std::uint32_t serial = 0;
    for (int k = 0; k < 4; ++k)
        serial |= std::uint32_t(static_cast<unsigned char>(in[5 + k])) << (8 * k);
    std::size_t nameLen = static_cast<unsigned char>(in[9]) % 14,
                serialLen = static_cast<unsigned char>(in[10]) % 14;
    std::string rest = Printable(in.substr(11));
    std::string name = rest.substr(0, nameLen);
    std::string serialText = rest.size() > nameLen ? rest.substr(nameLen, serialLen) : "";
    auto info = ParseEdid(Block(maker, product, serial, name, serialText));
    HARVIX_CHECK(info.has_value(), "a built block reads");
    HARVIX_CHECK(info->Manufacturer == maker, maker + " read as " + info->Manufacturer);
    char code[8];
    std::snprintf(code, sizeof code, "%04X", product);
    HARVIX_CHECK(info->Model == (name.empty() ? code : name), info->Model);
    std::string expected = !serialText.empty() ? serialText : serial ? std::to_string(serial) : "";
    HARVIX_CHECK(info->SerialNumber == expected, info->SerialNumber + " instead of " + expected);
}

void Base64RoundTrip(std::string_view in) {
    std::string text = Base64(in);
    HARVIX_CHECK(text.size() == (in.size() + 2) / 3 * 4, "four characters per three bytes, padded");
    HARVIX_CHECK(DecodeBase64(text) == in, "decodes back to the bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            AnyBytes(in);
            break;
        case 1:
            Built(in);
            break;
        default:
            Base64RoundTrip(in);
            break;
    }
    return 0;
}
