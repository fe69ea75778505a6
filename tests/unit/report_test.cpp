// The report as a file: the whole run on the double, byte for byte, and the
// writers' edge cases on real files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/run.h"
#include "inventory/modGetInfos.h"
#include "platform/encoding.h"
#include "report/modMakeReport.h"
#include "test_support.h"
#include "wmi_double.h"

namespace harvix {
namespace {

namespace fs = std::filesystem;
using testing::FakeObject;
using testing::InstallFake;

class ReportFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testing::MakeTempDir("harvix-report-");
        path_ = dir_ + "/PC_report.html";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string all = Read();
        std::size_t pos = 0, crlf;
        while ((crlf = all.find("\r\n", pos)) != std::string::npos) {
            lines.push_back(all.substr(pos, crlf - pos));
            pos = crlf + 2;
        }
        EXPECT_EQ(pos, all.size()) << "the last line must end in CR LF";
        return lines;
    }
    std::string dir_, path_;
};

std::string Today(const char* sep) {
    std::tm tm = testing::LocalNow();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%s%02d%s%04d", tm.tm_mday, sep, tm.tm_mon + 1, sep,
                  tm.tm_year + 1900);
    return buf;
}

// One memory module, one fixed disk holding two volumes.
void ScriptSmallMachine(testing::FakeService& fake) {
    fake.On("Select Domain from Win32_ComputerSystem").Objects = {
        FakeObject{{"Domain", "WORKGROUP"}}};
    fake.On("Select * from Win32_ComputerSystem").Objects = {FakeObject{
        {"Manufacturer", "LENOVO"}, {"Model", "20L5"}, {"TotalPhysicalMemory", "8589934592"}}};
    fake.On("Select IdentifyingNumber from Win32_ComputerSystemProduct").Objects = {
        FakeObject{{"IdentifyingNumber", "PF1ABCDE"}}};
    fake.On("Select * from Win32_OperatingSystem").Objects = {FakeObject{
        {"Caption", "Microsoft Windows 10 Professionnel"}, {"OSArchitecture", "64 bits"}}};
    fake.On("Select * from Win32_Processor").Objects = {
        FakeObject{{"Name", "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz"},
                   {"NumberOfCores", 4},
                   {"NumberOfLogicalProcessors", 8}}};
    fake.On("Select * from Win32_PhysicalMemoryArray").Objects = {
        FakeObject{{"MaxCapacity", 33554432}, {"MemoryDevices", 2}}};
    fake.On("Select * from Win32_PhysicalMemory").Objects = {
        FakeObject{{"BankLabel", "BANK 0"},
                   {"FormFactor", 12},
                   {"Capacity", "8589934592"},
                   {"Manufacturer", "Samsung"},
                   {"PartNumber", "M471A1K43CB1-CTD"},
                   {"SerialNumber", "12345678"},
                   {"Speed", 2400}}};
    fake.On("Select * from Win32_DiskPartition").Objects = {
        FakeObject{{"Type", "GPT: System"}, {"DiskIndex", 0}},
        FakeObject{{"Type", "GPT: Basic Data"}, {"DiskIndex", 0}}};
    fake.On("Select * from Win32_DiskDrive").Objects = {
        FakeObject{{"Model", "SAMSUNG MZVLB256HAHQ-000L7"},
                   {"Size", "256052966400"},
                   {"DeviceID", "\\\\.\\PHYSICALDRIVE0"},
                   {"InterfaceType", "SCSI"},
                   {"SerialNumber", " S4ELNX0M123456 "},
                   {"Partitions", 2},
                   {"MediaType", "Fixed hard disk media"}}};
    const std::string part =
        "\\\\PC\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #";
    fake.On("Select * from Win32_LogicalDiskToPartition").Objects = {
        FakeObject{{"Antecedent", part + "0\""},
                   {"Dependent", "\\\\PC\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"C:\""}},
        FakeObject{{"Antecedent", part + "1\""},
                   {"Dependent", "\\\\PC\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"D:\""}}};
    const std::string drive =
        "\\\\PC\\root\\cimv2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"";
    fake.On("Select * from Win32_DiskDriveToDiskPartition").Objects = {
        FakeObject{{"Antecedent", drive}, {"Dependent", part + "0\""}},
        FakeObject{{"Antecedent", drive}, {"Dependent", part + "1\""}}};
    fake.On("Select * from Win32_LogicalDisk").Objects = {
        FakeObject{{"DriveType", 3},
                   {"Name", "C:"},
                   {"FileSystem", "NTFS"},
                   {"FreeSpace", "53687091200"},
                   {"Size", "107374182400"},
                   {"VolumeName", "Système"}},
        FakeObject{{"DriveType", 3},
                   {"Name", "D:"},
                   {"FileSystem", "NTFS"},
                   {"FreeSpace", "900"},
                   {"Size", "1500"},
                   {"VolumeName", "Données & <b>"}},
        FakeObject{{"DriveType", 4},
                   {"Name", "Z:"},
                   {"FileSystem", "NTFS"},
                   {"FreeSpace", "1"},
                   {"Size", "2"}}};
}

