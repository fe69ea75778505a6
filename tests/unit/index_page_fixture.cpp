// Writes index.html from rows and programs described in JSON, through the
// page's own API: the browser tests drive a fleet whose inventory facts and
// programs the test chose.
//   index_page_fixture <fleet.json> <index.html>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

#include "index/history.h"
#include "index/page.h"

using namespace harvix::index;
using nlohmann::json;

namespace {

ComputerRow Row(const json& j) {
    ComputerRow r;
    r.Name = j.value("name", "");
    r.File = r.Name + kReportSuffix;
    r.Os = j.value("os", "");
    r.RamBytes = j.value("ram", -1.0);
    r.FullestPercent = j.value("percent", -1.0);
    r.ReportDate = ParseReportDate(j.value("date", ""));
    if (!j.contains("inventory")) return r;
    const json& i = j["inventory"];
    r.Inventory.Present = true;
    r.Inventory.Win11Verdict = i.value("verdict", "");
    r.Inventory.Win11Reasons = i.value("reasons", std::vector<std::string>());
    r.Inventory.SecureBoot = i.value("secure_boot", "");
    r.Inventory.Tpm = i.value("tpm", "");
    r.Inventory.OsName = i.value("os", "");
    if (r.Os.empty()) r.Os = r.Inventory.OsName;
    r.Inventory.OsVersion = i.value("os_version", "");
    r.Inventory.OsEndOfSupport = i.value("end_of_support", "");
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::ifstream in(argv[1]);
    const json fleet = json::parse(in);
    std::vector<ComputerRow> rows;
    for (const json& j : fleet["rows"]) rows.push_back(Row(j));
    SetFlags(rows, nullptr, ParseReportDate(fleet.value("today", "")));
    // [row, name, version] each; one summary per name.
    std::map<std::string, ProgramSummary> byName;
    for (const json& p : fleet["programs"]) {
        ProgramSummary& s = byName[p[1].get<std::string>()];
        s.Name = p[1].get<std::string>();
        s.Versions[p[2].get<std::string>()].push_back(p[0].get<int>());
    }
    std::vector<ProgramSummary> programs;
    for (auto& [name, s] : byName) programs.push_back(std::move(s));
    std::vector<PreviousRow> gone;
    std::vector<UnreadFile> unread;
    History past;
    PageInput page{"/parc", fleet.value("today", "") + " à 08:50", &rows, &gone, &unread, false, "",
                   &past};
    page.Programs = &programs;
    std::ofstream out(argv[2], std::ios::binary);
    RenderPage(page, [&](std::string_view s) {
        out.write(s.data(), static_cast<std::streamsize>(s.size()));
    });
    return out ? 0 : 1;
}
