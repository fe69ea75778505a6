// The index core: CSV form and reading back, flags and changes, safe outputs
// and capped reads on real files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "index/columns.h"
#include "index/csv.h"
#include "index/end_of_support.h"
#include "index/files.h"
#include "index/history.h"
#include "index/inventory_row.h"
#include "index/page.h"
#include "index/run.h"
#include "index/software.h"
#include "platform/encoding.h"
#include "report/modMakeReport.h"
#include "test_support.h"

namespace harvix::index {
namespace {

// A previous inventaire.csv's rows by file name, as a first index takes them in.
bool ReadInventory(std::string_view text, std::map<std::string, PreviousRow>& rows) {
    History h;
    if (!ImportInventory(text, h)) return false;
    rows = std::move(h.Computers);
    return true;
}

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(IndexCsv, FieldsQuoteAndKeepFormulasAsText) {
    EXPECT_EQ(CsvField("plain text"), "plain text");
    EXPECT_EQ(CsvField("a;b"), "\"a;b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(CsvField("=HYPERLINK(\"http://x\")"), "\"'=HYPERLINK(\"\"http://x\"\")\"");
    EXPECT_EQ(CsvField("=cmd|' /C calc'!A0"), "'=cmd|' /C calc'!A0");
    for (const char* f : {"+1", "-1", "@SUM(A1)", "\tx", "\rx"})
        EXPECT_EQ(CsvField(f)[0] == '"' ? CsvField(f)[1] : CsvField(f)[0], '\'') << f;
    EXPECT_EQ(CsvField("'=x"), "''=x");
    EXPECT_EQ(CsvField("'quoted'"), "'quoted'");
    EXPECT_EQ(CsvField("1234567890"), "1234567890");

    // Read back exactly, whatever the fields hold.
    std::vector<std::string> fields = {
        "=cmd|' /C calc'!A0", "'=x", "'plain", "a;b", "\"q\"", "x\r\ny", "", "-", "Ωμέγα €", "\tt"};
    auto records = ParseCsv("\xEF\xBB\xBF" + CsvLine(fields) + CsvLine({"second"}));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], fields);
    EXPECT_EQ(records[1], std::vector<std::string>{"second"});
}

ComputerRow Row(std::string file, std::string serial) {
    ComputerRow r;
    r.File = file, r.Name = file.substr(0, file.find('_')), r.Serial = serial;
    r.Os = "Windows 10", r.Model = "Dell - X", r.Cpu = "i5", r.RamBytes = 16.0 * (1 << 30);
    r.Modules = "A : 8,00 Go | B : 8,00 Go", r.Disks = "SSD 512 Go SN 1";
    r.ReportDate = {1, 12, 2026};
    return r;
}

TEST(IndexFlags, SerialNumbersAgeFullnessAndChanges) {
    EXPECT_EQ(SerialProblem(""), "Numéro de série absent");
    EXPECT_EQ(SerialProblem(" N/A "), "Numéro de série absent");
    for (const char* s : {"To be filled by O.E.M.", "Default string", "0", "000000",
                          "System Serial Number", "DEFAULT STRING", "Chassis  Serial Number",
                          "<BAD INDEX>"})
        EXPECT_EQ(SerialProblem(s), "Numéro de série générique") << s;
    EXPECT_EQ(SerialProblem("PF1XYZ12"), "");

    std::vector<ComputerRow> rows = {Row("A_report.html", "CLONE"), Row("B_report.html", "clone "),
                                     Row("C_report.html", "Default string"),
                                     Row("D_report.html", "D1"), Row("E_report.html", "E1")};
    rows[3].FullestPercent = 90.0;
    rows[4].FullestPercent = 89.99;
    rows[4].ReportDate = {31, 10, 2026};  // 31 days before the 1st of December
    rows[3].ReportDate = {1, 11, 2026};   // 30 days
    const Date today{1, 12, 2026};
    auto gone = SetFlags(rows, nullptr, today);
    EXPECT_TRUE(gone.empty());
    EXPECT_EQ(rows[0].SerialFlag, "Numéro de série partagé par 2 ordinateurs");
    EXPECT_EQ(rows[1].SerialFlag, rows[0].SerialFlag);
    EXPECT_EQ(rows[2].SerialFlag, "Numéro de série générique");
    EXPECT_EQ(rows[3].SerialFlag, "");
    EXPECT_TRUE(rows[3].Full);
    EXPECT_FALSE(rows[4].Full);
    EXPECT_TRUE(rows[4].Old);
    EXPECT_FALSE(rows[3].Old);
    for (const ComputerRow& r : rows)
        EXPECT_FALSE(r.Changed || r.New) << "a first run flags no change";

    // The previous index, written and read back as the next run does.
    std::string csv = InventoryHeader();
    for (const ComputerRow& r : rows) csv += InventoryLine(r);
    std::map<std::string, PreviousRow> previous;
    ASSERT_TRUE(ReadInventory(csv, previous));
    ASSERT_EQ(previous.size(), 5u);
    EXPECT_EQ(previous["D_report.html"].Field("RAM installée (Go)"), "16,00");
    EXPECT_EQ(previous["E_report.html"].Field("Date du rapport"), "31/10/2026");

    std::vector<ComputerRow> next = {Row("A_report.html", "CLONE"), Row("B_report.html", "clone "),
                                     Row("D_report.html", "D1"), Row("F_report.html", "F1"),
                                     Row("E_report.html", "E1")};
    next[1].RamBytes = 8.0 * (1 << 30);
    next[1].Modules = "A : 8,00 Go";
    next[2].Disks = "HDD 1000 Go SN 9";
    next[4].Incomplete = true;  // cut short before its disks
    next[4].Disks.clear();
    gone = SetFlags(next, &previous, today);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].File, "C_report.html");
    EXPECT_FALSE(next[0].Changed);
    EXPECT_EQ(next[1].Changes,
              (std::vector<std::string>{"RAM : 16,00 Go → 8,00 Go", "Modules : − B : 8,00 Go"}));
    EXPECT_EQ(next[2].Changes,
              std::vector<std::string>{"Disques : − SSD 512 Go SN 1 ; + HDD 1000 Go SN 9"});
    // The spreadsheet holds the same texts, one change from the next by " | ".
    auto line = ParseCsv(InventoryHeader() + InventoryLine(next[1]));
    ASSERT_EQ(line.size(), 2u);
    EXPECT_EQ(line[1].back(), "RAM : 16,00 Go → 8,00 Go | Modules : − B : 8,00 Go");
    EXPECT_TRUE(next[3].New);
    EXPECT_FALSE(next[3].Changed);
    EXPECT_FALSE(next[4].Changed) << "what a cut-short report lacks is no change";

    EXPECT_FALSE(ReadInventory("\xEF\xBB\xBFsomething;else\r\n", previous));
}

