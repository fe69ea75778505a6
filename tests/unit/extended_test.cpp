// The extended collectors on the scripted double, their value conversions, and
// the Windows 11 verdict drawn from what they read.
#include "inventory/extended.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "inventory/extended_values.h"
#include "platform/text.h"
#include "wmi/uninstall.h"
#include "wmi_double.h"

namespace harvix {
namespace {

using testing::FakeObject;
using testing::InstallFake;

std::string Q(const std::string& cls) {
    return "Select * from " + cls;
}

// A Windows 11 laptop as WMI and the composite service describe it.
void ScriptWindowsLaptop(testing::FakeService& fake) {
    fake.On(Q("Win32_BIOS")).Objects = {FakeObject{{"Manufacturer", "LENOVO"},
                                                   {"SMBIOSBIOSVersion", "N3HET82W (1.54 )"},
                                                   {"ReleaseDate", "20230915000000.000000+000"},
                                                   {"SerialNumber", "PF3ABCDE "}}};
    fake.On(Q("Win32_ComputerSystemProduct")).Objects = {
        FakeObject{{"UUID", "4C4C4544-0042-3510-8056-B4C04F4A4D32"}, {"Vendor", "LENOVO"}}};
    fake.On(Q("Win32_ComputerSystem")).Objects = {FakeObject{
        {"Manufacturer", "LENOVO"}, {"Model", "20XW"}, {"TotalPhysicalMemory", "16889737216"}}};
    fake.On(Q("Win32_SystemEnclosure")).Objects = {FakeObject{{"ChassisTypes", "2,10"}}};
    fake.On(Q("Harvix_Firmware")).Objects = {FakeObject{
        {"FirmwareType", "UEFI"}, {"SecureBoot", "enabled"}, {"Ca2023Status", "NotStarted"}}};
    fake.On(Q("Harvix_Tpm")).Objects = {
        FakeObject{{"Present", -1}, {"SpecVersion", "2.0"}, {"Manufacturer", "STM"}}};
    fake.On(Q("Win32_OperatingSystem")).Objects = {
        FakeObject{{"Caption", "Microsoft Windows 11 Professionnel"},
                   {"Version", "10.0.22631"},
                   {"BuildNumber", "22631"},
                   {"CSDVersion", "Service Pack 1"},
                   {"OSArchitecture", "64 bits"},
                   {"InstallDate", "20240102093015.000000+060"},
                   {"LastBootUpTime", "20261208071502.500000+060"},
                   {"CurrentTimeZone", 60},
                   {"SystemDrive", "C:"}}};
    fake.On(Q("Harvix_OperatingSystem")).Objects = {
        FakeObject{{"Edition", "Professional"}, {"DisplayVersion", "23H2"}, {"UBR", 4169}}};
    fake.On(Q("Win32_Processor")).Objects = {
        FakeObject{{"Manufacturer", "GenuineIntel"},
                   {"Name", "11th Gen Intel(R) Core(TM) i5-1135G7 @ 2.40GHz"},
                   {"Description", "Intel64 Family 6 Model 140 Stepping 1"},
                   {"MaxClockSpeed", 2419},
                   {"NumberOfCores", 4},
                   {"NumberOfLogicalProcessors", 8},
                   {"Architecture", 9}}};
    fake.On(Q("Win32_PhysicalMemory")).Objects = {
        FakeObject{
            {"SMBIOSMemoryType", 26}, {"ConfiguredClockSpeed", 3200}, {"Capacity", "8589934592"}},
        FakeObject{{"SMBIOSMemoryType", 26},
                   {"ConfiguredClockSpeed", 0},
                   {"Speed", 2667},
                   {"Capacity", "8589934592"}}};
    fake.On(Q("Win32_DiskDrive")).Objects = {FakeObject{{"DeviceID", "\\\\.\\PHYSICALDRIVE0"},
                                                        {"Index", 0},
                                                        {"Size", "512105932800"},
                                                        {"FirmwareRevision", "4L1QFXV7"}}};
    fake.On(Q("Harvix_PhysicalDisk")).Objects = {FakeObject{{"Index", 0}, {"Rotational", 0}}};
    fake.On(Q("Win32_LogicalDisk")).Objects = {FakeObject{{"Name", "C:"},
                                                          {"DriveType", 3},
                                                          {"Size", "510770802688"},
                                                          {"VolumeSerialNumber", "A1B2C3D4"}},
                                               FakeObject{{"Name", "E:"}, {"DriveType", 5}}};
    fake.On(Q("Win32_LogicalDiskToPartition")).Objects = {
        FakeObject{{"Antecedent",
                    "\\\\PC\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #2\""},
                   {"Dependent", "\\\\PC\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"C:\""}}};
    fake.On(Q("Win32_DiskDriveToDiskPartition")).Objects = {
        FakeObject{{"Antecedent",
                    "\\\\PC\\root\\cimv2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\""},
                   {"Dependent",
                    "\\\\PC\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #2\""}}};
    fake.On(Q("Harvix_VolumeEncryption")).Objects = {
        FakeObject{{"Name", "C:"}, {"Type", "BitLocker"}, {"Status", "Yes"}}};
    fake.On(Q("Harvix_NetworkAdapter")).Objects = {
        FakeObject{{"Name", "Wi-Fi"},
                   {"MACAddress", "aa:bb:cc:dd:ee:ff"},
                   {"Speed", "866700000"},
                   {"DHCPEnabled", -1},
                   {"Gateways", "192.168.1.1,fe80::1"},
                   {"MTU", 1500}},
        FakeObject{{"Name", "Ethernet"}, {"Status", "down"}, {"Virtual", 0}}};
    fake.On(Q("Harvix_NetworkAddress")).Objects = {
        FakeObject{
            {"Adapter", "Wi-Fi"}, {"Address", "192.168.1.20"}, {"PrefixLength", 24}, {"Family", 4}},
        FakeObject{
            {"Adapter", "Wi-Fi"}, {"Address", "fe80::1c2d"}, {"PrefixLength", 64}, {"Family", 6}}};
    fake.On(Q("Win32_VideoController")).Objects = {FakeObject{
        {"Name", "Intel(R) Iris(R) Xe Graphics"},
        {"AdapterRAM", static_cast<std::int32_t>(-2147483647 - 1)},
        {"PNPDeviceID", "PCI\\VEN_8086&DEV_9A49&SUBSYS_22E417AA&REV_01\\3&11583659&0&10"},
        {"CurrentHorizontalResolution", 1920},
        {"CurrentVerticalResolution", 1080}}};
    fake.On(Q("Harvix_Software")).Objects = {
        FakeObject{{"Name", "7-Zip 23.01 (x64)"}, {"InstallDate", "2024-01-03"}},
        FakeObject{{"Name", WmiValue()}, {"Version", "1.0"}},  // nameless: left out
        FakeObject{{"Name", "Old"}, {"InstallDate", "20240103"}}};
}

TEST(ExtendedCollectors, WindowsLaptopReadJoinedAndReady) {
    auto fake = InstallFake();
    ScriptWindowsLaptop(*fake);
    ExtendedInfos x = GetExtendedInfos();

    EXPECT_EQ(x.Identity.ChassisType, "Notebook");  // "Unknown" (2) names none
    EXPECT_EQ(x.Identity.VirtualMachine, "Physical");
    EXPECT_EQ(x.Identity.TotalMemoryBytes, 16889737216u);
    EXPECT_EQ(x.Firmware.BiosDate, "2023-09-15");
    EXPECT_EQ(x.Firmware.BiosSerial, "PF3ABCDE");
    EXPECT_EQ(x.Tpm.Present, true);
    EXPECT_EQ(x.Os.InstallDate, "2024-01-02 09:30:15");
    EXPECT_EQ(x.Os.LastBoot, "2026-12-08 07:15:02");
    EXPECT_EQ(x.Os.Build, "22631.4169");
    EXPECT_EQ(x.Os.ServicePack, "22631.4169");  // the revision, where there is one
    EXPECT_EQ(x.Os.KernelVersion, "10.0.22631");
    EXPECT_EQ(x.Os.Architecture, "x86_64");
    EXPECT_EQ(x.Os.TimeZoneOffsetMinutes, 60);
    ASSERT_EQ(x.Processors.size(), 1u);
    EXPECT_EQ(x.Processors[0].Model, 140);
    EXPECT_EQ(x.Processors[0].Architecture, "x86_64");
    ASSERT_EQ(x.Modules.size(), 2u);
    EXPECT_EQ(x.Modules[0].Type, "DDR4");
    EXPECT_EQ(x.Modules[1].SpeedMHz, 2667);  // a configured speed of 0 is no speed
    ASSERT_EQ(x.Disks.size(), 1u);
    EXPECT_EQ(x.Disks[0].DiskId, "DRIVE0");
    EXPECT_EQ(x.Disks[0].Rotational, false);
    ASSERT_EQ(x.Volumes.size(), 2u);
    EXPECT_EQ(x.Volumes[0].DiskId, "DRIVE0");
    EXPECT_EQ(x.Volumes[0].SystemDrive, true);
    EXPECT_EQ(x.Volumes[0].EncryptionType, "BitLocker");
    EXPECT_EQ(x.Volumes[1].SystemDrive, false);
    EXPECT_EQ(x.Volumes[1].DiskId, std::nullopt);
    ASSERT_EQ(x.Networks.size(), 2u);
    EXPECT_EQ(x.Networks[0].Gateways, (std::vector<std::string>{"192.168.1.1", "fe80::1"}));
    ASSERT_EQ(x.Networks[0].Addresses.size(), 2u);
    EXPECT_EQ(x.Networks[0].Addresses[1].Family, 6);
    EXPECT_EQ(x.Networks[0].Dhcp, true);
    EXPECT_TRUE(x.Networks[1].Addresses.empty());
    ASSERT_EQ(x.Videos.size(), 1u);
    EXPECT_EQ(x.Videos[0].MemoryBytes, 2147483648u);
    EXPECT_EQ(x.Videos[0].PciId, "8086:9a49");
    EXPECT_EQ(x.Videos[0].Resolution, "1920x1080");
    ASSERT_EQ(x.Software.size(), 2u);
    EXPECT_EQ(x.Software[1].InstallDate, std::nullopt);

    Win11Readiness r = Windows11Readiness(x);
    EXPECT_EQ(r.Verdict, "prêt");
    EXPECT_TRUE(r.Failed.empty() && r.Unknown.empty());
}

TEST(ExtendedCollectors, ServiceWithoutHarvixClassesLeavesTheirFieldsOut) {
    auto fake = InstallFake();
    ScriptWindowsLaptop(*fake);
    for (auto it = fake->Queries.begin(); it != fake->Queries.end();)
        it = it->first.find("Harvix_") != std::string::npos ? fake->Queries.erase(it) : ++it;
    fake->On(Q("Win32_BaseBoard")).FailStart = true;
    ExtendedInfos x = GetExtendedInfos();

    EXPECT_EQ(x.Firmware.FirmwareType, std::nullopt);
    EXPECT_EQ(x.Tpm.Present, std::nullopt);
    EXPECT_EQ(x.Os.Build, "22631");
    EXPECT_EQ(x.Os.ServicePack, "Service Pack 1");
    EXPECT_EQ(x.Identity.BoardMaker, std::nullopt);
    EXPECT_EQ(x.Disks[0].Rotational, std::nullopt);
    EXPECT_EQ(x.Volumes[0].EncryptionType, std::nullopt);
    EXPECT_EQ(x.Volumes[0].DiskId, "DRIVE0");
    // A failed class gives no empty record.
    EXPECT_TRUE(x.Networks.empty() && x.Monitors.empty() && x.Software.empty());
    EXPECT_TRUE(x.Unreadable.empty());

    Win11Readiness r = Windows11Readiness(x);
    EXPECT_EQ(r.Verdict, "indéterminé");
    EXPECT_TRUE(r.Failed.empty());
    EXPECT_EQ(r.Unknown.size(), 3u);  // TPM, UEFI, Secure Boot
}

// The uninstall values' odd forms, read as GLPI's agent reads them.
TEST(ExtendedValues, UninstallFormsAsGlpisAgentReadsThem) {
    auto text = [](const std::u16string& s) {
        std::string bytes;
        for (char16_t c : s) bytes += {char(c & 0xFF), char(c >> 8)};
        return RegistryValue{kRegSz, bytes};
    };
    auto dword = [](std::uint32_t n) {
        return RegistryValue{kRegDword,
                             std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)}};
    };
    UninstallValues v;
    v.DisplayName = text(u"Outil");
    v.DisplayVersion = dword(10);
    v.InstallDate = dword(20230214);
    auto record = ReadUninstallRecord(v);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Version.Text(), "0x0000000A");
    EXPECT_TRUE(record->InstallDate.IsNull());
    // Perl's truth of the text, and of its hex value when it starts with "0x".
    const std::pair<std::u16string, bool> components[] = {{u"1", true},    {u"0", false},
                                                          {u"", false},    {u"0x0", false},
                                                          {u"0x10", true}, {u"oui", true}};
    for (const auto& [component, hidden] : components) {
        v.SystemComponent = text(component);
        EXPECT_EQ(!ReadUninstallRecord(v), hidden) << component.size();
    }
    v.SystemComponent = dword(2);
    EXPECT_FALSE(ReadUninstallRecord(v));
    v.SystemComponent = dword(0);
    EXPECT_TRUE(ReadUninstallRecord(v));
}

