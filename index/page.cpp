// index.html: one self-contained page, its style sheet and script inline.
#include "index/page.h"

#include <random>

#include "index/columns.h"
#include "index/history.h"
#include "index/page_glance.h"
#include "index/page_software.h"
#include "report/modMakeReport.h"

namespace harvix::index {

namespace {

// Sized to fit 17 columns in a 1600-pixel window: the head and the name (the
// column of class "nom") stay in view while scrolling, long texts wrap within
// their column; each column's own bounds come with it in IndexColumns().
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
#machines td.nom,#machines th.nom{position:sticky;left:0;z-index:1;font-weight:bold;white-space:nowrap;box-shadow:2px 0 2px -1px rgba(0,0,0,.12)}
#machines th.nom{z-index:3}
)CSS";

// After the columns' own rules.
const char* const kStyleEnd = R"CSS(td.n{text-align:right;white-space:nowrap;max-width:none}
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
      // data-exclu: left out by a chart's or the software view's choice.
      var keep = !row.hasAttribute("data-exclu") && (!q || fold(row.textContent).indexOf(q) >= 0);
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

std::string Cell(const std::string& text) {
    return "<td>" + HtmlEscape(text) + "</td>";
}
std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n > 1 ? many : one);
}

bool Numeric(ColumnKind kind) {
    return kind == ColumnKind::Bytes || kind == ColumnKind::Count || kind == ColumnKind::Percent;
}

std::string ColumnStyles() {
    std::string out;
    for (const IndexColumn& c : IndexColumns())
        if (c.Head && c.Style)
            out += std::string("#machines td.") + c.Class + "{" + c.Style + "}\n";
    return out;
}

std::string MachinesHead() {
    std::string out = "<table id=\"machines\"><thead><tr>";
    for (const IndexColumn& c : IndexColumns()) {
        if (!c.Head) continue;
        const char* type = c.Kind == ColumnKind::Text   ? "text"
                           : c.Kind == ColumnKind::Date ? "date"
                                                        : "num";
        out += std::string("<th class=\"") + c.Class + "\" data-type=\"" + type + "\">" + c.Head +
               "</th>";
    }
    return out + "</tr></thead><tbody>\n";
}

std::string MachineCell(const IndexColumn& c, const ComputerRow& r) {
    std::string out = std::string("<td class=\"") + c.Class;
    if (Numeric(c.Kind)) out += " n";
    if (c.Alert && c.Alert(r)) out += " alerte";
    out += '"';
    if (c.Kind != ColumnKind::Text) out += " data-v=\"" + HtmlEscape(SortValue(c, r)) + "\"";
    out += '>';
    if (c.Html)
        out += c.Html(r);
    else
        out += HtmlEscape(c.Shown ? c.Shown(r) : ShownValue(c, CsvValue(c, r)));
    return out + "</td>";
}

std::string MachineRow(const ComputerRow& r) {
    std::string out = "<tr>";
    for (const IndexColumn& c : IndexColumns())
        if (c.Head) out += MachineCell(c, r);
    return out + "</tr>\n";
}

std::string PageTop(const PageInput& in, const std::string& nonce) {
    std::string out = "<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">\n";
    // Nothing from the web, and no script but ours even if a text slipped through.
    out +=
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'; script-src 'nonce-" +
        nonce + "'; img-src data:\">\n";
    out += "<title>Index des inventaires</title>\n<style>\n";
    out += kStyle + ColumnStyles() + kStyleEnd + "\n" + kGlanceStyle + kSoftwareStyle;
    out += "\n</style></head><body>\n<h1>Index des inventaires</h1>\n<p class=\"sub\">Dossier " +
           HtmlEscape(in.Folder) + " — index généré le " + HtmlEscape(in.GeneratedAt) + "</p>\n";
    return out;
}

