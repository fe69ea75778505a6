// The Linux provider: WQL handling, the SMBIOS parser on whole and broken
// tables, and whole recorded machines replayed into reports.
#include "wmi/linux/provider.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/run.h"
#include "platform/encoding.h"
#include "test_support.h"
#include "wmi/dpkg_status.h"
#include "wmi/linux/smbios.h"
#include "wmi/linux/sources.h"

namespace harvix {
namespace {

namespace fs = std::filesystem;
const std::string kTrees = HARVIX_TREES_DIR;

std::vector<std::string> Walk(WmiServiceBase& service, const std::string& wql,
                              const std::string& prop) {
    std::vector<std::string> out;
    auto results = service.ExecQuery(wql, 48);
    while (const WmiObject* obj = results->Next()) {
        WmiValue v = obj->Get(prop);
        out.push_back(v.IsNull() ? "<null>" : ToText(v));
    }
    return out;
}

TEST(Provider, AnswersOnlyTheSelectedPropertiesAndFailsUnknownClassesAtStart) {
    linuxwmi::Provider p(kTrees + "/laptop");
    auto results = p.ExecQuery("Select Domain from Win32_ComputerSystem", 48);
    const WmiObject* obj = results->Next();
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(ToText(obj->Get("Domain")), "tarvell.lan");
    EXPECT_EQ(ToText(obj->Get("domain")), "tarvell.lan");  // names are not case-sensitive
    EXPECT_THROW(obj->Get("Model"), HarvixError);          // not selected
    EXPECT_EQ(results->Next(), nullptr);

    auto unknown = p.ExecQuery("Select * from Win32_Nothing", 48);
    EXPECT_THROW(unknown->Next(), HarvixError);
    auto malformed = p.ExecQuery("Select from", 48);
    EXPECT_THROW(malformed->Next(), HarvixError);
    auto all = p.ExecQuery("SELECT * FROM win32_processor", 48);
    const WmiObject* cpu = all->Next();
    ASSERT_NE(cpu, nullptr);
    EXPECT_THROW(cpu->Get("NoSuchProperty"), HarvixError);
}

TEST(Provider, ValueKindsFollowWmi) {
    linuxwmi::Provider p(kTrees + "/server");
    auto disks = p.ExecQuery("Select * from Win32_DiskDrive", 48);
    const WmiObject* d = disks->Next();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->Get("Size").IsText());  // 64-bit counts travel as text
    EXPECT_TRUE(d->Get("Partitions").IsNumber());
    EXPECT_EQ(ToText(d->Get("DeviceID")), "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(Walk(p, "Select * from Win32_Processor", "NumberOfLogicalProcessors"),
              (std::vector<std::string>{"20", "20"}));  // one object per socket
    // Only system-memory arrays and installed modules; 32 GB modules use the extended size.
    EXPECT_EQ(Walk(p, "Select * from Win32_PhysicalMemoryArray", "MaxCapacity"),
              (std::vector<std::string>{"536870912", "536870912"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_PhysicalMemory", "Capacity"),
              std::vector<std::string>(4, "34359738368"));
    // One volume per filesystem: the bind mount and the NFS share's twin are not repeated,
    // pseudo filesystems are no volumes, network and RAM drives keep their types.
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "Name"),
              (std::vector<std::string>{"/", "/boot/efi", "/dev/shm", "/mnt/backup", "/srv/data"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "DriveType"),
              (std::vector<std::string>{"3", "3", "6", "4", "3"}));
    // LVM over two disks and md over two partitions: one link per partition underneath.
    EXPECT_EQ(
        Walk(p, "Select * from Win32_LogicalDiskToPartition", "Antecedent"),
        (std::vector<std::string>{
            "\\\\srv-db01\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #1\"",
            "\\\\srv-db01\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #1, Partition #0\"",
            "\\\\srv-db01\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #0\"",
            "\\\\srv-db01\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #2, Partition #0\"",
            "\\\\srv-db01\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #3, Partition #0\""}));
}

TEST(Provider, MissingSourcesStayMissing) {
    linuxwmi::Provider vm(kTrees + "/vm");
    EXPECT_TRUE(Walk(vm, "Select * from Win32_PhysicalMemory", "Capacity").empty());
    EXPECT_TRUE(Walk(vm, "Select * from Win32_PhysicalMemoryArray", "MaxCapacity").empty());
    EXPECT_EQ(
        Walk(vm, "Select IdentifyingNumber from Win32_ComputerSystemProduct", "IdentifyingNumber"),
        std::vector<std::string>{"<null>"});
    EXPECT_EQ(Walk(vm, "Select * from Win32_ComputerSystem", "Model"),
              std::vector<std::string>{"<null>"});
    // zram is no disk; the whole-disk filesystem still lies on vda.
    EXPECT_EQ(Walk(vm, "Select * from Win32_DiskDrive", "Partitions"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(Walk(vm, "Select * from Win32_DiskDriveToDiskPartition", "Dependent"),
              std::vector<std::string>{
                  "\\\\vm\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #0\""});

    linuxwmi::Provider empty("/nonexistent-harvix-root");
    EXPECT_TRUE(Walk(empty, "Select * from Win32_DiskDrive", "Model").empty());
    EXPECT_TRUE(Walk(empty, "Select * from Win32_LogicalDisk", "Name").empty());
    EXPECT_TRUE(Walk(empty, "Select * from Win32_Processor", "Name").empty());
}

TEST(Provider, ArmProcessorsAreCountedFromTheTopologyAndNamedFromTheirPart) {
    // A Raspberry Pi 4 as sysfs shows it: no model name, package id -1, one core offline.
    const fs::path tree = testing::MakeTempDir("harvix-arm-");
    std::string cpuinfo;
    for (int cpu = 0; cpu < 5; ++cpu) {
        cpuinfo += "processor\t: " + std::to_string(cpu) +
                   "\nBogoMIPS\t: 108.00\nCPU implementer\t: 0x41\nCPU architecture: 8\n"
                   "CPU part\t: 0xd08\nCPU revision\t: 3\n\n";
        if (cpu == 4) break;  // offline: no topology
        const fs::path topo =
            tree / ("sys/devices/system/cpu/cpu" + std::to_string(cpu)) / "topology";
        fs::create_directories(topo);
        std::ofstream(topo / "physical_package_id") << "-1\n";
        std::ofstream(topo / "core_id") << cpu << "\n";
    }
    fs::create_directories(tree / "proc");
    std::ofstream(tree / "proc/cpuinfo") << cpuinfo;
    linuxwmi::Provider p(tree.string());
    EXPECT_EQ(Walk(p, "Select * from Win32_Processor", "Name"),
              std::vector<std::string>{"ARM Cortex-A72"});
    EXPECT_EQ(Walk(p, "Select * from Win32_Processor", "NumberOfCores"),
              std::vector<std::string>{"4"});
    EXPECT_EQ(Walk(p, "Select * from Win32_Processor", "NumberOfLogicalProcessors"),
              std::vector<std::string>{"4"});
    fs::remove_all(tree);
}

TEST(Provider, AnSdCardIsRemovableMediaAndAnEmmcIsFixed) {
    const fs::path tree = testing::MakeTempDir("harvix-mmc-");
    for (const char* name : {"mmcblk0", "mmcblk1"}) {
        const fs::path dev = tree / "sys/devices/platform/mmc" / name;
        fs::create_directories(dev / "device");
        std::ofstream(dev / "size") << "62333952\n";
        std::ofstream(dev / "removable") << "0\n";
        std::ofstream(dev / "device/type") << (name[6] == '0' ? "MMC\n" : "SD\n");
        std::ofstream(dev / "device/name") << "SC64G\n";
        fs::create_directories(tree / "sys/block");
        fs::create_directory_symlink(fs::path("../devices/platform/mmc") / name,
                                     tree / "sys/block" / name);
    }
    fs::create_directories(tree / "sys/block/mmcblk0boot0/device");  // boot areas are no disks
    linuxwmi::Provider p(tree.string());
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskDrive", "MediaType"),
              (std::vector<std::string>{"Fixed hard disk media", "Removable Media"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskDrive", "Model"),
              (std::vector<std::string>{"SC64G", "SC64G"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskDrive", "Size"),
              (std::vector<std::string>{"31914983424", "31914983424"}));
    fs::remove_all(tree);
}

// Writes a file of a small machine tree, making its folders.
void Put(const fs::path& tree, const std::string& path, const std::string& text) {
    fs::create_directories((tree / path.substr(1)).parent_path());
    std::ofstream(tree / path.substr(1)) << text;
}

void Link(const fs::path& tree, const std::string& path, const std::string& target) {
    fs::create_directories((tree / path.substr(1)).parent_path());
    fs::create_symlink(target, tree / path.substr(1));
}

TEST(Provider, AnUnreadableFieldIsThatFieldsNullAndNoClassFails) {
    // An Atari table as udev records it, an empty type, and sizes no reader can take.
    const fs::path tree = testing::MakeTempDir("harvix-odd-");
    const std::string dev = "/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
    const std::string sda = dev + "/block/sda";
    Put(tree, dev + "/model", "Odd Disk\n");
    Put(tree, sda + "/dev", "8:0\n");
    Put(tree, sda + "/size", "2000000\n");
    Link(tree, sda + "/device", "../../../0:0:0:0");
    Link(tree, "/sys/block/sda",
         "../devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda");
    Put(tree, "/run/udev/data/b8:0", "E:ID_PART_TABLE_TYPE=atari\n");
    const char* types[] = {"LNX", "", "0x83", "0x1G"};
    const char* sizes[] = {"2048", "99999999999999999999", "-4", "4096 sectors"};
    for (int n = 1; n <= 4; ++n) {
        const std::string part = sda + "/sda" + std::to_string(n);
        Put(tree, part + "/partition", std::to_string(n) + "\n");
        Put(tree, part + "/start", n == 3 ? "12a\n" : "2048\n");
        Put(tree, part + "/size", std::string(sizes[n - 1]) + "\n");
        Put(tree, part + "/dev", "8:" + std::to_string(n) + "\n");
        Link(tree, "/sys/class/block/sda" + std::to_string(n), "../../.." + part);
        Put(tree, "/run/udev/data/b8:" + std::to_string(n),
            std::string("E:ID_PART_ENTRY_SCHEME=") + (n == 3 ? "dos" : "atari") +
                "\nE:ID_PART_ENTRY_TYPE=" + types[n - 1] + "\nE:ID_FS_TYPE=ext4\n");
    }
    Link(tree, "/sys/class/block/sda", "../../.." + sda);
    Link(tree, "/sys/dev/block/8:3", "../../.." + sda + "/sda3");
    Put(tree, "/proc/self/mountinfo",
        "20 1 8:3 / /data rw,relatime - ext4 /dev/sda3 rw\n"
        "21 1 8:4 / /srv rw,relatime - ext4 /dev/sda4 rw\n");
    Link(tree, "/sys/dev/block/8:4", "../../.." + sda + "/sda4");
    Put(tree, "/.harvix/statvfs", "/data 12a4 100\n/srv 4096 +12\n");

    linuxwmi::Provider p(tree.string());
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskDrive", "Partitions"),
              std::vector<std::string>{"4"});
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskPartition", "Type"),
              (std::vector<std::string>{"<null>", "<null>", "Unknown", "<null>"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskPartition", "Size"),
              (std::vector<std::string>{"1048576", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskPartition", "StartingOffset"),
              (std::vector<std::string>{"1048576", "1048576", "<null>", "1048576"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_DiskDriveToDiskPartition", "Dependent").size(), 4u);
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "Size"),
              (std::vector<std::string>{"<null>", "4096"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "FreeSpace"),
              (std::vector<std::string>{"100", "<null>"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDiskToPartition", "Antecedent").size(), 2u);
    fs::remove_all(tree);
}

TEST(Provider, AMountPointThatIsNoUtf8OrHoldsOddWhiteSpaceKeepsItsSizes) {
    // The kernel escapes only blank, tab, newline and backslash in the mount table:
    // a Latin-1 byte and a vertical tab arrive as they are.
    const fs::path tree = testing::MakeTempDir("harvix-oddmount-");
    const std::string sda = "/sys/devices/virtual/block/sda";
    Put(tree, sda + "/dev", "8:0\n");
    Put(tree, sda + "/size", "2000000\n");
    Link(tree, "/sys/block/sda", "../devices/virtual/block/sda");
    Link(tree, "/sys/class/block/sda", "../../devices/virtual/block/sda");
    for (int n = 1; n <= 2; ++n) {
        const std::string part = sda + "/sda" + std::to_string(n);
        Put(tree, part + "/partition", std::to_string(n) + "\n");
        Put(tree, part + "/start", "2048\n");
        Put(tree, part + "/size", "2048\n");
        Put(tree, part + "/dev", "8:" + std::to_string(n) + "\n");
        Link(tree, "/sys/class/block/sda" + std::to_string(n), "../../.." + part);
        Link(tree, "/sys/dev/block/8:" + std::to_string(n), "../../.." + part);
    }
    Put(tree, "/proc/self/mountinfo",
        "20 1 8:1 / /\xE9t\xE9 rw - ext4 /dev/sda1 rw\n"
        "21 1 8:2 / /a\vb\\040c rw - ext4 /dev/sda2 rw\n");
    Put(tree, "/.harvix/statvfs", "/\xE9t\xE9 1000 10\n/a\vb\\040c 2000 20\n");
    linuxwmi::Provider p(tree.string());
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "Name"),
              (std::vector<std::string>{"/a\vb c", "/\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "Size"),
              (std::vector<std::string>{"2000", "1000"}));
    EXPECT_EQ(Walk(p, "Select * from Win32_LogicalDisk", "FreeSpace"),
              (std::vector<std::string>{"20", "10"}));
    fs::remove_all(tree);

    // Live: statvfs must be given the mount point's own bytes, not their UTF-8 reading.
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    const fs::path base = testing::MakeTempDir("harvix-live-");
    const std::string point = (base / "\xE9t\xE9").string();
    fs::create_directory(point);
    if (mount("harvix-test", point.c_str(), "tmpfs", 0, "size=4m") != 0) {
        fs::remove_all(base);
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    struct Unmount {
        std::string Point;
        fs::path Base;
        ~Unmount() {
            umount2(Point.c_str(), MNT_DETACH);
            fs::remove_all(Base);
        }
    } cleanup{point, base};
    linuxwmi::Provider live("/");
    auto names = Walk(live, "Select * from Win32_LogicalDisk", "Name");
    auto sizes = Walk(live, "Select * from Win32_LogicalDisk", "Size");
    ASSERT_EQ(names.size(), sizes.size());
    auto at = std::find(names.begin(), names.end(), platform::ToValidUtf8(point));
    ASSERT_NE(at, names.end());
    EXPECT_EQ(sizes[at - names.begin()], std::to_string(4 << 20));
}

// ---- SMBIOS ----

std::vector<std::uint8_t> Structure(std::uint8_t type, std::vector<std::uint8_t> body,
                                    std::vector<std::string> strings) {
    std::vector<std::uint8_t> s{type, static_cast<std::uint8_t>(4 + body.size()), 0x34, 0x12};
    s.insert(s.end(), body.begin(), body.end());
    for (const auto& str : strings) {
        s.insert(s.end(), str.begin(), str.end());
        s.push_back(0);
    }
    if (strings.empty()) s.push_back(0);
    s.push_back(0);
    return s;
}

// A type 17 structure up to and including the part number (0x1B bytes).
std::vector<std::uint8_t> Device(std::uint16_t size, std::uint8_t form, std::uint16_t speed,
                                 std::vector<std::string> strings, std::uint8_t partIndex = 6) {
    std::vector<std::uint8_t> b = {0x00,
                                   0x10,
                                   0xFE,
                                   0xFF,
                                   64,
                                   0,
                                   64,
                                   0,
                                   static_cast<std::uint8_t>(size),
                                   static_cast<std::uint8_t>(size >> 8),
                                   form,
                                   0,
                                   1,
                                   2,
                                   0x1A,
                                   0x80,
                                   0,
                                   static_cast<std::uint8_t>(speed),
                                   static_cast<std::uint8_t>(speed >> 8),
                                   3,
                                   4,
                                   5,
                                   partIndex};
    return Structure(17, b, strings);
}

// The provider's splitters cut text as getline and a stream's >> do.
TEST(Provider, TextIsCutAsTheStandardStreamsCutIt) {
    using namespace std::string_literals;
    const std::string texts[] = {"",
                                 "a",
                                 "a\n",
                                 "a\n\n",
                                 "\n",
                                 "\na",
                                 "a\nb",
                                 "a\n\nb\n",
                                 "  x \t y\r\n",
                                 "\v\f z",
                                 "a,,b",
                                 "a,",
                                 ",a",
                                 ",",
                                 "/a//b/",
                                 "caf\xC3\xA9 \xC2\xA0 x",
                                 "one\0two three"s};
    for (const std::string& text : texts) {
        for (char delim : {'\n', ',', '/'}) {
            std::vector<std::string> expected;
            std::stringstream ss(text);
            for (std::string piece; std::getline(ss, piece, delim);) expected.push_back(piece);
            EXPECT_EQ(linuxwmi::Split(text, delim), expected) << text;
        }
        std::vector<std::string> expected;
        std::istringstream in(text);
        for (std::string word; in >> word;) expected.push_back(word);
        EXPECT_EQ(linuxwmi::Words(text), expected) << text;
    }
}

TEST(Smbios, DecodesSizesSpeedsAndStrings) {
    std::vector<std::uint8_t> t;
    auto add = [&](std::vector<std::uint8_t> s) { t.insert(t.end(), s.begin(), s.end()); };
    const std::vector<std::string> strs{"DIMM0", "BANK 0", "Kingston", "SN1", "Asset", "KVR  "};
    add(Device(8192, 0x09, 2400, strs));                // MB
    add(Device(0x8000 | 512, 0x0D, 0xFFFF, strs));      // KB units; extended speed absent
    add(Device(0xFFFF, 0x09, 0, strs));                 // unknown size, unknown speed
    add(Device(0, 0x09, 0, strs));                      // empty slot
    add(Device(1024, 0x09, 1600, {"A", "B", "C"}, 9));  // part number past the strings
    add(Structure(127, {}, {}));
    auto mem = smbios::ParseMemory(t);
    ASSERT_EQ(mem.Devices.size(), 5u);
    EXPECT_EQ(mem.Devices[0].SizeBytes, 8192ull << 20);
    EXPECT_EQ(mem.Devices[0].Speed, 2400u);
    EXPECT_EQ(mem.Devices[0].BankLocator, "BANK 0");
    EXPECT_EQ(mem.Devices[0].PartNumber, "KVR  ");
    EXPECT_EQ(mem.Devices[1].SizeBytes, 512ull << 10);
    EXPECT_FALSE(mem.Devices[1].Speed);
    EXPECT_TRUE(mem.Devices[2].Installed);
    EXPECT_FALSE(mem.Devices[2].SizeBytes);
    EXPECT_FALSE(mem.Devices[3].Installed);
    EXPECT_EQ(mem.Devices[4].Manufacturer, "C");
    EXPECT_FALSE(mem.Devices[4].SerialNumber);
    EXPECT_FALSE(mem.Devices[4].PartNumber);

    EXPECT_EQ(smbios::WmiFormFactor(0x09), 8);
    EXPECT_EQ(smbios::WmiFormFactor(0x0D), 12);
    EXPECT_EQ(smbios::WmiFormFactor(0x03), 7);
    EXPECT_EQ(smbios::WmiFormFactor(0x02), 0);
}

TEST(Smbios, BrokenTablesNeverReadPastTheirEnd) {
    const std::vector<std::string> strs{"DIMM0", "BANK 0"};
    std::vector<std::uint8_t> good = Device(4096, 0x09, 2133, strs);

    // No end-of-table marker: the structures that are whole still count.
    EXPECT_EQ(smbios::ParseMemory(good).Devices.size(), 1u);
    // Truncated inside the strings: that structure is dropped.
    std::vector<std::uint8_t> cut(good.begin(), good.end() - 3);
    EXPECT_TRUE(smbios::ParseMemory(cut).Devices.empty());
    // A length below the header ends the walk.
    std::vector<std::uint8_t> tiny = {17, 2, 0, 0, 0, 0};
    EXPECT_TRUE(smbios::ParseMemory(tiny).Devices.empty());
    // A length running past the table ends the walk.
    std::vector<std::uint8_t> over = {17, 200, 0, 0, 1, 2, 0, 0};
    EXPECT_TRUE(smbios::ParseMemory(over).Devices.empty());
    // A short structure: fields beyond its length are absent, not read.
    std::vector<std::uint8_t> shortDev =
        Structure(17, {0x00, 0x10, 0xFE, 0xFF, 64, 0, 64, 0, 0x00, 0x10}, {});
    auto m = smbios::ParseMemory(shortDev);
    ASSERT_EQ(m.Devices.size(), 1u);
    EXPECT_EQ(m.Devices[0].SizeBytes, 4096ull << 20);
    EXPECT_FALSE(m.Devices[0].FormFactor);
    EXPECT_FALSE(m.Devices[0].BankLocator);
    // Arrays: the extended capacity when the short field says so.
    std::vector<std::uint8_t> array =
        Structure(16, {3, 3, 3, 0, 0, 0, 0x80, 0xFE, 0xFF, 4, 0, 0, 0, 0, 0, 0, 1, 0, 0}, {});
    auto a = smbios::ParseMemory(array);
    ASSERT_EQ(a.Arrays.size(), 1u);
    EXPECT_EQ(a.Arrays[0].MaxCapacityKb, (1ull << 40) / 1024);
    EXPECT_EQ(a.Arrays[0].Devices, 4);
    EXPECT_TRUE(smbios::ParseMemory({}).Arrays.empty());
}

// ---- identity, firmware, OS details, software ----

// Each object's values of the properties, "|"-joined, one text per object.
using Props = std::vector<std::string>;

std::vector<std::string> Rows(const std::string& tree, const std::string& cls, const Props& props) {
    linuxwmi::Provider p(tree);
    std::vector<std::string> rows;
    auto results = p.ExecQuery("Select * from " + cls, 48);
    while (const WmiObject* obj = results->Next()) {
        std::string row;
        for (const std::string& prop : props) {
            WmiValue v = obj->Get(prop);
            row += (row.empty() ? "" : "|") + (v.IsNull() ? std::string("<null>") : ToText(v));
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(Provider, IdentityAndFirmwareReadBack) {
    auto rows = [](const char* tree, const std::string& cls, const Props& p) {
        return Rows(kTrees + "/" + tree, cls, p);
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(rows("laptop", "Win32_BIOS", {"Manufacturer", "SMBIOSBIOSVersion", "ReleaseDate"}),
              V{"LENOVO|N2IET98W (1.76 )|20231102000000.000000+000"});
    EXPECT_EQ(rows("laptop", "Win32_ComputerSystemProduct", {"UUID", "Vendor", "Name"}),
              V{"4C4C4544-0042-3510-8052-B4C04F4E3232|LENOVO|20QDCTO1WW"});
    EXPECT_EQ(rows("server", "Win32_SystemEnclosure", {"ChassisTypes", "SerialNumber"}),
              V{"23|7XK2B93"});
    EXPECT_EQ(rows("escaped", "Win32_BaseBoard", {"Manufacturer", "Product", "SerialNumber"}),
              V{"ASUSTeK COMPUTER INC.|H97M-E|<null>"});
    const Props fw = {"FirmwareType", "SecureBoot", "Ca2023Status"};
    EXPECT_EQ(rows("laptop", "Harvix_Firmware", fw), V{"UEFI|enabled|NotStarted"});
    EXPECT_EQ(rows("server", "Harvix_Firmware", fw), V{"UEFI|disabled|Updated"});
    EXPECT_EQ(rows("legacytpm12", "Harvix_Firmware", fw), V{"BIOS|unsupported|<null>"});
    // efivars not mounted: unknown, and said why.
    EXPECT_EQ(rows("container", "Harvix_Firmware", fw), V{"UEFI|<null>|<null>"});
    EXPECT_EQ(rows("container", "Harvix_Unread", {"What", "Why"}),
              V{"Secure Boot|variables EFI non montées (/sys/firmware/efi/efivars)"});
    const Props tpm = {"Present", "SpecVersion", "Manufacturer"};
    EXPECT_EQ(rows("win11laptop", "Harvix_Tpm", tpm), V{"-1|2.0|<null>"});
    EXPECT_EQ(rows("legacytpm12", "Harvix_Tpm", tpm), V{"-1|1.2|IFX"});
    EXPECT_EQ(rows("escaped", "Harvix_Tpm", tpm), V{"-1|1.2|STM"});
    EXPECT_EQ(rows("vm", "Harvix_Tpm", tpm), V{"0|<null>|<null>"});  // ACPI lists no TPM
    EXPECT_EQ(rows("container", "Harvix_Tpm", tpm), V{"<null>|<null>|<null>"});
    EXPECT_TRUE(rows("laptop", "Harvix_Unread", {"What"}).empty());
}

TEST(Provider, OperatingSystemProcessorAndMemoryDetailsReadBack) {
    auto rows = [](const char* tree, const std::string& cls, const Props& p) {
        return Rows(kTrees + "/" + tree, cls, p);
    };
    using V = std::vector<std::string>;
    // Dates in the zone's offset of their own moment: summer and winter in Paris,
    // a negative offset in São Paulo.
    const Props os = {"Version", "BuildNumber", "InstallDate", "LastBootUpTime", "SystemDrive"};
    EXPECT_EQ(rows("laptop", "Win32_OperatingSystem", os),
              V{"<null>|6.5.0-35-generic|20240416100000.000000+120|20241209083000.000000+060|/"});
    EXPECT_EQ(rows("escaped", "Win32_OperatingSystem", {"InstallDate", "CurrentTimeZone"}),
              V{"20141231220000.000000-120|-180"});
    EXPECT_EQ(rows("win11laptop", "Win32_OperatingSystem", {"Version", "CurrentTimeZone"}),
              V{"12|540"});
    EXPECT_EQ(rows("notroot", "Win32_OperatingSystem", {"InstallDate"}), V{"<null>"});
    EXPECT_EQ(
        rows("win11laptop", "Harvix_OperatingSystem", {"Edition", "DisplayVersion", "TimeZone"}),
        V{"Debian GNU/Linux|12 (bookworm)|Asia/Tokyo"});
    EXPECT_EQ(rows("laptop", "Harvix_OperatingSystem", {"TimeZone"}), V{"Europe/Paris"});

    const Props cpu = {"Manufacturer",  "Description", "MaxClockSpeed", "CurrentClockSpeed",
                       "ExternalClock", "ProcessorId", "Architecture"};
    EXPECT_EQ(rows("laptop", "Win32_Processor", cpu),
              V{"GenuineIntel|Intel64 Family 6 Model 142 Stepping 12|4600|1800|100|"
                "BFEBFBFF000806EC|9"});
    // cpu0's platform id from its MSR, Intel only; where Windows 11's verdict needs it
    // and it cannot be read, said why.
    EXPECT_EQ(rows("amberlake", "Harvix_Processor", {"PlatformId"}), V{"4"});
    EXPECT_EQ(rows("kabylake", "Harvix_Processor", {"PlatformId"}), V{"<null>"});
    EXPECT_EQ(rows("vm", "Harvix_Processor", {"PlatformId"}), V{"<null>"});
    EXPECT_EQ(rows("kabylake", "Harvix_Unread", {"What", "Why"}),
              V{"Identifiant de plateforme|lecture réservée à l'administrateur, avec le module "
                "msr (/dev/cpu/0/msr)"});
    EXPECT_TRUE(rows("notroot", "Harvix_Unread", {"What"}).empty());  // no stepping 9
    EXPECT_EQ(rows("vm", "Win32_Processor", cpu),
              V{"AuthenticAMD|AMD64 Family 23 Model 49 Stepping 0|<null>|2000|<null>|"
                "178BFBFF00830F10|9"});
    const Props mem = {"SMBIOSMemoryType", "ConfiguredClockSpeed", "DeviceLocator"};
    EXPECT_EQ(rows("win11laptop", "Win32_PhysicalMemory", mem),
              (V{"34|4800|Controller0-ChannelA-DIMM0", "34|4800|Controller0-ChannelA-DIMM1"}));
    EXPECT_EQ(rows("legacytpm12", "Win32_PhysicalMemory", mem)[0],
              "24|1600|Controller0-ChannelA-DIMM0");
}

TEST(Provider, InstalledDpkgPackagesReadBack) {
    const Props sw = {"Name", "Version", "Publisher", "InstallDate", "Architecture", "Source"};
    // Held packages count, removed ones keeping their configuration do not. Named as
    // GLPI's agent names them: the bare package, its architecture apart, the distribution
    // as publisher; a Multi-Arch: same package's list file carries its architecture.
    EXPECT_EQ(Rows(kTrees + "/laptop", "Harvix_Software", sw),
              (std::vector<std::string>{
                  "base-files|12ubuntu4.6|Ubuntu|2024-04-16|amd64|dpkg",
                  "libc6|2.35-0ubuntu3.8|Ubuntu|2024-10-27|amd64|dpkg",
                  "libc6|2.35-0ubuntu3.8|Ubuntu|2024-10-27|i386|dpkg",
                  "firefox|1:1snap1-0ubuntu2|Ubuntu|2024-07-03|amd64|dpkg",
                  "tzdata|2024a-0ubuntu0.22.04|Ubuntu|2024-04-16|all|dpkg"}));
    EXPECT_EQ(Rows(kTrees + "/legacytpm12", "Harvix_Software", {"Publisher"})[0], "Debian");
    EXPECT_EQ(Rows(kTrees + "/server", "Harvix_Software", {"Publisher"})[0], "<null>");  // no ID
    // CR LF line ends; a package without a list file has no date.
    EXPECT_EQ(Rows(kTrees + "/escaped", "Harvix_Software", {"Name", "Version", "InstallDate"}),
              (std::vector<std::string>{"base-files|12.4+deb12u5|<null>",
                                        "vim|2:9.0.1378-2|2023-11-14"}));
    auto odd = ParseDpkgStatus(
        "Description: no package\nStatus: install ok installed\n\n"
        "package: a\nSTATUS: install ok installed\nMaintainer: Solo\nVersion: 1\n"
        "Multi-Arch: same\nArchitecture: all\n\n\n"
        "Package: b\nStatus: install ok half-configured\n\nPackage: c\nStatus: hold ok installed");
    ASSERT_EQ(odd.size(), 2u);
    EXPECT_EQ(odd[0].Name, "a");  // "all" packages take no qualifier
    EXPECT_EQ(odd[0].Publisher, "Solo");
    EXPECT_EQ(odd[1].Name, "c");
    EXPECT_FALSE(odd[1].Version);
}

// Copies a tree and runs the reader as "nobody" in a child, after taking the
// rights on the TPM, the EFI variables and the UUID away as the kernel does.
TEST(Provider, WhatOnlyRootMayReadIsNullAndSaidSo) {
    if (geteuid() != 0) GTEST_SKIP() << "changing owners needs root";
    const fs::path tree = testing::MakeTempDir("harvix-notroot-");
    fs::permissions(tree, fs::perms(0755));
    fs::copy(kTrees + "/notroot", tree,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::permissions(tree / "sys/class/dmi/id/product_uuid", fs::perms::owner_read);
    fs::permissions(tree / "sys/firmware/efi/efivars", fs::perms::owner_all);
    fs::permissions(tree / "sys/devices/pnp0/00:05/tpm/tpm0", fs::perms::owner_all);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
        std::string out;
        const std::vector<std::pair<std::string, Props>> queries = {
            {"Win32_ComputerSystemProduct", {"UUID", "Name"}},
            {"Harvix_Firmware", {"FirmwareType", "SecureBoot", "Ca2023Status"}},
            {"Harvix_Tpm", {"Present", "SpecVersion"}},
            {"Harvix_Unread", {"What", "Why"}}};
        try {
            for (const auto& [cls, props] : queries)
                for (const std::string& row : Rows(tree.string(), cls, props)) out += row + "\n";
        } catch (const std::exception&) {
            _exit(4);
        }
        _exit(write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 3);
    }
    close(fds[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, n);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    fs::remove_all(tree);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(got,
              "<null>|20R1S0BK00\n"
              "UEFI|<null>|<null>\n"
              "<null>|<null>\n"
              "UUID|lecture réservée à l'administrateur (/sys/class/dmi/id/product_uuid)\n"
              "Secure Boot|lecture réservée à l'administrateur (/sys/firmware/efi/efivars)\n"
              "TPM|lecture réservée à l'administrateur (/sys/class/tpm/tpm0)\n");
}

// ---- whole machines ----

std::vector<std::string> ReadLines(const std::string& path, bool fromReport) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str(), utf8;
    if (fromReport) {
        for (unsigned char c : text) {  // the trees hold only Latin-1 texts
            if (c < 0x80) {
                utf8 += static_cast<char>(c);
            } else {
                utf8 += static_cast<char>(0xC0 | (c >> 6));
                utf8 += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        text = utf8;
    }
    std::vector<std::string> lines;
    std::string line;
    std::istringstream ls(text);
    while (std::getline(ls, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class RecordedMachine : public ::testing::TestWithParam<const char*> {};

TEST_P(RecordedMachine, ReplaysIntoTheExpectedReport) {
    HARVIX_USE_LOCALE(c, "C");
    const std::string tmpl = testing::MakeTempDir("harvix-tree-");
    testing::SetEnv("COMPUTERNAME", "PC");
    testing::SetEnv("USERNAME", "tech");
    WmiService = std::make_shared<linuxwmi::Provider>(kTrees + "/" + GetParam());
    RunInventory(tmpl, "/");
    auto report = ReadLines(std::string(tmpl) + "/PC_report.html", true);
    auto expected = ReadLines(kTrees + "/" + GetParam() + ".expected", false);
    ASSERT_EQ(report.size(), 7 + expected.size() + 15);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(report[7 + i], expected[i]) << "line " << 8 + i;
    fs::remove_all(tmpl);
    testing::UnsetEnv("COMPUTERNAME");
    testing::UnsetEnv("USERNAME");
}

INSTANTIATE_TEST_SUITE_P(Trees, RecordedMachine,
                         ::testing::Values("laptop", "server", "vm", "container", "escaped",
                                           "win11laptop", "legacytpm12", "notroot", "smallvm",
                                           "amberlake", "kabylake", "precision5520"));

}  // namespace
}  // namespace harvix
