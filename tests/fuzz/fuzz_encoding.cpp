// The UTF-8 and windows-1252 encoders against RFC 3629's table of well-formed
// sequences and iconv's windows-1252.
#include <iconv.h>

#include "fuzz_support.h"
#include "platform/encoding.h"

using namespace harvix;

namespace {

// The windows-1252 byte of a code point by iconv, or nothing.
std::optional<char> To1252(char32_t cp) {
    static iconv_t cd = iconv_open("WINDOWS-1252", "UTF-32LE");
    char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                  static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
    char out[8];
    char *ip = in, *op = out;
    std::size_t il = 4, ol = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || ol != sizeof out - 1)
        return std::nullopt;
    return out[0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u32string ref = fuzz::DecodeUtf8Reference(bytes);
    const auto decoded = platform::DecodeUtf8(bytes);
    HARVIX_CHECK(std::u32string(decoded.begin(), decoded.end()) == ref, "DecodeUtf8");

    const std::string valid = platform::ToValidUtf8(bytes);
    HARVIX_CHECK(fuzz::IsValidUtf8(valid), "ToValidUtf8 gives UTF-8");
    if (fuzz::IsValidUtf8(bytes)) {
        HARVIX_CHECK(valid == bytes, "valid UTF-8 is kept");
    } else {
        std::u32string latin1(bytes.begin(), bytes.end());
        for (auto& c : latin1) c &= 0xFF;
        HARVIX_CHECK(valid == fuzz::Utf8Of(latin1), "other bytes are Latin-1");
    }

    for (char32_t cp : ref) {
        HARVIX_CHECK(platform::EncodeUtf8(cp) == fuzz::Utf8Of(std::u32string(1, cp)), "EncodeUtf8");
    }
    if (size >= 3) {  // any scalar value, not only those the text holds
        char32_t cp = (data[0] | (data[1] << 8) | (data[2] << 16)) % 0x110000;
        if (cp < 0xD800 || cp > 0xDFFF) {
            auto back = platform::DecodeUtf8(platform::EncodeUtf8(cp));
            HARVIX_CHECK(back.size() == 1 && back[0] == cp, "EncodeUtf8 round trip");
        }
    }

    std::string want;
    for (char32_t cp : ref) {
        char buf[24];
        if (cp >= 0x80 && cp <= 0x9F) {
            std::snprintf(buf, sizeof buf, "[U+%04X]", static_cast<unsigned>(cp));
            want += buf;
        } else if (auto b = To1252(cp)) {
            want += *b;
        } else {
            std::snprintf(buf, sizeof buf, "&#%u;", static_cast<unsigned>(cp));
            want += buf;
        }
    }
    HARVIX_CHECK(platform::EncodeWindows1252(bytes) == want, "EncodeWindows1252");
    return 0;
}
