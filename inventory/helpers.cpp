// Value helpers of modGetInfos: no state, no WMI, failures pass to the caller.
#include "inventory/modGetInfos.h"
#include "platform/platform.h"
#include "platform/text.h"
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
    std::string out =
        FixedText(x, decimals, platform::DecimalSeparator(), Rounding::HalfAwayFromShortest);
    return decimals == 0 && out == "0" ? std::string() : out;  // "###" writes no digit for 0
}

std::string FormatSize(const std::string& bytes) {
    double x = ReadNumber(bytes);
    if (x < kKiB) return bytes + " Octets";
    if (x < kMiB) return FormatFixed(x / kKiB, 2) + " Ko";
    return FormatFixed(x / kGiB, 2) + " Go";
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

std::optional<std::string> PieceAfter(const std::string& text, const std::string& sep) {
    std::size_t first = text.find(sep);
    if (first == std::string::npos) return std::nullopt;
    std::size_t from = first + sep.size();
    std::size_t second = text.find(sep, from);
    return text.substr(from, second == std::string::npos ? std::string::npos : second - from);
}

}  // namespace harvix
