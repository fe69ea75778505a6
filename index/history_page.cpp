// The page's history panel: a click on a computer's name lists its changes.
#include <nlohmann/json.hpp>

#include "index/history.h"
#include "index/page.h"

namespace harvix::index {

namespace {

// The changes by row key, newest first.
std::string PanelData(const History& h) {
    nlohmann::json data = nlohmann::json::object();
    for (auto c = h.Changes.rbegin(); c != h.Changes.rend(); ++c)
        data[c->File].push_back({c->Date, c->Field, c->Before, c->After});
    return data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const char* const kPanelStart = R"HTML(<style>#machines td.nom{cursor:pointer}
#historique{position:fixed;right:12px;top:12px;max-width:720px;max-height:80vh;overflow:auto;background:#fff;border:1px solid #888;box-shadow:0 2px 8px rgba(0,0,0,.3);padding:8px 12px;z-index:5}
#historique h2{margin:0 0 6px}
#historique-fermer{float:right}</style>
<div id="historique" role="dialog" aria-labelledby="historique-titre" hidden data-changements=")HTML";

const char* const kPanelEnd =
    R"HTML("><button id="historique-fermer" type="button">Fermer</button><h2 id="historique-titre"></h2>
<table><thead><tr><th>Date</th><th>Champ</th><th>Avant</th><th>Après</th></tr></thead><tbody></tbody></table>
<p id="historique-vide" hidden>Aucun changement enregistré pour cet ordinateur.</p></div>
)HTML";

// The page's one script runs this too. Text only, through textContent: no value of a report becomes
// markup.
const char* const kPanelScript = R"JS((function () {
  var table = document.getElementById("machines"), panel = document.getElementById("historique");
  if (!table || !panel) return;
  var data = JSON.parse(panel.getAttribute("data-changements"));
  var body = panel.querySelector("tbody"), empty = document.getElementById("historique-vide");
  function open(row) {
    var key = row.querySelector("td.rapport").textContent, list = data[key] || [];
    document.getElementById("historique-titre").textContent =
        "Historique de " + row.querySelector("td.nom").textContent;
    while (body.firstChild) body.removeChild(body.firstChild);
    list.forEach(function (change) {
      var tr = document.createElement("tr");
      change.forEach(function (text) {
        var td = document.createElement("td");
        td.textContent = text === "" ? "(vide)" : text;
        tr.appendChild(td);
      });
      body.appendChild(tr);
    });
    empty.hidden = list.length > 0;
    panel.hidden = false;
  }
  table.tBodies[0].addEventListener("click", function (e) {
    var cell = e.target.closest ? e.target.closest("td.nom") : null;
    if (cell) open(cell.parentNode);
  });
  document.getElementById("historique-fermer").addEventListener("click", function () {
    panel.hidden = true;
  });
})();)JS";

}  // namespace

std::string HistoryPanel(const History& h) {
    return kPanelStart + HtmlEscape(PanelData(h)) + kPanelEnd;
}

const char* HistoryScript() {
    return kPanelScript;
}

}  // namespace harvix::index