TEST(IndexColumns, OneTableForTheSpreadsheetThePageAndTheComparison) {
    std::set<std::string> heads, classes;
    for (const IndexColumn& c : IndexColumns()) {
        EXPECT_TRUE(!c.Csv || heads.insert(c.Csv).second) << "twice in inventaire.csv: " << c.Csv;
        EXPECT_TRUE(!c.Head || (c.Class && classes.insert(c.Class).second)) << c.Head;
        // A change is found against the previous inventaire.csv: it must be there.
        EXPECT_TRUE(c.Change == ChangeForm::None || (c.Csv && c.ChangeLabel));
    }
    // Every field of the spreadsheet reads back as written.
    ComputerRow row = Row("A;\"b\"_report.html", "=S1");
    row.Changes = {"OS : a → b", "x | y"};
    row.Changed = row.Old = true;
    std::map<std::string, PreviousRow> previous;
    ASSERT_TRUE(ReadInventory(InventoryHeader() + InventoryLine(row), previous));
    const PreviousRow& back = previous.at(row.File);
    for (const IndexColumn& c : IndexColumns()) {
        if (c.Csv) {
            EXPECT_EQ(back.Field(c.Csv), CsvValue(c, row)) << c.Csv;
        }
    }
    // The page has a cell under every head.
    std::vector<ComputerRow> rows = {row};
    std::vector<PreviousRow> gone;
    std::vector<UnreadFile> unread;
    std::string page;
    RenderPage({"F", "now", &rows, &gone, &unread, true, "", nullptr},
               [&](std::string_view b) { page += b; });
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = page.find(what); at != std::string::npos;
             at = page.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("<th class="), 22u);
    EXPECT_EQ(count("<td class="), 22u);
}

// The change text of a disk list going from one text to the other, or "" for none.
std::string DiskChange(const std::string& was, const std::string& now, bool incomplete = false) {
    std::vector<ComputerRow> first = {Row("A_report.html", "S1")};
    first[0].Disks = was;
    std::map<std::string, PreviousRow> previous;
    EXPECT_TRUE(ReadInventory(InventoryHeader() + InventoryLine(first[0]), previous));
    std::vector<ComputerRow> next = {Row("A_report.html", "S1")};
    next[0].Disks = now;
    next[0].Incomplete = incomplete;
    SetFlags(next, &previous, Date{1, 12, 2026});
    EXPECT_EQ(next[0].Changed, !next[0].Changes.empty());
    return next[0].Changes.empty() ? "" : next[0].Changes.at(0);
}

TEST(IndexFlags, ListChangesShowOnlyWhatWentAndCame) {
    const std::string a = "HDD 2000 Go SN A", b = "HDD 2000 Go SN B", c = "SSD 512 Go SN C";
    const std::string vbox = "VBOX HARDDISK 50 Go";  // no serial: identical items
    EXPECT_EQ(DiskChange(a + " | " + b + " | " + c, a + " | " + c), "Disques : − " + b);
    EXPECT_EQ(DiskChange(a + " | " + b, b + " | " + a), "") << "another order, the same disks";
    EXPECT_EQ(DiskChange(vbox + " | " + vbox + " | " + a, vbox + " | " + a), "Disques : − " + vbox)
        << "one of two identical disks removed";
    EXPECT_EQ(DiskChange(vbox + " | " + a + " | " + vbox + " | " + vbox, a),
              "Disques : − 3 × " + vbox);
    EXPECT_EQ(DiskChange(a, a + " | " + vbox + " | " + vbox), "Disques : + 2 × " + vbox);
    EXPECT_EQ(DiskChange(a + " | " + b, c + " | " + b + " | " + vbox),
              "Disques : − " + a + " ; + " + c + " ; + " + vbox);
    EXPECT_EQ(DiskChange("", a), "Disques : + " + a);
    EXPECT_EQ(DiskChange(a + " | " + b, ""), "Disques : − " + a + " ; − " + b);
    EXPECT_EQ(DiskChange(a + " | " + b, "", true), "") << "a cut-short report lacks its disks";
    // An item is a whole text between separators, not a part of one.
    EXPECT_EQ(DiskChange("X 1 Go | X 1 Go SN 2", "X 1 Go SN 2 | X 1 Go SN 2"),
              "Disques : − X 1 Go ; + X 1 Go SN 2");
}

