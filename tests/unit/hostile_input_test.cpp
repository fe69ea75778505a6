// Machine texts an attacker or a broken firmware could write: each case here
// once made a class fail or gave a wrong value.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "platform/text.h"
#include "test_support.h"
#include "wmi/linux/provider.h"
#include "wmi/linux/smbios.h"
#include "wmi/linux/sources.h"

namespace harvix {
namespace {

namespace fs = std::filesystem;

class Tree {
  public:
    Tree() : root_(testing::MakeTempDir("harvix-hostile-")) {}
    ~Tree() { fs::remove_all(root_); }
    std::string Path() const { return root_.string(); }
    void Write(const std::string& path, const std::string& data) {
        fs::path full = root_ / path;
        fs::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << data;
    }
    // Every object's value of one property; "<null>" for null.
    std::vector<std::string> Walk(const std::string& wql, const std::string& prop) {
        linuxwmi::Provider p(root_.string());
        std::vector<std::string> out;
        auto results = p.ExecQuery(wql, 48);
        while (const WmiObject* obj = results->Next()) {
            WmiValue v = obj->Get(prop);
            out.push_back(v.IsNull() ? "<null>" : ToText(v));
        }
        return out;
    }

  private:
    fs::path root_;
};

TEST(HostileInput, CpuFolderNamesAndCpuinfoFieldsNeverFailTheProcessorClass) {
    Tree t;
    t.Write("sys/devices/system/cpu/cpu0/topology/core_id", "0\n");
    t.Write("sys/devices/system/cpu/cpu1/topology/core_id", "1\n");
    t.Write("sys/devices/system/cpu/cpu99999999999999999999/topology/core_id", "2\n");
    t.Write("proc/cpuinfo",
            "processor\t: 0\nmodel name\t: Real CPU\n\n"
            "processor\t: 99999999999999999999\nCPU implementer\t: LNX\nCPU part\t: \n\n");
    EXPECT_EQ(t.Walk("Select * from Win32_Processor", "Name"),
              std::vector<std::string>{"Real CPU"});
    EXPECT_EQ(t.Walk("Select * from Win32_Processor", "NumberOfLogicalProcessors"),
              std::vector<std::string>{"2"});

    // No topology: cpuinfo's own ids, one of them unreadable.
    Tree arm;
    arm.Write("proc/cpuinfo",
              "processor\t: 7abc\nCPU implementer\t: 0x41\nCPU part\t: 0xd08\n\n"
              "processor\t: 1\nCPU implementer\t: 0x41zz\nCPU part\t: 0xd08\n"
              "physical id\t: 18446744073709551616\n\n");
    // Only the readable cpu 1 is counted; its unreadable part leaves the name to the first block.
    EXPECT_EQ(arm.Walk("Select * from Win32_Processor", "NumberOfLogicalProcessors"),
              std::vector<std::string>{"1"});
    EXPECT_EQ(arm.Walk("Select * from Win32_Processor", "Name"),
              std::vector<std::string>{"ARM Cortex-A72"});

    EXPECT_EQ(ParseWhole("42"), 42);
    EXPECT_EQ(ParseWhole("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(ParseWhole("9223372036854775808"));
    EXPECT_FALSE(ParseWhole(""));
    EXPECT_FALSE(ParseWhole("-"));
    EXPECT_FALSE(ParseWhole("+1"));
    EXPECT_FALSE(ParseWhole(" 1"));
    EXPECT_FALSE(ParseWhole("1 "));
    EXPECT_FALSE(ParseWhole("0x"));
    EXPECT_EQ(ParseWhole("0xd08", 16), 0xd08);
    EXPECT_FALSE(ParseWhole("0xd08", 10));
}

TEST(HostileInput, MemTotalIsReadOnlyWhenItIsAWholeCount) {
    Tree t;
    t.Write("proc/meminfo", "Odd line\nMemFree: lots\nMemTotal:       16 kB\n");
    EXPECT_EQ(t.Walk("Select * from Win32_ComputerSystem", "TotalPhysicalMemory"),
              std::vector<std::string>{"16384"});
    t.Write("proc/meminfo", "MemTotal: 18014398509481984 kB\n");  // bytes overflow 64 bits
    EXPECT_EQ(t.Walk("Select * from Win32_ComputerSystem", "TotalPhysicalMemory"),
              std::vector<std::string>{"<null>"});
    t.Write("proc/meminfo", "MemTotal: -5 kB\n");
    EXPECT_EQ(t.Walk("Select * from Win32_ComputerSystem", "TotalPhysicalMemory"),
              std::vector<std::string>{"<null>"});
}

// A type 17 structure of SMBIOS 3.3 (0x5C bytes) with the given speeds and strings.
std::vector<std::uint8_t> Device(std::uint16_t speed, std::uint32_t extended,
                                 const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> s(0x5C, 0);
    s[0] = 17;
    s[1] = 0x5C;
    s[0x0C] = 0x00, s[0x0D] = 0x40;  // 16 GiB
    s[0x0E] = 0x09;
    s[0x10] = 1, s[0x11] = 2, s[0x17] = 3, s[0x18] = 4, s[0x1A] = 5;
    s[0x15] = speed & 0xFF, s[0x16] = speed >> 8;
    for (int k = 0; k < 4; ++k) s[0x54 + k] = (extended >> (8 * k)) & 0xFF;
    for (const auto& str : strings) {
        s.insert(s.end(), str.begin(), str.end());
        s.push_back(0);
    }
    if (strings.empty()) s.push_back(0);
    s.push_back(0);
    return s;
}

TEST(HostileInput, SmbiosExtendedSpeedIgnoresItsReservedBitAndEmptyStringSetsNameNothing) {
    auto dev = smbios::ParseMemory(Device(0xFFFF, 0x80000C80u, {"A", "B", "C", "D", "E"}));
    ASSERT_EQ(dev.Devices.size(), 1u);
    EXPECT_EQ(dev.Devices[0].Speed, 3200u);
    EXPECT_EQ(dev.Devices[0].PartNumber, "E");
    EXPECT_FALSE(smbios::ParseMemory(Device(0xFFFF, 0x80000000u, {"A"})).Devices[0].Speed);

    auto bare = smbios::ParseMemory(Device(2400, 0, {}));
    ASSERT_EQ(bare.Devices.size(), 1u);
    EXPECT_FALSE(bare.Devices[0].DeviceLocator);
    EXPECT_FALSE(bare.Devices[0].Manufacturer);
    EXPECT_FALSE(bare.Devices[0].PartNumber);
    // A set that starts with a NUL holds no first string.
    auto odd = Device(2400, 0, {"", "B"});
    EXPECT_FALSE(smbios::ParseMemory(odd).Devices[0].DeviceLocator);
    EXPECT_EQ(smbios::ParseMemory(odd).Devices[0].BankLocator, "B");

    // End to end: the speed WMI shows, and null strings.
    Tree t;
    auto table = Device(0xFFFF, 0x80000C80u, {});
    t.Write("sys/firmware/dmi/tables/DMI", std::string(table.begin(), table.end()));
    EXPECT_EQ(t.Walk("Select * from Win32_PhysicalMemory", "Speed"),
              std::vector<std::string>{"3200"});
    EXPECT_EQ(t.Walk("Select * from Win32_PhysicalMemory", "PartNumber"),
              std::vector<std::string>{"<null>"});
}

TEST(HostileInput, MalformedWqlFailsWhenTheWalkStarts) {
    Tree t;
    linuxwmi::Provider p(t.Path());
    for (const char* bad :
         {"Select Domain Model from Win32_ComputerSystem",
          "Select Domain, from Win32_ComputerSystem", "Select , Domain from Win32_ComputerSystem",
          "Select Domain,,Model from Win32_ComputerSystem",
          "Select *, Domain from Win32_ComputerSystem",
          "Select * from Win32_ComputerSystem where Domain = 1", "Select * from",
          "Select from Win32_ComputerSystem", "Select Dom\xC3\xA9ine from Win32_ComputerSystem",
          "Select * from Win32_ComputerSystem;"}) {
        auto results = p.ExecQuery(bad, 48);
        EXPECT_THROW(results->Next(), HarvixError) << bad;
    }
    for (const char* good :
         {"Select Domain ,Model from Win32_ComputerSystem", "select*from win32_computersystem",
          "\tSELECT  Domain,\r\nModel FROM Win32_ComputerSystem \n"}) {
        auto results = p.ExecQuery(good, 48);
        const WmiObject* obj = results->Next();
        ASSERT_NE(obj, nullptr) << good;
        EXPECT_NO_THROW(obj->Get("Domain")) << good;
        if (std::string(good).find('*') == std::string::npos) {
            EXPECT_THROW(obj->Get("Name"), HarvixError) << good;  // not selected
        }
    }
}

TEST(HostileInput, OsReleaseValuesUndoTheShellEscapes) {
    EXPECT_EQ(linuxwmi::OsReleaseValue("\"Debian \\\"trixie\\\" 13\""), "Debian \"trixie\" 13");
    EXPECT_EQ(linuxwmi::OsReleaseValue("\"a\\\\b \\` \\$HOME\""), "a\\b ` $HOME");
    EXPECT_EQ(linuxwmi::OsReleaseValue("\"keep \\n as is\""), "keep \\n as is");
    EXPECT_EQ(linuxwmi::OsReleaseValue("'single \\\" stays'"), "single \\\" stays");
    EXPECT_EQ(linuxwmi::OsReleaseValue("Plain\\ text"), "Plain text");
    EXPECT_EQ(linuxwmi::OsReleaseValue("\"windows\"\r"), "windows");
    EXPECT_EQ(linuxwmi::OsReleaseValue("\"unclosed"), "\"unclosed");
    EXPECT_EQ(linuxwmi::OsReleaseValue("\"\""), "");

    Tree t;
    t.Write("etc/os-release", "NAME=Debian\nPRETTY_NAME=\"Debian \\\"trixie\\\" 13\"\n");
    EXPECT_EQ(t.Walk("Select * from Win32_OperatingSystem", "Caption"),
              std::vector<std::string>{"Debian \"trixie\" 13"});
}

// Locales compiled for one test into a folder of their own, which LOCPATH names.
class CompiledLocales {
  public:
    CompiledLocales() : dir_(testing::MakeTempDir("harvix-locales-")) {}
    ~CompiledLocales() {
        setlocale(LC_ALL, "C");
        testing::UnsetEnv("LOCPATH");
        fs::remove_all(dir_);
    }
    // Switches the process to the locale; false when glibc's sources lack it.
    bool Use(const std::string& name) {
        const std::string cmd = "localedef -i " + name + " -f UTF-8 " + dir_.string() + "/" + name +
                                ".UTF-8 >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return false;
        testing::SetEnv("LOCPATH", dir_.string().c_str());
        return setlocale(LC_ALL, (name + ".UTF-8").c_str()) != nullptr;
    }

  private:
    fs::path dir_;
};

TEST(HostileInput, DateSeparatorSkipsTheFlagsAndModifiersOfGlibcFormats) {
    EXPECT_EQ(DateSeparatorOf("%Od.%Om.%EY"), ".");
    EXPECT_EQ(DateSeparatorOf("%_10d::%^m::%Y"), "::");
    EXPECT_EQ(DateSeparatorOf("%F"), "-");
    EXPECT_EQ(DateSeparatorOf("%e%%%m"), "%");
    EXPECT_EQ(DateSeparatorOf("%d%m%Y"), "/");  // no text between: the default
    EXPECT_EQ(DateSeparatorOf("%d.%"), "/");
    EXPECT_EQ(DateSeparatorOf(""), "/");
    // The formats glibc really has: the generated locales, and two compiled here
    // (Czech writes %-d, Tibetan a 6-byte separator).
    for (auto [name, sep] : {std::pair{"fr_FR.UTF-8", "/"},
                             {"de_DE.UTF-8", "."},
                             {"ru_RU.UTF-8", "."},
                             {"ja_JP.UTF-8", "\xE5\xB9\xB4"}}) {
        testing::ScopedLocale locale(name);
        if (locale.ok()) {
            EXPECT_EQ(platform::DateSeparator(), sep) << name;
        }
    }
    CompiledLocales compiled;
    if (!compiled.Use("cs_CZ")) GTEST_SKIP() << "localedef cannot compile cs_CZ here";
    EXPECT_EQ(platform::DateSeparator(), ".");
    ASSERT_TRUE(compiled.Use("bo_CN"));
    EXPECT_EQ(platform::DateSeparator(), "\xE0\xBD\x9F\xE0\xBD\xA3");  // ཟལ
}

}  // namespace
}  // namespace harvix
