// The Windows 11 processor rules against a reference written from Microsoft's
// hardware readiness script (Intel family 6 models up to 95 but 85, 142/158 at
// stepping 9 told apart only by the platform id; AMD before family 23, and
// family 23 models 1 and 17; Qualcomm on ARM64 but the Snapdragon 835), and the
// Description reader: any text is read safely, and "Family F Model M Stepping S"
// gives F, M and S back.
#include <cstring>
#include <limits>

#include "fuzz_support.h"
#include "inventory/extended.h"
#include "inventory/extended_values.h"

using namespace harvix;

namespace {

enum class Answer { Yes, No, Unknown };

const char* const kVendors[] = {
    nullptr, "GenuineIntel", "AuthenticAMD", "Qualcomm Technologies Inc", "CentaurHauls", "ARM"};
const char* const kArchitectures[] = {nullptr, "x86_64", "i686", "aarch64", "arm"};
const char* const kNames[] = {nullptr,
                              "Snapdragon(TM) 8cx Gen 3 @ 3.0 GHz",
                              "Qualcomm Snapdragon 835",
                              "Microsoft SQ2 @ 3.15 GHz",
                              "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz",
                              "AMD Ryzen 7 5800U"};

bool Has(const char* text, const char* part) {
    if (!text) return false;
    std::string low;
    for (const char* c = text; *c; ++c) low += static_cast<char>(std::tolower(*c));
    return low.find(part) != std::string::npos;
}

Answer Reference(const ProcessorInfos& cpu, const char* vendor, const char* arch,
                 const char* name) {
    const bool armName = Has(vendor, "qualcomm") || Has(name, "snapdragon") || Has(name, "sq2");
    const std::string a = arch ? arch : "";
    if (a == "arm") return Answer::No;
    if (a == "aarch64" || (!arch && armName)) {
        if (!armName) return Answer::Unknown;
        return Has(name, "835") ? Answer::No : Answer::Yes;
    }
    const std::string v = vendor ? vendor : "";
    const auto f = cpu.Family, m = cpu.Model, s = cpu.Stepping;
    if (v == "AuthenticAMD") {
        if (!f) return Answer::Unknown;
        if (*f != 23) return *f > 23 ? Answer::Yes : Answer::No;
        if (!m) return Answer::Unknown;
        return (*m == 1 || *m == 17) ? Answer::No : Answer::Yes;
    }
    if (v != "GenuineIntel") return Answer::Unknown;
    if (!f) return Answer::Unknown;
    if (*f <= 5) return Answer::No;
    if (!m) return Answer::Unknown;
    if (*f == 6 && *m == 85) return Answer::Yes;
    if (*m < 96) return Answer::No;
    const bool sevenOrEight = *f == 6 && (*m == 142 || *m == 158);
    if (sevenOrEight && (!s || *s == 9)) return Answer::Unknown;
    return Answer::Yes;
}

Answer Of(std::optional<bool> b) {
    return !b ? Answer::Unknown : *b ? Answer::Yes : Answer::No;
}

std::uint32_t Take32(const std::uint8_t*& data, std::size_t& size) {
    std::uint32_t x = 0;
    std::size_t n = std::min<std::size_t>(4, size);
    std::memcpy(&x, data, n);
    data += n;
    size -= n;
    return x;
}

// A value near the rules' limits mostly, anywhere in 32 bits at times.
std::optional<std::int32_t> Field(std::uint32_t x, bool present) {
    if (!present) return std::nullopt;
    if (x & 0x80000000u) return static_cast<std::int32_t>(x & 0x7FFFFFFFu);
    return static_cast<std::int32_t>(x % 200);
}

void CheckRoundTrip(std::uint32_t a, std::uint32_t b, std::uint32_t c, const std::string& lead) {
    const std::int32_t f = a & 0x7FFFFFFF, m = b & 0x7FFFFFFF, s = c & 0x7FFFFFFF;
    const std::string text = lead + " Family " + std::to_string(f) + " Model " + std::to_string(m) +
                             " Stepping " + std::to_string(s);
    auto sig = ParseCpuDescription(text);
    HARVIX_CHECK(sig && *sig == (CpuSignature{f, m, s}), text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || size > 4096) return 0;
    const char* vendor = kVendors[data[0] % std::size(kVendors)];
    const char* arch = kArchitectures[data[1] % std::size(kArchitectures)];
    const char* name = kNames[data[2] % std::size(kNames)];
    const std::uint8_t present = data[3];
    data += 4;
    size -= 4;
    ProcessorInfos cpu;
    if (vendor) cpu.Manufacturer = vendor;
    if (arch) cpu.Architecture = arch;
    if (name) cpu.Name = name;
    const std::uint32_t a = Take32(data, size), b = Take32(data, size), c = Take32(data, size);
    cpu.Family = Field(a, present & 1);
    cpu.Model = Field(b, present & 2);
    cpu.Stepping = Field(c, present & 4);
    HARVIX_CHECK(Of(ProcessorSupportsWindows11(cpu)) == Reference(cpu, vendor, arch, name),
                 std::string("vendor ") + (vendor ? vendor : "-") + ", arch " +
                     (arch ? arch : "-") + ", name " + (name ? name : "-") + ", family " +
                     (cpu.Family ? std::to_string(*cpu.Family) : "-") + ", model " +
                     (cpu.Model ? std::to_string(*cpu.Model) : "-") + ", stepping " +
                     (cpu.Stepping ? std::to_string(*cpu.Stepping) : "-"));

    // The rest as a Description: read without harm; before the signature, kept apart.
    const std::string rest(reinterpret_cast<const char*>(data), size);
    (void)ParseCpuDescription(rest);
    CheckRoundTrip(a, b, c, present & 8 ? "Intel64" : "AMD64");
    return 0;
}