TEST(IndexTexts, DatesAndNumbers) {
    EXPECT_EQ(ParseReportDate("07/12/2026").Iso(), "2026-12-07");
    EXPECT_EQ(ParseReportDate("07.12.2026").Text(), "07/12/2026");
    EXPECT_EQ(ParseReportDate("07-12-2026").Day, 7);
    EXPECT_EQ(ParseReportDate("09. 12. 2026").Iso(), "2026-12-09");
    EXPECT_EQ(ParseReportDate("09ཟལ12ཟལ2026").Iso(), "2026-12-09") << "Tibetan: 6 bytes";
    EXPECT_FALSE(ParseReportDate("07/12.2026").Valid());
    EXPECT_FALSE(ParseReportDate("07ཟལ12ཟཟ2026").Valid());
    EXPECT_FALSE(ParseReportDate("32/12/2026").Valid());
    EXPECT_FALSE(ParseReportDate("").Valid());
    EXPECT_EQ(Date({1, 3, 2024}).DaysSinceEpoch() - Date({28, 2, 2024}).DaysSinceEpoch(), 2);
    EXPECT_EQ(Date({1, 1, 1970}).DaysSinceEpoch(), 0);
    EXPECT_EQ(FrenchDecimal(15.4949, 2), "15,49");
    EXPECT_EQ(FrenchDecimal(1000, 0), "1000");

    ReportContents c;
    c.General.ComputerName = "";
    c.Memory.Installed = "15.49 Go";  // an English locale's report
    c.Disks.Disks.Grow().Size = "512 Go";
    c.Disks.Disks.Grow().Size = "1000 Go";
    c.Volumes.Volumes.Grow() = VolumeInfos{"C:", "", 0, "", "100", "50", "", "", "DRIVE0"};
    c.Volumes.Volumes.Grow() = VolumeInfos{"D:", "", 0, "", "0", "0", "", "", "DRIVE0"};
    c.GeneratedOn = "07/12/2026";  // cut in the footer: every disk is there
    ComputerRow r = RowFromReport("PC-42_report.html", c);
    EXPECT_EQ(r.Name, "PC-42");
    EXPECT_EQ(RamText(r), "15,49 Go");
    EXPECT_EQ(r.DiskBytes, 1512e9);
    EXPECT_EQ(r.FullestVolume, "C:");
    EXPECT_DOUBLE_EQ(r.FullestPercent, 50.0);
    EXPECT_TRUE(r.Incomplete);

    // Any size prints in full, and a second run finds it unchanged.
    c.Memory.Installed = "1e70 Go";
    c.Complete = true;
    r = RowFromReport("PC-42_report.html", c);
    std::map<std::string, PreviousRow> previous;
    ASSERT_TRUE(ReadInventory(InventoryHeader() + InventoryLine(r), previous));
    const std::string ram = previous.begin()->second.Field("RAM installée (Go)");
    EXPECT_EQ(ram.size(), 71u + 3u) << ram;
    EXPECT_EQ(RamText(r), ram + " Go");
    std::vector<ComputerRow> again = {r};
    SetFlags(again, &previous, Date{1, 12, 2026});
    EXPECT_FALSE(again[0].Changed);
}

class IndexFiles : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = testing::MakeTempDir("harvix-index-files-"); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string dir_;
};

TEST_F(IndexFiles, OutputsReplaceWholeOrAreKeptUnderADatedName) {
    {
        std::ofstream(fs::path(dir_) / "inventaire.csv") << "old";
        OutputFile out(dir_, "inventaire.csv");
        out.Write("new ");
        EXPECT_EQ(Slurp(fs::path(dir_) / "inventaire.csv"), "old")
            << "the old file stays until the end";
        out.Write(std::string(1 << 20, 'x'));
        OutputFile::Result r = out.Commit();
        EXPECT_TRUE(r.Replaced) << r.Error;
        EXPECT_EQ(Slurp(fs::path(dir_) / "inventaire.csv").size(), 4u + (1 << 20));
    }
    {
        OutputFile abandoned(dir_, "volumes.csv");
        abandoned.Write("half");
    }  // a run that stops half-way leaves nothing behind
    {
        // What cannot be replaced (here a folder in the way) is kept under a dated name.
        fs::create_directory(fs::path(dir_) / "index.html");
        std::ofstream(fs::path(dir_) / "index.html" / "x") << "x";
        OutputFile out(dir_, "index.html");
        out.Write("page");
        OutputFile::Result r = out.Commit();
        EXPECT_FALSE(r.Replaced);
        EXPECT_FALSE(r.Error.empty());
        ASSERT_FALSE(r.KeptAs.empty());
        EXPECT_EQ(r.KeptAs.substr(0, 6), "index-");
        EXPECT_EQ(r.KeptAs.substr(r.KeptAs.size() - 5), ".html");
        EXPECT_EQ(Slurp(fs::path(dir_) / r.KeptAs), "page");
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 3u) << "no temporary file is left";
    EXPECT_EQ(names[0].substr(0, 6), "index-");
    EXPECT_EQ(names[1], "index.html");
    EXPECT_EQ(names[2], "inventaire.csv");
    EXPECT_EQ(DatedName("inventaire.csv", {2026, 12, 9, 2, 30, 5}),
              "inventaire-20261209-023005.csv");
}

TEST_F(IndexFiles, ReadsAreCappedAndNeverBlock) {
    const fs::path small = fs::path(dir_) / "a", big = fs::path(dir_) / "b";
    std::ofstream(small, std::ios::binary) << "12345";
    std::ofstream(big, std::ios::binary) << std::string(1001, 'b');
    ReadOutcome r = ReadCapped(small.string(), 1000);
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.Bytes, "12345");
    r = ReadCapped(big.string(), 1000);
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Reason.find("trop volumineux"), std::string::npos);
    EXPECT_TRUE(r.Bytes.empty());
    r = ReadCapped(dir_, 1000);
    EXPECT_FALSE(r.Ok);
    EXPECT_FALSE(r.Reason.empty());
    r = ReadCapped((fs::path(dir_) / "missing").string(), 1000);
    EXPECT_FALSE(r.Ok);
#ifndef _WIN32
    const std::string fifo = dir_ + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    r = ReadCapped(fifo, 1000);  // would hang a plain open
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Reason, "pas un fichier ordinaire");
#endif
    auto entries = ListFolder(dir_);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, "a");
    EXPECT_THROW(ListFolder(dir_ + "/missing"), std::exception);
}

// inventaire.csv as a spreadsheet saves it back: fields joined by sep, quoted
// where they hold it, and figures as a French spreadsheet shows them.
std::string Resaved(const std::vector<std::vector<std::string>>& records, char sep) {
    std::string out;
    for (const auto& rec : records) {
        for (std::size_t i = 0; i < rec.size(); ++i) {
            std::string f = rec[i] == "16,00" ? "16" : rec[i];
            if (f.find(sep) != std::string::npos || f.find('"') != std::string::npos) {
                std::string q = "\"";
                for (char c : f) q += c == '"' ? std::string("\"\"") : std::string(1, c);
                f = q + '"';
            }
            out += (i ? std::string(1, sep) : "") + f;
        }
        out += "\r\n";
    }
    return out;
}

