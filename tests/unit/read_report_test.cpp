// The reader against the writers: records → writers → report file → reader →
// records, in two locales, cut short, in other code pages, and on files that
// are not reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "inventory/modGetInfos.h"
#include "platform/encoding.h"
#include "platform/platform.h"
#include "report/modMakeReport.h"
#include "report/modReadReport.h"
#include "report/report_form.h"
#include "test_support.h"

namespace harvix {
namespace {

namespace fs = std::filesystem;

struct Machine {
    GeneralInfos general;
    CpuInfos cpu;
    MemoryInfos memory;
    DiskList disks;
    VolumeList volumes;
};

MemoryModule Module(std::string bank, std::string maker, std::string capacity, std::string speed,
                    std::string part, std::int16_t form) {
    MemoryModule m;
    m.BankLabel = bank, m.Manufacturer = maker, m.Capacity = capacity, m.Speed = speed;
    m.PartNumber = part, m.FormFactor = form, m.SerialNumber = "1234ABCD";
    return m;
}

DiskInfos Disk(std::string id, std::string model, std::string size, std::string serial,
               std::string media, std::string style, std::int16_t partitions) {
    DiskInfos d;
    d.DiskId = id, d.Model = model, d.Size = size, d.SerialNumber = serial, d.MediaType = media;
    d.PartitionStyle = style, d.Partitions = partitions, d.InterfaceType = "SCSI";
    return d;
}

VolumeInfos Volume(std::string disk, std::string name, std::string label, std::string fs,
                   std::string used, std::string size) {
    VolumeInfos v;
    v.DiskId = disk, v.Name = name, v.VolumeName = label, v.FileSystem = fs;
    v.UsedSpace = used, v.Size = size, v.DriveType = 3, v.FreeSpace = "1", v.PartitionId = "#0";
    return v;
}

// Ordinary texts of every kind the page must carry: accents, the euro sign,
// quotes, markup characters, and letters windows-1252 lacks.
Machine Varied() {
    Machine m;
    m.general = {"Microsoft Windows 11 Professionnel (64 bits)",
                 "PC-ÉTÉ",
                 "<Domaine> & \"Co\"",
                 "Zoë O'Brien",
                 "Dell Inc. - Latitude 5420 «Ωμέγα»",
                 ""};
    m.cpu = {"Intel Core i7-1185G7 @ 3.00GHz € 'x'", "4", ""};
    m.memory.Installed = "15,73 Go";
    m.memory.MaxSupported = "64 Go";
    m.memory.SlotCount = 4;
    m.memory.UsedSlots = 3;
    m.memory.Modules.Grow() =
        Module("DIMM A", "Samsung", "8,00 Go", "3200 MHz", "M471A1K43DB1-CWE  ", 12);
    m.memory.Modules.Grow() = Module("", "Hynix Semiconductor", "512 Octets", " MHz", "", 8);
    m.memory.Modules.Grow() = Module("Bank 2 <&>", "", "", " MHz", "Ж-001", 9);
    m.memory.Modules.Grow() = Module("B", "Kingston 8 Go", "1,50 Ko", "2400 MHz", "", 0);
    m.memory.Modules.Grow() = Module("BANK 0", "", "23.54 Go", "", "", 8);  // Wine: no speed
    m.memory.Modules.Grow() = Module("X", "Maker MHz", "", "", "", 12);
    // A count of bytes under 1 KiB is a blank-or-minus number: " 0 Octets".
    m.memory.Modules.Grow() = Module("DIMM B", "Samsung", " 0 Octets", "2667 MHz", "", 12);
    m.memory.Modules.Grow() = Module("C", "Micron ", " 512 Octets", " MHz", "", 8);
    m.memory.Modules.Grow() = Module("D", "Crucial ", "-1 Octets", " MHz", "", 8);
    m.disks.Disks.Grow() = Disk("DRIVE0", "Samsung SSD 980 1TB", "1000 Go", "S64ANS0T5",
                                "Fixed hard disk media", "GPT", 3);
    m.disks.Disks.Grow() =
        Disk("DRIVE1", "Clé USB \"Ωμέγα\" & <co>", "32 Go", "", "Removable Media", "", 0);
    m.disks.Disks.Grow() = Disk("DRIVE2", "", " Go", "SN - SN: 7", "Rem", "MBR", -1);
    m.disks.Count = 3;
    m.volumes.Volumes.Grow() =
        Volume("DRIVE0", "C:", "Système", "NTFS", "53687091200", "107374182400");
    m.volumes.Volumes.Grow() =
        Volume("DRIVE1", "/media/zoë/Data (old)", "Data (old)", "vfat", "600", "1500");
    m.volumes.Volumes.Grow() = Volume("DRIVE0", "D:", "Données & <b> (x", "exFAT", "0", "0");
    m.volumes.Volumes.Grow() = Volume("", "E:", "nowhere", "NTFS", "1", "2");  // on no disk
    m.volumes.Volumes.Grow() = Volume("DRIVE1", "F:", "", "", "", "");
    m.volumes.Count = 5;
    return m;
}

// What the page keeps of a machine: the texts the writers print.
Machine AsPrinted(const Machine& in) {
    Machine out = in;
    for (auto& mod : out.memory.Modules.Items) {
        mod.SerialNumber.clear();
        if (mod.FormFactor != 8 && mod.FormFactor != 12) mod.FormFactor = 0;
    }
    out.memory.Modules.Items[0] = MemoryModule{};
    for (auto& d : out.disks.Disks.Items) {
        d.InterfaceType.clear();
        d.MediaType = d.MediaType.substr(0, 3) == "Rem" ? kRemovableMediaType : kFixedMediaType;
    }
    out.disks.Disks.Items[0] = DiskInfos{};
    out.volumes = VolumeList{};
    for (int d = 1; d <= in.disks.Disks.UBound(); ++d)
        for (int v = 1; v <= in.volumes.Volumes.UBound(); ++v) {
            VolumeInfos vol = in.volumes.Volumes[v];
            if (vol.DiskId != in.disks.Disks[d].DiskId) continue;
            vol.DriveType = 0, vol.FreeSpace.clear(), vol.PartitionId.clear();
            out.volumes.Volumes.Grow() = vol;
        }
    out.volumes.Count = static_cast<std::int16_t>(out.volumes.Volumes.UBound());
    out.disks.Count = static_cast<std::int16_t>(out.disks.Disks.UBound());
    return out;
}

class ReadBack : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testing::MakeTempDir("harvix-read-");
        path_ = dir_ + "/PC_report.html";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const Machine& m, bool whole = true) {
        WriteReportHeader(path_);
        WriteGeneralSection(path_, m.general);
        WriteCpuSection(path_, m.cpu);
        WriteMemorySection(path_, m.memory);
        if (whole) {
            WriteStorageSections(path_, m.disks, m.volumes);
            WriteReportFooter(path_);
        }
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    static void ExpectSame(const ReportContents& got, const Machine& want) {
        EXPECT_EQ(got.General, want.general);
        EXPECT_EQ(got.Cpu, want.cpu);
        EXPECT_EQ(got.Memory.Installed, want.memory.Installed);
        EXPECT_EQ(got.Memory.MaxSupported, want.memory.MaxSupported);
        EXPECT_EQ(got.Memory.SlotCount, want.memory.SlotCount);
        EXPECT_EQ(got.Memory.UsedSlots, want.memory.UsedSlots);
        EXPECT_EQ(got.Memory.Modules, want.memory.Modules);
        EXPECT_EQ(got.Disks.Count, want.disks.Count);
        EXPECT_EQ(got.Disks.Disks, want.disks.Disks);
        EXPECT_EQ(got.Volumes.Count, want.volumes.Count);
        EXPECT_EQ(got.Volumes.Volumes, want.volumes.Volumes);
    }

    std::string dir_, path_;
};

TEST_F(ReadBack, WhatTheWritersWriteReadsBackInEitherLocale) {
    int ran = 0;
    for (const char* locale : {"C", "fr_FR.UTF-8", "de_DE.UTF-8"}) {
        SCOPED_TRACE(locale);
        testing::ScopedLocale scoped(locale);
        if (!scoped.ok()) continue;  // Windows: only the user's own locale
        ++ran;
        Machine m = Varied();
        ReadReportResult r = ReadReport(Write(m));
        ASSERT_TRUE(r.IsReport) << r.Reason;
        EXPECT_TRUE(r.Contents.Complete);
        ExpectSame(r.Contents, AsPrinted(m));
        std::tm now = testing::LocalNow();
        char today[48];
        std::snprintf(today, sizeof today, "%02d%s%02d%s%04d", now.tm_mday,
                      platform::DateSeparator().c_str(), now.tm_mon + 1,
                      platform::DateSeparator().c_str(), now.tm_year + 1900);
        EXPECT_EQ(r.Contents.GeneratedOn, today);
    }
#ifndef _WIN32
    EXPECT_EQ(ran, 3) << "the test command generates the locales";
#endif
    if (ran == 0) GTEST_SKIP() << "the user locale is none of those named";
}

TEST_F(ReadBack, AnEmptyMachineAndACutShortReport) {
    Machine empty;
    ReadReportResult r = ReadReport(Write(empty));
    ASSERT_TRUE(r.IsReport);
    EXPECT_TRUE(r.Contents.Complete);
    ExpectSame(r.Contents, AsPrinted(empty));

    // A run that failed after the memory table: no storage, no footer.
    Machine m = Varied();
    std::string bytes = Write(m, false);
    r = ReadReport(bytes);
    ASSERT_TRUE(r.IsReport);
    EXPECT_FALSE(r.Contents.Complete);
    EXPECT_EQ(r.Contents.General, m.general);
    EXPECT_EQ(r.Contents.Memory.Modules, AsPrinted(m).memory.Modules);
    EXPECT_EQ(r.Contents.Disks.Disks.UBound(), 0);
    EXPECT_TRUE(r.Contents.GeneratedOn.empty());

    // Cut in the middle of a line: what came before is kept.
    std::string whole = Write(m);
    std::size_t cut = whole.find("<tr><td>Coeurs logiques");
    r = ReadReport(whole.substr(0, cut + 10));
    ASSERT_TRUE(r.IsReport);
    EXPECT_FALSE(r.Contents.Complete);
    EXPECT_EQ(r.Contents.Cpu.PhysicalCores, "4");
    EXPECT_EQ(r.Contents.Memory.Installed, "");
    // The last line without its line end is not the end of the report.
    r = ReadReport(whole.substr(0, whole.size() - 2));
    EXPECT_FALSE(r.Contents.Complete);
    EXPECT_EQ(r.Contents.Volumes.Volumes, AsPrinted(m).volumes.Volumes);
}

TEST_F(ReadBack, OtherCodePagesKeepTheStructure) {
    Machine m = Varied();
    const std::string cp1252 = Write(m);
    // A machine whose ANSI code page is UTF-8 writes the same lines in UTF-8.
    ReadReportResult r = ReadReport(platform::DecodeWindows1252(cp1252));
    ASSERT_TRUE(r.IsReport);
    EXPECT_TRUE(r.Contents.Complete);
    ExpectSame(r.Contents, AsPrinted(m));

    // One lacking "é" writes it as a reference, in the labels too; its own
    // letters (here any byte above 0x7F) come out as other letters.
    std::string other;
    for (char c : cp1252) {
        if (c == '\xE9')
            other += "&#233;";
        else if (c == '\xE8')
            other += "&#xe8;";
        else
            other += c;
    }
    r = ReadReport(other);
    ASSERT_TRUE(r.IsReport);
    EXPECT_TRUE(r.Contents.Complete);
    ExpectSame(r.Contents, AsPrinted(m));
    std::string shifted = cp1252;
    for (char& c : shifted)
        if (c == '\xAB' || c == '\xBB' || c == '\xEB') c = '\xC6';  // a Cyrillic machine's bytes
    r = ReadReport(shifted);
    ASSERT_TRUE(r.IsReport);
    EXPECT_TRUE(r.Contents.Complete);
    EXPECT_EQ(r.Contents.General.UserName, "ZoÆ O'Brien");
    EXPECT_EQ(r.Contents.Disks.Disks, AsPrinted(m).disks.Disks);
}

// Every line form with fields, an empty one among them: filled, it splits back
// into the same fields, and a line cut short of its last piece is not of the form.
TEST(ReadReportText, EveryLineFormSplitsBackIntoItsFields) {
    for (const form::LineForm* lineForm :
         {&form::kStylesheetLine, &form::kLogoLine, &form::kRowLine, &form::kSlotsLine,
          &form::kModuleLine, &form::kDiskLine, &form::kVolumeLine, &form::kDateLine}) {
        SCOPED_TRACE(lineForm->front());
        ASSERT_GE(lineForm->size(), 2u);
        std::vector<std::string> want;
        for (std::size_t i = 1; i < lineForm->size(); ++i)
            want.push_back(i == 2 ? "" : "f" + std::to_string(i) + " &amp; (é) / - 1");
        const std::string line = form::FillLine(*lineForm, want);
        std::vector<std::string_view> got;
        ASSERT_TRUE(form::SplitLine(line, *lineForm, got)) << line;
        EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), want);
        EXPECT_FALSE(form::SplitLine(line.substr(0, line.size() - 1), *lineForm, got));
    }
}

