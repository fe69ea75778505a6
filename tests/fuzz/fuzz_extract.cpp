// ExtractBetween against its rule, step by step with positions from 1; and
// the volume collector's quoted key of an object path: from the first double
// quote to the next one that is not escaped, with \\ and \" decoded.
#include <fuzzer/FuzzedDataProvider.h>

#include "../unit/extract_between.h"
#include "../unit/wmi_double.h"
#include "fuzz_support.h"
#include "inventory/modGetInfos.h"

using namespace harvix;
using harvix::testing::ExtractBetween;

namespace {

// Position (from 1) of the first occurrence of what in text at or after from, or 0.
std::int32_t Find(const std::string& text, const std::string& what, std::int64_t from) {
    for (std::int64_t p = std::max<std::int64_t>(from, 1);
         p + static_cast<std::int64_t>(what.size()) - 1 <= static_cast<std::int64_t>(text.size());
         ++p) {
        bool same = true;
        for (std::size_t k = 0; k < what.size() && same; ++k) same = text[p - 1 + k] == what[k];
        if (same) return static_cast<std::int32_t>(p);
    }
    return 0;
}

std::string ReferenceExtract(const std::string& text, const std::string& open,
                             const std::string& close, std::int32_t& start) {
    std::int32_t found = Find(text, open, start);
    start = found;
    if (found == 0) return "";
    start = found + static_cast<std::int32_t>(open.size());
    std::int32_t end = Find(text, close, start);
    if (end == 0 || end == start) return "";
    return text.substr(start - 1, end - start);
}

std::string ReferenceQuotedKey(const std::string& path) {
    std::size_t open = path.find('"');
    if (open == std::string::npos) return "";
    std::string key;
    for (std::size_t i = open + 1; i < path.size(); ++i) {
        if (path[i] == '\\' && i + 1 < path.size() && (path[i + 1] == '\\' || path[i + 1] == '"'))
            key += path[++i];
        else if (path[i] == '"')
            return key;
        else
            key += path[i];
    }
    return "";  // no closing quote
}

std::string Escaped(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// The PartitionId the volume collector gives volume C: linked through this path.
std::string PartitionIdThrough(const std::string& antecedent) {
    auto fake = testing::InstallFake();
    fake->On("Select * from Win32_LogicalDiskToPartition")
        .Objects.push_back(testing::FakeObject{
            {"Antecedent", antecedent},
            {"Dependent", "\\\\PC\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"C:\""}});
    fake->On("Select * from Win32_DiskDriveToDiskPartition");
    fake->On("Select * from Win32_LogicalDisk")
        .Objects.push_back(testing::FakeObject{{"Name", "C:"}, {"DriveType", 3}});
    VolumeList list = GetVolumeInfos();
    HARVIX_CHECK(list.Count == 1, "one volume");
    return list.Volumes[1].PartitionId;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string open = in.ConsumeRandomLengthString(4), close = in.ConsumeRandomLengthString(4);
    std::int32_t start = in.ConsumeIntegral<std::int32_t>();
    if (in.ConsumeBool()) start = in.ConsumeIntegralInRange<std::int32_t>(-2, 40);
    std::string text = in.ConsumeRandomLengthString(200);
    const std::string key = in.ConsumeRandomLengthString(60);

    std::int32_t got = start, want = start;
    std::string result = ExtractBetween(text, open, close, got);
    std::string expected = ReferenceExtract(text, open, close, want);
    HARVIX_CHECK(result == expected && got == want, "ExtractBetween");

    // Any path, as the rule reads it; and a key written into a path and read back.
    HARVIX_CHECK(PartitionIdThrough(text) == ReferenceQuotedKey(text), "quoted key of " + text);
    const std::string path =
        "\\\\PC\\root\\cimv2:Win32_DiskPartition.DeviceID=\"" + Escaped(key) + "\"";
    HARVIX_CHECK(PartitionIdThrough(path) == key, "key read back from " + path);
    WmiService.reset();
    return 0;
}