TEST(IndexHistory, KeepsEveryChangeAndStartsOnceFromAnySavedSpreadsheet) {
    ComputerRow cafe = Row("CAFÉ_report.html", "S1");
    cafe.Name = "CAFÉ";
    std::vector<ComputerRow> rows = {cafe, Row("B_report.html", "S2")};
    History h;
    SetFlags(rows, nullptr, Date{1, 12, 2026});
    RecordRun(h, rows, false, {}, {}, "01/12/2026 10:00");
    EXPECT_TRUE(h.Changes.empty()) << "a first index finds no change";

    std::vector<ComputerRow> next = {cafe, Row("C_report.html", "S3")};
    next[0].RamBytes = 8.0 * (1 << 30);
    auto gone = SetFlags(next, &h.Computers, Date{2, 12, 2026});
    RecordRun(h, next, true, gone, {}, "02/12/2026 10:00");
    ASSERT_EQ(h.Changes.size(), 3u);
    EXPECT_EQ(h.Changes[0].Field, "RAM");
    EXPECT_EQ(h.Changes[0].Before, "16,00 Go");
    EXPECT_EQ(h.Changes[0].After, "8,00 Go");
    EXPECT_EQ(h.Changes[1].After, "présent");
    EXPECT_EQ(h.Changes[2].File, "B_report.html");
    EXPECT_EQ(h.Changes[2].After, "(absent)");

    h.OwnColumns = {"Commentaire"};
    h.Own["CAFÉ_report.html"]["Commentaire"] = "à voir; \"vite\"";
    History back;
    std::string problem;
    ASSERT_TRUE(ParseHistory(HistoryJson(h), back, problem)) << problem;
    EXPECT_EQ(HistoryJson(back), HistoryJson(h));
    EXPECT_EQ(back.Computers.size(), 2u);
    EXPECT_EQ(OwnValues(back, "CAFÉ_report.html"), std::vector<std::string>{"à voir; \"vite\""});
    EXPECT_TRUE(
        ChangesCsv(back).starts_with("\xEF\xBB\xBF"
                                     "Date;Ordinateur;Champ;Avant;Après\r\n"));

    for (const char* bad : {"{", "[]", "{\"version\": 99}", "{\"version\": 1}"}) {
        EXPECT_FALSE(ParseHistory(bad, back, problem)) << bad;
        EXPECT_FALSE(problem.empty());
    }
    ParseHistory("{\"version\": 99}", back, problem);
    EXPECT_NE(problem.find("version 99"), std::string::npos) << problem;

    // The first version's inventaire.csv, as written and as re-saved with ","
    // (UTF-8) or ";" (windows-1252, no BOM): the same computers, no change.
    const std::string v1 = InventoryHeader({"Commentaire"}) + InventoryLine(cafe, {"à voir"});
    const auto records = ParseCsv(v1);
    for (const std::string& form :
         {v1, Resaved(records, ','), platform::EncodeWindows1252(Resaved(records, ';'))}) {
        History start;
        ASSERT_TRUE(ImportInventory(form, start));
        TakeOwnColumns(form, start);
        std::vector<ComputerRow> again = {cafe};
        EXPECT_TRUE(SetFlags(again, &start.Computers, Date{1, 12, 2026}).empty());
        EXPECT_FALSE(again[0].New);
        EXPECT_TRUE(again[0].Changes.empty()) << again[0].Changes[0];
        EXPECT_EQ(OwnValues(start, "CAFÉ_report.html"), std::vector<std::string>{"à voir"});
    }
    History none;
    EXPECT_FALSE(ImportInventory("Ordinateur;Disque\r\nA;B\r\n", none));
}

TEST_F(IndexFiles, ADamagedHistoryIsKeptAsideAndSaid) {
    const fs::path state = fs::path(dir_) / kHistoryName;
    PastState past = LoadPast(dir_);
    EXPECT_FALSE(past.HadPrevious);
    EXPECT_TRUE(past.Notice.empty());

    std::ofstream(fs::path(dir_) / kInventoryName, std::ios::binary)
        << InventoryHeader() + InventoryLine(Row("A_report.html", "S1"));
    past = LoadPast(dir_);
    EXPECT_TRUE(past.HadPrevious);
    EXPECT_NE(past.Notice.find("Historique de l'index absent"), std::string::npos) << past.Notice;

    std::ofstream(state, std::ios::binary) << "{\"version\": 1, \"ordin";
    past = LoadPast(dir_);
    EXPECT_NE(past.Notice.find("est illisible"), std::string::npos) << past.Notice;
    EXPECT_NE(past.Notice.find("à partir de l'inventaire.csv"), std::string::npos) << past.Notice;
    EXPECT_TRUE(past.HadPrevious);
    EXPECT_FALSE(fs::exists(state));
    int kept = 0;
    for (const auto& e : fs::directory_iterator(dir_))
        if (e.path().filename().string().starts_with("historique-index-")) {
            ++kept;
            EXPECT_EQ(Slurp(e.path()), "{\"version\": 1, \"ordin");
            EXPECT_NE(past.Notice.find(e.path().filename().string()), std::string::npos);
        }
    EXPECT_EQ(kept, 1);
}

TEST_F(IndexFiles, OneRunAtATimeInAFolder) {
    {
        FolderLock first(dir_, kLockName, 0);
        try {
            FolderLock second(dir_, kLockName, 0);
            ADD_FAILURE() << "a second lock was granted";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("Un autre index de ce dossier est en cours"),
                      std::string::npos)
                << e.what();
        }
    }
    EXPECT_NO_THROW(FolderLock again(dir_, kLockName, 0)) << "released with its holder";
    EXPECT_NO_THROW(FolderLock none(dir_ + "/missing", kLockName, 0)) << "no lock, no refusal";
}

