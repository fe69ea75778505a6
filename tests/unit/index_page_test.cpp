// The page's charts count each computer once per chart, in the right band;
// the software view's data stays data.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "index/page.h"
#include "index/page_glance.h"

namespace harvix::index {
namespace {

const Date kToday{9, 12, 2026};

Date DaysBefore(int days) {
    using namespace std::chrono;
    const year_month_day d{sys_days{year{2026} / 12 / 9} - std::chrono::days{days}};
    return {static_cast<int>(unsigned(d.day())), static_cast<int>(unsigned(d.month())),
            int(d.year())};
}

ComputerRow Computer(const char* name, double ramGiB, double percent, int age) {
    ComputerRow r;
    r.Name = name;
    r.File = std::string(name) + "_report.html";
    r.RamBytes = ramGiB * 1024.0 * 1024 * 1024;
    r.FullestPercent = percent;
    if (age >= 0) r.ReportDate = DaysBefore(age);
    r.Full = percent >= 90;  // as the flags set it
    return r;
}

void Inventory(ComputerRow& r, const char* verdict, std::vector<std::string> reasons,
               const char* secureBoot, const char* tpm, const char* os, const char* eos) {
    r.Inventory.Present = true;
    r.Inventory.Win11Verdict = verdict;
    r.Inventory.Win11Reasons = std::move(reasons);
    r.Inventory.SecureBoot = secureBoot;
    r.Inventory.Tpm = tpm;
    r.Inventory.OsName = os;
    r.Inventory.OsVersion = "22H2";
    r.Inventory.OsEndOfSupport = eos;
}

std::map<std::string, std::vector<int>> Bars(const std::vector<GlanceChart>& charts,
                                             const std::string& title) {
    std::map<std::string, std::vector<int>> out;
    for (const GlanceChart& c : charts)
        if (c.Title == title)
            for (const GlanceBar& b : c.Bars) out[b.Label] = b.Rows;
    return out;
}

using Rows = std::vector<int>;

TEST(IndexGlance, EachComputerInItsBandOfEachChart) {
    std::vector<ComputerRow> rows = {Computer("A", 8, 95, 31), Computer("B", 3.9, -1, -1),
                                     Computer("C", 16, 50, 30), Computer("D", 4, 10, 91)};
    const char* cpu = "Processeur non pris en charge";
    Inventory(rows[0], "non", {cpu, "TPM 2.0 absent"}, "disabled", "1.2", "Windows 10 Pro",
              "14/10/2025");
    rows[1].Os = "Debian GNU/Linux 12 (bookworm)";  // a report alone
    Inventory(rows[2], "prêt", {}, "enabled", "2.0", "Windows 11 Pro", "12/10/2027");  // to come
    Inventory(rows[3], "non", {cpu}, "unsupported", "absent", "Windows 10 Pro", "14/10/2025");
    const std::vector<GlanceChart> charts = GlanceCharts(rows, kToday);

    // Every computer counted once in each chart's own bars.
    for (const GlanceChart& c : charts) {
        Rows all;
        for (const GlanceBar& b : c.Bars)
            if (!b.Detail && b.Label != "hors support")
                all.insert(all.end(), b.Rows.begin(), b.Rows.end());
        std::sort(all.begin(), all.end());
        EXPECT_EQ(all, (Rows{0, 1, 2, 3})) << c.Title;
    }
    auto w = Bars(charts, "Windows 11");
    EXPECT_EQ(w["prêt"], Rows{2});
    EXPECT_EQ(w["non"], (Rows{0, 3}));
    EXPECT_EQ(w[cpu], (Rows{0, 3}));
    EXPECT_EQ(w["TPM 2.0 absent"], Rows{0});
    EXPECT_EQ(w["inconnu"], Rows{1});
    EXPECT_EQ(charts[0].Bars[2].Label, cpu);  // the most frequent reason first, under "non"
    auto os = Bars(charts, "Systèmes");
    EXPECT_EQ(os["Windows 10 Pro 22H2"], (Rows{0, 3}));
    EXPECT_EQ(os["Debian GNU/Linux 12 (bookworm)"], Rows{1});
    EXPECT_EQ(os["hors support"], (Rows{0, 3}));
    EXPECT_TRUE(charts[1].Bars[0].Alert);
    EXPECT_EQ(charts[1].Bars[0].Hint, "fin de support : 14/10/2025");
    EXPECT_EQ(charts[1].Bars[2].Label, "Windows 11 Pro 22H2");
    EXPECT_FALSE(charts[1].Bars[2].Alert);
    auto sb = Bars(charts, "Secure Boot"), tpm = Bars(charts, "TPM");
    EXPECT_EQ(sb["activé"], Rows{2});
    EXPECT_EQ(sb["désactivé"], Rows{0});
    EXPECT_EQ(sb["non pris en charge"], Rows{3});
    EXPECT_EQ(tpm["1.2"], Rows{0});
    EXPECT_EQ(tpm["absent"], Rows{3});
    EXPECT_EQ(tpm["inconnu"], Rows{1});
    // Bands: 8 Go is in 8 to 16, 30 days is not yet over 30.
    auto ram = Bars(charts, "RAM"), age = Bars(charts, "Âge des rapports");
    EXPECT_EQ(ram["< 4 Go"], Rows{1});
    EXPECT_EQ(ram["4 à 8 Go"], Rows{3});
    EXPECT_EQ(ram["8 à 16 Go"], Rows{0});
    EXPECT_EQ(ram["16 Go ou plus"], Rows{2});
    EXPECT_EQ(Bars(charts, "Volume le plus plein")["à 90 % ou plus"], Rows{0});
    EXPECT_EQ(age["30 jours ou moins"], Rows{2});
    EXPECT_EQ(age["31 à 90 jours"], Rows{0});
    EXPECT_EQ(age["plus de 90 jours"], Rows{3});
    EXPECT_EQ(age["inconnu"], Rows{1});
}

TEST(IndexGlance, PageCarriesProgramsAsDataOnly) {
    std::vector<ComputerRow> rows = {Computer("A", 8, 50, 1), Computer("B", 8, 50, 1)};
    std::vector<ProgramSummary> programs = {
        {"<img src=x onerror=alert(1)>\"AnyDesk", {{"7.1.0", {1, 0}}, {"", {1}}}}};
    std::vector<PreviousRow> gone;
    std::vector<UnreadFile> unread;
    PageInput in{"/parc", "09/12/2026 à 08:50", &rows, &gone, &unread, false, "", nullptr};
    in.Programs = &programs;
    std::string page;
    RenderPage(in, [&](std::string_view s) { page += s; });
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(
        page.find(
            "data-programmes=\"[[&quot;&lt;img src=x onerror=alert(1)&gt;\\&quot;AnyDesk&quot;,"
            "[[&quot;&quot;,&quot;1&quot;],[&quot;7.1.0&quot;,&quot;0,1&quot;]]]]\""),
        std::string::npos);
    EXPECT_NE(page.find("data-titre=\"RAM : 8 à 16 Go\" data-lignes=\"0,1\""), std::string::npos);
}

}  // namespace
}  // namespace harvix::index