TEST(ExtendedValues, DatesCodesAndDescriptions) {
    EXPECT_EQ(CimDate("20230915000000.000000+000"), "2023-09-15");
    EXPECT_EQ(CimDate("2023**15000000.000000+000"), std::nullopt);
    EXPECT_EQ(CimDateTime("20231315000000.000000+000"), std::nullopt);  // month 13
    EXPECT_EQ(CimDateTime("20230915246000.000000+000"), std::nullopt);
    // One check for every date read (BIOS, system and program install dates):
    // only days the calendar has.
    EXPECT_EQ(CimDate("20240229000000.000000+000"), "2024-02-29");
    EXPECT_EQ(CimDate("20000229000000.000000+000"), "2000-02-29");
    EXPECT_EQ(CimDate("21000229000000.000000+000"), std::nullopt);
    EXPECT_EQ(CimDateTime("20230231101500.000000+060"), std::nullopt);
    EXPECT_EQ(IsoDate("2023-04-31"), std::nullopt);
    EXPECT_EQ(IsoDate("2023-12-31"), "2023-12-31");
    EXPECT_FALSE(IsCalendarDate(0, 1, 1));
    EXPECT_TRUE(UninstallDate("20230231").IsNull());
    EXPECT_TRUE(UninstallDate("2023-02-14").IsNull());  // GLPI's agent takes no ISO form
    EXPECT_EQ(UninstallDate("20231130").Text(), "2023-11-30");
    EXPECT_EQ(MemoryTypeName(34), "DDR5");
    EXPECT_EQ(MemoryTypeName(30), "LPDDR4");
    EXPECT_EQ(MemoryTypeName(0), std::nullopt);
    EXPECT_EQ(MemoryTypeName(21), std::nullopt);
    EXPECT_EQ(ChassisFromTypes("9"), "Laptop");
    EXPECT_EQ(ChassisFromTypes(" x, 2 ,35"), "Mini PC");
    EXPECT_EQ(ChassisFromTypes("99"), std::nullopt);
    EXPECT_EQ(ParseCpuDescription("AMD64 Family 25 Model 80 Stepping 0"),
              (CpuSignature{25, 80, 0}));
    EXPECT_EQ(ParseCpuDescription("ARMv8 (64-bit) Family 8 Model D4B Revision F"), std::nullopt);
    using S = std::optional<std::string>;
    EXPECT_EQ(VirtualMachineOf(S("QEMU"), S("Standard PC (Q35 + ICH9, 2009)"), {}, {}), "QEMU");
    EXPECT_EQ(VirtualMachineOf(S("innotek GmbH"), S("VirtualBox"), {}, {}), "VirtualBox");
    EXPECT_EQ(VirtualMachineOf(S("Microsoft Corporation"), S("Virtual Machine"), {}, {}),
              "Hyper-V");
    EXPECT_EQ(VirtualMachineOf(S("Microsoft Corporation"), S("Surface Pro 7"), {}, {}), "Physical");
    EXPECT_EQ(VirtualMachineOf(S("Dell Inc."), S("XENON 5"), {}, {}), "Physical");
    EXPECT_EQ(VirtualMachineOf(S("Dell Inc."), {}, S("Dell Inc."), {}), std::nullopt);
}

