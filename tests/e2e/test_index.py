"""harvix-index over one folder of real inputs: reports written by harvix from
the recorded machine trees (one with hostile texts, one cut short), a foreign
page, a binary file and files that cannot be read. The spreadsheets are read
back with Python's csv module and compared with an independent reading of the
reports; a second run finds exactly the changes made to the machines; the page
is driven in headless Chromium."""
import collections
import csv
import datetime
import html
import json
import os
import re
import shutil
import subprocess
import unittest

from harvix_e2e import BUILD, OUT, TREES, parse_report, program_copy, run, temp_folder

INDEX = os.path.join(BUILD, "harvix-index")
HOSTILE_MODEL = "<img src=x onerror=\"document.title='pwned'\">"
HOSTILE_USER = "<script>document.title='pwned'</script>\"';"
FORMULA = "=cmd|' /C calc'!A0"
KEEP_TEXT = "\u2060"
TODAY = datetime.date.today()
UNREAD = {"dossier_report.html": "c'est un dossier", "tube_report.html": "pas un fichier ordinaire",
          "enorme_report.html": "fichier trop volumineux", "photo_report.html": "fichier binaire",
          "notes_report.html": "pas un rapport Harvix", "lien_report.html": "fichier introuvable"}


def tree_copy(name):
    tree = temp_folder("harvix-index-tree-")
    shutil.copytree(os.path.join(TREES, name), tree, symlinks=True, dirs_exist_ok=True)
    return tree


def write(path, text, mode="w"):
    with open(path, mode) as f:
        f.write(text)


def report(tree, computer, dest, user="tech", date=None, inventory=False):
    """harvix's report of a machine tree, moved into dest (and its inventory file and own
    file with inventory); date stands in for the clock."""
    folder = program_copy()
    result = run(folder, "/silent", env={"COMPUTERNAME": computer, "USERNAME": user, "HARVIX_ROOT": tree})
    assert result.returncode == 0, result.stderr
    path = os.path.join(dest, computer + "_report.html")
    shutil.move(os.path.join(folder, computer + "_report.html"), path)
    if inventory:
        for suffix in ("_inventory.json", "_harvix.txt"):
            shutil.move(os.path.join(folder, computer + suffix), dest)
    shutil.rmtree(folder)
    if date:
        with open(path, "rb") as f:
            data = f.read()
        data = re.sub(rb"(Rapport g\xe9n\xe9r\xe9 le )\d\d/\d\d/\d{4}", rb"\g<1>" + date.strftime("%d/%m/%Y").encode(), data)
        write(path, data, "wb")
    return path


def hostile_tree():
    """The laptop with markup in its model, a formula as a USB label and a nearly full disk."""
    tree = tree_copy("laptop")
    write(os.path.join(tree, "sys/class/dmi/id/product_name"), HOSTILE_MODEL + "\n")
    encoded = "".join("\\x%02x" % ord(c) if c in " \\" else c for c in FORMULA)
    write(os.path.join(tree, "run/udev/data/b8:1"),
          "E:ID_FS_TYPE=vfat\nE:ID_FS_LABEL_ENC=%s\nE:ID_PART_ENTRY_SCHEME=dos\nE:ID_PART_ENTRY_TYPE=0xc\n" % encoded)
    statvfs = os.path.join(tree, ".harvix/statvfs")
    with open(statvfs) as f:
        lines = f.read().replace("/ 494384795648 310000000000", "/ 494384795648 24719239782")
    write(statvfs, lines)  # / at 95 %
    return tree


