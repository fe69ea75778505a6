// HtmlText and the report's encoding against the HTML standard's reading of
// a page: the written bytes, decoded as windows-1252 (iconv's table) and with
// character references resolved as a browser does (NUL to U+FFFD, &#128;..&#159;
// to windows-1252 letters), give back the collected text; NUL shows as U+FFFD
// and a C1 control as its visible [U+00XX]. And the report read back: a memory
// module collected from the input's lines, written and read, is the same module.
#include <iconv.h>

#include <fstream>
#include <sstream>

#include "../unit/wmi_double.h"
#include "fuzz_support.h"
#include "platform/encoding.h"
#include "platform/platform.h"
#include "report/modMakeReport.h"
#include "report/modReadReport.h"

using namespace harvix;

namespace {

// What the windows-1252 byte b means, by iconv; nothing for the bytes it leaves undefined.
std::optional<char32_t> Cp1252(unsigned char b) {
    static iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-1252");
    char in = static_cast<char>(b), out[8];
    char *ip = &in, *op = out;
    std::size_t il = 1, ol = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || ol != 4)
        return std::nullopt;
    return static_cast<char32_t>(static_cast<unsigned char>(out[0]) |
                                 (static_cast<unsigned char>(out[1]) << 8) |
                                 (static_cast<unsigned char>(out[2]) << 16));
}

// A browser's character reference, as the HTML standard resolves it.
char32_t Resolve(unsigned long n) {
    if (n == 0 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return 0xFFFD;
    if (n >= 0x80 && n <= 0x9F) return Cp1252(static_cast<unsigned char>(n)).value_or(n);
    return static_cast<char32_t>(n);
}

// Text content of a page fragment: the named references HtmlText writes and numeric ones.
std::u32string ReadBack(const std::u32string& page) {
    std::u32string out;
    for (std::size_t i = 0; i < page.size();) {
        if (page[i] != U'&') {
            out += page[i++];
            continue;
        }
        std::size_t semi = page.find(U';', i);
        HARVIX_CHECK(semi != std::u32string::npos && semi - i < 12, "a reference ends in ;");
        std::u32string ref = page.substr(i + 1, semi - i - 1);
        i = semi + 1;
        if (ref == U"amp")
            out += U'&';
        else if (ref == U"lt")
            out += U'<';
        else if (ref == U"gt")
            out += U'>';
        else if (ref == U"quot")
            out += U'"';
        else {
            HARVIX_CHECK(ref.size() >= 2 && ref[0] == U'#', "a numeric reference");
            bool hex = ref[1] == U'x';
            unsigned long n = 0;
            for (std::size_t k = hex ? 2 : 1; k < ref.size(); ++k) {
                char32_t d = ref[k];
                int v = d >= U'0' && d <= U'9'          ? static_cast<int>(d - U'0')
                        : hex && d >= U'A' && d <= U'F' ? static_cast<int>(d - U'A' + 10)
                        : hex && d >= U'a' && d <= U'f' ? static_cast<int>(d - U'a' + 10)
                                                        : -1;
                HARVIX_CHECK(v >= 0, "digits of a reference");
                n = n * (hex ? 16 : 10) + static_cast<unsigned long>(v);
            }
            out += Resolve(n);
        }
    }
    return out;
}

// The text as the reader gives it back: NUL as U+FFFD, C1 controls as [U+00XX].
std::u32string AsShown(const std::string& text) {
    std::u32string expected;
    for (char32_t cp : fuzz::DecodeUtf8Reference(text)) {
        if (cp == 0) {
            expected += U'\uFFFD';
        } else if (cp >= 0x80 && cp <= 0x9F) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "[U+%04X]", static_cast<unsigned>(cp));
            for (const char* p = buf; *p; ++p) expected += static_cast<char32_t>(*p);
        } else {
            expected += cp;
        }
    }
    return expected;
}

// A WMI number from a line of digits, null otherwise.
WmiValue Digits(const std::string& line, bool asText) {
    if (line.empty() || line.size() > 18 ||
        line.find_first_not_of("0123456789") != std::string::npos)
        return WmiValue();
    return asText ? WmiValue(line)
                  : WmiValue(static_cast<std::int32_t>(std::stoll(line) % 2147483648LL));
}

// Lines: bank label, manufacturer, capacity, speed, part number, form factor.
// Texts are any bytes; the numbers are digits as WMI gives them, or null.
void ModuleReadsBack(const std::string& text) {
    std::vector<std::string> line(6);
    std::istringstream in(text);
    for (std::string& l : line) std::getline(in, l);
    auto fake = testing::InstallFake();
    fake->On("Select * from Win32_PhysicalMemory")
        .Objects.push_back(testing::FakeObject{{"BankLabel", line[0]},
                                               {"Manufacturer", line[1]},
                                               {"Capacity", Digits(line[2], true)},
                                               {"Speed", Digits(line[3], false)},
                                               {"PartNumber", line[4]},
                                               {"FormFactor", Digits(line[5], false)}});
    MemoryModule want = GetMemoryInfos().Modules[1];
    WmiService.reset();
    fuzz::TempTree dir;
    const std::string path = dir.Path() + "/PC_report.html";
    WriteReportHeader(path);
    WriteGeneralSection(path, GeneralInfos{});
    WriteCpuSection(path, CpuInfos{});
    MemoryInfos memory;
    memory.Modules.Grow() = want;
    WriteMemorySection(path, memory);
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    ReadReportResult r = ReadReport(bytes.str());
    HARVIX_CHECK(r.IsReport && r.Contents.Memory.Modules.UBound() == 1, "the module is read");
    const MemoryModule& got = r.Contents.Memory.Modules[1];
    for (std::string* field :
         {&want.BankLabel, &want.Manufacturer, &want.Capacity, &want.Speed, &want.PartNumber})
        *field = fuzz::Utf8Of(AsShown(*field));
    want.SerialNumber.clear();  // not printed
    if (want.FormFactor != 8 && want.FormFactor != 12) want.FormFactor = 0;
    HARVIX_CHECK(got == want, "module read back: maker \"" + got.Manufacturer + "\", capacity \"" +
                                  got.Capacity + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ModuleReadsBack(text);
    const std::string html = HtmlText(text);
    HARVIX_CHECK(fuzz::IsValidUtf8(html), "HtmlText writes UTF-8");
    for (unsigned char c : html)
        HARVIX_CHECK(c >= 0x20 && c != 0x7F && c != '<' && c != '>' && c != '"',
                     "no markup character and no raw control byte");
    // What the reader should see: the text, NUL as U+FFFD, C1 controls as [U+00XX].
    const std::u32string expected = AsShown(text);
    const std::u32string page = fuzz::DecodeUtf8Reference(html);
    for (char32_t cp : page) HARVIX_CHECK(cp >= 0x20 && !(cp >= 0x7F && cp <= 0x9F), "no control");
    HARVIX_CHECK(ReadBack(page) == expected, "HtmlText reads back as the text");

    // The bytes of the report file, read as a browser reads a page without a charset.
    const std::string bytes = platform::EncodeForReport(html);
    std::u32string shown;
    for (unsigned char b : bytes) {
        auto cp = Cp1252(b);
        HARVIX_CHECK(cp.has_value(), "only bytes windows-1252 defines");
        shown += *cp;
    }
    HARVIX_CHECK(ReadBack(shown) == expected, "the report shows the text");
    return 0;
}
