#!/usr/bin/env python3
"""The index page's charts and software view in headless Chromium: a bar
clicked or keyed filters the table and says so; the software search finds the
computers; the history panel still opens. One fleet of real reports through
harvix-index, one of rows with inventory facts and the programs of GLPI's own
example inventories through the page's API."""

import datetime
import html
import json
import os
import re
import shutil
import subprocess
import unittest

from harvix_e2e import BUILD, GLPI_FORMAT, OUT, temp_folder
from test_index import TODAY, chromium, hostile_tree, index, report, tree_copy, write

FIXTURE = os.path.join(BUILD, "index_page_fixture")
GLPI_EXAMPLES = os.path.join(GLPI_FORMAT, "examples") if GLPI_FORMAT else None

HARNESS = """<!DOCTYPE html><html><body><pre id="result">pending</pre>
<iframe id="f" src="index.html" width="1600" height="1200"></iframe>
<script>
document.getElementById("f").addEventListener("load", function () {
  var doc = this.contentDocument, win = this.contentWindow, out = {};
  var note = doc.getElementById("filtre-graphe");
  function shown() {
    return Array.prototype.filter.call(doc.querySelectorAll("#machines tbody tr"), function (r) {
      return win.getComputedStyle(r).display !== "none"; })
      .map(function (r) { return r.querySelector("td.nom").textContent; }).sort();
  }
  function bar(title) { return doc.querySelector('#coup-oeil g.barre[data-titre="' + title + '"]'); }
  function click(e) { e.dispatchEvent(new MouseEvent("click", {bubbles: true})); }
  function said() { return note.hidden ? null : doc.getElementById("filtre-graphe-texte").textContent; }
  out.width = [doc.documentElement.scrollWidth, doc.documentElement.clientWidth];
  out.bars = Array.prototype.map.call(doc.querySelectorAll("#coup-oeil g.barre"), function (g) {
    return [g.querySelector("title").textContent, g.getAttribute("tabindex")]; });
  out.first = [shown(), said()];
  TEST
  document.getElementById("result").textContent = JSON.stringify(out);
});
</script></body></html>"""

REPORTS_TEST = """
  click(bar("Volume le plus plein : à 90 % ou plus"));
  out.full = [shown(), said()];
  var old = bar("Âge des rapports : plus de 90 jours");
  old.focus();
  out.focused = doc.activeElement === old;
  old.dispatchEvent(new KeyboardEvent("keydown", {key: "Enter", bubbles: true}));
  out.old = [shown(), said()];
  var box = doc.getElementById("filtre");
  box.value = "LAPTOP"; box.dispatchEvent(new Event("input"));
  out.oldAndText = shown();
  box.value = ""; box.dispatchEvent(new Event("input"));
  doc.getElementById("filtre-effacer").click();
  out.cleared = [shown(), said()];
  var name = doc.querySelector("#machines td.nom");
  name.click();
  out.history = [name.textContent, doc.getElementById("historique").hidden ? null : doc.getElementById("historique-titre").textContent];
  doc.getElementById("historique-fermer").click();
  click(bar("Volume le plus plein : à 90 % ou plus"));
"""

SOFTWARE_TEST = """
  var box = doc.getElementById("logiciels-recherche"), list = doc.getElementById("logiciels-liste");
  function search(text) {
    box.value = text; box.dispatchEvent(new Event("input"));
    return Array.prototype.map.call(list.children, function (li) { return li.querySelector("button").textContent; });
  }
  out.before = list.children.length;
  out.anydesk = search("anydesk");
  out.anydeskText = list.textContent;
  list.querySelector("button.nom").click();
  out.anydeskRows = [shown(), said()];
  out.java = search("Java 8");
  out.calc = search("GNOME-calculator 3.34");
  list.querySelectorAll("button")[1].click();  // its first version
  out.calcRows = shown();
  doc.getElementById("logiciels-tous").click();
  out.all = [list.children.length, doc.getElementById("logiciels-compte").textContent];
  doc.getElementById("filtre-effacer").click();
  click(bar("Windows 11 : non"));
  out.non = [shown(), said()];
  search("anydesk");
"""


def run_harness(folder, test, shot):
    write(os.path.join(folder, "harness.html"), HARNESS.replace("TEST", test))
    dom = chromium("--dump-dom", "file://" + os.path.join(folder, "harness.html")).stdout
    m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
    assert m, dom[:2000]
    # As the harness leaves it, for a person to look at.
    os.makedirs(OUT, exist_ok=True)
    path = os.path.join(OUT, shot)
    if os.path.exists(path):
        os.remove(path)
    chromium("--window-size=1640,1300", "--screenshot=" + path, "file://" + os.path.join(folder, "harness.html"))
    assert os.path.getsize(path) > 20000
    return json.loads(html.unescape(m.group(1)))


def glpi_programs(name):
    with open(os.path.join(GLPI_EXAMPLES, name), encoding="utf-8") as f:
        content = json.load(f)["content"]
    return [(s["name"], s.get("version", "")) for s in content.get("softwares", [])]


