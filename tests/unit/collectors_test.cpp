// The collectors on the scripted double: what each query's objects, nulls,
// missing properties and failures leave in the records.
#include <gtest/gtest.h>

#include "extract_between.h"
#include "inventory/modGetInfos.h"
#include "test_support.h"
#include "wmi_double.h"

namespace harvix {
namespace {

using testing::ExtractBetween;
using testing::FakeObject;
using testing::FakeService;
using testing::InstallFake;

const char* const kProcessor = "Select * from Win32_Processor";
const char* const kProduct = "Select IdentifyingNumber from Win32_ComputerSystemProduct";
const char* const kSystem = "Select * from Win32_ComputerSystem";
const char* const kDomain = "Select Domain from Win32_ComputerSystem";
const char* const kOs = "Select * from Win32_OperatingSystem";
const char* const kArrays = "Select * from Win32_PhysicalMemoryArray";
const char* const kModules = "Select * from Win32_PhysicalMemory";
const char* const kPartitions = "Select * from Win32_DiskPartition";
const char* const kDisks = "Select * from Win32_DiskDrive";
const char* const kVolumeLinks = "Select * from Win32_LogicalDiskToPartition";
const char* const kDriveLinks = "Select * from Win32_DiskDriveToDiskPartition";
const char* const kLogicalDisks = "Select * from Win32_LogicalDisk";

std::string PartitionPath(const std::string& id) {
    return "\\\\PC\\root\\cimv2:Win32_DiskPartition.DeviceID=\"" + id + "\"";
}
std::string DrivePath(int n) {
    return "\\\\PC\\root\\cimv2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE" +
           std::to_string(n) + "\"";
}
std::string LogicalPath(const std::string& name) {
    return "\\\\PC\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"" + name + "\"";
}

TEST(GeneralCollectors, ProcessorNamesLoseTrademarksAndTheLastObjectDecides) {
    auto fake = InstallFake();
    fake->On(kProcessor).Objects = {
        FakeObject{{"Name", "First"}, {"NumberOfCores", 4}, {"NumberOfLogicalProcessors", 8}},
        FakeObject{{"Name", "  Intel(R) Core(TM) i5-8250U CPU"},
                   {"NumberOfCores", 8},
                   {"NumberOfLogicalProcessors", WmiValue()}},
    };
    CpuInfos cpu = GetCpuInfos();
    EXPECT_EQ(cpu.Name, "  Intel Core i5-8250U CPU");
    EXPECT_EQ(cpu.PhysicalCores, "8");  // not a sum
    EXPECT_EQ(cpu.LogicalCores, "8");   // null on the last object keeps the first one's

    fake->On(kProcessor).Objects = {FakeObject{{"Name", "((R)TM) Core(tm)"}}};
    EXPECT_EQ(GetCpuInfos().Name, " Core(tm)");

    fake->On(kProcessor).FailStart = true;
    EXPECT_EQ(GetCpuInfos(), CpuInfos{});
}

TEST(GeneralCollectors, SerialNumberModelAndSystemRules) {
    auto fake = InstallFake();
    auto serial = [&](WmiValue v) {
        fake->On(kProduct).Objects = {FakeObject{{"IdentifyingNumber", v}}};
        return GetSerialNumber();
    };
    EXPECT_EQ(serial("   "), "N/A");
    EXPECT_EQ(serial(""), "N/A");
    EXPECT_EQ(serial(WmiValue()), "N/A");
    EXPECT_EQ(serial(" SN 42 "), " SN 42 ");
    fake->On(kProduct).Objects.clear();
    EXPECT_EQ(GetSerialNumber(), "");  // no object: no "N/A"
    fake->On(kProduct).FailStart = true;
    EXPECT_EQ(GetSerialNumber(), "N/A");

    fake->On(kSystem).Objects = {FakeObject{{"Manufacturer", "ACME Corp."}, {"Model", "X200"}}};
    EXPECT_EQ(GetComputerModel(), "ACME Corp. - X200");
    fake->On(kSystem).Objects = {FakeObject{{"Manufacturer", WmiValue()}, {"Model", "X200"}}};
    EXPECT_EQ(GetComputerModel(), " - X200");

    fake->On(kOs).Objects = {FakeObject{{"Caption", "Microsoft Windows 10 Professionnel"},
                                        {"OSArchitecture", "64 bits"}}};
    EXPECT_EQ(GetOperatingSystem(), "Microsoft Windows 10 Professionnel (64 bits)");
    fake->On(kOs).Objects = {FakeObject{{"Caption", "Linux"}, {"OSArchitecture", WmiValue()}}};
    EXPECT_EQ(GetOperatingSystem(), "Linux ()");
    // A property missing from the object skips the whole step.
    fake->On(kOs).Objects = {FakeObject{{"Caption", "Linux"}}};
    EXPECT_EQ(GetOperatingSystem(), "");

    fake->On(kDomain).Objects = {FakeObject{{"Domain", WmiValue()}}};
    EXPECT_EQ(GetDomain(), "");
}

TEST(GeneralCollectors, EveryQueryFailingLeavesTheEnvironmentAndNA) {
    auto fake = InstallFake();  // nothing scripted: every start fails
    testing::SetEnv("COMPUTERNAME", "PC-COMPTA");
    testing::SetEnv("USERNAME", "jdupont");
    GeneralInfos g = GetGeneralInfos();
    EXPECT_EQ(g, (GeneralInfos{"", "PC-COMPTA", "", "jdupont", "", "N/A"}));
    EXPECT_EQ(GetCpuInfos(), CpuInfos{});
    // The domain, model, serial and OS queries run in that order.
    EXPECT_EQ(fake->Log, (std::vector<std::string>{kDomain, kSystem, kProduct, kOs, kProcessor}));
    testing::UnsetEnv("COMPUTERNAME");
    testing::UnsetEnv("USERNAME");
}

TEST(MemoryCollector, ArraysModulesAndTheirRoundingAtEveryArray) {
    HARVIX_USE_LOCALE(c, "C");
    auto fake = InstallFake();
    fake->On(kSystem).Objects = {FakeObject{{"TotalPhysicalMemory", "17179869184"}}};
    fake->On(kArrays).Objects = {FakeObject{{"MaxCapacity", 32 * 1048576}, {"MemoryDevices", 2}}};
    fake->On(kModules).Objects = {
        FakeObject{{"BankLabel", "BANK 0"},
                   {"FormFactor", 12},
                   {"Capacity", "8589934592"},
                   {"Manufacturer", "Samsung"},
                   {"PartNumber", "M471A1K43CB1-CTD"},
                   {"SerialNumber", "  1234ABCD  "},
                   {"Speed", 2667}},
        FakeObject{{"BankLabel", "BANK 2"},
                   {"FormFactor", 12},
                   {"Capacity", WmiValue()},
                   {"Manufacturer", "Hynix"},
                   {"PartNumber", "HMA"},
                   {"SerialNumber", WmiValue()},
                   {"Speed", WmiValue()}},
    };
    MemoryInfos m = GetMemoryInfos();
    EXPECT_EQ(m.Installed, "16.00 Go");
    EXPECT_EQ(m.MaxSupported, "32 Go");
    EXPECT_EQ(m.SlotCount, 2);
    EXPECT_EQ(m.UsedSlots, 2);
    ASSERT_EQ(m.Modules.UBound(), 2);
    EXPECT_EQ(m.Modules[0], MemoryModule{});
    EXPECT_EQ(m.Modules[1], (MemoryModule{"Samsung", "2667 MHz", "8.00 Go", "M471A1K43CB1-CTD",
                                          "1234ABCD", "BANK 0", 12}));
    EXPECT_EQ(m.Modules[2], (MemoryModule{"Hynix", " MHz", "", "HMA", "", "BANK 2", 12}));

    auto total = [&](std::vector<double> gigabytes) {
        fake->On(kArrays).Objects.clear();
        for (double g : gigabytes)
            fake->On(kArrays).Objects.push_back(
                FakeObject{{"MaxCapacity", std::to_string(static_cast<long long>(g * 1048576))}});
        return GetMemoryInfos().MaxSupported;
    };
    EXPECT_EQ(total({32, 16}), "48 Go");
    EXPECT_EQ(total({1.5}), "2 Go");
    EXPECT_EQ(total({2.5}), "2 Go");
    EXPECT_EQ(total({1.5, 1.5}), "4 Go");  // 0 + 1.5 -> 2, then 2 + 1.5 -> 4
}

TEST(MemoryCollector, FailuresLeaveTheirTargetsAndCountAFailedModuleQuery) {
    auto fake = InstallFake();  // all three starts fail
    MemoryInfos m = GetMemoryInfos();
    EXPECT_EQ(m.Installed, "");
    EXPECT_EQ(m.MaxSupported, "0 Go");
    EXPECT_EQ(m.SlotCount, 0);
    EXPECT_EQ(m.UsedSlots, 1);
    ASSERT_EQ(m.Modules.UBound(), 1);
    EXPECT_EQ(m.Modules[1], MemoryModule{});
    EXPECT_EQ(fake->Log, (std::vector<std::string>{kSystem, kArrays, kModules}));

    // Arrays but no modules; a slot count leaving 16 bits keeps the earlier sum.
    fake->On(kModules);
    fake->On(kArrays).Objects = {FakeObject{{"MaxCapacity", WmiValue()}, {"MemoryDevices", 4}},
                                 FakeObject{{"MaxCapacity", 1048576}, {"MemoryDevices", 40000}}};
    m = GetMemoryInfos();
    EXPECT_EQ(m.UsedSlots, 0);
    EXPECT_EQ(m.Modules.UBound(), 0);
    EXPECT_EQ(m.SlotCount, 4);
    EXPECT_EQ(m.MaxSupported, "1 Go");

    // A failed advance after the first module keeps that module only.
    fake->On(kModules).Objects = {FakeObject{{"BankLabel", "A"}}, FakeObject{{"BankLabel", "B"}}};
    fake->On(kModules).FailAdvanceAfter = 1;
    m = GetMemoryInfos();
    ASSERT_EQ(m.Modules.UBound(), 1);
    EXPECT_EQ(m.Modules[1].BankLabel, "A");
    EXPECT_EQ(m.Modules[1].Speed, "");  // Speed could not be read at all
}

TEST(DiskCollector, SizesKeysAndTheLastMatchingPartitionDecidesTheStyle) {
    auto fake = InstallFake();
    fake->On(kPartitions).Objects = {
        FakeObject{{"Type", "GPT: System"}, {"DiskIndex", 0}},
        FakeObject{{"Type", "Installable File System"}, {"DiskIndex", 1}},
        FakeObject{{"Type", "GPT: Basic Data"}, {"DiskIndex", 0}},
        FakeObject{{"Type", "GPT: System"}, {"DiskIndex", 2}},
        FakeObject{{"Type", "Installable File System"}, {"DiskIndex", 2}},
        FakeObject{{"Type", "gpt: odd"}, {"DiskIndex", 3}},
    };
    auto disk = [](int n, WmiValue size) {
        return FakeObject{{"Model", "Disk " + std::to_string(n)},
                          {"Size", size},
                          {"DeviceID", "\\\\.\\PHYSICALDRIVE" + std::to_string(n)},
                          {"InterfaceType", "SCSI"},
                          {"SerialNumber", "  S" + std::to_string(n) + "  "},
                          {"Partitions", 2},
                          {"MediaType", "Fixed hard disk media"}};
    };
    fake->On(kDisks).Objects = {disk(1, "500107862016"),
                                disk(0, "256060514304"),
                                disk(2, "1500000000"),
                                disk(3, "499999999"),
                                disk(4, WmiValue()),
                                FakeObject{{"DeviceID", "USBSTOR\\DISK"},
                                           {"Size", "2000000000000"},
                                           {"SerialNumber", "   "},
                                           {"Partitions", 40000}}};
    DiskList list = GetDiskInfos();
    ASSERT_EQ(list.Count, 6);
    ASSERT_EQ(list.Disks.UBound(), 6);
    EXPECT_EQ(list.Disks[0], DiskInfos{});
    const DiskInfos& d1 = list.Disks[1];
    EXPECT_EQ(d1, (DiskInfos{"Disk 1", "S1", "500 Go", "SCSI", "DRIVE1", 2, "Fixed hard disk media",
                             "MBR"}));
    EXPECT_EQ(list.Disks[2].Size, "256 Go");
    EXPECT_EQ(list.Disks[2].PartitionStyle, "GPT");
    EXPECT_EQ(list.Disks[3].Size, "2 Go");           // 1.5: the half rounds up
    EXPECT_EQ(list.Disks[3].PartitionStyle, "MBR");  // GPT first, then MBR: last wins
    EXPECT_EQ(list.Disks[4].Size, " Go");            // rounds to 0: no digits
    EXPECT_EQ(list.Disks[4].PartitionStyle, "MBR");  // lower-case gpt
    EXPECT_EQ(list.Disks[5].Size, " Go");            // null size (card reader)
    EXPECT_EQ(list.Disks[5].PartitionStyle, "");     // no partition of its own
    const DiskInfos& odd = list.Disks[6];
    EXPECT_EQ(odd.DiskId, "");  // no "PHYSICAL" in the device path
    EXPECT_EQ(odd.Size, "2000 Go");
    EXPECT_EQ(odd.SerialNumber, "");
    EXPECT_EQ(odd.Partitions, 0);
    EXPECT_EQ(odd.PartitionStyle, "");
    EXPECT_EQ(fake->Log, (std::vector<std::string>{kPartitions, kDisks}));
}

TEST(DiskCollector, FailedQueriesMeetOnTheEmptyKey) {
    auto fake = InstallFake();  // both starts fail
    DiskList list = GetDiskInfos();
    ASSERT_EQ(list.Count, 1);
    EXPECT_EQ(list.Disks[1], (DiskInfos{"", "", "", "", "", 0, "", "MBR"}));

    fake->On(kPartitions).Objects = {FakeObject{{"Type", "GPT: System"}, {"DiskIndex", WmiValue()}},
                                     FakeObject{{"Type", "GPT: System"}}};
    fake->On(kDisks).Objects = {FakeObject{{"DeviceID", "\\\\.\\PHYSICAL"}}};
    list = GetDiskInfos();
    // A null DiskIndex gives "DRIVE"; a missing one leaves the key empty,
    // which matches the disk whose key is empty.
    EXPECT_EQ(list.Disks[1].DiskId, "");
    EXPECT_EQ(list.Disks[1].PartitionStyle, "GPT");
}

TEST(VolumeCollector, DriveTypesUsedSpaceAndTheLookupThroughBothAssociations) {
    auto fake = InstallFake();
    fake->On(kVolumeLinks).Objects = {
        FakeObject{{"Antecedent", PartitionPath("Disk #0, Partition #1")},
                   {"Dependent", LogicalPath("C:")}},
        FakeObject{{"Antecedent", PartitionPath("Disk #1, Partition #0")},
                   {"Dependent", LogicalPath("D:")}},
        FakeObject{{"Antecedent", PartitionPath("Disk #2, Partition #0")},
                   {"Dependent", LogicalPath("D:")}},
        FakeObject{{"Antecedent", PartitionPath("Disk #3, Partition #0")},
                   {"Dependent", LogicalPath("e:")}},
    };
    fake->On(kDriveLinks).Objects = {
        FakeObject{{"Antecedent", DrivePath(0)},
                   {"Dependent", PartitionPath("Disk #0, Partition #1")}},
        FakeObject{{"Antecedent", DrivePath(1)},
                   {"Dependent", PartitionPath("Disk #1, Partition #0")}},
        FakeObject{{"Antecedent", "\\\\PC\\root\\cimv2:Win32_DiskDrive.DeviceID=\"USB\""},
                   {"Dependent", PartitionPath("Disk #3, Partition #0")}},
    };
    auto logical = [](const char* name, WmiValue type, WmiValue size, WmiValue free) {
        return FakeObject{{"DriveType", type}, {"Name", name}, {"FileSystem", "NTFS"},
                          {"FreeSpace", free}, {"Size", size}, {"VolumeName", "Label"}};
    };
    fake->On(kLogicalDisks).Objects = {
        logical("C:", 3, "250000000000", "100000000000"),
        logical("Z:", 4, "1", "1"),
        logical("R:", 5, "1", "1"),
        logical("M:", 6, "1", "1"),
        logical("D:", 2, "1000", "1000"),
        logical("E:", WmiValue(), "1", "1"),                             // null type: left out
        logical("F:", 2, WmiValue(), WmiValue()),                        // empty card reader
        FakeObject{{"Name", "G:"}, {"Size", "10"}, {"FreeSpace", "4"}},  // unreadable type: kept
    };
    VolumeList list = GetVolumeInfos();
    ASSERT_EQ(list.Count, 4);
    EXPECT_EQ(list.Volumes[0], VolumeInfos{});
    EXPECT_EQ(list.Volumes[1],
              (VolumeInfos{"C:", "Label", 3, "100000000000", "250000000000", "150000000000", "NTFS",
                           "Disk #0, Partition #1", "DRIVE0"}));
    // Two links: the later partition wins; it has no drive link, so the disk stays the earlier
    // one's.
    EXPECT_EQ(list.Volumes[2].PartitionId, "Disk #2, Partition #0");
    EXPECT_EQ(list.Volumes[2].DiskId, "DRIVE1");
    EXPECT_EQ(list.Volumes[2].UsedSpace, "0");
    EXPECT_EQ(list.Volumes[3], (VolumeInfos{"F:", "Label", 2, "", "", "", "NTFS", "", ""}));
    EXPECT_EQ(list.Volumes[4].Name, "G:");
    EXPECT_EQ(list.Volumes[4].DriveType, 0);
    EXPECT_EQ(list.Volumes[4].UsedSpace, "6");
    EXPECT_EQ(fake->Log, (std::vector<std::string>{kVolumeLinks, kDriveLinks, kLogicalDisks}));
}

TEST(VolumeCollector, FailedStartsAndKeysWithoutPhysical) {
    auto fake = InstallFake();  // all starts fail
    VolumeList list = GetVolumeInfos();
    ASSERT_EQ(list.Count, 1);
    EXPECT_EQ(list.Volumes[1], VolumeInfos{});

    fake->On(kVolumeLinks).Objects = {FakeObject{
        {"Antecedent", PartitionPath("Disk #3, Partition #0")}, {"Dependent", LogicalPath("E:")}}};
    fake->On(kDriveLinks).Objects = {
        FakeObject{{"Antecedent", "\\\\PC\\root\\cimv2:Win32_DiskDrive.DeviceID=\"USBSTOR\""},
                   {"Dependent", PartitionPath("Disk #3, Partition #0")}}};
    fake->On(kLogicalDisks).Objects = {FakeObject{{"DriveType", 2}, {"Name", "E:"}},
                                       FakeObject{{"DriveType", 3}, {"Name", "e:"}}};
    list = GetVolumeInfos();
    ASSERT_EQ(list.Count, 2);
    EXPECT_EQ(list.Volumes[1].PartitionId, "Disk #3, Partition #0");
    EXPECT_EQ(list.Volumes[1].DiskId, "");
    EXPECT_EQ(list.Volumes[2].PartitionId, "");  // names compare case-sensitively
}

TEST(VolumeCollector, EscapedKeysReadBackWholeAndWindowsKeysAsBefore) {
    // Windows' own keys: what the first pair of quotes gives.
    for (const std::string& path :
         {LogicalPath("C:"), PartitionPath("Disk #0, Partition #1"), DrivePath(0),
          std::string("no quotes"), std::string("one \" only"), std::string("empty \"\" key")}) {
        std::int32_t start = 1;
        std::string old = ExtractBetween(path, "\"", "\"", start);
        std::string key = QuotedKey(path);
        if (old.find("PHYSICAL") != std::string::npos)
            EXPECT_EQ(key.substr(key.find("PHYSICAL")), old.substr(old.find("PHYSICAL")));
        else
            EXPECT_EQ(key, old) << path;
    }
    EXPECT_EQ(QuotedKey(DrivePath(0)), "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(QuotedKey(LogicalPath("/media/a\\\"b")), "/media/a\"b");
    EXPECT_EQ(QuotedKey(LogicalPath("/mnt/a\\\\b")), "/mnt/a\\b");
    EXPECT_EQ(QuotedKey(LogicalPath("/mnt/end\\\\")), "/mnt/end\\");  // escaped backslash last
    EXPECT_EQ(QuotedKey(LogicalPath("/mnt/x\\y")), "/mnt/x\\y");      // nothing else is an escape
    EXPECT_EQ(QuotedKey("key=\"open \\\" never closed"), "");

