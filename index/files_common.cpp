#include <cstdio>

#include "index/files.h"

namespace harvix::index {

std::string DatedName(const std::string& name, const LocalTime& t) {
    std::size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", t.Year, t.Month, t.Day, t.Hour,
                  t.Minute, t.Second);
    return stem + stamp + ext;
}

void OutputFile::Write(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= (256u << 10)) Flush();
}

}  // namespace harvix::index