class IndexPage(unittest.TestCase):
    def setUp(self):
        self.folder = temp_folder("harvix-index-page-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_a_chart_bar_filters_the_table_by_click_or_key(self):
        trees = {n: tree_copy(n) for n in ("laptop", "server", "vm")}
        trees["hostile"] = hostile_tree()
        try:
            report(trees["laptop"], "LAPTOP", self.folder, date=TODAY)
            report(trees["server"], "SERVER", self.folder, date=TODAY - datetime.timedelta(days=45))
            report(trees["vm"], "VM", self.folder, date=TODAY - datetime.timedelta(days=100))
            report(trees["hostile"], "EVIL", self.folder, date=TODAY)  # / at 95 %
        finally:
            for tree in trees.values():
                shutil.rmtree(tree)
        self.assertEqual(index(self.folder, self.folder).returncode, 0)
        out = run_harness(self.folder, REPORTS_TEST, "index-graphiques.png")
        everyone = ["EVIL", "LAPTOP", "SERVER", "VM"]
        self.assertLessEqual(out["width"][0], out["width"][1])
        self.assertEqual(out["first"], [everyone, None])
        bars = dict(out["bars"])
        # Reports alone tell nothing of Windows 11: all four unknown.
        self.assertEqual(bars["Windows 11 : inconnu — 4 ordinateurs"], "0")
        self.assertIsNone(bars["Windows 11 : prêt — 0 ordinateur"])
        self.assertEqual(bars["Âge des rapports : 31 à 90 jours — 1 ordinateur"], "0")
        self.assertEqual(out["full"], [["EVIL"], "Tableau filtré : Volume le plus plein : à 90 % ou plus (1 ordinateur)"])
        self.assertTrue(out["focused"])
        self.assertEqual(out["old"], [["VM"], "Tableau filtré : Âge des rapports : plus de 90 jours (1 ordinateur)"])
        self.assertEqual(out["oldAndText"], [])
        self.assertEqual(out["cleared"], [everyone, None])
        self.assertEqual(out["history"][1], "Historique de " + out["history"][0])

    @unittest.skipUnless(GLPI_EXAMPLES, "GLPI's inventory format examples (../shared/glpi-inventory-format) are absent")
    def test_the_software_search_finds_the_computers(self):
        office, big = glpi_programs("computer_1.json"), glpi_programs("computer_3.json")
        today = TODAY.strftime("%d/%m/%Y")
        inventory = {"secure_boot": "enabled", "tpm": "2.0", "os": "Windows 11 Professionnel", "os_version": "25H2"}
        rows = [
            {"name": "PC-COMPTA", "ram": 8 << 30, "percent": 40, "date": today,
             "inventory": dict(inventory, verdict="non", os="Windows 10 Professionnel", os_version="22H2",
                               end_of_support="14/10/2025",
                               reasons=["Processeur non pris en charge (Intel Core i5-6500)"])},
            {"name": "PC-ACCUEIL", "ram": 16 << 30, "percent": 55, "date": today,
             "inventory": dict(inventory, verdict="prêt")},
            {"name": "SRV-FICHIERS", "ram": 32 << 30, "percent": 91, "date": today,
             "inventory": dict(inventory, verdict="non", secure_boot="unsupported", tpm="absent",
                               reasons=["TPM absent", "Secure Boot non pris en charge"])},
            {"name": "VIEUX-PC", "os": "Windows 7 Professionnel", "ram": 3 << 30, "percent": 70, "date": today},
        ]
        held = [office + [("AnyDesk", "7.1.0"), ("Java 8 Update 381", "8.0.3810")],
                big + [("AnyDesk", "8.0.4"), ("Java(TM) SE Development Kit 17", "17.0.2")],
                office, []]
        programs = [[i, name, version] for i, names in enumerate(held) for name, version in names]
        write(os.path.join(self.folder, "fleet.json"), json.dumps({"today": today, "rows": rows, "programs": programs}))
        result = subprocess.run([FIXTURE, os.path.join(self.folder, "fleet.json"), os.path.join(self.folder, "index.html")],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.folder, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertEqual(page.count("&quot;xerces-j2&quot;"), 1)  # each program once, whoever holds it

        def found(words):
            """Program names and holders where every word is in the name or one version, case aside."""
            names, holders = set(), set()
            for i, names_held in enumerate(held):
                for name, version in names_held:
                    if all(w in (name + " " + version).lower() for w in words.lower().split()):
                        names.add(name)
                        holders.add(rows[i]["name"])
            return sorted(names), sorted(holders)

        out = run_harness(self.folder, SOFTWARE_TEST, "index-logiciels.png")
        self.assertLessEqual(out["width"][0], out["width"][1])
        self.assertEqual(out["before"], 0)  # nothing listed before a search
        self.assertEqual(out["anydesk"], ["AnyDesk"])
        self.assertIn("AnyDesk — 2 ordinateurs : 7.1.0 (1), 8.0.4 (1)", out["anydeskText"])
        self.assertEqual(out["anydeskRows"], [found("anydesk")[1], "Tableau filtré : logiciel AnyDesk (2 ordinateurs)"])
        self.assertEqual(sorted(out["java"]), found("Java 8")[0][:100])
        self.assertIn("Java 8 Update 381", out["java"])
        self.assertNotIn("Java(TM) SE Development Kit 17", out["java"])
        self.assertEqual(out["calc"], ["gnome-calculator"])
        self.assertEqual(out["calcRows"], found("gnome-calculator 3.34")[1])
        distinct = len({name for names in held for name, _ in names})
        self.assertEqual(out["all"], [100, "%d programmes trouvés (les 100 premiers affichés : précisez la recherche)"
                                      % distinct])
        self.assertEqual(out["non"], [["PC-COMPTA", "SRV-FICHIERS"], "Tableau filtré : Windows 11 : non (2 ordinateurs)"])
        bars = dict(out["bars"])
        self.assertIn("Systèmes : hors support — 1 ordinateur", bars)
        self.assertIn("Secure Boot : non pris en charge — 1 ordinateur", bars)
        self.assertIn("Windows 11 : inconnu — 1 ordinateur", bars)


if __name__ == "__main__":
    unittest.main()