TEST(IndexCsv, NumbersAndDatesStayTextAndReadBackExactly) {
    const std::string wj = "\xE2\x81\xA0";
    for (const char* v :
         {"000123456789", "1-2", "3/4", "1E5", "1,5 %", "12:30", ",5", " 42", "(12)",
          "\xE2\x82\xAC"
          "5",
          "VRAI", "false"})
        EXPECT_EQ(KeepAsText(v), wj + v) << v;
    for (const char* v : {"", "Dell", "'123", "-5", "+33 1", "C:", "Intel(R) Core", "(vide)",
                          "20QDCTO1WW", "0x1F", "1 Go"})
        EXPECT_EQ(KeepAsText(v), v) << v;
    EXPECT_EQ(KeepAsText(wj + "x"), wj + wj + "x") << "a joiner of its own is kept";

    // The inventory's texts are guarded, its figures and dates stay numbers.
    ComputerRow row;
    row.File = "0042_report.html";
    row.Name = "0042";
    row.Serial = "000123456789";
    row.Model = "-";
    row.Cpu = "two\r\nlines";
    row.User = wj + "7";
    row.PhysicalCores = wj + "4";  // a count the report gave as text
    row.LogicalCores = "8";
    row.ReportDate = {7, 12, 2026};
    row.RamBytes = 8 * kGiB;
    const std::string line = InventoryLine(row);
    EXPECT_NE(line.find(";" + wj + "000123456789;"), std::string::npos) << line;
    EXPECT_NE(line.find(";'-;"), std::string::npos) << "the formula guard stays";
    EXPECT_NE(line.find(";07/12/2026;"), std::string::npos);
    EXPECT_NE(line.find(";8,00;"), std::string::npos);
    std::map<std::string, PreviousRow> back;
    ASSERT_TRUE(ReadInventory(InventoryHeader() + line, back));
    ASSERT_EQ(back.count("0042_report.html"), 1u);
    const PreviousRow& p = back["0042_report.html"];
    EXPECT_EQ(p.Field(kNameColumn), "0042");
    EXPECT_EQ(p.Field("Numéro de série"), "000123456789");
    EXPECT_EQ(p.Field("Modèle"), "-");
    EXPECT_EQ(p.Field("CPU"), "two\r\nlines") << "CR LF inside a field is kept";
    EXPECT_EQ(p.Field("Utilisateur"), wj + "7");
    EXPECT_EQ(p.Field("Cœurs physiques"), wj + "4");
    EXPECT_NE(line.find(";8;"), std::string::npos) << "a count stays a number";
}

TEST(IndexTexts, AReportCutShortLeavesItsUnknownsBlank) {
    ReportContents c;
    c.General.ComputerName = "PC-1";
    c.Memory.Installed = "8,00 Go";
    ComputerRow r = RowFromReport("PC-1_report.html", c);  // cut before the disks
    const std::string line = InventoryLine(r);
    EXPECT_NE(line.find(";8,00;;;;;"), std::string::npos)
        << "RAM, then blank slots and disks: " << line;
    c.Disks.Disks.Grow().Size = "512 Go";  // cut within the disks: the memory is whole
    r = RowFromReport("PC-1_report.html", c);
    EXPECT_NE(InventoryLine(r).find(";8,00;0;0;;;"), std::string::npos) << InventoryLine(r);
    c.Complete = true;
    r = RowFromReport("PC-1_report.html", c);
    EXPECT_NE(InventoryLine(r).find(";8,00;0;0;1;512;"), std::string::npos) << InventoryLine(r);
}

// Reports named "_report.html" (no COMPUTERNAME) and, on Linux, a name in Latin-1 are read.
TEST_F(IndexFiles, EveryReportFileIsARowOrSaysWhyNot) {
    auto write = [&](const std::string& file, const std::string& computer) {
        const std::string path = dir_ + "/" + file;
        WriteReportHeader(path);
        GeneralInfos g;
        g.ComputerName = computer;
        WriteGeneralSection(path, g);
        WriteCpuSection(path, CpuInfos());
        WriteMemorySection(path, MemoryInfos());
        WriteStorageSections(path, DiskList(), VolumeList());
        WriteReportFooter(path);
    };
    write("_report.html", "");
    write("PC_report.html", "");
#ifndef _WIN32
    write("caf\xE9_report.html", "");
#endif
    fs::create_directory(fs::path(dir_) / "dir_report.html");
    IndexOutcome outcome = RunIndex(dir_);
    std::set<std::string> names;
    for (const auto& rec : ParseCsv(Slurp(fs::path(dir_) / "inventaire.csv"))) names.insert(rec[0]);
    EXPECT_EQ(names.count(kNoName), 1u);
    EXPECT_EQ(names.count("PC"), 1u);
    EXPECT_EQ(outcome.Unread, 1) << outcome.Status;
    const std::string page = Slurp(fs::path(dir_) / "index.html");
    EXPECT_NE(page.find("dir_report.html</td><td>c&#39;est un dossier"), std::string::npos);
#ifndef _WIN32
    EXPECT_EQ(outcome.Reports, 3);
    EXPECT_EQ(names.count("caf\xC3\xA9"), 1u);
    EXPECT_NE(page.find("<a href=\"caf%E9_report.html\">caf\xC3\xA9_report.html</a>"),
              std::string::npos);
#endif
}

}  // namespace
}  // namespace harvix::index

namespace harvix::index {
namespace {

// An inventory file as Harvix writes it: GLPI's members and content.harvix.
std::string Inventory(const std::string& name, const std::string& uuid, const std::string& mac,
                      const std::string& tpm = "2.0") {
    return R"({"deviceid": ")" + name + R"(-2026-12-01-09-30-00", "itemtype": "Computer",
 "action": "inventory", "content": {
  "versionclient": "Harvix-4.0", "hardware": {"name": ")" +
           name + R"(", "uuid": ")" + uuid + R"(", "memory": 16000},
  "bios": {"bdate": "2016-02-06", "bversion": "1.4.3", "smodel": "XPS 13 9350", "ssn": "640HP72",
           "secure_boot": "disabled"},
  "operatingsystem": {"name": "Windows", "full_name": "Microsoft Windows 10 Professionnel",
                      "version": "10.0.19045", "kernel_version": "19045"},
  "cpus": [{"name": "Intel Xeon", "core": 4, "thread": 2},
           {"name": "Intel Xeon", "core": 4, "thread": 2}],
  "memories": [{"capacity": 8192, "caption": "BANK 0", "manufacturer": "Samsung", "model": "M471"},
               {"capacity": 8192, "caption": "BANK 1"}, {"caption": "BANK 2"}],
  "networks": [{"description": "lo", "mac": "00:00:00:00:00:00", "type": "loopback"},
               {"description": "eth0", "mac": ")" +
           mac + R"(", "virtualdev": false},
               {"description": "eth0", "mac": ")" +
           mac + R"(", "ipaddress": "10.0.0.2"},
               {"description": "docker0", "mac": "02:42:ac:11:00:02", "virtualdev": true}],
  "softwares": [{"name": "7-Zip", "version": "1.10", "publisher": "Igor Pavlov",
                 "install_date": "2023-01-15"}, {"name": "Git", "version": "8.0.4010"},
                {"version": "nameless"}],
  "harvix": {"os": {"edition": "Professional", "display_version": "22H2", "build": "19045.4460"},
   "report": {"user_name": "CORP\\alice", "operating_system": "Microsoft Windows 10 Professionnel",
   "memory": {"total_bytes": 17179869185, "slots": 4, "used_slots": 2},
   "disks": [{"id": "0", "model": "PM951", "serial_number": "S29N", "size_bytes": 256060514304}],
   "volumes": [{"name": "C:", "label": "OS", "file_system": "NTFS", "size_bytes": 1000,
                "used_bytes": 950, "disk": "0"}]},
   "firmware_type": "UEFI",
   "tpm": {"present": )" +
           (tpm.empty() ? "false" : "true, \"version\": \"" + tpm + "\"") + R"(},
   "windows11": {"verdict": "non", "failed": ["processeur"], "unknown": ["TPM"]}}}})";
}

