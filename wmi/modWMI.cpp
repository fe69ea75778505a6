#include "wmi/modWMI.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/platform.h"
#include "platform/text.h"

namespace harvix {

WmiServicePtr WmiService;

std::unique_ptr<WmiResultSet> RunQuery(const std::string& query, const WmiServicePtr& service,
                                       std::int16_t flags) {
    if (!service) throw HarvixError("Le service WMI n'est pas disponible.");
    auto results = service->ExecQuery(query, flags);
    if (!results) throw HarvixError("La requête WMI n'a rendu aucun résultat: " + query);
    return results;
}

WmiValue CurrentObject::operator[](const std::string& name) const {
    if (!obj_) throw HarvixError("Aucun objet WMI courant.");
    return obj_->Get(name);
}

std::string ToText(const WmiValue& v) {
    if (v.IsText()) return v.Text();
    if (v.IsNumber()) return std::to_string(v.Number());
    throw InvalidUseOfNullError();
}

std::string ConcatText(const WmiValue& v) {
    return v.IsNull() ? std::string() : ToText(v);
}

double ReadNumber(const std::string& text) {
    const std::string sep = platform::DecimalSeparator();
    // Blanks (U+0020) alone: a tab or other white space makes the text no number.
    const std::string_view trimmed = TrimView(text);
    const std::size_t b = static_cast<std::size_t>(trimmed.data() - text.data());
    const std::size_t e = b + trimmed.size();

    // Normalise to the form from_chars reads: optional minus, digits, '.', exponent.
    std::string norm;
    std::size_t i = b;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') norm += '-';
        ++i;
    }
    bool digits = false, point = false;
    while (i < e) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            norm += c;
            digits = true;
            ++i;
        } else if (!point && !sep.empty() && text.compare(i, sep.size(), sep) == 0) {
            norm += '.';
            point = true;
            i += sep.size();
        } else {
            break;
        }
    }
    if (digits && i < e && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exp = "e";
        if (j < e && (text[j] == '+' || text[j] == '-')) exp += text[j++];
        bool expDigits = false;
        while (j < e && text[j] >= '0' && text[j] <= '9') {
            exp += text[j++];
            expDigits = true;
        }
        if (expDigits) {
            norm += exp;
            i = j;
        }
    }
    double value = 0;
    if (!digits || i != e) throw TypeMismatchError();
    auto res = std::from_chars(norm.data(), norm.data() + norm.size(), value);
    if (res.ec != std::errc() || !std::isfinite(value)) throw OverflowError();
    return value;
}

double ToNumber(const WmiValue& v) {
    if (v.IsNumber()) return v.Number();
    if (v.IsText()) return ReadNumber(v.Text());
    throw InvalidUseOfNullError();
}

std::optional<double> ToNumberOrNull(const WmiValue& v) {
    if (v.IsNull()) return std::nullopt;
    return ToNumber(v);
}

// x rounded to a whole number, halves to even, as the default rounding mode
// does; done by hand so that the program needs no maths library.
static double RoundHalfEven(double x) {
    constexpr double kTwo52 = 4503599627370496.0;  // from here on every double is whole
    if (!(std::fabs(x) < kTwo52)) return x;        // whole, infinite or not a number
    return std::copysign(std::fabs(x) + kTwo52 - kTwo52, x);
}

// x rounded to a whole number, halves away from zero.
static double RoundHalfAway(double x) {
    double a = std::fabs(x), r = std::fabs(RoundHalfEven(x));
    if (a - r == 0.5) r += 1;  // a half that went down to even
    return std::copysign(r, x);
}

template <class Int>
static Int RoundToInt(double x) {
    double r = RoundHalfEven(x);
    if (!(r >= std::numeric_limits<Int>::min() && r <= std::numeric_limits<Int>::max()))
        throw OverflowError();
    return static_cast<Int>(r);
}

std::int16_t ToInt16(double x) {
    return RoundToInt<std::int16_t>(x);
}
std::int32_t ToInt32(double x) {
    return RoundToInt<std::int32_t>(x);
}
std::int16_t ToInt16(const WmiValue& v) {
    return ToInt16(ToNumber(v));
}

std::string WholeNumberText(double x) {
    if (!std::isfinite(x)) throw OverflowError();
    double r = RoundHalfAway(x);
    if (std::fabs(r) < 9.2e18) return std::to_string(static_cast<long long>(r));
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", r);
    return buf;
}

WmiValue BlankOrMinusNumberText(const WmiValue& v) {
    if (v.IsNull()) return v;
    double x = ToNumber(v);
    std::string digits;
    // Plain digit texts keep every digit, even past what a double holds.
    std::string t = v.IsText() ? Trim(v.Text()) : std::string();
    if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos) {
        digits = t.substr(std::min(t.find_first_not_of('0'), t.size() - 1));
    } else if (x == std::floor(x)) {
        digits = WholeNumberText(std::fabs(x));
    } else {
        // Up to 6 decimals, without the zeros that end them nor a separator left with none.
        const std::string sep = platform::DecimalSeparator();
        digits = FixedText(std::fabs(x), 6, sep, Rounding::HalfAwayFromShortest);
        while (!digits.empty() && digits.back() == '0') digits.pop_back();
        if (digits.size() > sep.size() &&
            digits.compare(digits.size() - sep.size(), sep.size(), sep) == 0)
            digits.resize(digits.size() - sep.size());
    }
    return WmiValue((x < 0 && digits != "0" ? "-" : " ") + digits);
}

WmiValue TrimValue(const WmiValue& v) {
    if (v.IsNull()) return v;
    return WmiValue(Trim(ToText(v)));
}

std::optional<bool> LessOrEqual(const WmiValue& v, double limit) {
    std::optional<double> x = ToNumberOrNull(v);
    if (!x) return std::nullopt;
    return *x <= limit;
}

}  // namespace harvix
