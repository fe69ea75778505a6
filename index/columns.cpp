// The index's columns, in the order of inventaire.csv and of the page.
#include "index/columns.h"

#include "index/page.h"
#include "platform/text.h"

namespace harvix::index {

namespace {

using K = ColumnKind;
using Row = ComputerRow;

// Long texts wrap anywhere within bounds, so that 22 columns fit a 1600-pixel window.
const char* const kWide = "overflow-wrap:anywhere;min-width:70px;max-width:160px";
// What the inventory file adds: short texts in small print.
const char* const kNarrow = "font-size:11px";

using Amount = std::optional<double>;

// A figure the report may lack, kept negative in the row.
Amount Known(double x) {
    return x < 0 ? Amount() : Amount(x);
}

std::string YesNo(bool b) {
    return b ? kYes : kNo;
}

std::string AlertsHtml(const Row& r) {
    std::string flags;
    if (r.Full) flags += FlagHtml("f-plein", "Volume à 90 % ou plus");
    if (r.Old) flags += FlagHtml("f-ancien", "Rapport de plus de 30 jours");
    if (r.Incomplete) flags += FlagHtml("f-incomplet", "Rapport incomplet");
    if (!r.SerialFlag.empty()) flags += FlagHtml("f-serie", r.SerialFlag);
    if (!r.Inventory.CloneFlag.empty()) flags += FlagHtml("f-serie", r.Inventory.CloneFlag);
    if (r.New) flags += FlagHtml("f-nouveau", "Nouveau depuis le dernier index");
    if (r.Changed) {
        flags += FlagHtml("f-modifie", "Modifié depuis le dernier index");
        flags += "<ul class=\"chg\">";
        for (const std::string& c : r.Changes) flags += "<li>" + HtmlEscape(c) + "</li>";
        flags += "</ul>";
    }
    return flags;
}

// The file name as a relative URL: every byte but the unreserved ones escaped.
std::string Href(const std::string& file) {
    const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : file) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string LinkHtml(const Row& r) {
    const std::string& onDisk = r.RawFile.empty() ? r.File : r.RawFile;
    return "<a href=\"" + HtmlEscape(Href(onDisk)) + "\">" + HtmlEscape(r.File) + "</a>";
}

// "2 / 4", blank when the report was cut before its memory.
std::string SlotsText(const Row& r) {
    if (r.SlotCount < 0) return std::string();
    return std::to_string(r.UsedSlots) + " / " + std::to_string(r.SlotCount);
}

std::string SecureBootText(const Row& r) {
    const std::string& s = r.Inventory.SecureBoot;
    if (s == "enabled") return "activé";
    if (s == "disabled") return "désactivé";
    if (s == "unsupported") return "non géré";
    return s;
}

bool TpmAlert(const Row& r) {
    return r.Inventory.Tpm == "absent" || r.Inventory.Tpm == "1.2";
}

// "1.4.3 (2016)", the full date in its tooltip: a narrow cell.
std::string BiosHtml(const Row& r) {
    const InventoryFacts& f = r.Inventory;
    if (!f.BiosDate.Valid()) return HtmlEscape(f.BiosVersion);
    const std::string year = std::to_string(f.BiosDate.Year);
    return "<span title=\"" + f.BiosDate.Text() + "\">" + HtmlEscape(f.BiosVersion) +
           (f.BiosVersion.empty() ? year : " (" + year + ")") + "</span>";
}

// The verdict, and why in its tooltip.
std::string Win11Html(const Row& r) {
    std::string why;
    for (const std::string& reason : r.Inventory.Win11Reasons)
        why += (why.empty() ? "" : " ; ") + reason;
    if (why.empty()) return HtmlEscape(r.Inventory.Win11Verdict);
    return "<span title=\"" + HtmlEscape(why) + "\">" + HtmlEscape(r.Inventory.Win11Verdict) +
           "</span>";
}

std::string Win11Reasons(const Row& r) {
    std::string all;
    for (const std::string& reason : r.Inventory.Win11Reasons)
        all += (all.empty() ? "" : " | ") + reason;
    return all;
}

std::string ChangesText(const Row& r) {
    std::string all;
    for (const std::string& c : r.Changes) all += (all.empty() ? "" : " | ") + c;
    return all;
}

// clang-format off
const IndexColumn kColumns[] = {
    {.Csv = kNameColumn, .Head = "Nom", .Class = "nom",
     .Text = [](const Row& r) { return r.Name; }},
    {.Head = "Alertes", .Class = "alertes", .Html = AlertsHtml,
     .Style = "min-width:150px;max-width:300px"},
    {.Csv = kDateColumn, .Head = "Date du rapport", .Class = "date", .Kind = K::Date,
     .Text = [](const Row& r) { return r.ReportDate.Text(); },
     .Alert = [](const Row& r) { return r.Old; }, .Style = "white-space:nowrap"},
    {.Csv = "Utilisateur", .Head = "Utilisateur", .Class = "utilisateur",
     .Text = [](const Row& r) { return r.User; },
     .Style = "overflow-wrap:anywhere;min-width:4em;max-width:150px"},
    {.Csv = "OS", .Head = "OS", .Class = "os", .Text = [](const Row& r) { return r.Os; },
     .Change = ChangeForm::Value, .ChangeLabel = "OS", .Style = kWide},
    {.Csv = "Modèle", .Head = "Modèle", .Class = "modele",
     .Text = [](const Row& r) { return r.Model; },
     .Change = ChangeForm::Value, .ChangeLabel = "Modèle", .Style = kWide},
    {.Csv = "Numéro de série", .Head = "Numéro de série", .Class = "serie",
     .Text = [](const Row& r) { return r.Serial; },
     .Alert = [](const Row& r) { return !r.SerialFlag.empty(); },
     .Change = ChangeForm::Value, .ChangeLabel = "Numéro de série",
     .Style = "overflow-wrap:anywhere;min-width:5.5em;max-width:150px"},
    {.Csv = "CPU", .Head = "CPU", .Class = "cpu", .Text = [](const Row& r) { return r.Cpu; },
     .Change = ChangeForm::Value, .ChangeLabel = "CPU", .Style = kWide},
    {.Csv = "Cœurs physiques", .Head = "Cœurs physiques", .Class = "coeurs-physiques",
     .Kind = K::Count,
     .Text = [](const Row& r) { return r.PhysicalCores; }},
    {.Csv = "Cœurs logiques", .Head = "Cœurs logiques", .Class = "coeurs-logiques",
     .Kind = K::Count,
     .Text = [](const Row& r) { return r.LogicalCores; }},
    {.Csv = "RAM installée (Go)", .Head = "RAM installée", .Class = "ram", .Kind = K::Bytes,
     .Number = [](const Row& r) { return Known(r.RamBytes); }, .Scale = kGiB, .Decimals = 2,
     .Change = ChangeForm::Value, .ChangeLabel = "RAM"},
    {.Csv = "Slots utilisés", .Head = "Slots utilisés / présents", .Class = "slots",
     .Kind = K::Count,
     .Number = [](const Row& r) { return Known(r.UsedSlots); },
     .Shown = SlotsText},
    {.Csv = "Slots présents", .Kind = K::Count,
     .Number = [](const Row& r) { return Known(r.SlotCount); }},
    {.Csv = "Disques", .Head = "Disques", .Class = "disques", .Kind = K::Count,
     .Number = [](const Row& r) { return Known(r.DiskCount); }},
    {.Csv = "Capacité des disques (Go)", .Head = "Capacité des disques", .Class = "capacite",
     .Kind = K::Bytes, .Number = [](const Row& r) { return Known(r.DiskBytes); }, .Scale = kGB},
    {.Csv = "Volume le plus plein", .Head = "Volume le plus plein", .Class = "volume",
     .Text = [](const Row& r) { return r.FullestVolume; },
     .Style = "overflow-wrap:anywhere;min-width:4.5em;max-width:150px"},
    {.Csv = "Occupation du volume (%)", .Head = "Occupation", .Class = "occupation",
     .Kind = K::Percent, .Number = [](const Row& r) { return Known(r.FullestPercent); },
     .Decimals = 1,
     .Alert = [](const Row& r) { return r.Full; }},
    {.Csv = "Windows 11", .Head = "Windows 11", .Class = "win11",
     .Text = [](const Row& r) { return r.Inventory.Win11Verdict; },
     .Alert = [](const Row& r) { return r.Inventory.Win11Verdict == "non"; }, .Html = Win11Html,
     .Change = ChangeForm::Value, .ChangeLabel = "Windows 11", .Style = kNarrow, .BothKnown = true},
    {.Csv = "Fin de support de l'OS", .Head = "Fin de support", .Class = "support",
     .Kind = K::Date, .Text = [](const Row& r) { return r.Inventory.OsEndOfSupport; },
     .Alert = [](const Row& r) { return r.Inventory.OsUnsupported; },
     .Style = "font-size:11px;white-space:nowrap"},
    {.Csv = "Secure Boot", .Head = "Secure Boot", .Class = "secureboot", .Text = SecureBootText,
     .Alert = [](const Row& r) { return r.Inventory.SecureBoot == "disabled"; },
     .Change = ChangeForm::Value, .ChangeLabel = "Secure Boot", .Style = kNarrow, .BothKnown = true},
    {.Csv = "TPM", .Head = "TPM", .Class = "tpm", .Text = [](const Row& r) { return r.Inventory.Tpm; },
     .Alert = TpmAlert, .Change = ChangeForm::Value, .ChangeLabel = "TPM", .Style = kNarrow,
     .BothKnown = true},
    {.Csv = "Version du BIOS", .Head = "BIOS", .Class = "bios",
     .Text = [](const Row& r) { return r.Inventory.BiosVersion; },
     .Alert = [](const Row& r) { return r.Inventory.BiosOld; }, .Html = BiosHtml,
     .Change = ChangeForm::Value, .ChangeLabel = "BIOS",
     .Style = "font-size:11px;overflow-wrap:break-word;max-width:90px", .BothKnown = true},
    {.Csv = "Date du BIOS", .Kind = K::Date,
     .Text = [](const Row& r) { return r.Inventory.BiosDate.Text(); }},
    {.Csv = kFileColumn, .Head = "Rapport", .Class = "rapport",
     .Text = [](const Row& r) { return r.File; },
     .Html = LinkHtml,
     .Style = "font-size:11px;overflow-wrap:anywhere;min-width:70px;max-width:125px"},
    {.Csv = "Modules", .Text = [](const Row& r) { return r.Modules; },
     .Change = ChangeForm::List, .ChangeLabel = "Modules"},
    {.Csv = "Liste des disques", .Text = [](const Row& r) { return r.Disks; },
     .Change = ChangeForm::List, .ChangeLabel = "Disques"},
    {.Csv = "Volume à 90 % ou plus", .Text = [](const Row& r) { return YesNo(r.Full); }},
    {.Csv = "Rapport de plus de 30 jours", .Text = [](const Row& r) { return YesNo(r.Old); }},
    {.Csv = kIncompleteColumn, .Text = [](const Row& r) { return YesNo(r.Incomplete); }},
    {.Csv = "Numéro de série suspect", .Text = [](const Row& r) { return r.SerialFlag; }},
    {.Csv = "Clone", .Text = [](const Row& r) { return r.Inventory.CloneFlag; }},
    {.Csv = "Windows 11 : critères", .Text = Win11Reasons},
    {.Csv = "UUID", .Text = [](const Row& r) { return r.Inventory.Uuid; }},
    {.Csv = "Nouveau", .Text = [](const Row& r) { return YesNo(r.New); }},
    {.Csv = "Modifié", .Text = [](const Row& r) { return YesNo(r.Changed); }},
    {.Csv = "Changements", .Text = ChangesText},
};
// clang-format on

// Decimals with a dot, the form the page's script sorts by.
std::string Plain(double x, int decimals) {
    return FixedText(x, decimals, ".", Rounding::ExactTiesToEven);
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::span<const IndexColumn> IndexColumns() {
    return kColumns;
}

std::string CsvValue(const IndexColumn& c, const ComputerRow& row) {
    if (c.Text) return c.Text(row);
    const Amount x = c.Number(row);
    if (!x) return std::string();
    if (c.Kind == ColumnKind::Count) return std::to_string(static_cast<long long>(*x));
    return FrenchDecimal(*x / c.Scale, c.Decimals);
}

std::string ShownValue(const IndexColumn& c, const std::string& csvValue) {
    if (csvValue.empty()) return csvValue;
    if (c.Kind == ColumnKind::Bytes) return csvValue + " Go";
    if (c.Kind == ColumnKind::Percent) return csvValue + " %";
    return csvValue;
}

std::string SortValue(const IndexColumn& c, const ComputerRow& row) {
    switch (c.Kind) {
        case ColumnKind::Text:
            return std::string();
        case ColumnKind::Date:
            return ParseReportDate(c.Text(row)).Iso();
        case ColumnKind::Count: {
            // A count the report gives as text sorts only when it is whole digits.
            std::string text = CsvValue(c, row);
            return c.Number || AllDigits(text) ? text : std::string();
        }
        default: {
            const Amount x = c.Number(row);
            if (!x) return std::string();
            return Plain(*x, c.Kind == ColumnKind::Percent ? 3 : 0);
        }
    }
}

}  // namespace harvix::index
