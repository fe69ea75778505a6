"""HarvixIndex.exe under Wine: a folder holding a report of Harvix.exe /silent
(Wine's WMI), reports of harvix from the recorded trees, a cut-short report and
a foreign file; the same spreadsheets as harvix-index byte for byte; a workbook
held open as Excel holds it; the window; the version record and imports."""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harvix_e2e import parse_report, start_xvfb, temp_folder  # noqa: E402
from test_index import read_csv, report, tree_copy  # noqa: E402
from test_wine import SYSTEM_DLLS, probe_lines, resources  # noqa: E402

WIN = os.environ.get("HARVIX_WIN_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build-win"))
HOST = os.environ.get("HARVIX_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
EXE = os.path.join(WIN, "HarvixIndex.exe")
OUT = os.path.join(WIN, "e2e-out")


class IndexUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb, cls.display = start_xvfb()
        cls.prefix = temp_folder("harvix-index-wineprefix-")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all", DISPLAY=cls.display,
                       LANG="C.UTF-8", LC_ALL="C.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run(["wineboot", "-i"], env=cls.env, capture_output=True, timeout=600)
        cls.folder = temp_folder("harvix-index-wine-")
        shutil.copy2(os.path.join(WIN, "Harvix.exe"), cls.folder)
        result = cls.wine(os.path.join(cls.folder, "Harvix.exe"), "/silent")
        assert result.returncode == 0, result.stderr[-2000:]
        os.remove(os.path.join(cls.folder, "Harvix.exe"))
        cls.wine_report = [n for n in os.listdir(cls.folder) if n.endswith("_report.html")][0]
        for tree in ("laptop", "server"):  # the laptop with its inventory file, the server without
            report(tree_copy(tree), tree.upper(), cls.folder, inventory=tree == "laptop")
        cut = report(tree_copy("vm"), "CUT", cls.folder)
        with open(cut, "rb") as f:
            data = f.read()
        with open(cut, "wb") as f:
            f.write(data[:data.index(b"<table><thead><tr><th colspan=\"2\"><i class=\"fa fa-hdd\">")])
        with open(os.path.join(cls.folder, "autre_report.html"), "w") as f:
            f.write("<html><body>autre chose</body></html>\r\n")

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env, capture_output=True, timeout=60)
        shutil.rmtree(cls.prefix, ignore_errors=True)
        cls.xvfb.terminate()
        cls.xvfb.wait()

    @classmethod
    def wine(cls, *args, timeout=300):
        return subprocess.run(["wine", *args], env=cls.env, capture_output=True, timeout=timeout)

    def wpath(self, path):
        return subprocess.run(["winepath", "-w", path], env=self.env, capture_output=True,
                              text=True).stdout.strip()

    def copy(self):
        folder = temp_folder("harvix-index-wine-")
        for name in os.listdir(self.folder):
            shutil.copy2(os.path.join(self.folder, name), folder)
        return folder

    def test_silent_run_reads_every_report_like_the_linux_index(self):
        folder = self.copy()
        shutil.copy2(EXE, folder)  # beside the reports, without an argument
        result = self.wine(os.path.join(folder, "HarvixIndex.exe"), "/Silent")
        self.assertEqual(result.returncode, 1, result.stdout)
        status = result.stdout.decode("utf-8")
        self.assertIn("L'index a été créé dans le dossier:\r\n", status)
        self.assertIn("\\index.html\r\n4 rapports lus, 1 fichier non lu (voir l'index).", status)
        rows = {r["Rapport"]: r for r in read_csv(os.path.join(folder, "inventaire.csv"))}
        self.assertEqual(sorted(rows), sorted([self.wine_report, "CUT_report.html", "LAPTOP_report.html",
                                               "SERVER_report.html"]))
        general, disks = parse_report(os.path.join(folder, self.wine_report))
        r = rows[self.wine_report]
        for column, label in [("Nom", "Nom de l'ordinateur"), ("OS", "OS"), ("Modèle", "Modèle de l'ordinateur"),
                              ("Numéro de série", "Numéro de série"), ("CPU", "CPU"),
                              ("Cœurs logiques", "Coeurs logiques"), ("Utilisateur", "Nom de l'utilisateur")]:
            self.assertEqual(r[column], general[label], column)
        self.assertEqual(r["Disques"], str(len(disks)))
        volumes = [v for v in read_csv(os.path.join(folder, "volumes.csv")) if v["Ordinateur"] == r["Nom"]]
        self.assertEqual([(v["Volume"], v["Octets au total"]) for v in volumes],
                         [(v["name"], v["size"]) for d in disks for v in d["volumes"]])
        self.assertEqual(rows["CUT_report.html"]["Rapport incomplet"], "oui")

        # The Linux program on the same folder writes the same spreadsheets.
        linux = self.copy()
        subprocess.run([os.path.join(HOST, "harvix-index"), linux, "/silent"], capture_output=True, timeout=60)
        for name in ("inventaire.csv", "volumes.csv", "logiciels.csv", "changements.csv",
                     "historique-index.txt"):
            with open(os.path.join(folder, name), "rb") as a, open(os.path.join(linux, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)
        with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertIn("<tr><td>autre_report.html</td><td>pas un rapport Harvix</td></tr>", page)

    def test_a_workbook_held_open_keeps_the_new_index_under_a_dated_name(self):
        folder = self.copy()
        self.assertEqual(self.wine(EXE, self.wpath(folder), "/silent").returncode, 1)
        with open(os.path.join(folder, "inventaire.csv"), "rb") as f:
            before = f.read()
        holder = subprocess.Popen(["wine", os.path.join(WIN, "hold_file.exe"),
                                   self.wpath(os.path.join(folder, "inventaire.csv"))],
                                  env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            result = self.wine(EXE, self.wpath(folder), "/silent")
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
        self.assertEqual(result.returncode, 2, result.stdout)
        kept = [n for n in os.listdir(folder) if re.fullmatch(r"inventaire-\d{8}-\d{6}\.csv", n)]
        self.assertEqual(len(kept), 1, os.listdir(folder))
        self.assertIn("la nouvelle version est enregistrée sous " + kept[0], result.stdout.decode("utf-8"))
        with open(os.path.join(folder, "inventaire.csv"), "rb") as f:
            self.assertEqual(f.read(), before, "the held file is untouched")
        self.assertEqual([n for n in os.listdir(folder) if ".tmp" in n], [])

    def test_a_report_locked_by_another_program_is_listed_and_the_others_read(self):
        folder = self.copy()
        holder = subprocess.Popen(["wine", os.path.join(WIN, "hold_file.exe"),
                                   self.wpath(os.path.join(folder, "SERVER_report.html")), "exclusive"],
                                  env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            result = self.wine(EXE, self.wpath(folder), "/silent")
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("3 rapports lus, 2 fichiers non lus", result.stdout.decode("utf-8"))
        with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
            self.assertIn("<tr><td>SERVER_report.html</td><td>fichier verrouillé par un autre programme</td></tr>",
                          f.read())
        self.assertNotIn("SERVER_report.html", [r["Rapport"] for r in read_csv(os.path.join(folder, "inventaire.csv"))])

    def drive_window(self, screenshot):
        """The window as the probe sees it, and the index's exit status."""
        folder = self.copy()
        shutil.copy2(EXE, folder)
        probe = subprocess.Popen(["wine", os.path.join(WIN, "tests", "form1_probe.exe"), "window",
                                  "HarvixIndex.Form1", "Tarvell - Index des inventaires"],
                                 env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        index, status, seen = None, None, {}
        try:
            for key, value in probe_lines(probe):
                seen[key] = value
                if key == "ready":
                    index = subprocess.Popen(["wine", os.path.join(folder, "HarvixIndex.exe")], env=self.env,
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if key == "close-after":
                    self.screenshot(screenshot)
            seen["probe-status"] = probe.wait(timeout=60)
            if "clicked" not in seen:  # the probe's deadline passed: the screen says why
                self.screenshot("not-finished-" + screenshot)
            status = index.wait(timeout=120) if index and "clicked" in seen else None
        finally:
            for p in (probe, index):
                if p and p.poll() is None:
                    p.kill()
                    p.wait()
            probe.stdout.close()
        self.assertIn("clicked", seen, seen)
        self.assertTrue(os.path.exists(os.path.join(folder, "index.html")))
        return seen, status

    def test_window_before_and_after_the_run(self):
        seen, status = self.drive_window("index-window.png")
        self.assertEqual(seen.get("label-before"), "Lecture des rapports en cours, merci de patienter quelques instants...")
        self.assertEqual(seen.get("close-before"), "disabled")
        self.assertEqual(seen.get("visible"), "yes")
        self.assertEqual(seen.get("client"), "540x216")  # Harvix's Form1
        self.assertEqual((seen.get("minimize-box"), seen.get("maximize-box")), ("no", "no"))
        self.assertRegex(seen.get("label-after", ""), r"^L'index a été créé dans le dossier:\r\n.*\\index\.html\r\n"
                                                      r"4 rapports lus, 1 fichier non lu \(voir l'index\)\. "
                                                      r"2 inventaires importables dans GLPI\.$")
        self.assertEqual(seen.get("close-after"), "enabled")
        self.assertEqual(status, 1)

    def test_window_scales_with_the_screen_dpi_as_harvix(self):
        desktop = "HKCU\\Control Panel\\Desktop"
        self.wine("reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f")
        self.addCleanup(self.wine, "reg", "delete", desktop, "/v", "LogPixels", "/f")
        seen, status = self.drive_window("index-window-144dpi.png")
        self.assertEqual(seen.get("client"), "810x324", seen)
        self.assertEqual(status, 1)

    def screenshot(self, name):
        os.makedirs(OUT, exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", os.path.join(OUT, name)], timeout=60)

    def test_imports_and_version_record(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", EXE], capture_output=True, text=True,
                              check=True).stdout
        dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertTrue(dlls)
        self.assertLessEqual(dlls, SYSTEM_DLLS)
        res = resources(EXE)
        version = res[16][0].decode("utf-16-le", "replace")
        for key, value in [("CompanyName", "Tarvell"), ("FileDescription", "Harvix - Index des inventaires"),
                           ("InternalName", "HarvixIndex"), ("OriginalFilename", "HarvixIndex.exe"),
                           ("FileVersion", "4.00"), ("ProductName", "Harvix Tarvell")]:
            self.assertRegex(version, key + "\0+" + re.escape(value) + "\0")
        self.assertIn(14, res)  # the icon
        manifest = res[24][0].decode()
        self.assertIn('name="Tarvell.HarvixIndex"', manifest)
        self.assertIn('level="asInvoker"', manifest)


if __name__ == "__main__":
    unittest.main()