TEST_F(ReportFolder, WholeRunWritesTheFortySevenLinesByteForByte) {
    HARVIX_USE_LOCALE(fr, "fr_FR.UTF-8");
    auto fake = InstallFake();
    ScriptSmallMachine(*fake);
    testing::SetEnv("COMPUTERNAME", "PC");
    testing::SetEnv("USERNAME", "jdupont");

    std::string status = RunInventory(dir_, "/");
    EXPECT_EQ(status, "Le rapport a été créé dans le dossier:\r\n" + path_);

    const std::string expected =
        std::string() +
        "<!DOCTYPE html>\r\n"
        "<html><head><style>\r\n"
        "body {font-family: Tahoma; font-size: 13px;} progress[value] {display: inline; width: 150px;} table {border-collapse: collapse; width: 700px; margin-bottom: 10px;} table.noborder {margin-bottom:-1px; width: 699px;} table.noborder td {border: none; border-bottom: 1px solid #ddd;} table.noborder td:first-child {width: 174px; min-width: 174px; max-width: 174px; word-break: break-all; padding-left: 28px;} table.noborder tr{background-color: #fff;} table.noborder tr:hover{background-color: #f5f5f5;}\r\n"
        "th, td {padding: 5px; text-align: left; border: 1px solid #ddd;} td.nopadding {padding: 0px;} th {background-color: #f5f5fc;} tbody tr td:first-child {width: 15em; min-width: 15em; max-width: 15em; word-break: break-all;} tr:hover {background-color:#f5f5f5;} .hand {cursor: pointer;} .nested {display: none;} .active {display: table-row;}\r\n"
        ".tooltip {position: relative; display: inline-block;} .tooltip .tooltiptext {visibility: hidden; width: 120px; background-color: black; color: #fff; text-align: center; border-radius: 6px; padding: 5px 0; position: absolute; z-index: 1; top: -5px; right: 150%; opacity: 0; transition: opacity 1s;} .tooltip:hover .tooltiptext {visibility: visible; opacity: 0.7;} .tooltip .tooltiptext::after {content: \"\"; position: absolute; top: 50%; left: 100%; margin-top: -5px; border-width: 5px; border-style: solid; border-color: transparent transparent transparent black;} .tooltip:hover .tooltiptext {visibility: visible;} .small {margin: 1px; font-size: 10px;}\r\n"
        "</style><link rel=\"stylesheet\" href=\"https://use.fontawesome.com/releases/v5.12.0/css/all.css\"></head>\r\n"
        "<body><center><img src=\"https://www.tarvell.com/wp-content/uploads/2016/02/Image1.png\" width=300px><br /><br />\r\n"
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-desktop\"></i> G\xE9n\xE9ral</th></tr></thead><tbody>\r\n"
        "<tr><td>OS</td><td>Microsoft Windows 10 Professionnel (64 bits)</td></tr>\r\n"
        "<tr><td>Nom de l'ordinateur</td><td>PC</td></tr>\r\n"
        "<tr><td>Nom du domaine/workgroup</td><td>WORKGROUP</td></tr>\r\n"
        "<tr><td>Nom de l'utilisateur</td><td>jdupont</td></tr>\r\n"
        "<tr><td>Mod\xE8le de l'ordinateur</td><td>LENOVO - 20L5</td></tr>\r\n"
        "<tr><td>Num\xE9ro de s\xE9rie</td><td>PF1ABCDE</td></tr>\r\n"
        "</tbody></table>\r\n"
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-microchip\"></i> Processeur</th></tr></thead><tbody>\r\n"
        "<tr><td>CPU</td><td>Intel Core i5-8250U CPU @ 1.60GHz</td></tr>\r\n"
        "<tr><td>Coeurs physiques</td><td>4</td></tr>\r\n"
        "<tr><td>Coeurs logiques</td><td>8</td></tr>\r\n"
        "</tbody></table>\r\n"
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-memory\"></i> RAM</th></tr></thead><tbody>\r\n"
        "<tr><td>RAM install\xE9"
        "e</td><td>8,00 Go</td></tr>\r\n"
        "<tr><td>RAM maximale support\xE9"
        "e</td><td>32 Go</td></tr>\r\n"
        "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">Afficher les d\xE9tails</span></a> Slots utilis\xE9s</td><td>1 sur 2</td></tr><tr class=\"nested\"><td class=\"nopadding\" colspan=\"2\"><table class=\"noborder\">\r\n"
        "<tr><td>BANK 0</td><td>Samsung 8,00 Go 2400 MHz SODIMM<p class=\"small\">M471A1K43CB1-CTD</p></td></tr>\r\n"
        "</table></td></tr>\r\n"
        "</tbody></table>\r\n"
        "<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-hdd\"></i> Stockage fixe</th></tr></thead><tbody>\r\n"
        "<tr class=\"downlink\"><td><a class=\"tooltip\"><i class=\"hand fa fa-plus\"></i><span class=\"tooltiptext\">Afficher les volumes</span></a> DRIVE0<p class=\"small\">2 Partition(s) - Type GPT</p></td><td>SAMSUNG MZVLB256HAHQ-000L7<p class=\"small\">256 Go - SN: S4ELNX0M123456</p></td></tr><tr class=\"nested\"><td class=\"nopadding\" colspan=\"2\"><table class=\"noborder\">\r\n"
        "<tr><td>C: (Syst\xE8me)</td><td>50,00 Go / 100,00 Go<p class=\"small\">NTFS <progress value=\"53687091200\" max=\"107374182400\"></progress></p></td></tr>\r\n"
        "<tr><td>D: (Donn\xE9"
        "es &amp; &lt;b&gt;)</td><td>600 Octets / 1,46 Ko<p class=\"small\">NTFS <progress value=\"600\" max=\"1500\"></progress></p></td></tr>\r\n"
        "</table></td></tr></tbody></table>\r\n"
        "<br /><p class=\"small\">Rapport g\xE9n\xE9r\xE9 le " +
        Today("/") +
        "</p>\r\n"
        "</center><script>\r\n"
        "var toggler = document.getElementsByClassName(\"downlink\");\r\n"
        "var i;\r\n"
        "for (i = 0; i < toggler.length; i++) {\r\n"
        "toggler[i].addEventListener(\"click\", function() {\r\n"
        "this.parentElement.querySelector(\".nested\").classList.toggle(\"active\");\r\n"
        "if(this.parentElement.querySelector(\".nested\").classList.contains(\"active\")){\r\n"
        "this.parentElement.querySelector(\".fa\").classList.replace(\"fa-plus\",\"fa-minus\");\r\n"
        "}else{\r\n"
        "this.parentElement.querySelector(\".fa\").classList.replace(\"fa-minus\",\"fa-plus\");\r\n"
        "}\r\n"
        "});\r\n"
        "}\r\n"
        "</script></body></html>\r\n";
    EXPECT_EQ(Read(), expected);
    EXPECT_EQ(Lines().size(), 47u);

    // Volumes are collected before disks.
    auto at = [&](const char* q) {
        return std::find(fake->Log.begin(), fake->Log.end(), q) - fake->Log.begin();
    };
    EXPECT_LT(at("Select * from Win32_LogicalDisk"), at("Select * from Win32_DiskPartition"));
    testing::UnsetEnv("COMPUTERNAME");
    testing::UnsetEnv("USERNAME");
}

