#!/usr/bin/env python3
"""The index's history against the real clients: inventaire.csv re-saved by
LibreOffice Calc in fr-FR every way a technician does, a disk replaced, the
state deleted; two runs at once; each computer's history opened in Chromium."""

import csv
import fcntl
import html
import json
import os
import re
import shutil
import subprocess
import time
import unittest

from harvix_e2e import OUT, temp_folder
from test_index import (INDEX, TODAY, chromium, index, read_csv, report, tree_copy, with_disk_replaced,
                        write)

COMMA_UTF8 = "csv:Text - txt - csv (StarCalc):44,34,76,1"
SEMICOLON_1252 = "csv:Text - txt - csv (StarCalc):59,34,1,1"

HARNESS = """<!DOCTYPE html><html><body><pre id="result">pending</pre>
<iframe id="f" src="index.html" width="1600" height="1200"></iframe>
<script>
document.getElementById("f").addEventListener("load", function () {
  var doc = this.contentDocument, out = {};
  var panel = doc.getElementById("historique");
  out.hiddenFirst = panel.hidden;
  Array.prototype.forEach.call(doc.querySelectorAll("#machines td.nom"), function (cell) {
    if (cell.textContent === "SERVER") cell.click();
  });
  out.hidden = panel.hidden;
  out.title = doc.getElementById("historique-titre").textContent;
  out.rows = Array.prototype.map.call(panel.querySelectorAll("tbody tr"), function (r) {
    return Array.prototype.map.call(r.cells, function (c) { return c.textContent; });
  });
  document.getElementById("result").textContent = JSON.stringify(out);
});
</script></body></html>"""


def resave(folder, options):
    """inventaire.csv opened and saved again by Calc in French, as a technician would."""
    work = temp_folder("harvix-calc-")
    try:
        env = dict(os.environ, LC_ALL="fr_FR.UTF-8", LANG="fr_FR.UTF-8")
        result = subprocess.run(["soffice", "-env:UserInstallation=file://" + work + "/profile", "--headless",
                                 "--infilter=CSV:59,34,76,1", "--convert-to", options, "--outdir", work + "/out",
                                 os.path.join(folder, "inventaire.csv")],
                                env=env, capture_output=True, text=True, timeout=180)
        saved = os.path.join(work, "out", "inventaire.csv")
        assert os.path.exists(saved), result.stdout + result.stderr
        shutil.copy(saved, os.path.join(folder, "inventaire.csv"))
    finally:
        shutil.rmtree(work)


def add_comment(folder, computer, text):
    path = os.path.join(folder, "inventaire.csv")
    rows = read_csv(path)
    with open(path, "w", encoding="utf-8-sig", newline="") as f:
        out = csv.writer(f, delimiter=";", lineterminator="\r\n")
        out.writerow(list(rows[0]) + ["Commentaire"])
        for r in rows:
            out.writerow(list(r.values()) + [text if r["Nom"] == computer else ""])