def without_one_module(tree):
    """Empties the second installed memory device of the SMBIOS table, and halves MemTotal."""
    path = os.path.join(tree, "sys/firmware/dmi/tables/DMI")
    with open(path, "rb") as f:
        table = bytearray(f.read())
    off, installed = 0, 0
    while off + 4 <= len(table):
        kind, length = table[off], table[off + 1]
        if kind == 17 and int.from_bytes(table[off + 12:off + 14], "little") not in (0, 0xFFFF):
            installed += 1
            if installed == 2:
                table[off + 12:off + 14] = b"\0\0"
        end = table.index(b"\0\0", off + length) + 2
        if kind == 127:
            break
        off = end
    assert installed >= 2
    write(path, bytes(table), "wb")
    meminfo = os.path.join(tree, "proc/meminfo")
    with open(meminfo) as f:
        text = f.read()
    kb = int(re.search(r"MemTotal:\s+(\d+)", text).group(1))
    write(meminfo, re.sub(r"MemTotal:\s+\d+", "MemTotal:       %d" % (kb // 2), text))


def with_disk_replaced(tree):
    """sdb of the server becomes a 4 TB disk of another make and serial."""
    block = os.path.realpath(os.path.join(tree, "sys/block/sdb"))
    write(os.path.join(block, "device/model"), "WDC WD4003FRYZ\n")
    write(os.path.join(block, "size"), "7814037168\n")
    vpd = os.path.join(block, "device/vpd_pg80")
    with open(vpd, "rb") as f:
        data = f.read()
    write(vpd, data.replace(b"ZC201ABC", b"WMC13F7X"), "wb")


def index(folder, *args, program=INDEX, user=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    cmd = [program, *args]
    if user is not None:
        cmd = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user, "--clear-groups", *cmd]
    return subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=120, cwd=folder)


def read_csv(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data.startswith(b"\xef\xbb\xbf"), "no byte-order mark"
    with open(path, newline="", encoding="utf-8-sig") as f:
        return [{k: shown(v) for k, v in r.items()} for r in csv.DictReader(f, delimiter=";")]


def shown(text):
    """A field as the spreadsheet shows it: the word joiner that keeps it from being a number is invisible."""
    return text[1:] if text.startswith(KEEP_TEXT) else text


def unguard(text):
    """What a spreadsheet shows of a field kept from being a formula."""
    return text[1:] if text.startswith("'") and text.lstrip("'")[:1] in ("=", "+", "-", "@", "\t", "\r") else text


def french(x, decimals):
    return ("%.*f" % (decimals, x)).replace(".", ",")


def gigabytes(size_text):
    number, unit = size_text.rsplit(" ", 1)
    return float(number.replace(",", ".")) * {"Go": 1 << 30, "Ko": 1 << 10, "Octets": 1}[unit]


def fill_folder(folder, trees):
    report(trees["laptop"], "LAPTOP", folder, date=TODAY)
    report(trees["server"], "SERVER", folder, date=TODAY - datetime.timedelta(days=3))
    report(trees["vm"], "VM", folder, date=TODAY - datetime.timedelta(days=1))
    report(trees["hostile"], "EVIL", folder, user=HOSTILE_USER, date=TODAY - datetime.timedelta(days=45))
    # A run that failed after the memory table.
    cut = report(trees["server"], "CUT", folder)
    with open(cut, "rb") as f:
        data = f.read()
    end = data.index(b"</tbody></table>\r\n", data.index(b"fa-memory")) + len(b"</tbody></table>\r\n")
    write(cut, data[:end], "wb")
    write(os.path.join(folder, "notes_report.html"),
          "<!DOCTYPE html>\r\n<html><head><title>Notes</title></head><body><p>Réunion</p></body></html>\r\n")
    write(os.path.join(folder, "photo_report.html"), b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + os.urandom(256), "wb")
    os.mkdir(os.path.join(folder, "dossier_report.html"))
    os.mkfifo(os.path.join(folder, "tube_report.html"))
    with open(os.path.join(folder, "enorme_report.html"), "wb") as f:
        f.truncate(5 << 20)
    os.symlink("nulle-part.html", os.path.join(folder, "lien_report.html"))
    write(os.path.join(folder, "readme.txt"), "not a report")
    os.mkdir(os.path.join(folder, "archives"))
    report(trees["vm"], "OLDSUB", os.path.join(folder, "archives"))  # subfolders are not read


HARNESS = """<!DOCTYPE html><html><body><pre id="result">pending</pre>
<iframe id="f" src="index.html" width="1600" height="1200"></iframe>
<script>
var step = 0, out = {};
document.getElementById("f").addEventListener("load", function () {
  var doc = this.contentDocument, win = this.contentWindow;
  if (step++ > 0) {
    out.opened = win.location.href;
    out.openedHasCpuTable = doc.body.textContent.indexOf("Processeur") >= 0;
    document.getElementById("result").textContent = JSON.stringify(out);
    return;
  }
  var heads = doc.querySelectorAll("#machines thead th");
  function col(name) {
    for (var i = 0; i < heads.length; i++) if (heads[i].textContent.trim() === name) return i;
    return -1;
  }
  function rows() { return Array.prototype.slice.call(doc.querySelectorAll("#machines tbody tr")); }
  function column(i, attr) {
    return rows().map(function (r) { return attr ? r.cells[i].getAttribute("data-v") : r.cells[i].textContent; });
  }
  var name = col("Nom"), ram = col("RAM installée"), date = col("Date du rapport");
  out.width = [doc.documentElement.scrollWidth, doc.documentElement.clientWidth];
  out.heights = rows().filter(function (r) { return !r.querySelector("ul.chg"); })
                      .map(function (r) { return [r.cells[name].textContent, r.getBoundingClientRect().height]; });
  heads[ram].click(); out.ramUp = column(ram, true); out.ramUpNames = column(name);
  heads[ram].click(); out.ramDown = column(ram, true);
  heads[date].click(); out.dateUp = column(date, true);
  heads[name].click(); out.nameUp = column(name);
  heads[name].click(); out.nameDown = column(name);
  var box = doc.getElementById("filtre");
  box.value = "POWEREDGE"; box.dispatchEvent(new Event("input"));
  out.filtered = rows().filter(function (r) { return win.getComputedStyle(r).display !== "none"; })
                       .map(function (r) { return r.cells[name].textContent; });
  box.value = ""; box.dispatchEvent(new Event("input"));
  out.unfiltered = rows().filter(function (r) { return win.getComputedStyle(r).display !== "none"; }).length;
  out.flags = Array.prototype.map.call(doc.querySelectorAll("#machines .flag"), function (f) {
    var box = f.getBoundingClientRect();
    return [f.closest("tr").cells[name].textContent, f.textContent, box.width > 0 && box.height > 0];
  });
  out.summary = doc.getElementById("resume").textContent;
  out.title = doc.title;
  out.injected = doc.querySelectorAll("img, #machines script, [onerror]").length;
  out.scripts = doc.scripts.length;
  out.evil = rows().filter(function (r) { return r.cells[name].textContent === "EVIL"; })
                   .map(function (r) { return Array.prototype.map.call(r.cells, function (c) { return c.textContent; }); })[0];
  out.links = rows().map(function (r) { var a = r.querySelector("a"); return [r.cells[name].textContent, a.href]; });
  rows().filter(function (r) { return r.cells[name].textContent === "LAPTOP"; })[0].querySelector("a").click();
});
</script></body></html>"""


def chromium(*args, env=None):
    return subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                           "--no-first-run", "--disable-background-networking", "--disable-component-update",
                           "--disable-sync", "--user-data-dir=" + temp_folder("harvix-chromium-"),
                           "--allow-file-access-from-files", "--virtual-time-budget=5000", *args],
                          capture_output=True, text=True, timeout=180, env=env)


class FleetIndex(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.trees = {name: tree_copy(name) for name in ("laptop", "server", "vm")}
        cls.trees["hostile"] = hostile_tree()
        cls.first = temp_folder("harvix-fleet-")
        fill_folder(cls.first, cls.trees)
        # Beside the reports and without an argument, as on the share.
        shutil.copy2(INDEX, cls.first)
        cls.run1 = index(cls.first, program=os.path.join(cls.first, "harvix-index"))

        # A month later: a module gone, a disk replaced, a machine retired, one new.
        cls.second = temp_folder("harvix-fleet-")
        shutil.rmtree(cls.second)
        shutil.copytree(cls.first, cls.second, symlinks=True, ignore=lambda d, names: [n for n in names if n == "tube_report.html"])
        os.mkfifo(os.path.join(cls.second, "tube_report.html"))
        without_one_module(cls.trees["laptop"])
        with_disk_replaced(cls.trees["server"])
        report(cls.trees["laptop"], "LAPTOP", cls.second, date=TODAY)
        report(cls.trees["server"], "SERVER", cls.second, date=TODAY - datetime.timedelta(days=3))
        os.remove(os.path.join(cls.second, "VM_report.html"))
        report(tree_copy("vm"), "NEWPC", cls.second)
        cls.run2 = index(cls.second, cls.second)

    def csv_rows(self, folder, name="inventaire.csv"):
        return read_csv(os.path.join(folder, name))

    def test_first_run_lists_each_input_correctly(self):
        self.assertEqual(self.run1.returncode, 1, self.run1.stderr)
        self.assertEqual(self.run1.stdout, "L'index a été créé dans le dossier:\n%s/index.html\n"
                         "5 rapports lus, 6 fichiers non lus (voir l'index).\n" % self.first)
        rows = {r["Nom"]: r for r in self.csv_rows(self.first)}
        self.assertEqual(sorted(rows), ["CUT", "EVIL", "LAPTOP", "SERVER", "VM"])
        with open(os.path.join(self.first, "index.html"), encoding="utf-8") as f:
            page = f.read()
        unread = dict(re.findall(r"<tr><td>([^<]*)</td><td>([^<]*)</td></tr>",
                                 page[page.index('id="nonlus"'):]))
        self.assertEqual(sorted(unread), sorted(UNREAD))
        for name, reason in UNREAD.items():
            self.assertTrue(html.unescape(unread[name]).startswith(reason), (name, unread[name]))
        self.assertNotIn("OLDSUB", page)
        # A first run compares with nothing.
        for r in rows.values():
            self.assertEqual((r["Nouveau"], r["Modifié"], r["Changements"]), ("non", "non", ""))

    def test_spreadsheets_hold_what_the_reports_hold(self):
        for name in ("inventaire.csv", "volumes.csv"):
            with open(os.path.join(self.first, name), "rb") as f:
                data = f.read()
            self.assertTrue(data.endswith(b"\r\n"))
            self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "CR LF after every line")
        rows = {r["Nom"]: r for r in self.csv_rows(self.first)}
        volumes = self.csv_rows(self.first, "volumes.csv")
        for name in ("LAPTOP", "SERVER", "VM", "EVIL"):
            general, disks = parse_report(os.path.join(self.first, name + "_report.html"))
            r = rows[name]
            self.assertEqual(r["Rapport"], name + "_report.html")
            self.assertEqual(r["OS"], general["OS"])
            self.assertEqual(r["Utilisateur"], general["Nom de l'utilisateur"])
            self.assertEqual(r["Modèle"], general["Modèle de l'ordinateur"])
            self.assertEqual(r["Numéro de série"], general["Numéro de série"])
            self.assertEqual(r["CPU"], general["CPU"])
            self.assertEqual(r["Cœurs physiques"], general["Coeurs physiques"])
            self.assertEqual(r["Cœurs logiques"], general["Coeurs logiques"])
            self.assertEqual(r["RAM installée (Go)"], french(gigabytes(general["RAM installée"]) / (1 << 30), 2))
            with open(os.path.join(self.first, name + "_report.html"), "rb") as f:
                used, slots = re.search(rb"Slots utilis\xe9s</td><td>(\d+) sur (\d+)<", f.read()).groups()
            self.assertEqual((r["Slots utilisés"], r["Slots présents"]), (used.decode(), slots.decode()))
            self.assertEqual(r["Disques"], str(len(disks)))
            self.assertEqual(r["Capacité des disques (Go)"], str(sum(int(d["size"][:-3]) for d in disks)))
            listed = [v for v in volumes if v["Ordinateur"] == name]
            expected = [(d["id"], d["model"], v["name"], v["label"], v["fs"], v["used"], v["size"])
                        for d in disks for v in d["volumes"]]
            self.assertEqual([(v["Disque"], v["Modèle du disque"], v["Volume"], unguard(v["Nom de volume"]),
                               v["Système de fichiers"], v["Octets utilisés"], v["Octets au total"]) for v in listed],
                             expected)
            percents = [int(v["used"]) * 100 / int(v["size"]) for d in disks for v in d["volumes"] if int(v["size"])]
            self.assertEqual(r["Occupation du volume (%)"], french(max(percents), 1))
            for v in listed:
                if int(v["Octets au total"]):
                    self.assertEqual(v["Occupation (%)"], french(int(v["Octets utilisés"]) * 100 / int(v["Octets au total"]), 1))
        self.assertEqual(rows["EVIL"]["Modèle"], "LENOVO - " + HOSTILE_MODEL)
        self.assertEqual(rows["EVIL"]["Utilisateur"], HOSTILE_USER)
        self.assertEqual(rows["EVIL"]["Volume à 90 % ou plus"], "oui")
        self.assertEqual(rows["EVIL"]["Rapport de plus de 30 jours"], "oui")
        self.assertEqual(rows["VM"]["Numéro de série suspect"], "Numéro de série absent")
        self.assertEqual(rows["LAPTOP"]["Date du rapport"], TODAY.strftime("%d/%m/%Y"))
        # The formula label stays text: guarded in the file, the label itself once unguarded.
        with open(os.path.join(self.first, "volumes.csv"), "rb") as f:
            self.assertIn(b";'" + FORMULA.encode() + b";", f.read())
        self.assertIn(FORMULA, [unguard(v["Nom de volume"]) for v in volumes])
        cut = rows["CUT"]
        self.assertEqual((cut["Slots utilisés"], cut["Slots présents"]),
                         (rows["SERVER"]["Slots utilisés"], rows["SERVER"]["Slots présents"]))
        # Cut before its disks: what it does not say is blank, not 0.
        self.assertEqual((cut["Rapport incomplet"], cut["Disques"], cut["Capacité des disques (Go)"],
                          cut["Date du rapport"]), ("oui", "", "", ""))
        self.assertEqual(cut["RAM installée (Go)"], rows["SERVER"]["RAM installée (Go)"])
        for name in ("LAPTOP", "SERVER", "VM", "EVIL"):
            self.assertEqual(rows[name]["Rapport incomplet"], "non")

    def test_second_run_flags_exactly_the_four_changes(self):
        self.assertEqual(self.run2.returncode, 1, self.run2.stderr)
        rows = {r["Nom"]: r for r in self.csv_rows(self.second)}
        old = {r["Nom"]: r for r in self.csv_rows(self.first)}
        changed = {n for n, r in rows.items() if r["Modifié"] == "oui"}
        new = {n for n, r in rows.items() if r["Nouveau"] == "oui"}
        self.assertEqual(changed, {"LAPTOP", "SERVER"})
        self.assertEqual(new, {"NEWPC"})
        removed_module = "BANK 2 : 8,00 Go Samsung M471A1K43CB1-CTD"
        removed_disk, added_disk = "ST2000NM0055-1V4 2000 Go SN ZC201ABC", "WDC WD4003FRYZ 4001 Go SN WMC13F7X"
        self.assertEqual(rows["LAPTOP"]["Changements"].split(" | "), [
            "RAM : %s Go → %s Go" % (old["LAPTOP"]["RAM installée (Go)"], rows["LAPTOP"]["RAM installée (Go)"]),
            "Modules : − " + removed_module])
        self.assertEqual(rows["SERVER"]["Changements"], "Disques : − %s ; + %s" % (removed_disk, added_disk))
        # Exactly what the two lists themselves differ by.
        def items(row, column):
            return collections.Counter(row[column].split(" | "))
        for name, column, gone, came in (("LAPTOP", "Modules", [removed_module], []),
                                          ("SERVER", "Liste des disques", [removed_disk], [added_disk])):
            self.assertEqual(items(old[name], column) - items(rows[name], column), collections.Counter(gone))
            self.assertEqual(items(rows[name], column) - items(old[name], column), collections.Counter(came))
            self.assertGreater(sum(items(rows[name], column).values()), 0)
        with open(os.path.join(self.second, "index.html"), encoding="utf-8") as f:
            page = f.read()
        gone = re.findall(r"<tr><td>([^<]*)</td><td>([^<]*)</td><td>([^<]*)</td></tr>",
                          page[page.index('id="disparus"'):page.index('id="nonlus"')])
        self.assertEqual(gone, [("VM", (TODAY - datetime.timedelta(days=1)).strftime("%d/%m/%Y"), "VM_report.html")])
        self.assertIn("<li>RAM : %s Go → %s Go</li>" % (old["LAPTOP"]["RAM installée (Go)"],
                                                        rows["LAPTOP"]["RAM installée (Go)"]), page)
        self.assertIn("<li>Modules : − %s</li>" % removed_module, page)
        self.assertIn("<li>Disques : − %s ; + %s</li>" % (removed_disk, added_disk), page)
        # The next run compares with this one: nothing has changed since.
        again = temp_folder("harvix-fleet-")
        shutil.copy2(os.path.join(self.second, "inventaire.csv"), again)
        for name in ("LAPTOP", "SERVER", "NEWPC", "EVIL", "CUT"):
            shutil.copy2(os.path.join(self.second, name + "_report.html"), again)
        third = index(again, again)
        self.assertEqual(third.returncode, 0, third.stdout)
        for r in self.csv_rows(again):
            self.assertEqual((r["Nouveau"], r["Modifié"]), ("non", "non"), r["Nom"])
        with open(os.path.join(again, "index.html"), encoding="utf-8") as f:
            self.assertNotIn('id="disparus"', f.read())

    def test_an_unreadable_file_for_an_ordinary_user(self):
        folder = temp_folder("harvix-fleet-user-")
        os.chmod(folder, 0o777)
        report(self.trees["vm"], "OPEN", folder)
        locked = report(self.trees["vm"], "LOCKED", folder)
        os.chmod(locked, 0)
        result = index(folder, folder, user=65534)
        self.assertEqual(result.returncode, 1, result.stderr)
        with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertIn("<tr><td>LOCKED_report.html</td><td>accès refusé</td></tr>", page)
        self.assertEqual([r["Nom"] for r in read_csv(os.path.join(folder, "inventaire.csv"))], ["OPEN"])
        # A folder the user may read but not write: nothing can be written, and nothing is lost.
        os.chmod(folder, 0o755)
        with open(os.path.join(folder, "inventaire.csv"), "rb") as f:
            before = f.read()
        result = index(folder, folder, user=65534)
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertIn("Impossible d'écrire inventaire.csv : impossible de créer un fichier dans %s : accès refusé."
                      % folder, result.stdout)
        with open(os.path.join(folder, "inventaire.csv"), "rb") as f:
            self.assertEqual(f.read(), before)

    def test_an_output_that_cannot_be_replaced_is_kept_under_a_dated_name(self):
        folder = temp_folder("harvix-fleet-locked-")
        report(self.trees["vm"], "PC", folder)
        os.mkdir(os.path.join(folder, "index.html"))
        write(os.path.join(folder, "index.html", "busy"), "")
        result = index(folder, folder, "/SILENT")
        self.assertEqual(result.returncode, 2)
        kept = [n for n in os.listdir(folder) if re.fullmatch(r"index-\d{8}-\d{6}\.html", n)]
        self.assertEqual(len(kept), 1, os.listdir(folder))
        self.assertIn("la nouvelle version est enregistrée sous " + kept[0], result.stdout)
        self.assertEqual([n for n in os.listdir(folder) if ".tmp" in n], [])
        self.assertEqual(read_csv(os.path.join(folder, "inventaire.csv"))[0]["Nom"], "PC")
        missing = index(folder, os.path.join(folder, "absent"))
        self.assertEqual(missing.returncode, 2)
        self.assertIn("Impossible de lire le dossier", missing.stdout)

    def test_the_page_in_a_browser(self):
        write(os.path.join(self.second, "harness.html"), HARNESS)
        dom = chromium("--dump-dom", "file://" + os.path.join(self.second, "harness.html")).stdout
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        self.assertTrue(m, dom[:2000])
        out = json.loads(html.unescape(m.group(1)))
        names = ["CUT", "EVIL", "LAPTOP", "NEWPC", "SERVER"]
        ram = [float(x) for x in out["ramUp"]]
        self.assertEqual(ram, sorted(ram))
        self.assertEqual([float(x) for x in out["ramDown"]], sorted(ram, reverse=True))
        self.assertEqual(out["ramUpNames"][0], "LAPTOP")  # 7,75 Go since its module went
        self.assertEqual(out["dateUp"], sorted(out["dateUp"]))
        self.assertEqual(out["dateUp"][:2], ["", (TODAY - datetime.timedelta(days=45)).isoformat()])
        self.assertEqual(out["nameUp"], names)
        self.assertEqual(out["nameDown"], names[::-1])
        self.assertEqual(sorted(out["filtered"]), ["CUT", "SERVER"])
        self.assertEqual(out["unfiltered"], 5)
        flags = {(row, text) for row, text, shown in out["flags"] if shown}
        for flag in [("EVIL", "Volume à 90 % ou plus"), ("EVIL", "Rapport de plus de 30 jours"),
                     ("CUT", "Rapport incomplet"), ("NEWPC", "Numéro de série absent"),
                     ("NEWPC", "Nouveau depuis le dernier index"), ("LAPTOP", "Modifié depuis le dernier index"),
                     ("SERVER", "Modifié depuis le dernier index")] + [
                         (name, "Numéro de série partagé par 2 ordinateurs")  # two trees each
                         for name in ("LAPTOP", "EVIL", "SERVER", "CUT")]:
            self.assertIn(flag, flags)
        self.assertEqual(len(flags), 11, flags)
        self.assertIn("5 ordinateurs", out["summary"])
        # Readable in a 1600-pixel window: no sideways scrolling, long texts wrap to a few lines.
        self.assertLessEqual(out["width"][0], out["width"][1])
        self.assertEqual(len(out["heights"]), 3)
        for row, height in out["heights"]:
            self.assertLess(height, 100, row)
        for part in ("1 volume à 90 % ou plus", "1 rapport de plus de 30 jours", "1 rapport incomplet",
                     "5 numéros de série suspects", "2 ordinateurs modifiés", "1 nouvel ordinateur",
                     "1 ordinateur disparu", "6 fichiers non lus"):
            self.assertIn(part, out["summary"])
        # Hostile texts are shown as text; nothing of theirs runs.
        self.assertEqual(out["title"], "Index des inventaires")
        self.assertEqual(out["injected"], 0)
        self.assertEqual(out["scripts"], 1)
        self.assertIn(HOSTILE_USER, out["evil"])
        self.assertIn("LENOVO - " + HOSTILE_MODEL, out["evil"])
        for name, href in out["links"]:
            self.assertEqual(href, "file://%s/%s_report.html" % (self.second, name))
        self.assertEqual(out["opened"], "file://%s/LAPTOP_report.html" % self.second)
        self.assertTrue(out["openedHasCpuTable"])

        os.makedirs(OUT, exist_ok=True)
        shot = os.path.join(OUT, "index.png")
        if os.path.exists(shot):
            os.remove(shot)
        chromium("--window-size=1600,900", "--screenshot=" + shot, "file://" + os.path.join(self.second, "index.html"))
        self.assertGreater(os.path.getsize(shot), 20000)


# Windows' Tahoma metrics, from Wine's fonts, for Chromium through fontconfig.
WINE_FONTS = "/usr/share/wine/fonts"
FIT_HARNESS = """<!DOCTYPE html><html><body><pre id="result">pending</pre>
<iframe id="f" src="index.html" width="1600" height="900" style="border:0"></iframe>
<script>
var step = 0, out = {};
document.getElementById("f").addEventListener("load", function () {
  var doc = this.contentDocument, win = this.contentWindow;
  if (step++ > 0) {
    out.opened = win.location.href.split("/").pop();
    out.openedHasCpuTable = doc.body.textContent.indexOf("Processeur") >= 0;
    document.getElementById("result").textContent = JSON.stringify(out);
    return;
  }
  out.width = [doc.documentElement.scrollWidth, doc.documentElement.clientWidth];
  out.font = win.getComputedStyle(doc.querySelector("#machines td")).fontFamily;
  var ctx = document.createElement("canvas").getContext("2d"), text = "DESKTOP-7K2Q9JM";
  out.measured = ["Tahoma", "sans-serif", "serif", "monospace"].map(function (f) {
    ctx.font = "bold 12px " + f; return ctx.measureText(text).width; });
  var links = doc.querySelectorAll("#machines td.rapport a");
  out.linksInView = Array.prototype.every.call(links, function (a) {
    var box = a.getBoundingClientRect(); return box.right <= doc.documentElement.clientWidth; });
  out.links = Array.prototype.map.call(links, function (a) {
    return [a.closest("tr").querySelector("td.nom").textContent, a.textContent, a.getAttribute("href")]; });
  Array.prototype.filter.call(links, function (a) { return a.textContent[0] === "c"; })[0].click();
});
</script></body></html>"""


@unittest.skipUnless(os.path.exists(os.path.join(WINE_FONTS, "tahoma.ttf")), "fonts-wine is not installed")
class PageFit(unittest.TestCase):
    def test_every_report_is_a_row_and_15_character_names_fit_1600_pixels_in_tahoma(self):
        folder = temp_folder("harvix-fleet-fit-")
        trees = [tree_copy(n) for n in ("laptop", "server", "vm")] + [hostile_tree()]
        # Windows' own names for new computers: 15 characters, the NetBIOS limit.
        for tree, name in zip(trees, ("DESKTOP-7K2Q9JM", "LAPTOP-WWM4H0QD", "DESKTOP-MW0O8BQ", "SRV-COMPTA-WWWW")):
            report(tree, name, folder, date=TODAY)
        # Windows without COMPUTERNAME writes "_report.html"; a Latin-1 name from an old share.
        unnamed = report(trees[2], "NONAME", folder, date=TODAY)
        with open(unnamed, "rb") as f:
            data = f.read().replace(b"<td>NONAME</td>", b"<td></td>")
        write(os.path.join(folder, "_report.html"), data, "wb")
        os.remove(unnamed)
        latin1 = report(trees[0], "CAFE", folder, date=TODAY)
        os.rename(latin1, os.path.join(os.fsencode(folder), b"caf\xe9_report.html"))
        self.assertEqual(index(folder, folder).returncode, 0)
        fonts = os.path.join(folder, "fonts.conf")
        write(fonts, '<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>'
                     '<include ignore_missing="yes">/etc/fonts/fonts.conf</include><dir>%s</dir>'
                     '<cachedir>%s</cachedir></fontconfig>' % (WINE_FONTS, os.path.join(folder, "fc-cache")))
        env = dict(os.environ, FONTCONFIG_FILE=fonts)
        write(os.path.join(folder, "fit.html"), FIT_HARNESS)
        dom = chromium("--dump-dom", "file://" + os.path.join(folder, "fit.html"), env=env).stdout
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        self.assertTrue(m, dom[:2000])
        out = json.loads(html.unescape(m.group(1)))
        self.assertTrue(out["font"].startswith("Tahoma"), out["font"])
        tahoma, *others = out["measured"]
        self.assertNotIn(tahoma, others, "Chromium draws Wine's Tahoma, not a stand-in")
        self.assertLessEqual(out["width"][0], out["width"][1], out)
        self.assertTrue(out["linksInView"], out)
        self.assertEqual(len(out["links"]), 6)
        self.assertIn(["(nom inconnu)", "_report.html", "_report.html"], out["links"])
        self.assertIn(["CAFE", "café_report.html", "caf%E9_report.html"], out["links"])
        # The link opens the file by its own bytes.
        self.assertEqual(out["opened"], "caf%E9_report.html")
        self.assertTrue(out["openedHasCpuTable"])
        os.makedirs(OUT, exist_ok=True)
        shot = os.path.join(OUT, "index-tahoma-1600.png")
        if os.path.exists(shot):
            os.remove(shot)
        chromium("--window-size=1600,900", "--screenshot=" + shot, "file://" + os.path.join(folder, "index.html"),
                 env=env)
        self.assertGreater(os.path.getsize(shot), 20000)
        shutil.rmtree(folder)
        for tree in trees:
            shutil.rmtree(tree)


# LibreOffice Calc's CSV import as a French user gets it by double-click: its
# dialog's defaults (formulas not evaluated, no special numbers), fr-FR.
CALC_CSV = "CSV:59,34,76,1,,1036,false,false,false,false,false,-1,"


def calc_cells(csv_path, evaluate=False):
    """Each row's cells as Calc opens the CSV: (value type, value, text shown); evaluate: with
    "Évaluer les formules" ticked."""
    out_dir = temp_folder("harvix-calc-")
    env = dict(os.environ, HOME=out_dir, LANG="fr_FR.UTF-8", LC_ALL="fr_FR.UTF-8")
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + out_dir + "/profile",
                    "--infilter=" + CALC_CSV + ("true" if evaluate else "false"), "--convert-to", "fods", "--outdir", out_dir, csv_path],
                   env=env, capture_output=True, timeout=300, check=True)
    with open(os.path.join(out_dir, os.path.basename(csv_path)[:-4] + ".fods"), encoding="utf-8") as f:
        doc = f.read()
    shutil.rmtree(out_dir)
    rows = []
    for row in re.findall(r"<table:table-row\b.*?</table:table-row>", doc, re.S):
        cells = []
        for attrs, body in re.findall(r"<table:table-cell\b([^>]*?)(?:/>|>(.*?)</table:table-cell>)", row, re.S):
            kind = re.search(r'office:value-type="(\w+)"', attrs)
            value = re.search(r'office:(?:date-)?value="([^"]*)"', attrs)
            shown = html.unescape(re.sub(r"<[^>]+>", "", re.sub(r"</text:p>\s*<text:p>", "\n", body or ""))).strip()
            repeat = re.search(r'table:number-columns-repeated="(\d+)"', attrs)
            cells += [(kind and kind.group(1), value and value.group(1), shown)] * int(repeat.group(1) if repeat else 1)
        rows.append(cells)
    return rows


