// The provider's readers over a machine tree written from the input: no class
// fails, whatever the files say; every text is UTF-8; counts are counts; an
// association names instances that exist; an os-release value comes back as
// the shell reads it.
#include <set>

#include "fuzz_support.h"
#include "platform/encoding.h"
#include "wmi/linux/provider.h"

using namespace harvix;

namespace {

#if HARVIX_STORAGE_TREE
const char* const kClasses[] = {"Win32_DiskDrive", "Win32_DiskPartition",
                                "Win32_DiskDriveToDiskPartition", "Win32_LogicalDisk",
                                "Win32_LogicalDiskToPartition"};
#else
const char* const kClasses[] = {"Win32_Processor",
                                "Harvix_Processor",
                                "Win32_ComputerSystemProduct",
                                "Win32_ComputerSystem",
                                "Win32_OperatingSystem",
                                "Win32_PhysicalMemoryArray",
                                "Win32_PhysicalMemory",
                                "Win32_BIOS",
                                "Win32_SystemEnclosure",
                                "Win32_BaseBoard",
                                "Harvix_Firmware",
                                "Harvix_Tpm",
                                "Harvix_OperatingSystem",
                                "Harvix_Software",
                                "Harvix_Unread"};
#endif
// Whole numbers that are no counts: an offset from UTC, a boolean (-1 true).
const std::set<std::string> kSigned = {"CurrentTimeZone", "Present"};

const std::set<std::string> kByteCounts = {"TotalPhysicalMemory", "Capacity",       "Size",
                                           "FreeSpace",           "StartingOffset", "MaxCapacity"};

bool Digits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// The key of an object path: between the first quote and the next unescaped one.
std::string QuotedKey(const std::string& path) {
    std::size_t open = path.find('"');
    std::string key;
    for (std::size_t i = open + 1; open != std::string::npos && i < path.size(); ++i) {
        if (path[i] == '\\' && i + 1 < path.size() && (path[i + 1] == '\\' || path[i + 1] == '"'))
            key += path[++i];
        else if (path[i] == '"')
            return key;
        else
            key += path[i];
    }
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::size_t nameLength = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const std::string pretty(in.substr(2, nameLength));
    fuzz::TempTree tree;
    const bool withName = nameLength > 0 && pretty.find_first_of("\r\n") == std::string::npos;
    if (withName) {
        std::string quoted;
        for (char c : pretty) {
            if (c == '"' || c == '\\' || c == '`' || c == '$') quoted += '\\';
            quoted += c;
        }
        tree.WriteFile("etc/os-release", "NAME=Other\nPRETTY_NAME=\"" + quoted + "\"\n");
    }
    tree.Write(in.substr(2 + nameLength));

    linuxwmi::Provider provider(tree.Path());
    std::map<std::string, std::set<std::string>> ids;  // class -> DeviceIDs
    std::map<std::string, std::vector<linuxwmi::Instance>> all;
    for (const char* cls : kClasses) {
        try {
            all[cls] = provider.Instances(cls);
        } catch (const std::exception& e) {
            fuzz::Fail(std::string("class ") + cls + " failed: " + e.what());
        }
        for (const auto& inst : all[cls]) {
            for (const auto& [prop, v] : inst.Properties) {
                const std::string at = std::string(cls) + "." + prop;
                if (v.IsText()) {
                    HARVIX_CHECK(fuzz::IsValidUtf8(v.Text()), at + " is UTF-8");
                    if (kByteCounts.count(prop))
                        HARVIX_CHECK(Digits(v.Text()), at + " is decimal digits: " + v.Text());
                    if (prop == "DeviceID") ids[cls].insert(v.Text());
                } else if (v.IsNumber()) {
                    HARVIX_CHECK(v.Number() >= 0 || kSigned.count(prop),
                                 at + " is no negative count");
                    if (prop == "DriveType") HARVIX_CHECK(v.Number() <= 6, at);
                }
            }
        }
    }
    // Associations name instances of their classes.
    auto check = [&](const char* assoc, const char* role, const char* cls) {
        for (const auto& inst : all[assoc])
            for (const auto& [prop, v] : inst.Properties)
                if (prop == role)
                    HARVIX_CHECK(v.IsText() && ids[cls].count(QuotedKey(v.Text())),
                                 std::string(assoc) + "." + role + " names a " + cls);
    };
    check("Win32_DiskDriveToDiskPartition", "Antecedent", "Win32_DiskDrive");
    check("Win32_LogicalDiskToPartition", "Dependent", "Win32_LogicalDisk");
    if (withName && all.count("Win32_OperatingSystem")) {
        const auto& os = all["Win32_OperatingSystem"].at(0);
        for (const auto& [prop, v] : os.Properties)
            if (prop == "Caption")
                HARVIX_CHECK(v.IsText() && v.Text() == platform::ToValidUtf8(pretty),
                             "PRETTY_NAME read back");
    }
    return 0;
}