class History(unittest.TestCase):
    def setUp(self):
        self.temps = []

    def tearDown(self):
        for t in self.temps:
            shutil.rmtree(t, ignore_errors=True)

    def temp(self, prefix):
        self.temps.append(temp_folder(prefix))
        return self.temps[-1]

    def fleet(self):
        self.server = tree_copy("server")
        self.temps.append(self.server)
        folder = self.temp("harvix-history-")
        for name in ("laptop", "vm"):
            tree = tree_copy(name)
            self.temps.append(tree)
            report(tree, name.upper(), folder, date=TODAY)
        report(self.server, "SERVER", folder, date=TODAY)
        return folder

    def changes(self, folder):
        return read_csv(os.path.join(folder, "changements.csv"))

    def test_spreadsheet_resaves_change_nothing_and_only_real_changes_are_kept(self):
        folder = self.fleet()
        first = index(folder, folder)
        self.assertEqual(first.returncode, 0, first.stdout)
        self.assertEqual(self.changes(folder), [])
        with open(os.path.join(folder, "historique-index.txt"), encoding="utf-8") as f:
            self.assertEqual(json.load(f)["version"], 1)
        add_comment(folder, "LAPTOP", "écran à changer")

        # Saved by Calc with "," and UTF-8, then with ";" and windows-1252: nothing changed.
        for options in (COMMA_UTF8, SEMICOLON_1252):
            resave(folder, options)
            again = index(folder, folder)
            self.assertEqual(again.returncode, 0, again.stdout)
            self.assertEqual(self.changes(folder), [], options)
            rows = {r["Nom"]: r for r in read_csv(os.path.join(folder, "inventaire.csv"))}
            self.assertEqual(sorted(rows), ["LAPTOP", "SERVER", "VM"])
            self.assertEqual({n: r["Modifié"] for n, r in rows.items()}, dict.fromkeys(rows, "non"))
            self.assertEqual(rows["LAPTOP"]["Commentaire"], "écran à changer", options)
            self.assertEqual(rows["VM"]["Commentaire"], "")

        # A disk replaced: exactly that change, kept from run to run.
        with_disk_replaced(self.server)
        report(self.server, "SERVER", folder, date=TODAY)
        resave(folder, COMMA_UTF8)
        changed = index(folder, folder)
        self.assertEqual(changed.returncode, 0, changed.stdout)
        found = self.changes(folder)
        self.assertEqual([(c["Ordinateur"], c["Champ"]) for c in found], [("SERVER", "Disques")])
        self.assertIn("WDC WD4003FRYZ", found[0]["Après"])
        self.assertNotIn("WDC WD4003FRYZ", found[0]["Avant"])
        self.assertEqual(index(folder, folder).returncode, 0)
        self.assertEqual(self.changes(folder), found)
        self.assertNotIn("Historique", changed.stdout)

        # The history deleted: said, the last inventaire.csv is the start, nothing invented.
        os.remove(os.path.join(folder, "historique-index.txt"))
        lost = index(folder, folder)
        self.assertIn("Historique de l'index absent (historique-index.txt) : il commence à partir de "
                      "l'inventaire.csv précédent (3 ordinateurs), sans les changements passés.", lost.stdout)
        self.assertEqual(self.changes(folder), [])
        with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertIn('<p id="avis"><b>Historique de l&#39;index absent', page)
        self.assertNotIn("premier index", page)
        self.assertEqual(read_csv(os.path.join(folder, "inventaire.csv"))[0]["Commentaire"], "écran à changer")

        # Damaged: kept aside under a dated name, said, a new history from inventaire.csv.
        write(os.path.join(folder, "historique-index.txt"), '{"version": 2}')
        damaged = index(folder, folder)
        kept = [n for n in os.listdir(folder) if re.fullmatch(r"historique-index-\d{8}-\d{6}\.txt", n)]
        self.assertEqual(len(kept), 1)
        self.assertIn("est illisible (version 2 inconnue de ce programme) : il est conservé sous " + kept[0],
                      damaged.stdout)

        # Under the name the version before gave it, which GLPI's injector would push: taken over.
        found = self.changes(folder)
        os.rename(os.path.join(folder, "historique-index.txt"), os.path.join(folder, "historique-index.json"))
        taken = index(folder, folder)
        self.assertNotIn("Historique", taken.stdout)
        self.assertEqual(self.changes(folder), found)
        self.assertEqual(sorted(n for n in os.listdir(folder) if n.startswith("historique-index.")),
                         ["historique-index.lock", "historique-index.txt"])

    def test_a_second_run_waits_for_the_first(self):
        folder = self.fleet()
        with open(os.path.join(folder, "historique-index.lock"), "w") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            waiting = subprocess.Popen([INDEX, folder], stdout=subprocess.PIPE, text=True)
            lock = os.path.realpath(held.name)
            # Wait until the run holds the lock file open, then see it still waiting.
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                fds = "/proc/%d/fd" % waiting.pid
                try:
                    if any(os.path.realpath(os.path.join(fds, fd)) == lock for fd in os.listdir(fds)):
                        break
                except FileNotFoundError:
                    pass
                self.assertIsNone(waiting.poll())
                os.sched_yield()
            self.assertIsNone(waiting.poll())
            self.assertFalse(os.path.exists(os.path.join(folder, "index.html")))
        out, _ = waiting.communicate(timeout=60)
        self.assertEqual(waiting.returncode, 0, out)
        self.assertTrue(os.path.exists(os.path.join(folder, "historique-index.txt")))

    def test_the_page_opens_a_computers_history(self):
        folder = self.fleet()
        self.assertEqual(index(folder, folder).returncode, 0)
        with_disk_replaced(self.server)
        report(self.server, "SERVER", folder, date=TODAY)
        self.assertEqual(index(folder, folder).returncode, 0)
        write(os.path.join(folder, "harness.html"), HARNESS)
        dom = chromium("--dump-dom", "file://" + os.path.join(folder, "harness.html")).stdout
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        self.assertTrue(m, dom[:2000])
        out = json.loads(html.unescape(m.group(1)))
        self.assertTrue(out["hiddenFirst"])
        self.assertFalse(out["hidden"])
        self.assertEqual(out["title"], "Historique de SERVER")
        self.assertEqual(len(out["rows"]), 1)
        self.assertEqual(out["rows"][0][1], "Disques")
        self.assertIn("WDC WD4003FRYZ", out["rows"][0][3])

        # The panel as the harness left it open.
        os.makedirs(OUT, exist_ok=True)
        shot = os.path.join(OUT, "index_history.png")
        if os.path.exists(shot):
            os.remove(shot)
        chromium("--window-size=1640,1300", "--screenshot=" + shot,
                 "file://" + os.path.join(folder, "harness.html"))
        self.assertGreater(os.path.getsize(shot), 20000)


if __name__ == "__main__":
    unittest.main()
