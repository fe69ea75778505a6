"""Harvix.exe under Wine, whose WMI answers real queries: the report of a
/silent run in a fresh prefix against what `wmic` says, the file's imports and
resources, and the window driven through the Win32 API under Xvfb."""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harvix_e2e import start_xvfb  # noqa: E402

BUILD = os.environ.get("HARVIX_WIN_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build-win"))
EXE = os.path.join(BUILD, "Harvix.exe")
OUT = os.path.join(BUILD, "e2e-out")
DISPLAY = None
INITIAL = "Collecte des informations en cours, merci de patienter quelques instants..."
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
               "comctl32.dll", "msvcrt.dll", "advapi32.dll", "comdlg32.dll", "uuid.dll", "ws2_32.dll"}


class Wine:
    def __init__(self):
        self.prefix = tempfile.mkdtemp(prefix="harvix-wineprefix-")
        # No Mono or Gecko installer prompts in a fresh prefix.
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=DISPLAY,
                        LANG="C.UTF-8", LC_ALL="C.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.run("wineboot", "-i", program="wineboot")

    def run(self, *args, program="wine", env=None, timeout=300):
        return subprocess.run([program, *args] if program != "wine" else ["wine", *args],
                              env=dict(self.env, **(env or {})), capture_output=True, timeout=timeout)

    def start(self, *args, env=None, read=False):
        return subprocess.Popen(["wine", *args], env=dict(self.env, **(env or {})),
                                stdout=subprocess.PIPE if read else subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def windows_path(self, path):
        return self.run("-w", path, program="winepath").stdout.decode().strip()

    def wmic(self, cls, *props):
        """wmic's answer as a list of {property: value}; one property per call, since
        Wine's wmic runs long column names together."""
        columns = {}
        for prop in props:
            raw = self.run("wmic", "path", cls, "get", prop).stdout
            text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
            lines = [l.strip() for l in text.splitlines()]
            columns[prop] = [l for l in lines[1:] if l]
        count = max(len(v) for v in columns.values())
        return [{p: (columns[p][i] if i < len(columns[p]) else "") for p in props} for i in range(count)]

    def close(self):
        self.run("-k", program="wineserver")
        shutil.rmtree(self.prefix, ignore_errors=True)


def program_folder(name="harvix-wine-"):
    folder = tempfile.mkdtemp(prefix=name)
    shutil.copy2(EXE, folder)
    return folder


def read_report(folder):
    reports = glob.glob(os.path.join(folder, "*_report.html"))
    assert len(reports) == 1, reports
    with open(reports[0], "rb") as f:
        return os.path.basename(reports[0]), f.read()


class HarvixUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global DISPLAY
        cls.xvfb, DISPLAY = start_xvfb()
        cls.wine = Wine()
        os.makedirs(OUT, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.wine.close()
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def silent_run(self, env=None):
        folder = program_folder()
        result = self.wine.run(os.path.join(folder, "Harvix.exe"), "/silent", env=env)
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])
        return read_report(folder)

    def test_silent_report_holds_what_wine_wmi_says(self):
        name, data = self.silent_run()
        self.assertTrue(data.endswith(b"</script></body></html>\r\n"))
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))  # CR LF after every line, nothing else
        self.assertIn(b"G\xe9n\xe9ral", data)  # windows-1252
        text = data.decode("cp1252")
        rows = dict(re.findall(r"<tr><td>([^<]*)</td><td>([^<]*)</td></tr>", text))

        system = self.wine.wmic("Win32_ComputerSystem", "Manufacturer", "Model", "Name")[0]
        self.assertEqual(rows["Modèle de l'ordinateur"], system["Manufacturer"] + " - " + system["Model"])
        self.assertEqual(name, system["Name"] + "_report.html")
        os_row = self.wine.wmic("Win32_OperatingSystem", "Caption", "OSArchitecture")[0]
        self.assertEqual(rows["OS"], "%s (%s)" % (os_row["Caption"], os_row["OSArchitecture"]))
        cpu = self.wine.wmic("Win32_Processor", "NumberOfCores", "NumberOfLogicalProcessors")[-1]
        self.assertEqual(rows["Coeurs physiques"], cpu["NumberOfCores"])
        self.assertEqual(rows["Coeurs logiques"], cpu["NumberOfLogicalProcessors"])

        disks = self.wine.wmic("Win32_DiskDrive", "DeviceID", "Size")
        self.assertEqual(text.count("Afficher les volumes"), len(disks))
        for d in disks:
            drive = d["DeviceID"].split("PHYSICAL")[1]
            self.assertRegex(text, r"</a> %s<p .*<p class=\"small\">%d Go - SN:" % (drive, round(int(d["Size"]) / 1e9)))
        volumes = [v for v in self.wine.wmic("Win32_LogicalDisk", "Name", "Size", "FreeSpace", "DriveType")
                   if v["Size"] and int(v["DriveType"]) <= 3]
        bars = dict((n, (int(u), m)) for n, u, m in
                    re.findall(r'<tr><td>([^ ]+) \(.*?<progress value="(\d+)" max="(\d+)">', text))
        self.assertEqual(sorted(bars), sorted(v["Name"] for v in volumes))
        for v in volumes:
            used, size = bars[v["Name"]]
            self.assertEqual(size, v["Size"])
            # Free space moves between the two reads.
            self.assertLess(abs(used - (int(v["Size"]) - int(v["FreeSpace"]))), 256 << 20)

    def test_a_french_user_gets_decimal_commas(self):
        _, data = self.silent_run(env={"LANG": "fr_FR.UTF-8", "LC_ALL": "fr_FR.UTF-8"})
        self.assertRegex(data.decode("cp1252"), r"RAM installée</td><td>\d+,\d\d Go")

    def test_imports_are_windows_system_dlls_only(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", EXE], capture_output=True, text=True,
                              check=True).stdout
        dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertTrue(dlls)
        self.assertLessEqual(dlls, SYSTEM_DLLS)

    def test_version_record_icon_logo_and_manifest_are_in_the_file(self):
        res = resources(EXE)
        version = res[16][0]
        for key, value in [("CompanyName", "Tarvell"), ("ProductName", "Harvix Tarvell"),
                           ("FileVersion", "4.00"), ("ProductVersion", "4.00"), ("InternalName", "Harvix"),
                           ("OriginalFilename", "Harvix.exe")]:
            self.assertRegex(version.decode("utf-16-le", "replace"), key + "\0+" + re.escape(value) + "\0")
        group = res[14][0]  # GRPICONDIR: one 16 x 16 entry of 16 colours, 4 bits
        _, kind, count = struct.unpack_from("<HHH", group)
        width, height, colours, _, _, bits = struct.unpack_from("<BBBBHH", group, 6)
        self.assertEqual((kind, count, width, height, colours, bits), (1, 1, 16, 16, 16, 4))
        logo = res[2][0]  # BITMAPINFOHEADER of the logo
        _, w, h, _, bpp = struct.unpack_from("<IiiHH", logo)
        self.assertEqual((w, h, bpp), (241, 112, 24))
        manifest = res[24][0].decode()
        self.assertIn('level="asInvoker"', manifest)
        self.assertIn("Microsoft.Windows.Common-Controls", manifest)

    def drive_window(self, wine, folder, screenshot=None):
        """Form1 as the probe sees it, and Harvix's exit status. The probe starts
        first, so it sees the window before the run."""
        probe = wine.start(os.path.join(BUILD, "tests", "form1_probe.exe"), "window", read=True)
        harvix = None
        seen, deadline = {}, time.time() + 600
        try:
            for raw in probe.stdout:
                key, _, value = raw.decode().rstrip("\n").partition(": ")
                seen[key] = re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), value)
                if key == "ready":
                    harvix = wine.start(os.path.join(folder, "Harvix.exe"))
                if key == "close-after" and screenshot:
                    subprocess.run(["import", "-display", DISPLAY, "-window", "root", os.path.join(OUT, screenshot)],
                                   timeout=60)
                if time.time() > deadline:
                    break
            probe.wait(timeout=60)
            status = harvix.wait(timeout=180) if harvix else None
        finally:
            for p in (probe, harvix):
                if p and p.poll() is None:
                    p.kill()
                    p.wait()
            probe.stdout.close()
        return seen, status

    def test_window_before_and_after_the_run_in_a_unicode_folder(self):
        folder = os.path.join(tempfile.mkdtemp(prefix="harvix-wine-"), "Rapports été Ωμέγα")
        os.mkdir(folder)
        shutil.copy2(EXE, folder)
        shutil.copy2(os.path.join(BUILD, "standin", "explorer.exe"), folder)  # found beside the program first
        seen, status = self.drive_window(self.wine, folder, "wine-window.png")
        self.assertEqual(seen.get("close-after"), "enabled", seen)
        windows_folder = self.wine.windows_path(folder)
        name = read_report(folder)[0]
        self.assertEqual(seen.get("label-before"), INITIAL)
        self.assertEqual(seen.get("close-before"), "disabled")
        self.assertEqual(seen.get("visible"), "yes")
        self.assertEqual(seen.get("client"), "540x216")
        self.assertEqual((seen.get("minimize-box"), seen.get("maximize-box")), ("no", "no"))
        self.assertEqual(seen.get("label-after"),
                         "Le rapport a été créé dans le dossier:\r\n%s\\%s" % (windows_folder, name))
        with open(os.path.join(folder, "explorer-args.txt"), "rb") as f:
            self.assertEqual(f.read().decode("utf-16-le"), "explorer.exe /e, %s\\" % windows_folder)
        self.assertEqual(status, 0)

    def test_window_scales_with_the_screen_dpi(self):
        wine = Wine()  # a prefix of its own: 144 dpi, one and a half times the design size
        try:
            wine.run("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                     "/d", "144", "/f")
            folder = program_folder()
            shutil.copy2(os.path.join(BUILD, "standin", "explorer.exe"), folder)
            seen, status = self.drive_window(wine, folder)
            self.assertEqual(seen.get("client"), "810x324", seen)
            self.assertEqual(status, 0)
        finally:
            wine.close()

    def test_an_unwritable_report_ends_with_a_message_box_and_a_failure_status(self):
        folder = program_folder()
        name = self.wine.wmic("Win32_ComputerSystem", "Name")[0]["Name"]
        os.mkdir(os.path.join(folder, name + "_report.html"))  # the file cannot be created there
        harvix = self.wine.start(os.path.join(folder, "Harvix.exe"), "/silent")
        probe = self.wine.run(os.path.join(BUILD, "tests", "form1_probe.exe"), "msgbox", timeout=120)
        message = dict(l.split(": ", 1) for l in probe.stdout.decode().splitlines() if ": " in l)
        self.assertIn(name + "_report.html", message.get("message", ""))
        self.assertNotEqual(harvix.wait(timeout=60), 0)


def resources(path):
    """{type id: [data of each resource of that type]} from a PE file's .rsrc section."""
    with open(path, "rb") as f:
        pe = f.read()
    offset = struct.unpack_from("<I", pe, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", pe, offset + 6)
    table = offset + 24 + optional_size
    for i in range(sections):
        name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", pe, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            break
    else:
        raise AssertionError("no .rsrc")

    def directory(at):
        named, ids = struct.unpack_from("<HH", pe, rawptr + at + 12)
        for k in range(named + ids):
            ident, target = struct.unpack_from("<II", pe, rawptr + at + 16 + 8 * k)
            yield ident, target

    out = {}
    for type_id, t in directory(0):
        for _, n in directory(t & 0x7FFFFFFF):
            for _, l in directory(n & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", pe, rawptr + l)
                out.setdefault(type_id, []).append(pe[rawptr + rva - vaddr: rawptr + rva - vaddr + size])
    return out


if __name__ == "__main__":
    unittest.main()
