// Text and number helpers every layer shares: one rule each, no locale, no OS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace harvix {

// ---- blanks ----

// A blank is U+0020 alone, as the value rules read numbers and trim values.
std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);

// The white space of the C locale, for text machines write (sysfs, /proc, /etc files).
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
// Blanks, tabs and the CR that files written on Windows end their lines with.
inline constexpr std::string_view kLineBlanks = " \t\r";
// s without the characters of set at both ends, or at its end only.
std::string_view TrimOf(std::string_view s, std::string_view set);
std::string_view TrimEndOf(std::string_view s, std::string_view set);

// ---- ASCII case (bytes past 0x7F and the user's locale play no part) ----

std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// ---- byte units ----

inline constexpr std::int64_t kKiB = 1024;
inline constexpr std::int64_t kMiB = 1024 * kKiB;
inline constexpr std::int64_t kGiB = 1024 * kMiB;
inline constexpr std::int64_t kGB = 1000 * 1000 * 1000;  // disk makers' decimal gigabyte

// ---- numbers as text ----

// How the last decimal kept is rounded.
enum class Rounding {
    HalfAwayFromShortest,  // halves of x's shortest decimal form go away from zero; no "-0"
    ExactTiesToEven,       // the exact binary value, ties to even, as printf does
};

// x with `decimals` digits after `separator` (none and no separator for 0), for any
// finite x. An infinite or NaN x fails with OverflowError() when rounded half away,
// and is written "inf", "-inf" or "nan" as printf does when exact.
std::string FixedText(double x, int decimals, std::string_view separator, Rounding rounding);

// The French form of a number: FixedText with a comma, exact value, ties to even.
std::string FrenchDecimal(double x, int decimals);

// ---- whole numbers from text ----

// Digits alone (base 16 may start with 0x or 0X); nullopt for anything else, a blank
// or sign included, or a value past 64 bits.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, int base = 10);
// As ParseUnsigned after an optional minus; nullopt past the range of long long.
std::optional<long long> ParseWhole(std::string_view text, int base = 10);

// ---- dates ----

// A day of the Gregorian calendar, years 1 to 9999: 31 February or 29 February
// 2023 is none. Every date read from the system passes here.
bool IsCalendarDate(int year, int month, int day);
// "YYYYMMDD" (eight digits, nothing else) as "YYYY-MM-DD" when it is such a day.
std::optional<std::string> CompactDate(std::string_view yyyymmdd);

// The separator of a strftime date format: the text between its first two
// conversions, each of which may carry flags, a width and an E or O modifier
// ("%-d.%-m.%Y" gives "."); %D and %F count as the conversions they stand for.
// "/" when the format has no such text.
std::string DateSeparatorOf(std::string_view format);

// ---- files ----

// The temporary file a whole-file write goes through, beside the target: its
// extension replaced ("PC_inventory.tmp-42"), so that a file left by a killed run is
// taken by no import that goes by ".json" anywhere in a name.
std::string TemporaryBeside(const std::string& path, unsigned long pid);

}  // namespace harvix