TEST(ReadReportText, FilesThatAreNotReports) {
    EXPECT_EQ(ReadReport("").Reason, "fichier vide");
    EXPECT_EQ(ReadReport(std::string("MZ\x90\0\x03\0\0\0", 8)).Reason, "fichier binaire");
    ReadReportResult r = ReadReport(
        "<!DOCTYPE html>\r\n<html><head><style>\r\nbody{}\r\n</style></head><body>hi</body></html>\r\n");
    EXPECT_FALSE(r.IsReport);
    EXPECT_EQ(r.Reason, "pas un rapport Harvix");
    EXPECT_FALSE(ReadReport("just text\n").IsReport);
}

TEST(ReadReportText, ReferencesDecimalAndHexadecimal) {
    EXPECT_EQ(HtmlUnescape("a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&#39;"),
              "a & b <c> \"d\" 'e'");
    EXPECT_EQ(HtmlUnescape("&#233;&#xE9;&#Xe9;&#8364;&#x20AC;&#x1F600;"), "ééé€€\xF0\x9F\x98\x80");
    EXPECT_EQ(HtmlUnescape("&#0;&#xD800;&#x110000;&#xFFFD;"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(HtmlUnescape("&#13;&#10;&#9;"), "\r\n\t");
    // Not references: left as they stand.
    EXPECT_EQ(HtmlUnescape("&#;&#x;&#12&nbsp;&amp"), "&#;&#x;&#12&nbsp;&amp");
    EXPECT_EQ(HtmlUnescape("&amp;#233;"), "&#233;");
    // What HtmlText escapes comes back.
    const std::string hostile = "<script>alert(\"x\")</script> & \t\r\n=cmd|' /C calc'!A0";
    EXPECT_EQ(HtmlUnescape(HtmlText(hostile)), hostile);
}

}  // namespace
}  // namespace harvix