std::string Summary(const PageInput& in) {
    const std::vector<ComputerRow>& rows = *in.Rows;
    int full = 0, old = 0, incomplete = 0, serial = 0, changed = 0, added = 0;
    for (const ComputerRow& r : rows) {
        full += r.Full, old += r.Old, incomplete += r.Incomplete;
        serial += !r.SerialFlag.empty(), changed += r.Changed, added += r.New;
    }
    std::string out = "<p id=\"resume\"><b>" +
                      Count(static_cast<int>(rows.size()), "ordinateur", "ordinateurs") + "</b> — ";
    out += FlagHtml("f-plein", Count(full, "volume à 90 % ou plus", "volumes à 90 % ou plus"));
    out += FlagHtml("f-ancien",
                    Count(old, "rapport de plus de 30 jours", "rapports de plus de 30 jours"));
    out += FlagHtml("f-incomplet", Count(incomplete, "rapport incomplet", "rapports incomplets"));
    out +=
        FlagHtml("f-serie", Count(serial, "numéro de série suspect", "numéros de série suspects"));
    out += FlagHtml("f-modifie", Count(changed, "ordinateur modifié", "ordinateurs modifiés"));
    out += FlagHtml("f-nouveau", Count(added, "nouvel ordinateur", "nouveaux ordinateurs"));
    out += FlagHtml("f-disparu", Count(static_cast<int>(in.Gone->size()), "ordinateur disparu",
                                       "ordinateurs disparus"));
    out += FlagHtml("f-nonlu", Count(static_cast<int>(in.Unread->size()), "fichier non lu",
                                     "fichiers non lus"));
    if (!in.HadPrevious) out += " (premier index : aucune comparaison)";
    return out + "</p>\n";
}

// A table below the machines: a title, plain heads, plain text cells.
template <class T, class F>
std::string SideTable(const char* title, const char* id, const char* heads,
                      const std::vector<T>& items, F cells) {
    if (items.empty()) return std::string();
    std::string out = std::string("<h2>") + title + "</h2>\n<table id=\"" + id + "\"><thead><tr>" +
                      heads + "</tr></thead><tbody>\n";
    for (const T& item : items) out += "<tr>" + cells(item) + "</tr>\n";
    return out + "</tbody></table>\n";
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

std::string FlagHtml(const char* kind, const std::string& text) {
    return std::string("<span class=\"flag ") + kind + "\">" + HtmlEscape(text) + "</span>";
}

void RenderPage(const PageInput& in, const std::function<void(std::string_view)>& sink) {
    const std::string nonce = Nonce();
    std::string out = PageTop(in, nonce) + Summary(in);
    if (!in.Notice.empty()) out += "<p id=\"avis\"><b>" + HtmlEscape(in.Notice) + "</b></p>\n";
    // The run's date opens GeneratedAt: "09/12/2026 à 08:50".
    const Date today = ParseReportDate(in.GeneratedAt.substr(0, 10));
    out += GlanceHtml(GlanceCharts(*in.Rows, today), static_cast<int>(in.Rows->size()));
    if (in.Programs && !in.Programs->empty()) SoftwareHtml(*in.Programs, out, sink);
    // What a chart or the software view left in the table, and the way back.
    out +=
        "<p id=\"filtre-graphe\" hidden><span id=\"filtre-graphe-texte\"></span> <button "
        "type=\"button\" id=\"filtre-effacer\">Afficher tous les ordinateurs</button></p>\n";
    out +=
        "<input id=\"filtre\" type=\"search\" placeholder=\"Filtrer les lignes…\" "
        "aria-label=\"Filtrer\"> <span id=\"affiches\"></span>\n";
    out += MachinesHead();
    // Row by row to the file: a fleet's page is never held whole.
    for (const ComputerRow& r : *in.Rows) {
        out += MachineRow(r);
        if (out.size() > (64u << 10)) {
            sink(out);
            out.clear();
        }
    }
    out += "</tbody></table>\n";
    out += SideTable(
        "Ordinateurs disparus depuis le précédent index", "disparus",
        "<th>Nom</th><th>Dernier rapport</th><th>Fichier</th>", *in.Gone, [](const PreviousRow& g) {
            return Cell(g.Field(kNameColumn)) + Cell(g.Field(kDateColumn)) + Cell(g.File);
        });
    out += SideTable("Fichiers non lus", "nonlus", "<th>Fichier</th><th>Raison</th>", *in.Unread,
                     [](const UnreadFile& u) { return Cell(u.File) + Cell(u.Reason); });
    if (in.Past) out += HistoryPanel(*in.Past);
    out += "<script nonce=\"" + nonce + "\">\n";
    out += kScript;
    out += std::string("\n") + GlanceScript() + "\n" + SoftwareScript();
    if (in.Past) out += std::string("\n") + HistoryScript();
    out += "\n</script></body></html>\n";
    sink(out);
}

}  // namespace harvix::index
