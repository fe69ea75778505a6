// Number reading, rounding to 16/32-bit integers and FormatSize against
// references written from the value rules: blanks (U+0020 only) around a
// number in the locale's form, halves to even for integers, "###0.00" with
// halves away from zero in Ko and Go.
#include <locale.h>

#include <cerrno>
#include <cmath>
#include <optional>
#include <regex>

#include "fuzz_support.h"
#include "inventory/modGetInfos.h"
#include "platform/platform.h"
#include "wmi/modWMI.h"

using namespace harvix;

namespace {

// The text in C form ("-12.5e3"), or nothing when it is not a number.
std::optional<std::string> ReferenceForm(const std::string& text, const std::string& sep) {
    std::size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) return std::nullopt;
    std::string t = text.substr(b, text.find_last_not_of(' ') - b + 1);
    std::string c;
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-') c += t[i++];
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) c += t[i++], ++intDigits;
    if (t.compare(i, sep.size(), sep) == 0) {
        c += '.';
        i += sep.size();
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            c += t[i++], ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        c += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) c += t[i++];
        std::size_t expDigits = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            c += t[i++], ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    return c;
}

template <class F>
bool Throws(F&& f) {
    try {
        f();
    } catch (const HarvixError&) {
        return true;
    }
    return false;
}

// Nearest whole number, an exact half to the even neighbour.
double HalfEven(double x) {
    double r = std::floor(x), d = x - r;
    if (d > 0.5 || (d == 0.5 && std::fmod(r, 2) != 0)) r += 1;
    return r;
}

std::string Hundredths(unsigned long long h, const std::string& sep) {
    std::string frac = std::to_string(h % 100);
    return std::to_string(h / 100) + sep + (frac.size() < 2 ? "0" : "") + frac;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 200) return 0;
    const bool french = data[0] & 1;
    if (!setlocale(LC_ALL, french ? "fr_FR.UTF-8" : "C")) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string sep = platform::DecimalSeparator();
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);

    auto form = ReferenceForm(text, sep);
    double want = 0;
    bool underflow = false;
    if (form) {
        errno = 0;
        want = strtod_l(form->c_str(), nullptr, c);
        underflow = errno == ERANGE && std::isfinite(want);  // either answer will do
    }
    const bool number = form && std::isfinite(want);
    double x = 0;
    bool read = !Throws([&] { x = ReadNumber(text); });
    if (underflow) return 0;
    HARVIX_CHECK(read == number, "a number exactly when the rule reads one: [" + text + "]");
    if (!read) {
        HARVIX_CHECK(Throws([&] { FormatSize(text); }), "FormatSize fails on what is no number");
        HARVIX_CHECK(Throws([&] { ToNumber(WmiValue(text)); }), "ToNumber fails as ReadNumber");
        return 0;
    }
    HARVIX_CHECK(x == want, "the value read: [" + text + "]");

    // The number text: a blank or a minus, then digits with up to 6 decimals and no
    // separator left without digits after it; it reads back as x, to those decimals.
    const std::string shown = BlankOrMinusNumberText(WmiValue(text)).Text();
    const bool endsInSep = shown.size() >= sep.size() &&
                           shown.compare(shown.size() - sep.size(), sep.size(), sep) == 0;
    HARVIX_CHECK(!endsInSep, "[" + text + "] gave [" + shown + "]");
    const double back = ReadNumber(shown);
    HARVIX_CHECK(shown[0] == (back < 0 ? '-' : ' '), "[" + text + "] gave [" + shown + "]");
    HARVIX_CHECK(std::fabs(back - x) <= 5e-7 + 1e-15 * std::fabs(x),
                 "[" + text + "] gave [" + shown + "]");

    // Conversions to 16 and 32 bits: halves to even, out of range fails.
    double r = HalfEven(x);
    std::int16_t i16 = 0;
    bool ok16 = !Throws([&] { i16 = ToInt16(x); });
    HARVIX_CHECK(ok16 == (r >= -32768 && r <= 32767), "16-bit range");
    if (ok16) HARVIX_CHECK(i16 == r, "16-bit rounding");
    std::int32_t i32 = 0;
    bool ok32 = !Throws([&] { i32 = ToInt32(x); });
    HARVIX_CHECK(ok32 == (r >= -2147483648.0 && r <= 2147483647.0), "32-bit range");
    if (ok32) HARVIX_CHECK(i32 == r, "32-bit rounding");

    // FormatSize: bytes below 1024 as written, then Ko, then Go.
    std::string got = FormatSize(text);
    if (x < 1024) {
        HARVIX_CHECK(got == text + " Octets", got);
        return 0;
    }
    const bool ko = x < 1048576;
    const double divisor = ko ? 1024.0 : 1073741824.0;
    const std::string unit = ko ? " Ko" : " Go";
    if (x == std::floor(x) && x < 140737488355328.0) {  // below 2^47: exact in integers
        unsigned long long bytes = static_cast<unsigned long long>(x);
        unsigned long long d = static_cast<unsigned long long>(divisor);
        unsigned long long h = (bytes * 200 + d) / (2 * d);  // hundredths, halves up
        HARVIX_CHECK(got == Hundredths(h, sep) + unit, text + " gave " + got);
    } else {
        static const std::regex kShape("([0-9]+)(?:\\.|,)([0-9]{2}) (Ko|Go)");
        std::smatch m;
        HARVIX_CHECK(std::regex_match(got, m, kShape) && got.find(sep) != std::string::npos &&
                         got.compare(got.size() - 3, 3, unit) == 0,
                     "the form ###0.00: " + got);
        double shown = std::stod(m[1].str()) + std::stod(m[2].str()) / 100;
        double exact = x / divisor;
        HARVIX_CHECK(std::fabs(shown - exact) <= 0.005 + 1e-9 * exact, text + " gave " + got);
    }
    return 0;
}
