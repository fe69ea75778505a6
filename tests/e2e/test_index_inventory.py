#!/usr/bin/env python3
"""The index over a folder of reports and inventory files: GLPI's own example
inventories given Harvix's own file (or, as the version before wrote them, its
object inside), beside real reports of the recorded trees; the page still fits
1600 pixels in Tahoma, and logiciels.csv keeps versions as texts in LibreOffice
Calc (fr-FR). A share of the real program's files: read the same in both forms,
and GLPI's import paths take exactly its inventory files."""

import html
import json
import os
import re
import shutil
import unittest

from test_index import (TODAY, WINE_FONTS, calc_cells, chromium, index, read_csv, report, tree_copy,
                        write)

from harvix_e2e import GLPI_FORMAT, NO_SCHEMA, glpi_takes, schema_errors, temp_folder

EXAMPLES = os.path.join(GLPI_FORMAT, "examples") if GLPI_FORMAT else None

WIDTH_HARNESS = """<!DOCTYPE html><html><body><pre id="result">pending</pre>
<iframe id="f" src="index.html" width="1600" height="900" style="border:0"></iframe>
<script>
document.getElementById("f").addEventListener("load", function () {
  var doc = this.contentDocument, win = this.contentWindow;
  document.getElementById("result").textContent = JSON.stringify({
    width: [doc.documentElement.scrollWidth, doc.documentElement.clientWidth],
    font: win.getComputedStyle(doc.querySelector("#machines td")).fontFamily});
});
</script></body></html>"""


def inventory(name, uuid, mac, verdict="prêt", tpm="2.0", os_caption="Microsoft Windows 11 Professionnel",
              build="10.0.22631", display_version="23H2"):
    """GLPI's example computer as the version before wrote it for name: its standard members, and
    content.harvix."""
    with open(os.path.join(EXAMPLES, "computer_1.json"), encoding="utf-8") as f:
        doc = json.load(f)
    c = doc["content"]
    doc["deviceid"] = name + "-" + TODAY.strftime("%Y-%m-%d") + "-08-30-00"
    doc["itemtype"] = "Computer"
    c["hardware"].update(name=name, uuid=uuid)
    c["operatingsystem"].update(full_name=os_caption, version=build, name="Windows")
    c["networks"] = [n for n in c["networks"] if n.get("virtualdev")] + [
        {"description": "Ethernet", "mac": mac, "virtualdev": False, "ipaddress": "10.1.2.3", "status": "up"},
        {"description": "Wi-Fi", "mac": mac[:-2] + "fe", "virtualdev": False, "status": "down"},
        {"description": "vEthernet", "mac": "00:15:5d:00:00:01", "virtualdev": True}]
    c["monitors"] = [{"caption": "DELL U2419H", "manufacturer": "DEL", "serial": "ABC%d" % i} for i in (1, 2)]
    base = c["softwares"][0]
    programs = [dict(base, name="7-Zip", version="1.10", publisher="Igor Pavlov"),
                dict(base, name="Microsoft .NET Runtime", version="8.0.4010", install_date="2024-05-02")]
    c["softwares"] = programs + [dict(base, name="Paquet %03d" % i, version="2.%d" % i) for i in range(148)]
    c["harvix"] = {
        "os": {"edition": "Professional", "display_version": display_version,
               "build": build.split(".")[-1] + ".4460"},
        "report": {
            "user_name": "CORP\\" + name.lower(), "operating_system": os_caption,
            "memory": {"total_bytes": 8 * 2 ** 30 + 1, "slots": 2, "used_slots": 1},
            "disks": [{"id": "0", "model": "PM951 NVMe SAMSUNG 256GB", "serial_number": "S29NNXAH146409",
                       "size_bytes": 256060514304}],
            "volumes": [{"name": "C:", "label": "Windows", "drive_type": 3, "file_system": "NTFS",
                         "size_bytes": 255 * 10 ** 9, "free_bytes": 20 * 10 ** 9, "used_bytes": 235 * 10 ** 9,
                         "disk": "0"}]},
        "firmware_type": "UEFI",
        "tpm": {"present": tpm != "absent", **({"version": tpm} if tpm != "absent" else {})},
        "windows11": {"verdict": verdict, "failed": [] if verdict != "non" else ["processeur non pris en charge"],
                      "unknown": []},
    }
    return doc


def split(doc):
    """The same computer as this version writes it: GLPI's document and Harvix's own file."""
    doc = json.loads(json.dumps(doc))
    own = dict(format="harvix", format_version=1, deviceid=doc["deviceid"], **doc["content"].pop("harvix"))
    return doc, own


