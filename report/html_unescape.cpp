// Character references of the page undone: the reader's inverse of HtmlText.
#include "platform/encoding.h"
#include "report/modReadReport.h"
#include "report/read_fields.h"

namespace harvix {

namespace {

using sv = std::string_view;

void AppendCodePoint(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    out += platform::EncodeUtf8(static_cast<char32_t>(cp));
}

int DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A numeric reference at s[i] ("&#233;", "&#xE9;"): its code point and length, or 0.
std::size_t NumericReference(sv s, std::size_t i, unsigned long& cp) {
    if (i + 3 > s.size() || s[i] != '&' || s[i + 1] != '#') return 0;
    std::size_t j = i + 2;
    int base = 10;
    if (s[j] == 'x' || s[j] == 'X') base = 16, ++j;
    std::size_t digits = j;
    cp = 0;
    while (j < s.size() && j - digits < 8) {
        int d = DigitValue(s[j], base);
        if (d < 0) break;
        cp = cp * base + d;
        ++j;
    }
    if (j == digits || j >= s.size() || s[j] != ';') return 0;
    return j + 1 - i;
}

// The named reference at text[i], or 0.
std::size_t NamedReference(sv text, std::size_t i, char& c) {
    static const std::pair<sv, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [entity, named] : kNamed) {
        if (text.substr(i, entity.size()) == entity) {
            c = named;
            return entity.size();
        }
    }
    return 0;
}

}  // namespace

std::string HtmlUnescape(std::string_view text) {
    if (text.find('&') == sv::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned long cp;
        char c;
        if (text[i] != '&') {
            out += text[i++];
        } else if (std::size_t len = NumericReference(text, i, cp)) {
            AppendCodePoint(out, cp);
            i += len;
        } else if (std::size_t named = NamedReference(text, i, c)) {
            out += c;
            i += named;
        } else {
            out += text[i++];
        }
    }
    return out;
}

namespace reading {

// The references that stand for letters the code page lacks: they never stand
// for markup, so labels and titles can be matched with them undone.
std::string DecodeLetterReferences(std::string text) {
    if (text.find("&#") == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned long cp;
        std::size_t len = NumericReference(text, i, cp);
        if (len && cp >= 0x80) {
            AppendCodePoint(out, cp);
            i += len;
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace reading

}  // namespace harvix
