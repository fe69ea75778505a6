// The charts drawn: one inline SVG per chart, each bar a keyboard-reachable
// button holding the indexes of its computers.
#include <algorithm>

#include "index/page.h"
#include "index/page_glance.h"

namespace harvix::index {

namespace {

const int kLine = 15;  // pixels per bar

// The two charts with long labels get more room.
struct Frame {
    int Width, LabelWidth, BarWidth;
    std::size_t MaxChars;
};
const Frame kWide{280, 176, 70, 30};
const Frame kNarrow{184, 108, 46, 19};

// At most max characters (not bytes), the end replaced by "…" when cut.
std::string Shortened(const std::string& text, std::size_t max) {
    std::size_t chars = 0, cut = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++chars == max) cut = i;
        if (chars > max) return text.substr(0, cut) + "…";
    }
    return text;
}

std::string Computers(std::size_t n) {
    return std::to_string(n) + (n > 1 ? " ordinateurs" : " ordinateur");
}

std::string Bar(const GlanceChart& chart, const GlanceBar& bar, int y, const Frame& f, int total) {
    const std::string title = chart.Title + " : " + bar.Label;
    const std::string said = title + (bar.Hint.empty() ? "" : " (" + bar.Hint + ")") + " — " +
                             Computers(bar.Rows.size());
    std::string out = "<g class=\"barre";
    if (bar.Alert) out += " alerte";
    if (bar.Rows.empty()) out += " vide";
    out += '"';
    if (!bar.Rows.empty())
        out += " role=\"button\" tabindex=\"0\" data-titre=\"" + HtmlEscape(title) +
               "\" data-lignes=\"" + RowList(bar.Rows) + "\" aria-label=\"" + HtmlEscape(said) +
               "\"";
    out += "><title>" + HtmlEscape(said) + "</title>";
    const std::string top = std::to_string(y);
    out += "<rect class=\"fond\" x=\"0\" y=\"" + top + "\" width=\"" + std::to_string(f.Width) +
           "\" height=\"" + std::to_string(kLine) + "\"/>";
    const std::string base = std::to_string(y + 11);
    const std::size_t chars = bar.Detail ? f.MaxChars - 2 : f.MaxChars;
    // Within its own viewport: a label wider than the font's guess is clipped, not drawn over the
    // bar.
    out += "<svg y=\"" + top + "\" width=\"" + std::to_string(f.LabelWidth - 3) + "\" height=\"" +
           std::to_string(kLine) + "\"><text x=\"" + (bar.Detail ? "12" : "2") + "\" y=\"11\">" +
           HtmlEscape(Shortened(bar.Label, chars)) + "</text></svg>";
    const int width =
        bar.Rows.empty()
            ? 0
            : std::max(1, static_cast<int>(f.BarWidth * bar.Rows.size() / std::max(total, 1)));
    out += "<rect class=\"b\" x=\"" + std::to_string(f.LabelWidth) + "\" y=\"" +
           std::to_string(y + 3) + "\" width=\"" + std::to_string(width) + "\" height=\"9\"/>";
    out += "<text class=\"c\" x=\"" + std::to_string(f.LabelWidth + width + 3) + "\" y=\"" + base +
           "\">" + std::to_string(bar.Rows.size()) + "</text>";
    return out + "</g>";
}

std::string Chart(const GlanceChart& chart, const Frame& f, int total) {
    const int height = kLine * static_cast<int>(chart.Bars.size());
    std::string out = "<figure><figcaption>" + HtmlEscape(chart.Title) + "</figcaption>";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(f.Width) +
           "\" height=\"" + std::to_string(height) + "\" role=\"group\" aria-label=\"" +
           HtmlEscape(chart.Title) + "\">";
    int y = 0;
    for (const GlanceBar& bar : chart.Bars) {
        out += Bar(chart, bar, y, f, total);
        y += kLine;
    }
    return out + "</svg></figure>";
}

const char* const kScript = R"JS((function () {
  var table = document.getElementById("machines"), note = document.getElementById("filtre-graphe");
  if (!table || !note) return;
  // The rows in the page's order, whatever sorting does later.
  var all = Array.prototype.slice.call(table.tBodies[0].rows), chosen = null;
  var box = document.getElementById("filtre"), said = document.getElementById("filtre-graphe-texte");
  function decode(list) {
    var out = [], at = 0;
    list.split(",").forEach(function (d) { if (d !== "") { at += parseInt(d, 10); out.push(at); } });
    return out;
  }
  function show(indexes, label, bar) {
    var keep = {};
    if (indexes) indexes.forEach(function (i) { keep[i] = true; });
    all.forEach(function (row, i) {
      if (indexes && !keep[i]) row.setAttribute("data-exclu", ""); else row.removeAttribute("data-exclu");
    });
    if (chosen) { chosen.classList.remove("choisie"); chosen.setAttribute("aria-pressed", "false"); }
    chosen = indexes && bar ? bar : null;
    if (chosen) { chosen.classList.add("choisie"); chosen.setAttribute("aria-pressed", "true"); }
    said.textContent = indexes ? "Tableau filtré : " + label + " (" + indexes.length +
        (indexes.length > 1 ? " ordinateurs)" : " ordinateur)") : "";
    note.hidden = !indexes;
    box.dispatchEvent(new Event("input"));
  }
  Array.prototype.forEach.call(document.querySelectorAll("#coup-oeil g.barre[data-lignes]"), function (bar) {
    function choose() {
      if (bar === chosen) show(null);
      else show(decode(bar.getAttribute("data-lignes")), bar.getAttribute("data-titre"), bar);
    }
    bar.addEventListener("click", choose);
    bar.addEventListener("keydown", function (e) {
      if (e.key === "Enter" || e.key === " ") { e.preventDefault(); choose(); }
    });
  });
  document.getElementById("filtre-effacer").addEventListener("click", function () { show(null); });
  // Another view's rows: {rows: [3, 4, 44], label: "..."}.
  table.addEventListener("filtre-lignes", function (e) {
    show(e.detail.rows, e.detail.label);
    note.scrollIntoView({block: "nearest"});
  });
})();)JS";

}  // namespace

std::string GlanceHtml(const std::vector<GlanceChart>& charts, int computers) {
    std::string out = "<section id=\"coup-oeil\" aria-label=\"Le parc en un coup d&#39;œil\">";
    for (std::size_t i = 0; i < charts.size(); ++i)
        out += Chart(charts[i], i < 2 ? kWide : kNarrow, computers);
    return out + "</section>\n";
}

const char* GlanceScript() {
    return kScript;
}

}  // namespace harvix::index