TEST(Windows11, EveryFailureUnknownsNeverFail) {
    ExtendedInfos ok;
    ProcessorInfos& cpu = ok.Processors.emplace_back();
    cpu.Manufacturer = "AuthenticAMD";
    cpu.Family = 25;
    cpu.Model = 80;
    cpu.SpeedMHz = 3300;
    cpu.Cores = 8;
    cpu.Architecture = "x86_64";
    ok.Tpm = {true, "2.0", "AMD"};
    ok.Firmware.FirmwareType = "UEFI";
    ok.Firmware.SecureBoot = "disabled";  // possible is enough
    ok.Identity.TotalMemoryBytes = 4ull << 30;
    ok.Disks.emplace_back().DiskId = "DRIVE1";
    ok.Disks[0].SizeBytes = 64ull << 30;
    ok.Volumes.emplace_back().Name = "C:";
    ok.Volumes[0].DiskId = "DRIVE1";
    ok.Volumes[0].SystemDrive = true;
    ASSERT_EQ(Windows11Readiness(ok).Verdict, "prêt");

    ExtendedInfos bad = ok;
    bad.Processors[0].Manufacturer = "GenuineIntel";
    bad.Processors[0].Family = 6;
    bad.Processors[0].Model = 94;
    bad.Processors[0].SpeedMHz = 800;
    bad.Processors[0].Cores = 1;
    bad.Processors[0].Architecture = "i686";
    bad.Tpm.Version = "1.2";
    bad.Firmware.FirmwareType = "BIOS";
    bad.Firmware.SecureBoot = "unsupported";
    bad.Modules.resize(2);
    bad.Modules[0].CapacityBytes = 2ull << 30;
    bad.Modules[1].CapacityBytes = 1ull << 30;
    bad.Disks[0].SizeBytes = 32ull << 30;
    Win11Readiness r = Windows11Readiness(bad);
    EXPECT_EQ(r.Verdict, "non");
    EXPECT_EQ(r.Failed,
              (std::vector<std::string>{"processeur non pris en charge", "TPM 1.2 (2.0 requis)",
                                        "BIOS hérité (UEFI requis)",
                                        "Secure Boot non pris en charge", "RAM inférieure à 4 Go",
                                        "disque système inférieur à 64 Go", "moins de 2 cœurs",
                                        "fréquence inférieure à 1 GHz", "processeur non 64 bits"}));
    bad = ok;
    bad.Tpm = {false, std::nullopt, std::nullopt};
    EXPECT_EQ(Windows11Readiness(bad).Failed, std::vector<std::string>{"TPM absent"});

    ExtendedInfos unread = ok;
    unread.Tpm = {};
    unread.Volumes[0].SystemDrive.reset();
    unread.Processors[0].Model.reset();
    unread.Processors[0].Family = 23;  // Zen or not: the model decides
    unread.Unreadable = {{"TPM", "lecture réservée à l'administrateur (/dev/tpm0)"}};
    r = Windows11Readiness(unread);
    EXPECT_EQ(r.Verdict, "indéterminé");
    EXPECT_TRUE(r.Failed.empty());
    EXPECT_EQ(r.Unknown,
              (std::vector<std::string>{"processeur : modèle de processeur non reconnu",
                                        "TPM : lecture réservée à l'administrateur (/dev/tpm0)",
                                        "disque système : information non lue"}));
    unread.Firmware.FirmwareType = "BIOS";  // one read failure outweighs the unknowns
    EXPECT_EQ(Windows11Readiness(unread).Verdict, "non");
}