def put(folder, name, doc, before=False):
    """Harvix's files for name, as this version writes them, or with before as the version before."""
    doc, own = (doc, None) if before else split(doc)
    write(os.path.join(folder, name + "_inventory.json"), json.dumps(doc, ensure_ascii=False, indent=2))
    if own:
        write(os.path.join(folder, name + "_harvix.txt"), json.dumps(own, ensure_ascii=False, indent=2))


@unittest.skipUnless(EXAMPLES, "GLPI's inventory format examples (../shared/glpi-inventory-format) are absent")
class InventoryFolder(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = temp_folder("harvix-fleet-inventory-")
        cls.trees = [tree_copy(n) for n in ("laptop", "server", "vm")]
        names = ("DESKTOP-7K2Q9JM", "SRV-COMPTA-WWWW", "DESKTOP-MW0O8BQ")
        for tree, name in zip(cls.trees, names):
            report(tree, name, cls.folder, date=TODAY)
        put(cls.folder, names[0], inventory(names[0], "4c4c4544-0034-3010-8048-b6c04f503732", "a4:4c:c8:00:00:01"))
        put(cls.folder, names[1], inventory(names[1], "4c4c4544-0034-3010-8048-b6c04f503799", "a4:4c:c8:00:00:02",
                                            verdict="non", tpm="1.2", os_caption="Microsoft Windows 10 Professionnel",
                                            build="10.0.19045", display_version="22H2"))
        # A clone of the first, with no report beside it; a damaged file beside the third's report.
        put(cls.folder, "LAPTOP-WWM4H0QD", inventory("LAPTOP-WWM4H0QD", "4c4c4544-0034-3010-8048-b6c04f503732",
                                                     "a4:4c:c8:00:00:09", verdict="indéterminé", tpm="absent"),
            before=True)
        write(os.path.join(cls.folder, names[2] + "_inventory.json"), '{"deviceid": "DESKTOP-MW0O8BQ-')
        cls.result = index(cls.folder, cls.folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)
        for tree in cls.trees:
            shutil.rmtree(tree)

    def test_one_row_per_computer_with_the_inventory_values(self):
        self.assertEqual(self.result.returncode, 1, self.result.stdout + self.result.stderr)  # the damaged file
        # GLPI 10.0 refuses the version before's file: an unknown member under content.
        self.assertIn("2 inventaires importables dans GLPI", self.result.stdout)
        rows = {r["Nom"]: r for r in read_csv(os.path.join(self.folder, "inventaire.csv"))}
        self.assertEqual(sorted(rows), ["DESKTOP-7K2Q9JM", "DESKTOP-MW0O8BQ", "LAPTOP-WWM4H0QD", "SRV-COMPTA-WWWW"])
        first, server, clone = rows["DESKTOP-7K2Q9JM"], rows["SRV-COMPTA-WWWW"], rows["LAPTOP-WWM4H0QD"]
        self.assertEqual(first["Utilisateur"], "CORP\\desktop-7k2q9jm")
        self.assertEqual(first["RAM installée (Go)"], "8,00")
        self.assertEqual(first["Fin de support de l'OS"], "11/11/2025")
        self.assertEqual((server["Windows 11"], server["TPM"], server["Fin de support de l'OS"]),
                         ("non", "1.2", "14/10/2025"))
        self.assertEqual(clone["Rapport"], "LAPTOP-WWM4H0QD_report.html")
        self.assertEqual(clone["Clone"], "même UUID que DESKTOP-7K2Q9JM")
        self.assertEqual(first["Clone"], "même UUID que LAPTOP-WWM4H0QD")
        # The damaged file's computer is read from its report, and the file is said unread.
        self.assertEqual(rows["DESKTOP-MW0O8BQ"]["Utilisateur"], "tech")
        with open(os.path.join(self.folder, "index.html"), encoding="utf-8") as f:
            self.assertIn("DESKTOP-MW0O8BQ_inventory.json", f.read())
        programs = read_csv(os.path.join(self.folder, "logiciels.csv"))
        self.assertEqual(len(programs), 3 * 150)
        volumes = [v for v in read_csv(os.path.join(self.folder, "volumes.csv")) if v["Ordinateur"] == "SRV-COMPTA-WWWW"]
        self.assertEqual([(v["Volume"], v["Octets utilisés"]) for v in volumes], [("C:", str(235 * 10 ** 9))])

    @unittest.skipUnless(shutil.which("soffice"), "LibreOffice Calc is not installed")
    def test_calc_keeps_versions_as_texts(self):
        rows = calc_cells(os.path.join(self.folder, "logiciels.csv"))
        head = [shown for _, _, shown in rows[0]]
        self.assertEqual(head, ["Ordinateur", "Nom", "Version", "Éditeur", "Date d'installation"])
        versions = {}
        for row in rows[1:]:
            cell = dict(zip(head, row))
            versions[cell["Nom"][2]] = cell["Version"]
        for name, version in (("7-Zip", "1.10"), ("Microsoft .NET Runtime", "8.0.4010"), ("Paquet 010", "2.10")):
            kind, _, text = versions[name]
            self.assertEqual((kind, text.replace("\u2060", "")), ("string", version), name)

    @unittest.skipUnless(os.path.exists(os.path.join(WINE_FONTS, "tahoma.ttf")), "fonts-wine is not installed")
    def test_the_page_fits_1600_pixels_in_tahoma(self):
        fonts = os.path.join(self.folder, "fonts.conf")
        write(fonts, '<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>'
                     '<include ignore_missing="yes">/etc/fonts/fonts.conf</include><dir>%s</dir>'
                     '<cachedir>%s</cachedir></fontconfig>' % (WINE_FONTS, os.path.join(self.folder, "fc-cache")))
        write(os.path.join(self.folder, "fit.html"), WIDTH_HARNESS)
        dom = chromium("--dump-dom", "file://" + os.path.join(self.folder, "fit.html"),
                       env=dict(os.environ, FONTCONFIG_FILE=fonts)).stdout
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        self.assertTrue(m, dom[:2000])
        out = json.loads(html.unescape(m.group(1)))
        self.assertTrue(out["font"].startswith("Tahoma"), out["font"])
        self.assertLessEqual(out["width"][0], out["width"][1], out)


class FromReportToInventory(unittest.TestCase):
    def test_a_computer_whose_harvix_starts_writing_its_inventory_changes_nothing(self):
        # The real program's report; then its files as the version before wrote them; then as
        # this one writes them: the same values, no change, and GLPI takes only the inventory.
        folder = temp_folder("harvix-fleet-switch-")
        try:
            held = temp_folder("harvix-fleet-held-")
            report(tree_copy("laptop"), "LAPTOP", held, inventory=True)
            shutil.copy2(os.path.join(held, "LAPTOP_report.html"), folder)
            index(folder, folder, "/silent")
            with open(os.path.join(held, "LAPTOP_inventory.json"), encoding="utf-8") as f:
                doc = json.load(f)
            with open(os.path.join(held, "LAPTOP_harvix.txt"), encoding="utf-8") as f:
                own = json.load(f)
            errors = schema_errors(doc)
            if errors is None:
                print(NO_SCHEMA)
            self.assertEqual(errors or [], [])
            before = json.loads(json.dumps(doc))
            # That version named the agent by the computer and the run's moment.
            before["deviceid"] = "LAPTOP-" + own["date"].replace(" ", "-").replace(":", "-")
            before["content"]["harvix"] = {k: v for k, v in own.items()
                                           if k not in ("format", "format_version", "deviceid", "computer_name",
                                                        "date", "versionclient")}
            write(os.path.join(folder, "LAPTOP_inventory.json"), json.dumps(before))
            self.assertNotIn("importable", index(folder, folder, "/silent").stdout)
            self.assertEqual(read_csv(os.path.join(folder, "changements.csv")), [])
            rows = read_csv(os.path.join(folder, "inventaire.csv"))
            self.assertEqual((rows[0]["Windows 11"], rows[0]["Modifié"]), ("prêt", "non"))

            for name in ("LAPTOP_inventory.json", "LAPTOP_harvix.txt"):
                shutil.copy2(os.path.join(held, name), folder)
            shutil.rmtree(held)
            self.assertIn("1 inventaire importable dans GLPI", index(folder, folder, "/silent").stdout)
            self.assertEqual(read_csv(os.path.join(folder, "changements.csv")), [])
            self.assertEqual(read_csv(os.path.join(folder, "inventaire.csv")), rows)
            # The whole share as GLPI's injector walks it, or its import from file reads it.
            names = sorted(os.listdir(folder))
            self.assertIn("LAPTOP_harvix.txt", names)
            self.assertIn("historique-index.txt", names)
            self.assertEqual([n for n in names if glpi_takes(n)], ["LAPTOP_inventory.json"])
        finally:
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