// The same computer as this version writes it: GLPI's document, and Harvix's
// own file beside it.
std::pair<std::string, std::string> Split(const std::string& before) {
    nlohmann::ordered_json glpi = nlohmann::ordered_json::parse(before);
    nlohmann::ordered_json own = {{"format", "harvix"}, {"deviceid", glpi["deviceid"]}};
    own.update(glpi["content"]["harvix"]);
    glpi["content"].erase("harvix");
    return {glpi.dump(), own.dump()};
}

TEST(IndexInventory, ExactValuesFromTheFileAndEndOfSupport) {
    ComputerRow r;
    std::vector<ProgramEntry> programs;
    std::string volumes, reason;
    std::string ownProblem;
    const auto [glpi, own] = Split(Inventory("PC-1", "4C4C-1", "AA:BB:CC:00:00:01"));
    ASSERT_TRUE(
        ReadInventory("PC-1_report.html", glpi, own, r, programs, volumes, reason, ownProblem))
        << reason;
    EXPECT_EQ(ownProblem, "");
    EXPECT_EQ(r.File, "PC-1_report.html");
    EXPECT_EQ(r.Name, "PC-1");
    EXPECT_EQ(r.User, "CORP\\alice");
    EXPECT_EQ(r.Model + "|" + r.Serial, "XPS 13 9350|640HP72");
    EXPECT_EQ(r.PhysicalCores + "/" + r.LogicalCores, "8/16");
    EXPECT_EQ(r.RamBytes, 17179869185.0);
    EXPECT_EQ(r.UsedSlots * 10 + r.SlotCount, 24);
    EXPECT_EQ(r.Modules, "BANK 0 : 8,00 Go Samsung M471 | BANK 1 : 8,00 Go");
    EXPECT_EQ(r.Disks, "PM951 256 Go SN S29N");
    EXPECT_EQ(r.DiskBytes, 256060514304.0);
    EXPECT_EQ(r.FullestVolume, "C:");
    EXPECT_DOUBLE_EQ(r.FullestPercent, 95.0);
    EXPECT_EQ(r.ReportDate.Iso(), "2026-12-01");
    EXPECT_NE(volumes.find("C:;OS;NTFS;950;1000;95,0"), std::string::npos) << volumes;
    const InventoryFacts& f = r.Inventory;
    EXPECT_TRUE(f.Present && f.Importable);
    {
        // The version before's single file reads to the same row; GLPI 10.0 refuses it.
        ComputerRow before;
        std::vector<ProgramEntry> p;
        std::string v;
        ASSERT_TRUE(ReadInventory("PC-1_report.html",
                                  Inventory("PC-1", "4C4C-1", "AA:BB:CC:00:00:01"), "", before, p,
                                  v, reason, ownProblem));
        EXPECT_EQ(InventoryLine(before), InventoryLine(r));
        EXPECT_EQ(v, volumes);
        EXPECT_EQ(before.Inventory.Win11Reasons, f.Win11Reasons);
        EXPECT_FALSE(before.Inventory.Importable);
        // An own file of another run, or none that is one, is left aside and said.
        for (const std::string& other :
             {own.substr(0, own.find("PC-1-")) + "PC-1-2025" + own.substr(own.find("PC-1-") + 9),
              std::string("{\"deviceid\": \"PC-1-2026-12-01-09-30-00\"}"), std::string("{")}) {
            ownProblem.clear();
            ASSERT_TRUE(
                ReadInventory("PC-1_report.html", glpi, other, before, p, v, reason, ownProblem));
            EXPECT_NE(ownProblem, "") << other;
            EXPECT_EQ(before.User, "") << other;
            // Without the page's counts, this program's threads are per core.
            EXPECT_EQ(before.PhysicalCores + "/" + before.LogicalCores, "8/16") << other;
        }
        // Harvix's own date of the run wins over the device id's.
        nlohmann::json later = nlohmann::json::parse(own);
        later["date"] = "2026-12-05 10:00:00";
        ASSERT_TRUE(ReadInventory("PC-1_report.html", glpi, later.dump(), before, p, v, reason,
                                  ownProblem));
        EXPECT_EQ(before.ReportDate.Iso(), "2026-12-05");
    }
    EXPECT_EQ(f.Macs, std::vector<std::string>{"aa:bb:cc:00:00:01"});
    EXPECT_EQ(f.OsBuild, "10.0.19045.4460");
    {
        // GLPI's agent's members, and this version's: the display version as version,
        // the revision in service_pack; the same facts without content.harvix's.
        std::string now = Inventory("PC-1", "4C4C-1", "AA:BB:CC:00:00:01");
        auto change = [&now](const std::string& from, const std::string& to) {
            ASSERT_NE(now.find(from), std::string::npos) << from;
            now.replace(now.find(from), from.size(), to);
        };
        change(
            R"("version": "10.0.19045", "kernel_version": "19045")",
            R"("version": "22H2", "kernel_version": "10.0.19045", "service_pack": "19045.4460")");
        change(R"(, "display_version": "22H2", "build": "19045.4460")", "");
        ComputerRow n;
        std::vector<ProgramEntry> more;
        std::string lines;
        std::string aside;
        ASSERT_TRUE(ReadInventory("PC-1_report.html", now, "", n, more, lines, reason, aside));
        EXPECT_EQ(n.Inventory.OsVersion + "|" + n.Inventory.OsBuild, "22H2|10.0.19045.4460");
        EXPECT_EQ(EndOfSupport(n.Inventory).Iso(), EndOfSupport(f).Iso());
        // Windows 8.1 has no display version: its build stands as version, as it did.
        change(R"("version": "22H2", "kernel_version": "10.0.19045", "service_pack": "19045.4460")",
               R"("kernel_version": "6.3.9600", "service_pack": "9600.21620")");
        ASSERT_TRUE(ReadInventory("PC-1_report.html", now, "", n, more, lines, reason, aside));
        EXPECT_EQ(n.Inventory.OsVersion + "|" + n.Inventory.OsBuild, "6.3.9600|6.3.9600.21620");
    }
    EXPECT_EQ(f.Win11Reasons, (std::vector<std::string>{"processeur", "TPM"}));
    EXPECT_EQ(f.SecureBoot + "|" + f.Tpm + "|" + f.BiosVersion + "|" + f.BiosDate.Text(),
              "disabled|2.0|1.4.3|06/02/2016");
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0].Computer + "|" + programs[0].Version + "|" + programs[0].InstallDate,
              "PC-1|1.10|2023-01-15");
    // Versions stay texts; the install date is a date.
    EXPECT_EQ(SoftwareLine(programs[0]),
              "PC-1;7-Zip;\xE2\x81\xA0"
              "1.10;Igor Pavlov;15/01/2023\r\n");

    // End of support: the build tells the version, the edition the date.
    EXPECT_EQ(EndOfSupport(f).Iso(), "2025-10-14");
    InventoryFacts w11{.OsName = "Microsoft Windows 11 Entreprise", .OsBuild = "10.0.22631.4460"};
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2026-11-10");
    w11.OsName = "Microsoft Windows 11 Famille";
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2025-11-11");
    w11.OsBuild.clear(), w11.OsVersion = "24H2";
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2026-10-13");
    // Pro Education is dated with Home and Pro; editions match whatever their accents.
    w11 = {.OsName = "Microsoft Windows 11 Pro Education", .OsBuild = "10.0.22631.4460"};
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2025-11-11");
    w11.OsName = "Microsoft Windows 11 Professionnel Éducation";
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2025-11-11");
    w11.OsName = "Microsoft Windows 11", w11.OsEdition = "ProfessionalEducation";
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2025-11-11");
    w11.OsEdition = "Education";
    EXPECT_EQ(EndOfSupport(w11).Iso(), "2026-11-10");
    EXPECT_EQ(
        EndOfSupport({.OsName = "Microsoft Windows 10 Éducation", .OsBuild = "10.0.19044.1"}).Iso(),
        "2024-06-11");
    EXPECT_EQ(
        EndOfSupport({.OsName = "Microsoft Windows 10 ÉDUCATION", .OsBuild = "10.0.19044.1"}).Iso(),
        "2024-06-11");
    EXPECT_EQ(EndOfSupport(
                  {.OsName = "Microsoft Windows Server 2025 Standard", .OsBuild = "10.0.26100.1"})
                  .Iso(),
              "2034-10-10");
    EXPECT_FALSE(EndOfSupport({.OsName = "Microsoft Windows 10 Entreprise LTSC 2019",
                               .OsBuild = "10.0.17763.1"})
                     .Valid());
    EXPECT_EQ(EndOfSupport({.OsName = "Debian GNU/Linux 12 (bookworm)", .OsVersion = "12"}).Iso(),
              "2028-06-30");
    EXPECT_FALSE(EndOfSupport({.OsName = "Debian GNU/Linux", .OsVersion = "120"}).Valid());
    EXPECT_EQ(EndOfSupport({.OsName = "Debian GNU/Linux 13 (trixie)", .OsVersion = "13.1"}).Iso(),
              "2030-06-30");

    // Members of another type or missing never throw; what is no inventory says so.
    ASSERT_TRUE(ReadInventory("X_report.html",
                              R"({"deviceid": 5, "content": {"cpus": {}, "memories": "8",
                                  "harvix": {"memory": [], "tpm": {"present": "yes"},
                                  "disks": [1, "x"], "volumes": {"name": 3}}}})",
                              "[1]", r, programs, volumes, reason, ownProblem));
    EXPECT_EQ(r.Name, "X");
    EXPECT_FALSE(r.Inventory.Importable);
    for (const char* notOne : {"[]", "{}", "{\"content\": {}}", "{\"deviceid\": \"x\"", "\xFF"})
        EXPECT_FALSE(
            ReadInventory("X_report.html", notOne, "", r, programs, volumes, reason, ownProblem))
            << notOne;
}