@unittest.skipUnless(shutil.which("soffice"), "LibreOffice Calc (libreoffice-calc-nogui) is not installed")
class SpreadsheetTypes(unittest.TestCase):
    def test_calc_keeps_texts_as_texts_and_figures_as_numbers(self):
        folder = temp_folder("harvix-fleet-calc-")
        tree = hostile_tree()  # a formula as a USB key's label
        path = report(tree, "1E5", folder, date=TODAY)
        with open(path, "rb") as f:
            data = f.read()
        serial = re.search(rb"Num\xe9ro de s\xe9rie</td><td>([^<]*)<", data).group(1)
        write(path, data.replace(serial, b"000123456789"), "wb")
        self.assertEqual(index(folder, folder).returncode, 0)
        rows = calc_cells(os.path.join(folder, "inventaire.csv"))
        head = [shown for _, _, shown in rows[0]]
        cell = dict(zip(head, rows[1]))
        for column, shown in [("Nom", "1E5"), ("Numéro de série", "000123456789"),
                              ("Rapport", "1E5_report.html")]:
            kind, _, text = cell[column]
            self.assertEqual((kind, text.replace(KEEP_TEXT, "")), ("string", shown), column)
        # Without "special numbers" Calc leaves the date as its text; Excel makes it a date.
        self.assertEqual(cell["Date du rapport"][2], TODAY.strftime("%d/%m/%Y"))
        for column in ("RAM installée (Go)", "Disques", "Capacité des disques (Go)", "Cœurs logiques"):
            self.assertEqual(cell[column][0], "float", column)
        volumes = calc_cells(os.path.join(folder, "volumes.csv"))
        head = [shown for _, _, shown in volumes[0]]
        for row in volumes[1:]:
            cell = dict(zip(head, row))
            self.assertEqual(cell["Ordinateur"][0], "string")
            self.assertEqual(cell["Octets au total"][0], "float")
        # The formula guard holds even where Calc evaluates formulas.
        for evaluate in (False, True):
            labels = [dict(zip(head, row))["Nom de volume"] for row in calc_cells(
                os.path.join(folder, "volumes.csv"), evaluate)[1:]]
            self.assertIn(("string", None, "'" + FORMULA), labels, evaluate)
        shutil.rmtree(folder)
        shutil.rmtree(tree)


if __name__ == "__main__":
    unittest.main()