TEST_F(ReportFolder, DateUsesTheLocaleSeparatorAndANewRunEmptiesTheOldReport) {
    {
        std::ofstream old(path_);
        old << "OLD LINE FROM AN EARLIER RUN\n";
    }
    HARVIX_USE_LOCALE(de, "de_DE.UTF-8");
    WriteReportHeader(path_);
    WriteReportFooter(path_);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(Read().find("OLD LINE"), std::string::npos);
    EXPECT_EQ(lines[7],
              "<br /><p class=\"small\">Rapport g\xE9n\xE9r\xE9 le " + Today(".") + "</p>");
}

TEST_F(ReportFolder, SectionsKeepTheirShapeWhateverTheRecordsHold) {
    WriteGeneralSection(path_, GeneralInfos{});
    WriteCpuSection(path_, CpuInfos{"a\"b", "", "-1"});
    MemoryInfos none;
    WriteMemorySection(path_, none);
    MemoryInfos two;
    two.Modules.Grow() = MemoryModule{"", "", "", "", "", "", 8};
    two.Modules.Grow() = MemoryModule{"B", "", "", "", "", "A", 3};
    WriteMemorySection(path_, two);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u + 5u + 6u + 8u);
    EXPECT_EQ(lines[3], "<tr><td>Nom du domaine/workgroup</td><td></td></tr>");
    EXPECT_EQ(lines[9], "<tr><td>CPU</td><td>a&quot;b</td></tr>");
    EXPECT_NE(lines[16].find("<td>0 sur 0</td>"), std::string::npos);
    EXPECT_EQ(lines[17], "</table></td></tr>");  // no module: the next line closes the nested row
    // Modules printed in list order whatever UsedSlots says; empty fields keep their blanks.
    EXPECT_EQ(lines[23], "<tr><td></td><td>   DIMM<p class=\"small\"></p></td></tr>");
    EXPECT_EQ(lines[24], "<tr><td>A</td><td>B   <p class=\"small\"></p></td></tr>");
}

