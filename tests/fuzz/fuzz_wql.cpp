// The provider's WQL reading against the grammar it answers, written as a
// regular expression: SELECT ( * | name {, name} ) FROM class, case-insensitive.
#include <regex>
#include <set>

#include "fuzz_support.h"
#include "wmi/linux/provider.h"

using namespace harvix;

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

const std::string& Root() {
    static fuzz::TempTree tree;  // empty: one Win32_ComputerSystem of nulls and a blank name
    return tree.Path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 300) return 0;
    const std::string wql(reinterpret_cast<const char*>(data), size);
    static const std::regex kGrammar(
        "[ \t\r\n]*select(?:[ \t\r\n]*(\\*)[ \t\r\n]*|[ \t\r\n]+(\\w+(?:[ \t\r\n]*,[ \t\r\n]*\\w+)*)"
        "[ \t\r\n]+)from[ \t\r\n]+(\\w+)[ \t\r\n]*",
        std::regex::icase | std::regex::ECMAScript);
    std::smatch m;
    bool valid = std::regex_match(wql, m, kGrammar);
    std::set<std::string> selected;
    if (valid && !m[1].matched) {
        static const std::regex kName("\\w+");
        std::string list = m[2];
        for (std::sregex_iterator it(list.begin(), list.end(), kName), end; it != end; ++it)
            selected.insert(Lower(it->str()));
        // Keywords are no property names.
        valid = !selected.count("select") && !selected.count("from");
    }
    if (valid) valid = Lower(m[3]) != "select" && Lower(m[3]) != "from";

    linuxwmi::Provider provider(Root());
    auto results = provider.ExecQuery(wql, 48);
    const WmiObject* obj = nullptr;
    bool started = true;
    try {
        obj = results->Next();
    } catch (const HarvixError&) {
        started = false;
    }
    static const std::set<std::string> kClasses = {
        "win32_processor",       "win32_computersystemproduct", "win32_computersystem",
        "win32_operatingsystem", "win32_physicalmemoryarray",   "win32_physicalmemory",
        "win32_diskdrive",       "win32_diskpartition",         "win32_diskdrivetodiskpartition",
        "win32_logicaldisk",     "win32_logicaldisktopartition"};
    const bool known = valid && kClasses.count(Lower(m[3]));
    HARVIX_CHECK(started == known,
                 "the walk starts exactly for a well-formed text of a known class: " + wql);
    if (!known || Lower(m[3]) != "win32_computersystem") return 0;
    HARVIX_CHECK(obj != nullptr, "one computer system");
    for (const char* prop : {"Name", "Manufacturer", "Model", "Domain", "TotalPhysicalMemory"}) {
        bool readable = true;
        try {
            obj->Get(prop);
        } catch (const HarvixError&) {
            readable = false;
        }
        HARVIX_CHECK(readable == (m[1].matched || selected.count(Lower(prop)) != 0),
                     std::string("selected properties only: ") + prop);
    }
    return 0;
}
