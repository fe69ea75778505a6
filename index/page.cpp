// index.html: one self-contained page, its style sheet and script inline.
#include <functional>
#include <random>

#include "index/modIndex.h"
#include "report/modMakeReport.h"

namespace harvix::index {

namespace {

// Sized to fit 17 columns in a 1600-pixel window: the head and the name stay in
// view while scrolling, long texts wrap within their column. The nth-child
// numbers follow the columns of Row().
const char* const kStyle =
    R"CSS(body{font-family:Tahoma,Verdana,sans-serif;font-size:13px;margin:10px 12px;color:#222}
h1{font-size:18px;margin:0 0 4px}
p.sub{margin:0 0 10px;color:#555}
#resume{margin:8px 0}
#resume span{margin-right:10px}
#filtre{width:320px;padding:4px;margin:6px 0}
table{border-collapse:separate;border-spacing:0;margin-bottom:14px;border-top:1px solid #ddd;border-left:1px solid #ddd}
th,td{border:solid #ddd;border-width:0 1px 1px 0;padding:3px;text-align:left;vertical-align:top;font-size:12px;line-height:1.3}
td{max-width:240px;overflow-wrap:break-word;background:#fff}
th{background:#f5f5fc;font-size:11px;vertical-align:bottom}
#machines th{cursor:pointer;user-select:none;position:sticky;top:0;z-index:2}
th[aria-sort=ascending]::after{content:" \25B2"}
th[aria-sort=descending]::after{content:" \25BC"}
#machines td:first-child,#machines th:first-child{position:sticky;left:0;z-index:1;font-weight:bold;white-space:nowrap;box-shadow:2px 0 2px -1px rgba(0,0,0,.12)}
#machines th:first-child{z-index:3}
#machines td:nth-child(3){white-space:nowrap}
#machines td:nth-child(n+4):nth-child(-n+8),#machines td:nth-child(15){overflow-wrap:anywhere}
#machines td:nth-child(4){min-width:5em;max-width:150px}
#machines td:nth-child(5),#machines td:nth-child(6),#machines td:nth-child(8){min-width:135px;max-width:180px}
#machines td:nth-child(7){min-width:6.5em;max-width:150px}
#machines td:nth-child(15){min-width:4.5em;max-width:150px}
#machines td:last-child{font-size:11px;white-space:nowrap}
td.n{text-align:right;white-space:nowrap;max-width:none}
td.alertes{min-width:184px;max-width:320px}
td.alertes .flag{white-space:normal}
tr:hover td{background:#f3f6fb}
.flag{display:inline-block;font-weight:normal;border-radius:3px;padding:1px 5px;margin:1px 2px 1px 0;font-size:11px;color:#fff;white-space:nowrap}
.f-plein{background:#c0392b}.f-ancien{background:#8e6c00}.f-incomplet{background:#6c3483}
.f-serie{background:#1f618d}.f-modifie{background:#d35400}.f-nouveau{background:#117a65}
.f-disparu{background:#555}.f-nonlu{background:#7b7d7d}
td.alerte,tr:hover td.alerte{background:#fdecea;font-weight:bold}
ul.chg{margin:2px 0 0;padding-left:14px;font-size:11px;line-height:1.35}
ul.chg li{margin:1px 0}
h2{font-size:15px;margin:18px 0 6px})CSS";

// Sorting by a column head, filtering by the box; values to sort by sit in data-v.
const char* const kScript = R"JS((function () {
  var table = document.getElementById("machines");
  if (!table) return;
  var body = table.tBodies[0], heads = table.tHead.rows[0].cells;
  var collator = window.Intl ? new Intl.Collator("fr", {numeric: true, sensitivity: "base"}) : null;
  function value(row, i, type) {
    var cell = row.cells[i], v = cell.getAttribute("data-v");
    if (v === null) v = cell.textContent.trim();
    if (type === "num") { var n = parseFloat(v); return isNaN(n) ? -Infinity : n; }
    return v;
  }
  function compare(x, y, type) {
    if (type === "text" && collator) return collator.compare(x, y);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  Array.prototype.forEach.call(heads, function (th, i) {
    th.addEventListener("click", function () {
      var type = th.getAttribute("data-type") || "text";
      var up = th.getAttribute("aria-sort") !== "ascending";
      Array.prototype.forEach.call(heads, function (h) { h.removeAttribute("aria-sort"); });
      th.setAttribute("aria-sort", up ? "ascending" : "descending");
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (a, b) {
        var r = compare(value(a, i, type), value(b, i, type), type);
        return up ? r : -r;
      });
      rows.forEach(function (r) { body.appendChild(r); });
    });
  });
  function fold(s) {
    s = s.toLowerCase();
    return s.normalize ? s.normalize("NFD").replace(/[\u0300-\u036f]/g, "") : s;
  }
  var box = document.getElementById("filtre"), shown = document.getElementById("affiches");
  box.addEventListener("input", function () {
    var q = fold(box.value.trim()), n = 0;
    Array.prototype.forEach.call(body.rows, function (row) {
      var keep = !q || fold(row.textContent).indexOf(q) >= 0;
      row.hidden = !keep;
      if (keep) n++;
    });
    shown.textContent = n + " / " + body.rows.length + " affiché(s)";
  });
})();)JS";

std::string Nonce() {
    std::random_device rd;
    const char* digits = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 32; ++i) s += digits[rd() % 16];
    return s;
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

std::string Cell(const std::string& text) {
    return "<td>" + HtmlEscape(text) + "</td>";
}
std::string NumberCell(const std::string& sortValue, const std::string& shown, bool alert = false) {
    return std::string("<td class=\"n") + (alert ? " alerte" : "") + "\" data-v=\"" +
           HtmlEscape(sortValue) + "\">" + HtmlEscape(shown) + "</td>";
}
std::string Flag(const char* kind, const std::string& text) {
    return std::string("<span class=\"flag ") + kind + "\">" + HtmlEscape(text) + "</span>";
}
std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n > 1 ? many : one);
}
std::string Digits(double x) {
    return FrenchDecimal(x, 0);
}
std::string Plain(double x, int decimals) {
    std::string s = FrenchDecimal(x, decimals);
    for (char& c : s)
        if (c == ',') c = '.';
    return s;
}
// A number as text for sorting; cores and the like are texts in the report.
std::string SortNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return "";
    return text;
}

std::string Row(const ComputerRow& r) {
    std::string flags;
    if (r.Full) flags += Flag("f-plein", "Volume à 90 % ou plus");
    if (r.Old) flags += Flag("f-ancien", "Rapport de plus de 30 jours");
    if (r.Incomplete) flags += Flag("f-incomplet", "Rapport incomplet");
    if (!r.SerialFlag.empty()) flags += Flag("f-serie", r.SerialFlag);
    if (r.New) flags += Flag("f-nouveau", "Nouveau depuis le dernier index");
    if (r.Changed) {
        flags += Flag("f-modifie", "Modifié depuis le dernier index");
        flags += "<ul class=\"chg\">";
        for (const std::string& c : r.Changes) flags += "<li>" + HtmlEscape(c) + "</li>";
        flags += "</ul>";
    }
    std::string out = "<tr>";
    out += Cell(r.Name);
    out += "<td class=\"alertes\">" + flags + "</td>";
    out += "<td data-v=\"" + r.ReportDate.Iso() + "\"" + (r.Old ? " class=\"alerte\"" : "") + ">" +
           HtmlEscape(r.ReportDate.Text()) + "</td>";
    out += Cell(r.User) + Cell(r.Os) + Cell(r.Model);
    out += std::string("<td") + (r.SerialFlag.empty() ? "" : " class=\"alerte\"") + ">" +
           HtmlEscape(r.Serial) + "</td>";
    out += Cell(r.Cpu);
    out += NumberCell(SortNumber(r.PhysicalCores), r.PhysicalCores);
    out += NumberCell(SortNumber(r.LogicalCores), r.LogicalCores);
    out += NumberCell(r.RamBytes < 0 ? "" : Plain(r.RamBytes, 0), RamText(r));
    out += NumberCell(std::to_string(r.UsedSlots),
                      std::to_string(r.UsedSlots) + " / " + std::to_string(r.SlotCount));
    out += NumberCell(std::to_string(r.DiskCount), std::to_string(r.DiskCount));
    out += NumberCell(Plain(r.DiskBytes, 0), Digits(r.DiskBytes / 1e9) + " Go");
    out += Cell(r.FullestVolume);
    out +=
        NumberCell(r.FullestPercent < 0 ? "" : Plain(r.FullestPercent, 3),
                   r.FullestPercent < 0 ? "" : FrenchDecimal(r.FullestPercent, 1) + " %", r.Full);
    out += "<td><a href=\"" + HtmlEscape(Href(r.File)) + "\">" + HtmlEscape(r.File) + "</a></td>";
    return out + "</tr>\n";
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    // The report's own escaping, and the apostrophe, for attribute values.
    std::string out;
    for (char c : HtmlText(std::string(text))) {
        if (c == '\'')
            out += "&#39;";
        else
            out += c;
    }
    return out;
}

void RenderPage(const PageInput& in, const std::function<void(std::string_view)>& sink) {
    const std::vector<ComputerRow>& rows = *in.Rows;
    int full = 0, old = 0, incomplete = 0, serial = 0, changed = 0, added = 0;
    for (const ComputerRow& r : rows) {
        full += r.Full, old += r.Old, incomplete += r.Incomplete;
        serial += !r.SerialFlag.empty(), changed += r.Changed, added += r.New;
    }
    const std::string nonce = Nonce();
    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">\n";
    // Nothing from the web, and no script but ours even if a text slipped through.
    out +=
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'; script-src 'nonce-" +
        nonce + "'; img-src data:\">\n";
    out += "<title>Index des inventaires</title>\n<style>\n";
    out += kStyle;
    out += "\n</style></head><body>\n<h1>Index des inventaires</h1>\n<p class=\"sub\">Dossier " +
           HtmlEscape(in.Folder) + " — index généré le " + HtmlEscape(in.GeneratedAt) + "</p>\n";
    out += "<p id=\"resume\"><b>" +
           Count(static_cast<int>(rows.size()), "ordinateur", "ordinateurs") + "</b> — ";
    out += Flag("f-plein", Count(full, "volume à 90 % ou plus", "volumes à 90 % ou plus"));
    out +=
        Flag("f-ancien", Count(old, "rapport de plus de 30 jours", "rapports de plus de 30 jours"));
    out += Flag("f-incomplet", Count(incomplete, "rapport incomplet", "rapports incomplets"));
    out += Flag("f-serie", Count(serial, "numéro de série suspect", "numéros de série suspects"));
    out += Flag("f-modifie", Count(changed, "ordinateur modifié", "ordinateurs modifiés"));
    out += Flag("f-nouveau", Count(added, "nouvel ordinateur", "nouveaux ordinateurs"));
    out += Flag("f-disparu", Count(static_cast<int>(in.Gone->size()), "ordinateur disparu",
                                   "ordinateurs disparus"));
    out += Flag("f-nonlu",
                Count(static_cast<int>(in.Unread->size()), "fichier non lu", "fichiers non lus"));
    if (!in.HadPrevious) out += " (premier index : aucune comparaison)";
    out += "</p>\n";
    out +=
        "<input id=\"filtre\" type=\"search\" placeholder=\"Filtrer les lignes…\" "
        "aria-label=\"Filtrer\"> <span id=\"affiches\"></span>\n";
    out +=
        "<table id=\"machines\"><thead><tr>"
        "<th data-type=\"text\">Nom</th><th data-type=\"text\">Alertes</th>"
        "<th data-type=\"date\">Date du rapport</th>"
        "<th data-type=\"text\">Utilisateur</th><th data-type=\"text\">OS</th>"
        "<th data-type=\"text\">Modèle</th><th data-type=\"text\">Numéro de série</th>"
        "<th data-type=\"text\">CPU</th><th data-type=\"num\">Cœurs physiques</th>"
        "<th data-type=\"num\">Cœurs logiques</th><th data-type=\"num\">RAM installée</th>"
        "<th data-type=\"num\">Slots utilisés / présents</th><th data-type=\"num\">Disques</th>"
        "<th data-type=\"num\">Capacité des disques</th>"
        "<th data-type=\"text\">Volume le plus plein</th><th data-type=\"num\">Occupation</th>"
        "<th data-type=\"text\">Rapport</th>"
        "</tr></thead><tbody>\n";
    // Row by row to the file: a fleet's page is never held whole.
    for (const ComputerRow& r : rows) {
        out += Row(r);
        if (out.size() > (64u << 10)) {
            sink(out);
            out.clear();
        }
    }
    out += "</tbody></table>\n";
    if (!in.Gone->empty()) {
        out +=
            "<h2>Ordinateurs disparus depuis le précédent index</h2>\n<table id=\"disparus\">"
            "<thead><tr><th>Nom</th><th>Dernier rapport</th><th>Fichier</th></tr></thead><tbody>\n";
        for (const PreviousRow& g : *in.Gone)
            out += "<tr>" + Cell(g.Name) + Cell(g.ReportDate) + Cell(g.File) + "</tr>\n";
        out += "</tbody></table>\n";
    }
    if (!in.Unread->empty()) {
        out +=
            "<h2>Fichiers non lus</h2>\n<table id=\"nonlus\"><thead><tr><th>Fichier</th>"
            "<th>Raison</th></tr></thead><tbody>\n";
        for (const UnreadFile& u : *in.Unread)
            out += "<tr>" + Cell(u.File) + Cell(u.Reason) + "</tr>\n";
        out += "</tbody></table>\n";
    }
    out += "<script nonce=\"" + nonce + "\">\n";
    out += kScript;
    out += "\n</script></body></html>\n";
    sink(out);
}

}  // namespace harvix::index
