#include "platform/encoding.h"

#include <cstdio>

namespace harvix::platform {

namespace {

// Code points of bytes 0x80..0x9F in windows-1252; 0 where the byte is unassigned.
constexpr char32_t kHigh1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Length of the valid UTF-8 sequence at i, or 0.
std::size_t SequenceAt(const std::string& s, std::size_t i, char32_t& cp) {
    unsigned char c = s[i];
    std::size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char d = s[i + k];
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

std::vector<char32_t> DecodeUtf8(const std::string& utf8) {
    std::vector<char32_t> out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        std::size_t len = SequenceAt(utf8, i, cp);
        if (len == 0) {
            out.push_back(0xFFFD);
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

std::string EncodeUtf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string CharacterReference(char32_t cp) {
    if (cp == 0) return "&#xFFFD;";
    if (cp >= 0x80 && cp <= 0x9F) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "[U+%04X]", static_cast<unsigned>(cp));
        return buf;
    }
    return "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
}

std::string EncodeWindows1252(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char32_t cp : DecodeUtf8(utf8)) {
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        int byte = -1;
        for (int k = 0; k < 32; ++k)
            if (kHigh1252[k] == cp) byte = 0x80 + k;
        if (byte >= 0)
            out += static_cast<char>(byte);
        else
            out += CharacterReference(cp);
    }
    return out;
}

std::string ToValidUtf8(const std::string& bytes) {
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size() && valid;) {
        char32_t cp;
        std::size_t len = SequenceAt(bytes, i, cp);
        valid = len != 0;
        i += len;
    }
    if (valid) return bytes;
    std::string out;
    for (unsigned char c : bytes) out += EncodeUtf8(c);
    return out;
}

}  // namespace harvix::platform

namespace harvix::platform {

std::string DecodeWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0xA0) {
            char32_t cp = kHigh1252[c - 0x80];
            out += EncodeUtf8(cp ? cp : c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    const std::string s(bytes);
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp;
        std::size_t len = SequenceAt(s, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

}  // namespace harvix::platform
