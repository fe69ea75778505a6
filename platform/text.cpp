#include "platform/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/error.h"

namespace harvix {

std::string_view TrimOf(std::string_view s, std::string_view set) {
    std::size_t b = s.find_first_not_of(set);
    if (b == std::string_view::npos) return s.substr(s.size());  // still a view into s
    return s.substr(b, s.find_last_not_of(set) - b + 1);
}

std::string_view TrimEndOf(std::string_view s, std::string_view set) {
    std::size_t e = s.find_last_not_of(set);
    return e == std::string_view::npos ? s.substr(0, 0) : s.substr(0, e + 1);
}

std::string_view TrimView(std::string_view s) {
    return TrimOf(s, " ");
}

std::string Trim(std::string_view s) {
    return std::string(TrimView(s));
}

static char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = LowerChar(c);
    return out;
}

std::string AsciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerChar(x) == LowerChar(y);
           });
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// Digits of |x| rounded to `decimals`, halves of its shortest decimal form away
// from zero (so 2.675 is a true half); the integer part has no leading zeros.
static std::string RoundedDigits(double x, int decimals, bool& zero) {
    // Room for the longest fixed form of a double: 309 digits, or 0. and 323 zeros and more.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::fixed);
    if (res.ec != std::errc()) throw OverflowError();
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    std::size_t dot = s.find('.');
    std::string digits(s.substr(0, dot));
    std::string frac(dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1));
    frac.resize(std::max<std::size_t>(frac.size(), decimals + 1), '0');
    digits += frac.substr(0, decimals);
    if (frac[decimals] >= '5') {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i >= 0)
            ++digits[i];
        else
            digits.insert(digits.begin(), '1');
    }
    zero = digits.find_first_not_of('0') == std::string::npos;
    std::size_t intEnd = digits.size() - decimals;
    std::size_t lead = std::min(digits.find_first_not_of('0'), intEnd);
    lead = std::min(lead, intEnd - 1);  // keep one 0 before the decimals
    return digits.substr(lead);
}

static std::string HalfAwayText(double x, int decimals, std::string_view separator) {
    bool zero = false;
    std::string digits = RoundedDigits(x, decimals, zero);
    std::string out = x < 0 && !zero ? "-" : "";
    out += digits.substr(0, digits.size() - decimals);
    if (decimals > 0) out.append(separator).append(digits.substr(digits.size() - decimals));
    return out;
}

static std::string ExactText(double x, int decimals, std::string_view separator) {
    // 309 whole digits at most, a sign, a point and the decimals.
    std::string buf(320 + static_cast<std::size_t>(decimals), '\0');
    auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), x, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) throw OverflowError();
    buf.resize(static_cast<std::size_t>(res.ptr - buf.data()));
    std::size_t dot = buf.find('.');
    if (dot != std::string::npos) buf.replace(dot, 1, separator);
    return buf;
}

std::string FixedText(double x, int decimals, std::string_view separator, Rounding rounding) {
    if (decimals < 0) throw OverflowError();
    if (rounding == Rounding::ExactTiesToEven) return ExactText(x, decimals, separator);
    if (!std::isfinite(x)) throw OverflowError();
    return HalfAwayText(x, decimals, separator);
}

std::string FrenchDecimal(double x, int decimals) {
    return FixedText(x, decimals, ",", Rounding::ExactTiesToEven);
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, int base) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    // from_chars alone would take a minus for an unsigned type's wrap-around.
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
    std::uint64_t value = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<long long> ParseWhole(std::string_view text, int base) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    auto magnitude = ParseUnsigned(text, base);
    if (!magnitude) return std::nullopt;
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<long long>::max()) + (negative ? 1 : 0);
    if (*magnitude > limit) return std::nullopt;
    if (!negative) return static_cast<long long>(*magnitude);
    return *magnitude == limit ? std::numeric_limits<long long>::min()
                               : -static_cast<long long>(*magnitude);
}

namespace {

// A date format as conversions and the literal text between them.
struct FormatPiece {
    bool conversion;
    std::string text;  // the conversion letter, or literal text
};

void AppendLiteral(std::vector<FormatPiece>& pieces, std::string_view text) {
    if (pieces.empty() || pieces.back().conversion) pieces.push_back({false, std::string()});
    pieces.back().text.append(text);
}

void AppendConversion(std::vector<FormatPiece>& pieces, char letter);

void AppendFormat(std::vector<FormatPiece>& pieces, std::string_view f) {
    for (std::size_t i = 0; i < f.size();) {
        if (f[i] != '%') {
            AppendLiteral(pieces, f.substr(i, 1));
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < f.size() && std::string_view("_-0^#").find(f[j]) != std::string_view::npos) ++j;
        while (j < f.size() && f[j] >= '0' && f[j] <= '9') ++j;
        if (j < f.size() && (f[j] == 'E' || f[j] == 'O')) ++j;
        if (j >= f.size()) {  // a format cut short: the rest is text
            AppendLiteral(pieces, f.substr(i));
            return;
        }
        AppendConversion(pieces, f[j]);
        i = j + 1;
    }
}

void AppendConversion(std::vector<FormatPiece>& pieces, char letter) {
    if (letter == '%')
        AppendLiteral(pieces, "%");
    else if (letter == 'n')
        AppendLiteral(pieces, "\n");
    else if (letter == 't')
        AppendLiteral(pieces, "\t");
    else if (letter == 'D')
        AppendFormat(pieces, "%m/%d/%y");
    else if (letter == 'F')
        AppendFormat(pieces, "%Y-%m-%d");
    else
        pieces.push_back({true, std::string(1, letter)});
}

}  // namespace

bool IsCalendarDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::optional<std::string> CompactDate(std::string_view yyyymmdd) {
    if (yyyymmdd.size() != 8) return std::nullopt;
    int n[8];
    for (std::size_t i = 0; i < 8; ++i) {
        if (yyyymmdd[i] < '0' || yyyymmdd[i] > '9') return std::nullopt;
        n[i] = yyyymmdd[i] - '0';
    }
    if (!IsCalendarDate(n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], n[4] * 10 + n[5],
                        n[6] * 10 + n[7]))
        return std::nullopt;
    std::string s(yyyymmdd);
    return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
}

std::string DateSeparatorOf(std::string_view format) {
    std::vector<FormatPiece> pieces;
    AppendFormat(pieces, format);
    auto first = std::find_if(pieces.begin(), pieces.end(), [](auto& p) { return p.conversion; });
    if (first == pieces.end() || first + 2 >= pieces.end()) return "/";
    if (first[1].conversion || !first[2].conversion) return "/";
    return first[1].text;
}

std::string TemporaryBeside(const std::string& path, unsigned long pid) {
    const std::size_t name = path.find_last_of("/\\") + 1;  // npos + 1 is 0
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) dot = path.size();
    return path.substr(0, dot) + ".tmp-" + std::to_string(pid);
}

}  // namespace harvix