void WriteReportFile(const std::string& path, const std::string& computer) {
    WriteReportHeader(path);
    GeneralInfos g;
    g.ComputerName = computer;
    g.UserName = "from-report";
    WriteGeneralSection(path, g);
    WriteCpuSection(path, CpuInfos());
    WriteMemorySection(path, MemoryInfos());
    WriteStorageSections(path, DiskList(), VolumeList());
    WriteReportFooter(path);
}

TEST_F(IndexFiles, TheHistoryUnderItsFormerNameIsTakenOver) {
    const fs::path now = fs::path(dir_) / kHistoryName,
                   former = fs::path(dir_) / kFormerHistoryName;
    WriteReportFile(dir_ + "/A_report.html", "A");
    RunIndex(dir_);
    ASSERT_TRUE(fs::exists(now));
    fs::rename(now, former);
    fs::remove(fs::path(dir_) / kInventoryName);  // the history alone tells B is new
    WriteReportFile(dir_ + "/B_report.html", "B");
    std::ofstream(fs::path(dir_) / "historique-index-20250101-120000.json") << "{";
    IndexOutcome outcome = RunIndex(dir_);
    EXPECT_EQ(outcome.Status.find("Historique"), std::string::npos) << outcome.Status;
    EXPECT_TRUE(fs::exists(now));
    EXPECT_FALSE(fs::exists(former));
    EXPECT_EQ(Slurp(fs::path(dir_) / "historique-index-20250101-120000.txt"), "{");
    const std::string changes = Slurp(fs::path(dir_) / kChangesName);
    EXPECT_NE(changes.find(";B;Ordinateur;(absent);"), std::string::npos) << changes;

    // A damaged one is kept aside under a name no GLPI import path takes.
    fs::rename(now, former);
    std::ofstream(former, std::ios::binary) << "{";
    outcome = RunIndex(dir_);
    EXPECT_NE(outcome.Status.find(kFormerHistoryName), std::string::npos) << outcome.Status;
    EXPECT_FALSE(fs::exists(former));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
        names.push_back(e.path().filename().string());
    std::erase_if(names, [](const std::string& n) { return !n.starts_with("historique-index"); });
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 4u);  // the old aside, the new aside, the lock and the new history
    EXPECT_TRUE(names[1].starts_with("historique-index-") && names[1].ends_with(".txt"))
        << names[1];
    EXPECT_EQ(Slurp(fs::path(dir_) / names[1]), "{");
    EXPECT_EQ(names[2], "historique-index.lock");
}