TEST_F(ReportFolder, StorageTablesMatchVolumesByKeyAndSurviveOddValues) {
    DiskList disks;
    disks.Disks.Grow() =
        DiskInfos{"Cruzer", "", " Go", "USB", "DRIVE1", 1, "Removable Media", "MBR"};
    disks.Disks.Grow() = DiskInfos{"Odd", "", "", "", "", 0, "Re", ""};
    disks.Disks.Grow() = DiskInfos{"Twin", "", "", "", "DRIVE1", 0, "rem", ""};
    VolumeList vols;
    vols.Volumes.Grow() = VolumeInfos{
        "E:", "<img src=x onerror=alert(1)>", 2, "10", "30", "20", "FAT32", "", "DRIVE1"};
    vols.Volumes.Grow() =
        VolumeInfos{"F:", "", 2, "", "", "", "", "", ""};  // card reader, no medium
    vols.Volumes.Grow() =
        VolumeInfos{"G:", "", 3, "", "", "", "", "", "DRIVE9"};  // no disk of its own
    WriteStorageSections(path_, disks, vols);
    WriteReportFooter(path_);  // the run goes on to the end
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u + 4u + 4u + 15u);
    EXPECT_NE(lines[0].find("fab fa-usb\"></i> Stockage amovible"), std::string::npos);
    EXPECT_EQ(
        lines[2],
        "<tr><td>E: (&lt;img src=x onerror=alert(1)&gt;)</td><td>20 Octets / 30 Octets<p class=\"small\">FAT32 <progress value=\"20\" max=\"30\"></progress></p></td></tr>");
    EXPECT_NE(lines[4].find("Stockage fixe"), std::string::npos);  // "Re" is too short
    EXPECT_NE(lines[5].find("0 Partition(s) - Type </p></td><td>Odd"), std::string::npos);
    // The empty key lists the volume whose key is empty; its counts are no numbers.
    EXPECT_EQ(
        lines[6],
        "<tr><td>F: ()</td><td> / <p class=\"small\"> <progress value=\"\" max=\"\"></progress></p></td></tr>");
    EXPECT_NE(lines[8].find("Stockage fixe"), std::string::npos);  // "rem" is not "Rem"
    EXPECT_NE(lines[10].find("<tr><td>E: "), std::string::npos);   // same key, same volumes
    EXPECT_EQ(lines.back(), "</script></body></html>");
    EXPECT_EQ(Read().find("G:"), std::string::npos);
}

