// One row per computer, from its inventory file (GLPI's native inventory
// format) and Harvix's own file beside it; files of the version before hold
// the same facts as content.harvix. Any member may be missing or of another
// type (files of other versions, other writers): nothing here throws.
#include "index/inventory_row.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <span>

#include "index/csv.h"
#include "index/inventory_keys.h"
#include "platform/text.h"

namespace harvix::index {

namespace {

// RapidJSON: a fleet of files with hundreds of programs each reads in seconds.
// Every access below checks the type first.
using json = rapidjson::Value;

const json& At(const json& j, const char* name) {
    static const json kNone;
    if (!j.IsObject()) return kNone;
    auto it = j.FindMember(name);
    return it == j.MemberEnd() ? kNone : it->value;
}

std::string Text(const json& j) {
    if (j.IsString())
        return std::string(Trim(std::string_view(j.GetString(), j.GetStringLength())));
    if (j.IsInt64()) return std::to_string(j.GetInt64());
    if (j.IsUint64()) return std::to_string(j.GetUint64());
    return std::string();
}

bool IsTrue(const json& j) {
    return j.IsBool() && j.GetBool();
}

// A count that may come as a number or as its digits; -1 when neither.
double Count(const json& j) {
    if (j.IsNumber() && j.GetDouble() >= 0) return j.GetDouble();
    double x;
    return j.IsString() && ReadByteCount(Text(j), x) ? x : -1;
}

std::string Digits(double count) {
    return count < 0 ? std::string() : FixedText(count, 0, ".", Rounding::ExactTiesToEven);
}

std::span<const json> Items(const json& j) {
    if (!j.IsArray()) return {};
    return {j.Begin(), j.End()};
}

std::string First(const std::string& a, const std::string& b) {
    return a.empty() ? b : a;
}

// "2026-12-09" (and anything after it) as a date.
Date IsoDate(std::string_view text) {
    Date d;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') return d;
    auto y = ParseUnsigned(text.substr(0, 4)), m = ParseUnsigned(text.substr(5, 2)),
         day = ParseUnsigned(text.substr(8, 2));
    if (!y || !m || !day || *m < 1 || *m > 12 || *day < 1 || *day > 31 || *y < 1900) return d;
    return Date{static_cast<int>(*day), static_cast<int>(*m), static_cast<int>(*y)};
}

// The run's date: Harvix's own, else the end of the device id,
// "NAME-YYYY-MM-DD-HH-MM-SS", as agents write it.
Date RunDate(const json& doc, const json& harvix) {
    if (Date d = IsoDate(Text(At(harvix, key::RunMoment))); d.Valid()) return d;
    const std::string id = Text(At(doc, key::DeviceId));
    if (id.size() >= 19) {
        Date d = IsoDate(std::string_view(id).substr(id.size() - 19));
        if (d.Valid()) return d;
    }
    return IsoDate(Text(At(At(At(doc, key::Content), key::AccessLog), key::LogDate)));
}

void ReadMemory(const json& content, const json& harvix, ComputerRow& row) {
    const json& memory = At(harvix, key::Memory);
    double slots = Count(At(memory, key::Slots)), used = Count(At(memory, key::UsedSlots));
    if (slots >= 0 && used >= 0 && slots < 32768) {
        row.SlotCount = static_cast<std::int16_t>(slots);
        row.UsedSlots = static_cast<std::int16_t>(used);
    }
    std::string modules;
    double sum = 0;
    // The page's own module texts, so that a computer read from its report before
    // compares the same; GLPI's list where they are missing.
    if (At(memory, key::Modules).IsArray()) {
        for (const json& m : Items(At(memory, key::Modules))) {
            const std::string text =
                ModuleText(Text(At(m, key::BankLabel)), Text(At(m, key::ModuleCapacity)),
                           Text(At(m, key::Maker)), Text(At(m, key::ModulePart)));
            modules += (modules.empty() ? "" : " | ") + text;
            if (double b = Count(At(m, key::ModuleBytes)); b > 0) sum += b;
        }
    }
    for (const json& m : Items(At(content, key::Memories))) {
        if (At(memory, key::Modules).IsArray()) break;
        const double mb = Count(At(m, key::Capacity));
        if (mb <= 0) continue;
        sum += mb * kMiB;
        std::string text = Text(At(m, key::Caption)) + " : " + GigabytesText(mb * kMiB);
        for (const char* extra : {key::Maker, key::PartNumber})
            if (std::string e = Text(At(m, extra)); !e.empty()) text += " " + e;
        modules += (modules.empty() ? "" : " | ") + text;
    }
    row.Modules = modules;
    row.RamBytes = Count(At(memory, key::Installed));
    if (row.RamBytes < 0 && sum > 0) row.RamBytes = sum;
    row.Inventory.MemoryBytes = row.RamBytes;
}

// "Model 512 Go SN X | ...", as the report's row has it.
void ReadDisks(const json& harvix, ComputerRow& row) {
    const json& disks = At(harvix, key::Disks);
    if (!disks.IsArray()) return;
    row.DiskCount = static_cast<int>(disks.Size());
    row.DiskBytes = 0;
    for (const json& d : Items(disks)) {
        const double bytes = Count(At(d, key::SizeBytes));
        std::string text = Text(At(d, key::DiskModel)) + " " +
                           (bytes < 0 ? std::string() : FrenchDecimal(bytes / kGB, 0)) + " Go";
        if (std::string sn = Text(At(d, key::DiskSerial)); !sn.empty()) text += " SN " + sn;
        row.Disks += (row.Disks.empty() ? "" : " | ") + text;
        if (bytes > 0) row.DiskBytes += bytes;
    }
}

std::string DiskModel(const json& harvix, const std::string& id) {
    for (const json& d : Items(At(harvix, key::Disks)))
        if (Text(At(d, key::DiskId)) == id) return Text(At(d, key::DiskModel));
    return std::string();
}

void ReadVolumes(const json& harvix, ComputerRow& row, std::string& lines) {
    for (const json& v : Items(At(harvix, key::Volumes))) {
        const std::string name = Text(At(v, key::VolumeName)), disk = Text(At(v, key::VolumeDisk));
        const double size = Count(At(v, key::SizeBytes)), used = Count(At(v, key::UsedBytes));
        std::string percent;
        if (size > 0 && used >= 0) {
            percent = FrenchDecimal(used / size * 100, 1);
            if (used / size * 100 > row.FullestPercent)
                row.FullestPercent = used / size * 100, row.FullestVolume = name;
        }
        lines += CsvLine(
            {KeepAsText(row.Name), KeepAsText(disk), KeepAsText(DiskModel(harvix, disk)),
             KeepAsText(name), KeepAsText(Text(At(v, key::Label))),
             KeepAsText(Text(At(v, key::FileSystem))), Digits(used), Digits(size), percent});
    }
}

// The page's counts where the own file gives them. Otherwise GLPI's members, whose
// thread the agents read two ways: per core on Windows and in this program's files
// (the format's meaning), a package's siblings in the agents' Linux files.
void ReadCpus(const json& content, const json& page, ComputerRow& row) {
    const bool perCore = Text(At(content, key::VersionClient)).rfind("Harvix-", 0) == 0;
    double cores = 0, threads = 0;
    bool anyCores = false, anyThreads = false;
    for (const json& c : Items(At(content, key::Cpus))) {
        if (row.Cpu.empty()) row.Cpu = Text(At(c, key::Name));
        const double n = Count(At(c, key::Cores));
        if (n >= 0) cores += n, anyCores = true;
        if (double t = Count(At(c, key::Threads)); t >= 0 && (!perCore || n >= 0))
            threads += perCore ? t * n : t, anyThreads = true;
    }
    if (anyCores) row.PhysicalCores = Digits(cores);
    if (anyThreads) row.LogicalCores = Digits(threads);
    const json& cpu = At(page, key::PageCpu);
    if (std::string n = Text(At(cpu, key::PagePhysicalCores)); !n.empty()) row.PhysicalCores = n;
    if (std::string n = Text(At(cpu, key::PageLogicalCores)); !n.empty()) row.LogicalCores = n;
}

// Physical adapters' addresses, once each: what tells a cloned computer.
std::vector<std::string> PhysicalMacs(const json& content) {
    std::vector<std::string> macs;
    for (const json& n : Items(At(content, key::Networks))) {
        if (IsTrue(At(n, key::Virtual)) || Text(At(n, key::NetType)) == "loopback") continue;
        std::string mac = AsciiLower(Text(At(n, key::Mac)));
        if (mac.empty() || mac.find_first_not_of("0:-") == std::string::npos) continue;
        if (std::find(macs.begin(), macs.end(), mac) == macs.end()) macs.push_back(mac);
    }
    return macs;
}

bool OnlyNamed(const json& j, std::span<const std::string_view> names) {
    for (auto m = j.MemberBegin(); m != j.MemberEnd(); ++m)
        if (std::find(names.begin(), names.end(),
                      std::string_view(m->name.GetString(), m->name.GetStringLength())) ==
            names.end())
            return false;
    return true;
}

// What GLPI validates before anything else: a device id, a content with its
// client, and no member the format does not name (GLPI 10.0 refuses a file of
// the version before for its content.harvix).
bool Importable(const json& doc, const json& content) {
    return At(doc, key::DeviceId).IsString() && !Text(At(doc, key::DeviceId)).empty() &&
           At(content, key::VersionClient).IsString() && OnlyNamed(doc, key::TopLevel) &&
           OnlyNamed(content, key::ContentMembers);
}

// "10.0.22631": digits in three or more parts.
bool IsWindowsBuild(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos &&
           std::count(text.begin(), text.end(), '.') >= 2 && text.front() != '.' &&
           text.back() != '.' && text.find("..") == std::string::npos;
}

// ".4460" from "22631.4460" when the build is "10.0.22631"; empty otherwise.
std::string UpdateRevision(const std::string& build, const std::string& number) {
    const std::string head = build.substr(build.rfind('.') + 1) + ".";
    if (number.compare(0, head.size(), head) != 0 || number.size() == head.size() ||
        number.find_first_not_of("0123456789", head.size()) != std::string::npos)
        return std::string();
    return number.substr(head.size() - 1);
}

// "10.0.22631.4460" from the kernel's version and service_pack's revision, as
// GLPI's agent and this version write them; earlier versions wrote the build as
// version and the revision in content.harvix.
std::string WindowsBuild(const json& os, const json& details) {
    std::string build = Text(At(os, key::Kernel));
    if (!IsWindowsBuild(build)) build = Text(At(os, key::Version));
    if (!IsWindowsBuild(build)) return build;
    std::string revision = UpdateRevision(build, Text(At(os, key::ServicePack)));
    if (revision.empty()) revision = UpdateRevision(build, Text(At(details, key::Build)));
    return build + revision;
}

void ReadFacts(const json& doc, const json& content, const json& harvix, InventoryFacts& f) {
    const json& os = At(content, key::Os);
    const json& bios = At(content, key::Bios);
    f.Present = true;
    f.Importable = Importable(doc, content);
    f.Uuid = Text(At(At(content, key::Hardware), key::Uuid));
    f.Macs = PhysicalMacs(content);
    const json& details = At(harvix, key::OsDetails);
    f.OsName = First(Text(At(At(harvix, key::Report), key::OsCaption)), Text(At(os, key::FullName)));
    f.OsVersion = First(Text(At(details, key::DisplayVersion)), Text(At(os, key::Version)));
    f.OsEdition = Text(At(details, key::Edition));
    const bool windows = f.OsName.find("Windows") != std::string::npos;
    f.OsBuild = windows ? WindowsBuild(os, details) : Text(At(os, key::Kernel));
    // A Windows without a display version (8.1 and older): its build, as before.
    if (windows && f.OsVersion.empty()) f.OsVersion = Text(At(os, key::Kernel));
    const json& w11 = At(harvix, key::Win11);
    f.Win11Verdict = Text(At(w11, key::Verdict));
    for (const char* list : {key::Failed, key::Unknown})
        for (const json& reason : Items(At(w11, list)))
            if (std::string r = Text(reason); !r.empty()) f.Win11Reasons.push_back(r);
    f.SecureBoot = Text(At(bios, key::SecureBoot));
    const json& tpm = At(harvix, key::Tpm);
    const json& present = At(tpm, key::Present);
    if (present.IsBool() && !present.GetBool())
        f.Tpm = "absent";
    else
        f.Tpm = Text(At(tpm, key::TpmVersion));
    f.BiosVersion = Text(At(bios, key::BiosVersion));
    f.BiosDate = IsoDate(Text(At(bios, key::BiosDate)));
}

void ReadPrograms(const json& content, const std::string& computer,
                  std::vector<ProgramEntry>& programs) {
    for (const json& s : Items(At(content, key::Softwares))) {
        std::string name = Text(At(s, key::Name));
        if (name.empty()) continue;
        programs.push_back({computer, std::move(name), Text(At(s, key::Version)),
                            Text(At(s, key::Publisher)), Text(At(s, key::InstallDate))});
    }
}

}  // namespace

namespace {

// Strict as GLPI is: valid UTF-8, nothing after the document; iterative, so
// that no nesting exhausts the stack.
bool Parse(std::string_view bytes, rapidjson::Document& doc) {
    doc.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag>(bytes.data(),
                                                                                      bytes.size());
    return !doc.HasParseError();
}

// Harvix's own file when it is one and belongs with this inventory file; else
// why it is left aside.
bool TakeOwn(std::string_view bytes, const json& doc, rapidjson::Document& own,
             std::string& problem) {
    if (!Parse(bytes, own)) {
        problem = "fichier JSON illisible";
        return false;
    }
    if (Text(At(own, key::OwnFormat)) != key::OwnFormatName) {
        problem = "ce fichier n'est pas un fichier de Harvix";
        return false;
    }
    // Written by the same run as the inventory file, or it tells another moment.
    if (Text(At(own, key::DeviceId)) != Text(At(doc, key::DeviceId))) {
        problem = "il ne correspond pas au fichier d'inventaire (deviceid différent)";
        return false;
    }
    return true;
}

}  // namespace

bool ReadInventory(const std::string& reportFile, std::string_view bytes, std::string_view ownBytes,
                   ComputerRow& row, std::vector<ProgramEntry>& programs, std::string& volumeLines,
                   std::string& reason, std::string& ownProblem) {
    rapidjson::Document doc, own;
    if (!Parse(bytes, doc)) {
        reason = "fichier JSON illisible";
        return false;
    }
    const json& content = At(doc, key::Content);
    const bool hasOwn = !ownBytes.empty() && TakeOwn(ownBytes, doc, own, ownProblem);
    const json& harvix = hasOwn ? static_cast<const json&>(own) : At(content, key::Harvix);
    if (!content.IsObject() || (!At(doc, key::DeviceId).IsString() && !harvix.IsObject())) {
        reason = "ce fichier JSON n'est pas un inventaire";
        return false;
    }
    const json& bios = At(content, key::Bios);
    const json& page = At(harvix, key::Report);
    row = ComputerRow();
    row.File = reportFile;
    row.Name = First(Text(At(At(content, key::Hardware), key::Name)),
                     reportFile.substr(0, reportFile.size() - std::string(kReportSuffix).size()));
    if (row.Name.empty()) row.Name = kNoName;
    row.User =
        First(Text(At(page, key::User)), Text(At(At(content, key::Hardware), key::LastUser)));
    row.Os = First(Text(At(page, key::OsCaption)), Text(At(At(content, key::Os), key::FullName)));
    // The page's texts first, so that a computer read from its report before reads the same.
    row.Model = First(Text(At(page, key::PageModel)), Text(At(bios, key::Model)));
    row.Serial = First(Text(At(page, key::PageSerial)), Text(At(bios, key::Serial)));
    row.ReportDate = RunDate(doc, harvix);
    ReadCpus(content, page, row);
    if (std::string cpu = Text(At(At(page, key::PageCpu), key::Name)); !cpu.empty()) row.Cpu = cpu;
    ReadMemory(content, page, row);
    ReadDisks(page, row);
    ReadVolumes(page, row, volumeLines);
    ReadFacts(doc, content, harvix, row.Inventory);
    ReadPrograms(content, row.Name, programs);
    return true;
}

bool RowFromInventory(const std::string& reportFile, std::string_view json, ComputerRow& row,
                      std::vector<ProgramEntry>& programs, std::string_view own) {
    std::string volumes, reason, ownProblem;
    return ReadInventory(reportFile, json, own, row, programs, volumes, reason, ownProblem);
}

}  // namespace harvix::index