TEST_F(IndexFiles, OneRowPerComputerFromItsInventoryFileOrItsReport) {
    auto put = [&](const std::string& file, const std::string& bytes) {
        std::ofstream(fs::path(dir_) / file, std::ios::binary) << bytes;
    };
    // A and C as this version writes them, the others as the version before.
    auto putPair = [&](const std::string& name, const std::string& before) {
        const auto [glpi, own] = Split(before);
        put(name + "_inventory.json", glpi);
        put(name + "_harvix.txt", own);
    };
    WriteReportFile(dir_ + "/A_report.html", "A");
    putPair("A", Inventory("A", "UUID-A", "aa:00:00:00:00:01"));
    WriteReportFile(dir_ + "/B_report.html", "B");
    putPair("C", Inventory("C", "UUID-C", "aa:00:00:00:00:03"));
    WriteReportFile(dir_ + "/D_report.html", "D");
    put("D_inventory.json", "{\"deviceid\": ");
    put("E_inventory.json", Inventory("E", "UUID-C", "aa:00:00:00:00:05"));
    put("F_inventory.json", Inventory("F", "UUID-F", "AA:00:00:00:00:01", ""));

    IndexOutcome outcome = RunIndex(dir_);
    EXPECT_EQ(outcome.Reports, 6);
    EXPECT_EQ(outcome.Unread, 1);
    EXPECT_NE(outcome.Status.find("2 inventaires importables dans GLPI."), std::string::npos)
        << outcome.Status;
    std::map<std::string, std::vector<std::string>> byName;
    const auto records = ParseCsv(Slurp(fs::path(dir_) / "inventaire.csv"));
    auto column = [&](const char* head) {
        return std::find(records[0].begin(), records[0].end(), head) - records[0].begin();
    };
    for (const auto& rec : records) byName[rec[0]] = rec;
    ASSERT_EQ(byName.size(), 7u);  // the head and six computers
    EXPECT_EQ(byName["A"][column("Utilisateur")], "CORP\\alice");
    EXPECT_EQ(byName["B"][column("Utilisateur")], "from-report");
    EXPECT_EQ(byName["D"][column("Utilisateur")], "from-report");
    EXPECT_EQ(byName["C"][column(kFileColumn)], "C_report.html");
    EXPECT_EQ(byName["C"][column("Clone")], "même UUID que E");
    EXPECT_EQ(byName["E"][column("Clone")], "même UUID que C");
    EXPECT_EQ(byName["F"][column("Clone")], "même MAC que A");
    EXPECT_EQ(byName["F"][column("TPM")], "absent");
    EXPECT_EQ(byName["A"][column("Fin de support de l'OS")], "14/10/2025");
    EXPECT_EQ(byName["B"][column("Windows 11")], "");
    const std::string page = Slurp(fs::path(dir_) / "index.html");
    EXPECT_NE(page.find("D_inventory.json"), std::string::npos);
    const auto software = ParseCsv(Slurp(fs::path(dir_) / "logiciels.csv"));
    EXPECT_EQ(software.size(), 1u + 4 * 2);
    const std::string volumes = Slurp(fs::path(dir_) / "volumes.csv");
    EXPECT_NE(volumes.find("C;\xE2\x81\xA0"
                           "0;PM951;C:;OS;NTFS;950;1000"),
              std::string::npos)
        << volumes;

    // A change that matters is told; a value first known with the inventory file is not.
    putPair("A", Inventory("A", "UUID-A", "aa:00:00:00:00:01", "1.2"));
    put("D_inventory.json", Inventory("D", "UUID-D", "aa:00:00:00:00:04"));
    RunIndex(dir_);
    for (const auto& rec : ParseCsv(Slurp(fs::path(dir_) / "inventaire.csv"))) byName[rec[0]] = rec;
    EXPECT_EQ(byName["A"][column("Changements")], "TPM : 2.0 → 1.2");
    EXPECT_EQ(byName["D"][column("Changements")].find("TPM"), std::string::npos)
        << byName["D"][column("Changements")];
}

TEST(IndexSoftware, ProgramsByNameAndVersionWithTheirComputers) {
    std::vector<ComputerRow> rows(3);
    rows[0].Name = "A", rows[1].Name = "B", rows[2].Name = "C";
    const std::vector<ProgramEntry> programs = {{"B", "zlib", "1.3"}, {"A", "Zlib", "1.2"},
                                                {"C", "zlib", "1.3"}, {"C", "zlib", "1.3"},
                                                {"A", "7-Zip", "24"}, {"Gone", "Other", "1"}};
    const std::vector<ProgramSummary> s = SummarizePrograms(programs, rows);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].Name, "7-Zip");
    EXPECT_EQ(s[1].Name, "zlib");
    EXPECT_EQ(s[1].Versions.at("1.3"), (std::vector<int>{1, 2}));
    EXPECT_EQ(s[1].Versions.at("1.2"), (std::vector<int>{0}));
}

}  // namespace
}  // namespace harvix::index
