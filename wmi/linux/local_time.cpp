// Local time of a machine: its zone's rules from the TZif file /etc/localtime
// names (RFC 8536), so that a recorded tree keeps its own zone; file times.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

struct Zone {
    std::vector<long long> times;     // transitions, ascending
    std::vector<std::uint8_t> kinds;  // type index after each transition
    std::vector<int> offsets;         // seconds east of UTC per type
    bool rulesAfterLast = false;      // the footer's rule goes on past the last transition
};

long long BigEndian(const std::string& b, std::size_t at, int size) {
    unsigned long long v = 0;
    for (int i = 0; i < size; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    if (size == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return static_cast<long long>(v);
}

// The data block after the header at `at`, with times of `size` bytes; false,
// leaving `out` and `end` as they were, when cut or inconsistent.
bool ReadBlock(const std::string& b, std::size_t at, int size, Zone& out, std::size_t& end) {
    if (b.size() < at + 44 || b.compare(at, 4, "TZif") != 0) return false;
    long long n[6];  // isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt
    for (int i = 0; i < 6; ++i) n[i] = BigEndian(b, at + 20 + 4 * i, 4);
    for (long long c : n)
        if (c < 0 || c > 100000) return false;
    std::size_t p = at + 44;
    std::size_t stop = p + n[3] * (size + 1) + n[4] * 6 + n[5] + n[2] * (size + 4) + n[1] + n[0];
    if (stop > b.size() || n[4] == 0) return false;
    Zone z;
    for (long long i = 0; i < n[3]; ++i) z.times.push_back(BigEndian(b, p + i * size, size));
    p += n[3] * size;
    for (long long i = 0; i < n[3]; ++i) z.kinds.push_back(static_cast<std::uint8_t>(b[p + i]));
    p += n[3];
    for (long long i = 0; i < n[4]; ++i) z.offsets.push_back(BigEndian(b, p + i * 6, 4));
    for (std::uint8_t k : z.kinds)
        if (k >= z.offsets.size()) return false;
    out = std::move(z);
    end = stop;
    return true;
}

std::optional<Zone> ReadZone(const std::string& b) {
    Zone z;
    std::size_t end = 0;
    if (!ReadBlock(b, 0, 4, z, end)) return std::nullopt;
    if (b[4] >= '2' && ReadBlock(b, end, 8, z, end)) {
        // Footer "\n<POSIX TZ>\n": a rule with a comma changes the offset in the future.
        std::size_t close = b.find('\n', end + 1);
        if (close != std::string::npos)
            z.rulesAfterLast = b.substr(end + 1, close - end - 1).find(',') != std::string::npos;
    }
    return z;
}

std::optional<int> OffsetAt(const Zone& z, long long t) {
    if (!z.times.empty() && t >= z.times.back() && z.rulesAfterLast) return std::nullopt;
    int kind = 0;
    for (std::size_t i = 0; i < z.times.size() && z.times[i] <= t; ++i) kind = z.kinds[i];
    return z.offsets[kind];
}

LocalMoment FromTm(const std::tm& tm, int offsetMinutes) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,   tm.tm_hour,
            tm.tm_min,         tm.tm_sec,     offsetMinutes};
}

}  // namespace

std::optional<LocalMoment> LocalTime(const Root& root, long long epochSeconds) {
    std::tm tm{};
    std::time_t t = static_cast<std::time_t>(epochSeconds);
    if (root.Live()) {
        if (!localtime_r(&t, &tm)) return std::nullopt;
        return FromTm(tm, static_cast<int>(tm.tm_gmtoff / 60));
    }
    auto where = root.Resolve("/etc/localtime");
    auto bytes = where ? root.Read(*where) : std::nullopt;
    auto zone = bytes ? ReadZone(*bytes) : std::nullopt;
    auto offset = zone ? OffsetAt(*zone, epochSeconds) : std::nullopt;
    if (!offset) return std::nullopt;
    t += *offset;
    if (!gmtime_r(&t, &tm)) return std::nullopt;
    return FromTm(tm, *offset / 60);
}

std::string CimDateTime(const LocalMoment& m) {
    char buf[40];
    int off = m.OffsetMinutes < 0 ? -m.OffsetMinutes : m.OffsetMinutes;
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d.000000%c%03d", m.Year, m.Month, m.Day,
                  m.Hour, m.Minute, m.Second, m.OffsetMinutes < 0 ? '-' : '+', off);
    return buf;
}

std::string IsoDate(const LocalMoment& m) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", m.Year, m.Month, m.Day);
    return buf;
}

std::optional<long long> ModifiedTime(const Root& root, const std::string& machinePath) {
    if (!root.Live()) {
        for (const std::string& line : Split(root.Read("/.harvix/mtime").value_or(""), '\n')) {
            std::size_t blank = line.find(' ');
            if (blank != std::string::npos && line.substr(blank + 1) == machinePath)
                return ParseWhole(line.substr(0, blank));
        }
        return std::nullopt;  // a checked-out file's time is the checkout's
    }
    struct stat st;
    if (::stat(root.Path(machinePath).c_str(), &st) != 0) return std::nullopt;
    return static_cast<long long>(st.st_mtime);
}

}  // namespace harvix::linuxwmi
