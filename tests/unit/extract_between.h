// The collectors' former key reader, which the tests keep as the reference that
// QuotedKey must agree with on Windows' own object paths.
#pragma once

#include <cstdint>
#include <string>

namespace harvix::testing {

// The text between the first open at or after start (counted from 1) and the next
// close; start moves past open, or to 0 when there is none.
inline std::string ExtractBetween(const std::string& text, const std::string& open,
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

}  // namespace harvix::testing