// Family 6, models 142 and 158, stepping 9: the platform id decides, as the readiness
// script reads it; the i7-7820HQ passes on the two computers the script names.
TEST(Windows11, PlatformIdCoreCountsAndMemory) {
    ProcessorInfos cpu;
    cpu.Manufacturer = "GenuineIntel";
    cpu.Family = 6;
    cpu.Stepping = 9;
    for (auto [model, id, passes] : {std::tuple{142, 4, true},
                                     {142, 3, false},
                                     {158, 3, true},
                                     {158, 4, false},
                                     {158, 1, false}}) {
        cpu.Model = model;
        cpu.PlatformId = id;
        EXPECT_EQ(ProcessorSupportsWindows11(cpu), passes) << model << " " << id;
    }
    cpu.Name = "Intel(R) Core(TM) i7-7820HQ CPU @ 2.90GHz";
    EXPECT_EQ(ProcessorSupportsWindows11(cpu, std::string("Precision 5520 ")), true);
    EXPECT_EQ(ProcessorSupportsWindows11(cpu, std::string("Surface Studio 2")), true);
    EXPECT_EQ(ProcessorSupportsWindows11(cpu, std::string("Precision 5510")), false);
    cpu.PlatformId.reset();
    EXPECT_EQ(ProcessorSupportsWindows11(cpu, std::string("Precision 5510")), std::nullopt);
    EXPECT_EQ(ProcessorSupportsWindows11(cpu, std::string("Precision 5520")), true);

    ExtendedInfos x;
    x.Processors = {cpu, cpu};
    x.Processors[0].Name = "Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz";
    x.Unreadable = {
        {"Identifiant de plateforme", "lecture réservée à l'administrateur (/dev/cpu/0/msr)"}};
    Win11Readiness r = Windows11Readiness(x);
    ASSERT_FALSE(r.Unknown.empty());
    EXPECT_EQ(r.Unknown[0],
              "processeur : identifiant de plateforme non lu, lecture réservée à "
              "l'administrateur (/dev/cpu/0/msr)");

    // Core counts summed without wrapping; a count below one is no count.
    x.Processors[0].Cores = x.Processors[1].Cores = INT32_MAX;
    auto failed = [&] { return Windows11Readiness(x).Failed; };
    auto unknown = [&] { return Windows11Readiness(x).Unknown; };
    auto has = [](const std::vector<std::string>& v, const std::string& what) {
        return std::find_if(v.begin(), v.end(),
                            [&](const std::string& s) { return s.rfind(what, 0) == 0; }) != v.end();
    };
    EXPECT_FALSE(has(failed(), "moins de 2 cœurs"));
    EXPECT_FALSE(has(unknown(), "cœurs"));
    x.Processors[1].Cores = -5;
    EXPECT_TRUE(has(unknown(), "cœurs"));
    x.Processors[0].Cores = x.Processors[1].Cores = 1;
    EXPECT_FALSE(has(failed(), "moins de 2 cœurs"));  // two packages of one core

    // With no module read, the visible total passes at 4 GiB and is unknown below.
    x.Identity.TotalMemoryBytes = (4ull << 30) - (256ull << 20);
    EXPECT_TRUE(has(unknown(), "RAM"));
    EXPECT_FALSE(has(failed(), "RAM"));
    x.Modules.resize(2);  // modules of unknown size are no better
    EXPECT_TRUE(has(unknown(), "RAM"));
    x.Modules[0].CapacityBytes = 2ull << 30;  // nor one of two
    EXPECT_TRUE(has(unknown(), "RAM"));
    x.Identity.TotalMemoryBytes = 4ull << 30;
    EXPECT_FALSE(has(unknown(), "RAM") || has(failed(), "RAM"));
    x.Modules[0].CapacityBytes = UINT64_MAX;  // crafted sizes do not wrap either
    x.Modules[1] = x.Modules[0];
    x.Identity.TotalMemoryBytes.reset();
    EXPECT_FALSE(has(unknown(), "RAM") || has(failed(), "RAM"));
    x.Modules = {x.Modules[0], x.Modules[0]};
    x.Modules[0].CapacityBytes = x.Modules[1].CapacityBytes = 1ull << 30;
    EXPECT_TRUE(has(failed(), "RAM inférieure à 4 Go"));  // the modules decide
}

}  // namespace
}  // namespace harvix
