// Value helpers of modGetInfos: no state, no WMI, failures pass to the caller.
#include <charconv>
#include <cmath>

#include "inventory/modGetInfos.h"
#include "platform/platform.h"
#include "wmi/modWMI.h"

namespace harvix {

std::string GetComputerName() {
    return platform::GetEnv("COMPUTERNAME").value_or("");
}

std::string GetUserName() {
    return platform::GetEnv("USERNAME").value_or("");
}

std::string FormFactorName(int code) {
    if (code == 8) return "DIMM";
    if (code == 12) return "SODIMM";
    return "";
}

std::string FormatFixed(double x, int decimals) {
    if (!std::isfinite(x)) throw HarvixError("Dépassement de capacité");
    // Round on the shortest decimal form of x, so 1.125 is a true half.
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::fixed);
    if (res.ec != std::errc()) throw HarvixError("Dépassement de capacité");
    std::string s(buf, res.ptr);
    std::size_t dot = s.find('.');
    std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    frac.resize(std::max<std::size_t>(frac.size(), decimals + 1), '0');
    bool up = frac[decimals] >= '5';
    std::string digits = whole + frac.substr(0, decimals);
    if (up) {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i >= 0)
            ++digits[i];
        else
            digits.insert(digits.begin(), '1');
    }
    std::string intPart = digits.substr(0, digits.size() - decimals);
    std::string fracPart = digits.substr(digits.size() - decimals);
    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
    bool zero = intPart.empty() && fracPart.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (decimals == 0) {
        out = intPart;  // "###" writes no digit for zero
    } else {
        out = (intPart.empty() ? "0" : intPart) + platform::DecimalSeparator() + fracPart;
    }
    if (x < 0 && !zero) out.insert(out.begin(), '-');
    return out;
}

std::string FormatSize(const std::string& bytes) {
    double x = ReadNumber(bytes);
    if (x < 1024) return bytes + " Octets";
    if (x < 1048576) return FormatFixed(x / 1024, 2) + " Ko";
    return FormatFixed(x / (1024.0 * 1024.0 * 1024.0), 2) + " Go";
}

std::string ExtractBetween(const std::string& text, const std::string& open,
                           const std::string& close, std::int32_t& start) {
    // Positions count from 1, as the callers see them.
    std::size_t from = start > 0 ? static_cast<std::size_t>(start - 1) : 0;
    std::size_t found = from <= text.size() ? text.find(open, from) : std::string::npos;
    if (found == std::string::npos) {
        start = 0;
        return std::string();
    }
    start = static_cast<std::int32_t>(found + 1 + open.size());
    std::size_t after = found + open.size();
    std::size_t end = text.find(close, after);
    if (end == std::string::npos || end == after) return std::string();
    return text.substr(after, end - after);
}

std::string QuotedKey(const std::string& path) {
    std::size_t i = path.find('"');
    if (i == std::string::npos) return std::string();
    std::string key;
    for (++i; i < path.size(); ++i) {
        char c = path[i];
        if (c == '"') return key;
        if (c == '\\' && i + 1 < path.size() && (path[i + 1] == '\\' || path[i + 1] == '"'))
            c = path[++i];
        key += c;
    }
    return std::string();  // no closing quote
}

}  // namespace harvix
