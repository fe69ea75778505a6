// The software view: the programs as one JSON attribute, listed by the script
// only when searched, so that 10,000 computers of 150 programs each stay a
// page a browser opens.
#include "index/page_software.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "index/page.h"
#include "index/page_glance.h"

namespace harvix::index {

namespace {

// [name, [[version, rows], ...]], rows as RowList writes them.
std::string ProgramJson(const ProgramSummary& p) {
    nlohmann::json versions = nlohmann::json::array();
    for (const auto& [version, rows] : p.Versions) {
        std::vector<int> sorted = rows;
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        versions.push_back({version, RowList(sorted)});
    }
    return nlohmann::json::array({p.Name, versions})
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const char* const kScript = R"JS((function () {
  var view = document.getElementById("logiciels"), table = document.getElementById("machines");
  if (!view || !table) return;
  var box = document.getElementById("logiciels-recherche"), list = document.getElementById("logiciels-liste");
  var said = document.getElementById("logiciels-compte"), data = null, LIMIT = 100;
  function fold(s) {
    s = s.toLowerCase();
    return s.normalize ? s.normalize("NFD").replace(/[\u0300-\u036f]/g, "") : s;
  }
  // Read once, at the first search.
  function programs() {
    if (!data) {
      data = JSON.parse(view.getAttribute("data-programmes"));
      data.forEach(function (p) { p.push(fold(p[0])); });
    }
    return data;
  }
  function decode(list) {
    var out = [], at = 0;
    list.split(",").forEach(function (d) { if (d !== "") { at += parseInt(d, 10); out.push(at); } });
    return out;
  }
  function union(versions) {
    var seen = {}, out = [];
    versions.forEach(function (v) {
      decode(v[1]).forEach(function (i) { if (!seen[i]) { seen[i] = true; out.push(i); } });
    });
    return out;
  }
  function computers(n) { return n + (n > 1 ? " ordinateurs" : " ordinateur"); }
  function link(text, rows, label, cls) {
    var b = document.createElement("button");
    b.type = "button"; b.className = "lien" + (cls ? " " + cls : ""); b.textContent = text;
    b.addEventListener("click", function () {
      table.dispatchEvent(new CustomEvent("filtre-lignes", {detail: {rows: rows, label: label}}));
    });
    return b;
  }
  function item(p, versions) {
    var li = document.createElement("li"), rows = union(versions);
    li.appendChild(link(p[0], rows, "logiciel " + p[0], "nom"));
    li.appendChild(document.createTextNode(" — " + computers(rows.length) + " : "));
    versions.forEach(function (v, k) {
      var at = decode(v[1]), name = v[0] || "version inconnue";
      if (k) li.appendChild(document.createTextNode(", "));
      li.appendChild(link(name + " (" + at.length + ")", at, "logiciel " + p[0] + " " + name));
    });
    return li;
  }
  // Every word somewhere in the program's name or in one of its versions.
  function search(everything) {
    var words = fold(box.value).split(/\s+/).filter(function (w) { return w; }), found = 0;
    while (list.firstChild) list.removeChild(list.firstChild);
    if (!words.length && !everything) { said.textContent = ""; return; }
    programs().forEach(function (p) {
      var versions = p[1].filter(function (v) {
        var text = p[2] + " " + fold(v[0]);
        return words.every(function (w) { return text.indexOf(w) >= 0; });
      });
      if (!versions.length) return;
      if (found++ < LIMIT) list.appendChild(item(p, versions));
    });
    said.textContent = found + (found > 1 ? " programmes trouvés" : " programme trouvé") +
        (found > LIMIT ? " (les " + LIMIT + " premiers affichés : précisez la recherche)" : "");
  }
  box.addEventListener("input", function () { search(false); });
  document.getElementById("logiciels-tous").addEventListener("click", function () {
    box.value = "";
    search(true);
  });
})();)JS";

}  // namespace

void SoftwareHtml(const std::vector<ProgramSummary>& programs, std::string& out,
                  const std::function<void(std::string_view)>& sink) {
    out += "<section id=\"logiciels\" data-programmes=\"[";
    for (std::size_t i = 0; i < programs.size(); ++i) {
        if (i) out += ',';
        out += HtmlEscape(ProgramJson(programs[i]));
        if (out.size() > (64u << 10)) {
            sink(out);
            out.clear();
        }
    }
    out += "]\"><b>Logiciels</b> (" + std::to_string(programs.size()) +
           (programs.size() > 1 ? " programmes" : " programme") +
           ") : <input id=\"logiciels-recherche\" type=\"search\" "
           "placeholder=\"Nom ou version : AnyDesk, Java 8…\" aria-label=\"Rechercher un "
           "logiciel\"> <button type=\"button\" id=\"logiciels-tous\">Tout afficher</button> "
           "<span id=\"logiciels-compte\" aria-live=\"polite\"></span>\n<ul "
           "id=\"logiciels-liste\"></ul></section>\n";
}

const char* SoftwareScript() {
    return kScript;
}

}  // namespace harvix::index
