// The inventory file from records: GLPI's names and units, what the page shows
// kept exactly, unknowns left out; and its all-or-nothing write.
#include "report/inventory_json.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/error.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "test_support.h"

namespace harvix {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const JsonStamp kStamp{"2026-03-04 05:06:07", "4.0"};

// Any empty text anywhere: unknowns must be left out instead.
bool HasEmptyText(const json& j) {
    if (j.is_string()) return j.get<std::string>().empty();
    if (!j.is_structured()) return false;
    for (const json& child : j)
        if (HasEmptyText(child)) return true;
    return false;
}

struct WindowsLike {
    GeneralInfos general{"Microsoft Windows 11 Professionnel (64 bits)",
                         "PC-ACCUEIL",
                         "WORKGROUP",
                         "marie",
                         "Dell Inc. - Latitude 5420",
                         "7XK2Q53"};
    CpuInfos cpu{"Intel Core i5-1145G7 @ 2.60GHz", "4", "8"};
    MemoryInfos memory;
    DiskList disks;
    VolumeList volumes;
    ExtendedInfos ext;

    WindowsLike() {
        memory.Installed = "15,73 Go";
        memory.SlotCount = 2;
        memory.UsedSlots = 1;
        MemoryModule& m = memory.Modules.Grow();
        m = {"Samsung", "3200 MHz", "16 Go", "M471A2K43EB1-CWE", "36E0F21A", "BANK 0", 12};
        DiskInfos& d = disks.Disks.Grow();
        d = {"KXG60ZNV512G",          "Y0AS1", "512 Go", "SCSI", "Disque 0", 3,
             "Fixed hard disk media", "GPT"};
        VolumeInfos& v = volumes.Volumes.Grow();
        v = {"C:",           "Windows", 3,        "107374182400", "511101108224",
             "403726925824", "NTFS",    "Part 2", "Disque 0"};
        ext.Identity.Uuid = "4C4C4544-0037-5810-8032-B7C04F533532";
        ext.Identity.TotalMemoryBytes = 16ull << 30;
        ext.Firmware = {"Dell Inc.", "1.21.0",  std::nullopt, "2023-06-12",
                        "UEFI",      "enabled", "Updated"};
        ext.Tpm = {true, "2.0", "INTC"};
        ext.Os.TimeZone = "Romance Standard Time";
        ext.Os.TimeZoneOffsetMinutes = -90;
        ext.Os.SystemDrive = "C:";
        ext.Os.KernelName = "MSWin32";
        ext.Os.Version = ext.Os.KernelVersion = "10.0.22631";
        ext.Os.DisplayVersion = "23H2";
        ext.Os.ServicePack = "22631.4317";
        for (auto [letter, type] : {std::pair{"E:", 2}, {"D:", 5}, {"Z:", 4}}) {
            VolumeDetails more;
            more.Name = letter;
            more.DriveType = type;
            ext.Volumes.push_back(more);
        }
        MemoryModuleDetails module;
        module.Type = "DDR4";
        module.SpeedMHz = 3200;
        module.CapacityBytes = 16ull << 30;
        ext.Modules.push_back(module);
        DiskDetails disk;
        disk.DiskId = "Disque 0";
        disk.SizeBytes = 512110190592;
        disk.Rotational = false;
        ext.Disks.push_back(disk);
        NetworkAdapter nic;
        nic.Name = "Ethernet";
        nic.Description = "Intel(R) Ethernet Connection (13) I219-LM";
        nic.Type = "ethernet";
        nic.SpeedBitsPerSecond = 1000000000;
        nic.Gateways = {"fe80::1", "192.168.1.254"};
        nic.Addresses = {{"192.168.1.23", 22, 4}, {"fe80::1c2:3", 64, 6}};
        ext.Networks.push_back(nic);
        SoftwareInfos zip;
        zip.Name = "7-Zip 23.01 (x64)";
        zip.Publisher = "Igor Pavlov";
        ext.Software.push_back(zip);
        ext.Unreadable.push_back({"UUID", "lecture réservée à l'administrateur"});
    }
    json Parse(json* own = nullptr) const {
        std::string ownText;
        json doc =
            json::parse(InventoryJson(general, cpu, memory, disks, volumes, ext, kStamp, &ownText));
        if (own) *own = json::parse(ownText);
        return doc;
    }
};

TEST(InventoryJson, WindowsLikeRecordInGlpiNamesAndUnits) {
    WindowsLike pc;
    pc.general.UserName = "mari\xE9";  // not UTF-8: replaced, never a throw
    json h;
    const json doc = pc.Parse(&h);
    EXPECT_EQ(doc["deviceid"].get<std::string>().rfind("harvix-", 0), 0u);
    EXPECT_EQ(doc["itemtype"], "Computer");
    const json& c = doc["content"];
    EXPECT_EQ(c["versionclient"], "Harvix-4.0");
    EXPECT_EQ(c["hardware"]["memory"], 16384);
    EXPECT_EQ(c["hardware"]["lastloggeduser"], "mari\xEF\xBF\xBD");
    EXPECT_EQ(c["bios"]["bdate"], "2023-06-12");
    EXPECT_EQ(c["bios"]["secure_boot"], "enabled");
    EXPECT_EQ(c["operatingsystem"]["timezone"]["offset"], "-0130");
    EXPECT_EQ(c["operatingsystem"]["version"], "23H2");
    EXPECT_EQ(c["operatingsystem"]["service_pack"], "22631.4317");
    EXPECT_EQ(c["operatingsystem"]["kernel_version"], "10.0.22631");
    EXPECT_EQ(c["memories"][0]["capacity"], 16384);
    EXPECT_EQ(c["memories"][0]["model"], "M471A2K43EB1-CWE");
    EXPECT_EQ(c["storages"][0]["disksize"], 512110);
    EXPECT_EQ(c["storages"][0]["type"], "SSD");
    EXPECT_EQ(c["drives"][0]["letter"], "C:");
    EXPECT_EQ(c["drives"][0]["total"], 487424);
    EXPECT_EQ(c["drives"][0]["free"], 102400);
    EXPECT_EQ(c["drives"][0]["systemdrive"], true);
    // Each letter's kind, in the words GLPI tests to leave drives out.
    std::vector<std::string> types;
    for (const json& d : c["drives"]) types.push_back(d.value("type", ""));
    EXPECT_EQ(types, (std::vector<std::string>{"Local Disk", "Removable Disk", "Compact Disk",
                                               "Network Drive"}));
    ASSERT_EQ(c["networks"].size(), 2u);
    EXPECT_EQ(c["networks"][0]["ipmask"], "255.255.252.0");
    EXPECT_EQ(c["networks"][0]["ipsubnet"], "192.168.0.0");
    EXPECT_EQ(c["networks"][0]["ipgateway"], "192.168.1.254");
    EXPECT_EQ(c["networks"][0]["speed"], "1000");
    EXPECT_EQ(c["networks"][1]["description"], "Intel(R) Ethernet Connection (13) I219-LM");
    EXPECT_FALSE(c["networks"][1].contains("model"));
    EXPECT_EQ(c["networks"][1]["ipmask6"], "ffff:ffff:ffff:ffff::");
    EXPECT_FALSE(c["networks"][1].contains("ipaddress"));
    EXPECT_EQ(c["softwares"][0]["publisher"], "Igor Pavlov");
    // GLPI 10.0 refuses any member its format does not name.
    EXPECT_FALSE(c.contains("harvix"));
    // Harvix's own file: tied by the deviceid and the name; the page's own values,
    // exactly, and what GLPI has no place for.
    EXPECT_EQ(h["format"], "harvix");
    EXPECT_EQ(h["format_version"], 1);
    EXPECT_EQ(h["deviceid"], doc["deviceid"]);
    EXPECT_EQ(h["computer_name"], "PC-ACCUEIL");
    EXPECT_EQ(h["date"], "2026-03-04 05:06:07");
    EXPECT_EQ(h["report"]["user_name"], "mari\xEF\xBF\xBD");
    EXPECT_EQ(h["report"]["model"], pc.general.Model);
    EXPECT_EQ(h["report"]["memory"]["modules"][0]["capacity"], "16 Go");
    EXPECT_EQ(h["report"]["disks"][0]["partitions"], 3);
    EXPECT_EQ(h["report"]["disks"][0]["partition_style"], "GPT");
    EXPECT_EQ(h["report"]["volumes"][0]["used_bytes"], 403726925824u);
    EXPECT_EQ(h["report"]["volumes"][0]["disk"], "Disque 0");
    EXPECT_EQ(h["tpm"]["version"], "2.0");
    EXPECT_EQ(h["ca2023_status"], "Updated");
    EXPECT_EQ(h["windows11"]["verdict"], Windows11Readiness(pc.ext).Verdict);
    EXPECT_EQ(h["unread"][0]["what"], "UUID");
    EXPECT_FALSE(HasEmptyText(doc));
    EXPECT_FALSE(HasEmptyText(h));
}

// GLPI matches computers on these: a placeholder would fold every board that carries it
// into one computer, and an agent id that moves would make a new agent on each run.
TEST(InventoryJson, IdentityTellsComputersApartAndTheAgentIdStays) {
    WindowsLike pc;
    const std::string id = pc.Parse()["deviceid"];
    pc.general.ComputerName = "PC-RENOMME";
    EXPECT_EQ(pc.Parse()["deviceid"], id);  // the board's identity survives a rename
    pc.ext.Identity.Uuid = "03000200-0400-0500-0006-000700080009";
    pc.general.SerialNumber = "Default string";
    pc.ext.Identity.Manufacturer = " To Be Filled By O.E.M. ";
    pc.ext.Identity.Model = "System Product Name";
    pc.ext.Identity.BoardSerial = "0000000000";
    pc.ext.Identity.BoardModel = "B450M PRO-VDH";
    const json bios = pc.Parse()["content"]["bios"];
    EXPECT_FALSE(pc.Parse()["content"]["hardware"].contains("uuid"));
    for (const char* key : {"ssn", "smanufacturer", "smodel", "msn"})
        EXPECT_FALSE(bios.contains(key)) << key;
    EXPECT_EQ(bios["mmodel"], "B450M PRO-VDH");
    // Two such boards, told apart by their network card, each keep theirs through a rename.
    const std::string byName = pc.Parse()["deviceid"];
    EXPECT_NE(byName, id);
    pc.ext.Networks[0].Mac = "00:1A:2B:3C:4D:5E";
    pc.ext.Networks[0].Virtual = false;
    const std::string byMac = pc.Parse()["deviceid"];
    EXPECT_NE(byMac, byName);
    pc.general.ComputerName = "PC-SALLE-2";
    EXPECT_EQ(pc.Parse()["deviceid"], byMac);
    pc.ext.Networks[0].Mac = "00:1A:2B:3C:4D:5F";
    EXPECT_NE(pc.Parse()["deviceid"], byMac);
    // Threads per core, as GLPI reads the member.
    ProcessorInfos cpu;
    cpu.Cores = 8;
    cpu.Threads = 16;
    pc.ext.Processors = {cpu};
    EXPECT_EQ(pc.Parse()["content"]["cpus"][0]["thread"], 2);
}

TEST(InventoryJson, EmptyRecordsGiveOnlyWhatIsKnown) {
    const json doc = json::parse(InventoryJson({}, {}, {}, {}, {}, {}, kStamp));
    const json& c = doc["content"];
    EXPECT_EQ(c["hardware"], json::object());
    EXPECT_EQ(c["bios"], json::object());
    EXPECT_EQ(c["cpus"], json::array());
    EXPECT_EQ(c["memories"], json::array());
    EXPECT_FALSE(c.contains("users"));
    EXPECT_FALSE(HasEmptyText(doc));
}

TEST(ReplaceFileWith, ReplacesWholeOrLeavesTheOldFile) {
    const std::string dir = testing::MakeTempDir("harvix-json-");
    const std::string path = dir + "/PC_inventory.json";
    platform::ReplaceFileWith(path, "old");
    platform::ReplaceFileWith(path, "new");
    std::stringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(read.str(), "new");
    // A folder in its place cannot be replaced: the failure names the file, no temporary remains.
    const std::string blocked = dir + "/BLOCKED_inventory.json";
    fs::create_directory(blocked);
    try {
        platform::ReplaceFileWith(blocked, "x");
        ADD_FAILURE() << "no failure";
    } catch (const HarvixError& e) {
        EXPECT_NE(std::string(e.what()).find(blocked), std::string::npos);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
    fs::remove_all(dir);
    // GLPI's import from file takes any name holding ".json": a killed run's leftover must not.
    EXPECT_EQ(TemporaryBeside("\\\\srv\\inv.2026\\PC_inventory.json", 42),
              "\\\\srv\\inv.2026\\PC_inventory.tmp-42");
    EXPECT_EQ(TemporaryBeside("/srv/inv.d/PC", 7), "/srv/inv.d/PC.tmp-7");
}

}  // namespace
}  // namespace harvix