TEST_F(ReportFolder, HostileTextsStayOnOneLineAndUnwritableFoldersFail) {
    GeneralInfos g;
    g.Model = "A\r\nB\tC";
    WriteGeneralSection(path_, g);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "<tr><td>Mod\xE8le de l'ordinateur</td><td>A&#13;&#10;B&#9;C</td></tr>");

    EXPECT_THROW(WriteReportHeader(dir_ + "/missing/PC_report.html"), HarvixError);
#ifndef _WIN32
    if (geteuid() != 0) {  // root writes anywhere
        chmod(dir_.c_str(), 0500);
        EXPECT_THROW(WriteReportHeader(dir_ + "/new.html"), HarvixError);
        chmod(dir_.c_str(), 0700);
    }
#endif
}

TEST_F(ReportFolder, NulAndC1ControlsAreWrittenAsABrowserShowsThem) {
    // Browsers turn "&#0;" into U+FFFD and "&#133;" into the windows-1252 letter "…".
    EXPECT_EQ(HtmlText(std::string("a\0b", 3)), "a&#xFFFD;b");
    EXPECT_EQ(HtmlText("x\xC2\x85y\xC2\x80\xC2\x9F\xC2\xA0"), "x[U+0085]y[U+0080][U+009F]\xC2\xA0");
    EXPECT_EQ(HtmlText("\x7F\x1F"), "&#127;&#31;");
    EXPECT_EQ(HtmlText("caf\xE9"), "caf\xEF\xBF\xBD");  // not UTF-8: U+FFFD
    EXPECT_EQ(platform::EncodeWindows1252("\xC2\x85\xE2\x80\xA6"), "[U+0085]\x85");
    GeneralInfos g;
    g.Model = std::string("M\0\xC2\x96", 4);
    WriteGeneralSection(path_, g);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "<tr><td>Mod\xE8le de l'ordinateur</td><td>M&#xFFFD;[U+0096]</td></tr>");
}

TEST_F(ReportFolder, RunPathsAndTheSilentSwitch) {
    EXPECT_TRUE(IsSilentArgument("/silent"));
    EXPECT_TRUE(IsSilentArgument("/SILENT"));
    EXPECT_TRUE(IsSilentArgument("/Silent"));
    EXPECT_FALSE(IsSilentArgument("/silent extra"));
    EXPECT_FALSE(IsSilentArgument("-silent"));
    EXPECT_FALSE(IsSilentArgument("silent"));
    EXPECT_FALSE(IsSilentArgument(" /silent"));
    EXPECT_FALSE(IsSilentArgument(""));

    testing::SetEnv("COMPUTERNAME", "");
    EXPECT_EQ(BuildReportPath("D:\\Outils", "\\"), "D:\\Outils\\_report.html");
    testing::SetEnv("COMPUTERNAME", "PC-COMPTA");
    EXPECT_EQ(BuildReportPath("E:\\", "\\"), "E:\\\\PC-COMPTA_report.html");

    // A writer failure passes out of the run; what was written before stays.
    InstallFake();
    EXPECT_THROW(RunInventory(dir_ + "/missing", "/"), HarvixError);
    testing::UnsetEnv("COMPUTERNAME");
}

}  // namespace
}  // namespace harvix
