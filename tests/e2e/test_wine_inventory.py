"""Harvix's own classes under Wine, as ConnectWMI answers them (harvix_classes_probe):
uninstall records added with `reg` in both registry views and HKCU (a system component
and an update of another program left out), the Secure Boot keys, a TPM 2.0 stand-in
for tbs.dll, and the values Wine itself gives (registry, WMI, network)."""
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from harvix_e2e import NO_SCHEMA, schema_errors, temp_folder


BUILD = os.environ.get("HARVIX_WIN_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build-win"))
TESTS = os.path.join(BUILD, "tests")
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SECURE_BOOT = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\SecureBoot"
CURRENT_VERSION = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"
# Wine's own drive kinds (HKLM\Software\Wine\Drives), and DriveType's words in the file.
WINE_DRIVES = {"e:": "floppy", "f:": "cdrom"}
DRIVE_TYPES = {"2": "Removable Disk", "3": "Local Disk", "4": "Network Drive", "5": "Compact Disk"}
CPU0 = "HKLM\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0"


def probe_objects(text):
    """{class: [{property: value}]} from the probe's "Class[i].Property=value" lines."""
    objects, errors = {}, {}
    for line in text.splitlines():
        m = re.match(r"(\w+)\[(\d+)\]\.(\w+)=(.*)$", line)
        if m:
            rows = objects.setdefault(m.group(1), [])
            while len(rows) <= int(m.group(2)):
                rows.append({})
            rows[int(m.group(2))][m.group(3)] = None if m.group(4) == "(null)" else m.group(4)
        elif ": " in line:
            cls, _, why = line.partition(": ")
            errors[cls] = why
    return objects, errors


def host_has_network():
    """Whether the host has an interface besides the loopback, which Wine passes on."""
    return bool(set(os.listdir("/sys/class/net")) - {"lo"}) if os.path.isdir("/sys/class/net") else True


class HarvixClassesUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = temp_folder("harvix-inventory-wineprefix-")
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        cls.env = dict(env, WINEPREFIX=cls.prefix, WINEDEBUG="-all", LANG="C.UTF-8", LC_ALL="C.UTF-8",
                       WINEDLLOVERRIDES="mscoree,mshtml=;tbs=n")
        cls.wine("wineboot", "-i", program="wineboot")
        # A floppy and a CD drive, on folders of the prefix; Wine reads their kinds when its
        # server starts, hence before the one the class keeps.
        for letter, kind in WINE_DRIVES.items():
            target = os.path.join(cls.prefix, "drive_" + kind)
            os.mkdir(target)
            os.symlink(target, os.path.join(cls.prefix, "dosdevices", letter))
            cls.reg("add", "HKLM\\Software\\Wine\\Drives", "/v", letter, "/t", "REG_SZ", "/d", kind, "/f")
        # Wine checks a key's DACL but keeps it only in the server's memory, never in its
        # registry files: one server for the whole class, so that a denied key stays denied.
        cls.wine("-w", program="wineserver")
        subprocess.run(["wineserver", "-p"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)
        cls.addClassCleanup(cls.wine, "-k", program="wineserver")
        added = [
            ("HKLM", "Outil64", "/reg:64", [("DisplayName", "REG_SZ", "Outil 64 \u00e9t\u00e9"),
                                             ("DisplayVersion", "REG_SZ", "1.2.3"), ("Publisher", "REG_SZ", "ACME"),
                                             ("InstallDate", "REG_SZ", "20240131")]),
            ("HKLM", "{0F1E2D3C-0000-4000-8000-000000000032}", "/reg:32",
             [("DisplayName", "REG_SZ", "Outil 32"), ("InstallDate", "REG_SZ", "31/01/2024")]),
            ("HKLM", "Composant", "/reg:64", [("DisplayName", "REG_SZ", "Composant syst\u00e8me"),
                                               ("SystemComponent", "REG_DWORD", "1")]),
            ("HKLM", "KB000001", "/reg:64", [("DisplayName", "REG_SZ", "Mise \u00e0 jour de Outil64"),
                                              ("ParentKeyName", "REG_SZ", "Outil64")]),
            ("HKCU", "OutilUtilisateur", "/reg:64", [("DisplayName", "REG_SZ", "Outil utilisateur")]),
            # Forms the registry allows and GLPI's agent reads its own way.
            ("HKLM", "DateImpossible", "/reg:64", [("DisplayName", "REG_SZ", "Date impossible"),
                                                    ("InstallDate", "REG_SZ", "20230231")]),
            ("HKLM", "FormesRares", "/reg:64", [("DisplayName", "REG_SZ", "Formes rares"),
                                                 ("InstallDate", "REG_SZ", "2023-02-14"),
                                                 ("DisplayVersion", "REG_DWORD", "10")]),
            ("HKLM", "ComposantTexte", "/reg:64", [("DisplayName", "REG_SZ", "Composant texte"),
                                                    ("SystemComponent", "REG_SZ", "1")]),
            ("HKLM", "Verrou", "/reg:64", [("DisplayName", "REG_SZ", "Verrouill\u00e9")]),
        ]
        for hive, key, view, values in added:
            for name, kind, data in values:
                cls.reg("add", f"{hive}\\{UNINSTALL}\\{key}", "/v", name, "/t", kind, "/d", data, "/f", view)
        cls.reg("add", SECURE_BOOT + "\\State", "/v", "UEFISecureBootEnabled", "/t", "REG_DWORD", "/d", "1", "/f")
        cls.reg("add", CURRENT_VERSION, "/v", "DisplayVersion", "/t", "REG_SZ", "/d", "23H2", "/f", "/reg:64")
        cls.reg("add", CURRENT_VERSION, "/v", "UBR", "/t", "REG_DWORD", "/d", "4317", "/f", "/reg:64")
        cls.reg("add", SECURE_BOOT + "\\Servicing", "/v", "UEFICA2023Status", "/t", "REG_SZ", "/d", "InProgress", "/f")
        system32 = os.path.join(cls.prefix, "drive_c", "windows", "system32")
        shutil.copy2(os.path.join(TESTS, "tbs.dll"), os.path.join(system32, "tbs.dll"))
        # Wine's registry honours a key's DACL: one that allows nothing is closed to the run.
        cls.probe("deny", UNINSTALL + "\\Verrou")
        # HKLM\HARDWARE lives as long as the session, as on Windows: the processor's
        # platform id is set in the probe's own.
        script = os.path.join(cls.prefix, "drive_c", "probe.cmd")
        probe = "Z:" + os.path.abspath(os.path.join(TESTS, "harvix_classes_probe.exe")).replace("/", "\\")
        with open(script, "w", newline="\r\n") as f:
            f.write('@reg add "%s" /v "Platform Specific Field 1" /t REG_DWORD /d 16 /f >nul\n' % CPU0)
            f.write('@"%s"\n' % probe)
        run = cls.wine("cmd", "/c", "C:\\probe.cmd")
        cls.output = run.stdout.decode("utf-8", "replace")
        assert run.returncode == 0, run.stderr[-2000:]
        cls.objects, cls.errors = probe_objects(cls.output)

    @classmethod
    def tearDownClass(cls):
        cls.wine("-k", program="wineserver")
        shutil.rmtree(cls.prefix, ignore_errors=True)

    @classmethod
    def wine(cls, *args, program="wine", env=None):
        command = [program, *args] if program != "wine" else ["wine", *args]
        # Files, not pipes: under a persistent server Wine's services hold a pipe for ever.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(command, env=dict(cls.env, **(env or {})), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=600)
            out.seek(0), err.seek(0)
            return subprocess.CompletedProcess(command, result.returncode, out.read(), err.read())

    @classmethod
    def probe(cls, *args):
        result = cls.wine(os.path.join(TESTS, "harvix_classes_probe.exe"), *args)
        assert result.returncode == 0, (args, result.returncode, result.stderr[-2000:])
        return result

    @classmethod
    def reg(cls, *args):
        result = cls.wine("reg", *args)
        assert result.returncode == 0, (args, result.stderr)
        return result.stdout.decode("utf-8", "replace")

    def reg_value(self, key, name):
        """The data `reg query` shows, or None when the value is absent."""
        result = self.wine("reg", "query", key, "/v", name)
        m = re.search(r"^\s*" + re.escape(name) + r"\s+REG_\w+\s+(.*?)\s*$",
                      result.stdout.decode("utf-8", "replace"), re.M)
        return m.group(1) if result.returncode == 0 and m else None

    def wmic(self, cls, prop):
        raw = self.wine("wmic", "path", cls, "get", prop).stdout
        text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
        lines = [line.strip() for line in text.splitlines()]
        return [line for line in lines[1:] if line]

    def test_harvix_writes_an_inventory_that_validates_and_agrees(self):
        folder = temp_folder("harvix-wine-json-")
        try:
            shutil.copy2(os.path.join(BUILD, "Harvix.exe"), folder)
            result = self.wine(os.path.join(folder, "Harvix.exe"), "/silent")
            self.assertEqual(result.returncode, 0, result.stderr[-2000:])
            # Wine names the computer itself, whatever COMPUTERNAME says.
            names = [n for n in os.listdir(folder) if n.endswith("_inventory.json")]
            self.assertEqual(len(names), 1, os.listdir(folder))
            with open(os.path.join(folder, names[0]), encoding="utf-8") as f:
                doc = json.load(f)
            with open(os.path.join(folder, names[0][:-len("_inventory.json")] + "_harvix.txt"), encoding="utf-8") as f:
                own = json.load(f)
        finally:
            shutil.rmtree(folder)
        errors = schema_errors(doc)
        if errors is None:
            print(NO_SCHEMA)
        self.assertEqual(errors or [], [])
        self.assertEqual(own["deviceid"], doc["deviceid"])
        c = doc["content"]
        programs = {p["name"]: p for p in c["softwares"]}
        self.assertEqual((programs["Outil 64 \u00e9t\u00e9"]["version"], programs["Outil 64 \u00e9t\u00e9"]["arch"],
                          programs["Outil 64 \u00e9t\u00e9"]["install_date"]), ("1.2.3", "x86_64", "2024-01-31"))
        self.assertEqual(programs["Outil 32"]["arch"], "i586")
        self.assertNotIn("install_date", programs["Date impossible"])
        self.assertNotIn("Composant syst\u00e8me", programs)
        self.assertNotIn("Mise \u00e0 jour de Outil64", programs)
        # Wine's WMI
        self.assertEqual(c["bios"].get("bmanufacturer"), self.wmic("Win32_BIOS", "Manufacturer")[0])
        self.assertEqual(c["bios"].get("bversion"), self.wmic("Win32_BIOS", "SMBIOSBIOSVersion")[0])
        self.assertEqual(c["operatingsystem"].get("kernel_version"), self.wmic("Win32_OperatingSystem", "Version")[0])
        # As GLPI's agent: the display version, and the build with its update revision.
        self.assertEqual((c["operatingsystem"].get("version"), c["operatingsystem"].get("service_pack")),
                         ("23H2", self.wmic("Win32_OperatingSystem", "BuildNumber")[0] + ".4317"))
        letters = dict(zip(self.wmic("Win32_LogicalDisk", "DeviceID"), self.wmic("Win32_LogicalDisk", "DriveType")))
        self.assertTrue({"2", "3", "5"} <= set(letters.values()), letters)
        self.assertEqual({d["letter"]: d.get("type") for d in c["drives"]},
                         {letter: DRIVE_TYPES[kind] for letter, kind in letters.items()})
        # The adapter describes each entry; Windows' lists leave the loopback out.
        adapters = {a["Description"] for a in self.objects["Harvix_NetworkAdapter"]}
        self.assertEqual(bool(c["networks"]), host_has_network())
        for n in c["networks"]:
            self.assertIn(n["description"], adapters)
            self.assertNotIn("model", n)
            self.assertNotEqual(n.get("type"), "loopback")
            self.assertNotIn(n.get("ipaddress", n.get("ipaddress6")), ("127.0.0.1", "::1"))
        self.assertEqual(c["cpus"][0].get("description"), self.wmic("Win32_Processor", "Description")[0])
        self.assertEqual(own["tpm"], {"present": True, "version": "2.0", "manufacturer": "IFX"})
        self.assertEqual(own["ca2023_status"], "InProgress")
        self.assertIn(own["windows11"]["verdict"], ("pr\u00eat", "non", "ind\u00e9termin\u00e9"))

    def test_every_class_answers(self):
        self.assertEqual(self.errors, {}, self.output)

    def test_programs_as_programs_and_features_shows_them(self):
        programs = {p["Name"]: p for p in self.objects["Harvix_Software"]}
        self.assertEqual(programs["Outil 64 \u00e9t\u00e9"],
                         {"Name": "Outil 64 \u00e9t\u00e9", "Version": "1.2.3", "Publisher": "ACME",
                          "InstallDate": "2024-01-31", "Architecture": "x86_64", "Source": "HKLM",
                          "Guid": "Outil64"})
        self.assertEqual((programs["Outil 32"]["Source"], programs["Outil 32"]["Architecture"],
                          programs["Outil 32"]["InstallDate"], programs["Outil 32"]["Version"]),
                         ("HKLM32", "i586", None, None))
        self.assertEqual(programs["Outil 32"]["Guid"], "{0F1E2D3C-0000-4000-8000-000000000032}")
        self.assertEqual((programs["Outil utilisateur"]["Source"], programs["Outil utilisateur"]["Architecture"]),
                         ("HKCU", None))
        self.assertNotIn("Composant syst\u00e8me", programs)
        self.assertNotIn("Mise \u00e0 jour de Outil64", programs)
        self.assertIsNone(programs["Date impossible"]["InstallDate"])
        self.assertEqual((programs["Formes rares"]["InstallDate"], programs["Formes rares"]["Version"]),
                         (None, "0x0000000A"))
        self.assertNotIn("Composant texte", programs)
        # The closed key is said, and the rest of its view is read.
        self.assertNotIn("Verrouill\u00e9", programs)
        unread = [(u["What"], u["Why"]) for u in self.objects["Harvix_Unread"]]
        self.assertIn(("Programmes install\u00e9s (HKLM) Verrou", "acc\u00e8s refus\u00e9"), unread)

    def test_a_whole_view_that_cannot_be_opened_is_said(self):
        self.probe("deny", UNINSTALL)
        try:
            objects, errors = probe_objects(self.probe().stdout.decode("utf-8", "replace"))
        finally:
            self.probe("allow", UNINSTALL)
        self.assertEqual(errors, {})
        sources = {p["Source"] for p in objects["Harvix_Software"]}
        self.assertEqual(sources, {"HKLM32", "HKCU"})
        unread = [(u["What"], u["Why"]) for u in objects["Harvix_Unread"]]
        self.assertIn(("Programmes install\u00e9s (HKLM)", "acc\u00e8s refus\u00e9"), unread)

    def test_a_tpm_that_never_answers_costs_its_limit_and_is_said(self):
        """TBS stand-ins whose device query, then whose command, never return. The run waits
        for neither beyond the TPM's limit, and ends."""
        limit = 5  # kTpmLimit in native_tpm.cpp
        folder = temp_folder("harvix-wine-tpm-")
        shutil.copy2(os.path.join(BUILD, "Harvix.exe"), folder)

        def timed_run(hangs):
            started = time.monotonic()
            result = self.wine(os.path.join(folder, "Harvix.exe"), "/silent", env={"HARVIX_TBS_HANGS": hangs})
            elapsed = time.monotonic() - started
            self.assertEqual(result.returncode, 0, result.stderr[-2000:])
            written = []  # every file the run wrote beside the report, as text
            for name in os.listdir(folder):
                if name != "Harvix.exe" and not name.endswith(".html"):
                    with open(os.path.join(folder, name), encoding="utf-8") as f:
                        text = f.read()
                    try:
                        text = json.dumps(json.loads(text), ensure_ascii=False)
                    except ValueError:
                        pass
                    written.append(text)
            return elapsed, "\n".join(written)

        usual, written = timed_run("")
        # The key closed in setUpClass reaches the run's own record of what it could not read.
        self.assertIn('"Programmes install\u00e9s (HKLM) Verrou"', written)
        for hangs, reason in [("Tbsi_GetDeviceInfo", "pas de r\u00e9ponse de TPM Base Services en %d s" % limit),
                              ("Tbsip_Submit_Command", "pas de r\u00e9ponse du TPM en %d s" % limit)]:
            with self.subTest(hangs):
                elapsed, written = timed_run(hangs)
                print("TPM stuck in %s: %.1f s, %.1f s without" % (hangs, elapsed, usual))
                self.assertGreaterEqual(elapsed, limit)
                # The limit on top of a usual run, with room for a loaded machine; the stand-in
                # itself never returns.
                self.assertLess(elapsed, limit + 2 * usual + 10)
                self.assertIn(reason, written)

    def test_firmware_tpm_and_system_agree_with_the_registry(self):
        firmware = self.objects["Harvix_Firmware"]
        self.assertEqual(len(firmware), 1)
        self.assertIn(firmware[0]["FirmwareType"], ("UEFI", "BIOS"))
        expected = "enabled" if firmware[0]["FirmwareType"] == "UEFI" else "unsupported"
        self.assertEqual((firmware[0]["SecureBoot"], firmware[0]["Ca2023Status"]), (expected, "InProgress"))
        self.assertEqual(self.objects["Harvix_Tpm"], [{"Present": "-1", "SpecVersion": "2.0", "Manufacturer": "IFX"}])
        # "Platform Specific Field 1" holds 1 << platform id, as the readiness script reads it.
        self.assertEqual(self.objects["Harvix_Processor"], [{"PlatformId": "4"}])
        os_ = self.objects["Harvix_OperatingSystem"]
        version = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"
        self.assertEqual(os_[0]["Edition"], self.reg_value(version, "EditionID"))
        self.assertEqual(os_[0]["DisplayVersion"],
                         self.reg_value(version, "DisplayVersion") or self.reg_value(version, "ReleaseId"))
        zone = self.reg_value("HKLM\\System\\CurrentControlSet\\Control\\TimeZoneInformation", "TimeZoneKeyName")
        self.assertTrue(zone)
        self.assertEqual(os_[0]["TimeZone"], zone)

    def test_chassis_types_are_whole_smbios_codes(self):
        # Wine's wmic prints no arrays; its WMI takes the host's SMBIOS chassis type.
        chassis = self.objects["Win32_SystemEnclosure"][0]["ChassisTypes"]
        self.assertRegex(chassis, r"^\d+(,\d+)*$")
        self.assertTrue(all(1 <= int(code) <= 36 for code in chassis.split(",")), chassis)
        host = "/sys/class/dmi/id/chassis_type"
        if os.access(host, os.R_OK):
            with open(host) as f:
                self.assertEqual(chassis, f.read().strip())

    def test_network_disks_and_reasons(self):
        adapters = self.objects.get("Harvix_NetworkAdapter", [])
        self.assertEqual(bool(adapters), host_has_network())
        names = {a["Name"] for a in adapters}
        for a in adapters:
            self.assertIn(a["Status"], ("up", "down", "dormant", "notpresent", "lowerlayerdown", "unknown", "testing"))
            if a["MACAddress"] is not None:
                self.assertRegex(a["MACAddress"], r"^[0-9a-f]{2}(:[0-9a-f]{2})+$")
            if a["Type"] == "loopback" or a["MACAddress"] is None:
                self.assertEqual(a["Virtual"], "-1", a)
        # Wine takes its interfaces from the host's.
        for a in adapters:
            sysfs = os.path.join("/sys/class/net", a["Name"])
            if os.path.isfile(os.path.join(sysfs, "address")) and a["MACAddress"] is not None:
                with open(os.path.join(sysfs, "address")) as f:
                    self.assertEqual(a["MACAddress"], f.read().strip())
                with open(os.path.join(sysfs, "mtu")) as f:
                    self.assertEqual(a["MTU"], f.read().strip())
        for address in self.objects.get("Harvix_NetworkAddress", []):
            self.assertIn(address["Adapter"], names)
            limit = 32 if address["Family"] == "4" else 128
            self.assertTrue(0 <= int(address["PrefixLength"]) <= limit, address)
        self.assertNotIn("loopback", [a["Type"] for a in adapters])
        self.assertNotIn("127.0.0.1", [a["Address"] for a in self.objects.get("Harvix_NetworkAddress", [])])
        unread = [(u["What"], u["Why"]) for u in self.objects["Harvix_Unread"]]
        self.assertIn(("BitLocker", "lecture r\u00e9serv\u00e9e \u00e0 l'administrateur"), unread)
        for disk in self.objects.get("Harvix_PhysicalDisk", []):
            self.assertIn(disk["Rotational"], ("-1", "0", None))
            if disk["Rotational"] is None:
                self.assertIn("Type du disque " + disk["Index"], [what for what, _ in unread])


if __name__ == "__main__":
    unittest.main(verbosity=2)
