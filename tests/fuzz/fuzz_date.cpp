// The separator of a date format against strftime(3)'s grammar: a conversion is
// "%", flags among _-0^#, a width, an E or O modifier, then its letter. The input
// is the format itself; where it opens with two conversions around text without
// "%", that text is the separator.
#include <regex>
#include <string>

#include "fuzz_support.h"
#include "platform/text.h"

using namespace harvix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 512) return 0;
    const std::string format(reinterpret_cast<const char*>(data), size);
    const std::string sep = DateSeparatorOf(format);
    HARVIX_CHECK(!sep.empty(), "a separator for [" + format + "]");

    // Letters that stand for a date part: not %D, %F, %n, %t, %% (text), nor E or O
    // (modifiers), so that each conversion reads one way only.
    static const std::regex kTwoConversions(
        "^[^%]*%[-_0^#]*[0-9]*[EO]?[A-CG-NP-Za-mo-su-z]([^%]+)%[-_0^#]*[0-9]*[EO]?"
        "[A-CG-NP-Za-mo-su-z]");
    std::smatch m;
    if (std::regex_search(format, m, kTwoConversions))
        HARVIX_CHECK(sep == m[1].str(), "[" + format + "] gave [" + sep + "]");
    return 0;
}