    auto fake = InstallFake();
    const std::string quote = "/media/a\"b", backslash = "/mnt/a\\b";
    auto escaped = [](const std::string& name) {
        std::string out;
        for (char c : name)
            out += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
        return LogicalPath(out);
    };
    fake->On(kVolumeLinks).Objects = {
        FakeObject{{"Antecedent", PartitionPath("Disk #0, Partition #1")},
                   {"Dependent", escaped(quote)}},
        FakeObject{{"Antecedent", PartitionPath("Disk #0, Partition #2")},
                   {"Dependent", escaped(backslash)}}};
    fake->On(kDriveLinks).Objects = {
        FakeObject{{"Antecedent", DrivePath(0)},
                   {"Dependent", PartitionPath("Disk #0, Partition #1")}},
        FakeObject{{"Antecedent", DrivePath(0)},
                   {"Dependent", PartitionPath("Disk #0, Partition #2")}}};
    fake->On(kLogicalDisks).Objects = {FakeObject{{"DriveType", 2}, {"Name", quote}},
                                       FakeObject{{"DriveType", 3}, {"Name", backslash}}};
    VolumeList list = GetVolumeInfos();
    ASSERT_EQ(list.Count, 2);
    EXPECT_EQ(list.Volumes[1].PartitionId, "Disk #0, Partition #1");
    EXPECT_EQ(list.Volumes[1].DiskId, "DRIVE0");
    EXPECT_EQ(list.Volumes[2].PartitionId, "Disk #0, Partition #2");
    EXPECT_EQ(list.Volumes[2].DiskId, "DRIVE0");
}

}  // namespace
}  // namespace harvix
