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
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harvix_e2e import start_xvfb, temp_folder  # noqa: E402

BUILD = os.environ.get("HARVIX_WIN_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build-win"))
EXE = os.path.join(BUILD, "Harvix.exe")
OUT = os.path.join(BUILD, "e2e-out")
DISPLAY = None
INITIAL = "Collecte des informations en cours, merci de patienter quelques instants..."
MAX_SIZE = 1 << 20  # copied to every machine and every USB stick
# Every function Harvix.exe imports, each checked to exist on Windows 7 SP1, so
# that nothing newer creeps in as a direct import (newer APIs are looked up at
# run time instead). A new import goes here only once Windows 7 SP1 is known to
# export it.
WINDOWS7_SP1 = {
    "advapi32.dll": """DeregisterEventSource RegCloseKey RegEnumKeyExW RegOpenKeyExW RegQueryValueExW
        RegisterEventSourceW ReportEventW""",
    "comctl32.dll": "InitCommonControlsEx",
    "iphlpapi.dll": "GetAdaptersAddresses",
    "gdi32.dll": "CreateFontW DeleteObject GetDeviceCaps GetStockObject SetBkColor SetTextColor",
    "kernel32.dll": """AddVectoredExceptionHandler CloseHandle CreateEventA CreateFileW CreateMutexW
        CreateProcessW CreateSemaphoreA DeleteCriticalSection DeviceIoControl DuplicateHandle
        DeleteFileW EnterCriticalSection FlushFileBuffers MoveFileExW
        ExitProcess FormatMessageW GetACP GetCommandLineW GetComputerNameW GetCurrentProcess
        GetCurrentProcessId GetCurrentThread GetCurrentThreadId GetDynamicTimeZoneInformation
        GetEnvironmentVariableW GetFirmwareEnvironmentVariableW
        GetFileAttributesW GetFileType GetFullPathNameW GetHandleInformation GetLastError GetLocalTime
        GetLocaleInfoW GetModuleFileNameW GetModuleHandleW GetProcAddress GetProcessAffinityMask
        GetStartupInfoW GetStdHandle GetSystemDirectoryW GetSystemTimeAsFileTime GetSystemWindowsDirectoryW
        GetThreadContext GetThreadPriority GetTickCount64 InitializeCriticalSection IsDBCSLeadByteEx
        IsDebuggerPresent LCMapStringW LeaveCriticalSection LoadLibraryW LocalFree MulDiv
        MultiByteToWideChar OpenProcess OutputDebugStringA ProcessIdToSessionId RaiseException
        ReleaseMutex ReleaseSemaphore RemoveVectoredExceptionHandler ResetEvent ResumeThread
        RtlCaptureContext RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind SetEndOfFile
        SetErrorMode SetEvent SetLastError SetProcessAffinityMask SetThreadContext SetThreadPriority
        SetUnhandledExceptionFilter Sleep SuspendThread TlsAlloc TlsGetValue TlsSetValue
        TryEnterCriticalSection VirtualProtect VirtualQuery WaitForMultipleObjects
        WaitForSingleObject WideCharToMultiByte WriteConsoleW WriteFile __C_specific_handler""",
    "msvcrt.dll": """___lc_codepage_func ___mb_cur_max_func __iob_func __set_app_type
        __setusermatherr __wgetmainargs __winitenv _amsg_exit _assert _beginthreadex _cexit _close
        _commode _endthreadex _errno _fdopen _fmode _initterm _onexit _open_osfhandle _read _setjmp
        _strdup _ultoa _wcmdln abort calloc exit fclose fprintf fputc fputs free fwrite getc isalnum
        islower isspace isupper isxdigit localeconv longjmp malloc memchr memcmp memcpy memmove memset
        printf realloc signal strcmp strerror strlen strncmp strtol strtoul tolower ungetc vfprintf
        wcslen""",
    "ole32.dll": "CoCreateInstance CoInitializeEx CoInitializeSecurity CoSetProxyBlanket",
    "oleaut32.dll": """SafeArrayGetDim SafeArrayGetElement SafeArrayGetLBound SafeArrayGetUBound
        SysAllocStringLen SysFreeString SysStringLen VariantChangeType VariantClear VariantInit""",
    "setupapi.dll": """SetupDiDestroyDeviceInfoList SetupDiEnumDeviceInfo SetupDiGetClassDevsW
        SetupDiGetDeviceInstanceIdW SetupDiOpenDevRegKey""",
    "user32.dll": """AdjustWindowRectEx CreateWindowExW DefWindowProcW DestroyWindow DispatchMessageW
        EnableWindow GetDC GetMessageW GetMonitorInfoW GetProcessWindowStation
        GetUserObjectInformationW IsDialogMessageW KillTimer LoadCursorW LoadImageW MessageBoxW
        MonitorFromWindow PostQuitMessage RegisterClassExW ReleaseDC SendMessageW SetTimer
        SetWindowPos SetWindowTextW ShowWindow TranslateMessage UpdateWindow""",
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
               "comctl32.dll", "msvcrt.dll", "advapi32.dll", "comdlg32.dll", "uuid.dll", "ws2_32.dll",
               "iphlpapi.dll", "setupapi.dll"}


class Wine:
    def __init__(self):
        self.prefix = temp_folder("harvix-wineprefix-")
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
    folder = temp_folder(name)
    shutil.copy2(EXE, folder)
    return folder


def imports(path):
    """{dll: {function, ...}} from the file's import table, as objdump reads it."""
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True, text=True,
                          check=True).stdout
    table = dump[dump.index("The Import Tables"):]
    out, dll = {}, None
    for line in table.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            out[dll] = set()
            continue
        m = re.match(r"\s*[0-9a-f]+\s+[0-9]+\s+(\S+)$", line)
        if m and dll:
            out[dll].add(m.group(1))
        elif dll and line and not line.startswith(("\t", " ")):
            break  # the next table
    return out


def read_report(folder):
    reports = glob.glob(os.path.join(folder, "*_report.html"))
    assert len(reports) == 1, reports
    with open(reports[0], "rb") as f:
        return os.path.basename(reports[0]), f.read()


def probe_lines(probe):
    """form1_probe's "key: value" lines as they come, with its escapes undone."""
    for raw in probe.stdout:
        key, _, value = raw.decode().rstrip("\n").partition(": ")
        yield key, re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), value)


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
        # Free space moves while the machine works: other builds share the disk and swing it by
        # gigabytes within seconds. Read before and after, and allow 2 GiB beyond: what is checked
        # is that used space is size less free space, in bytes, not a byte-exact figure.
        before = {v["Name"]: v["FreeSpace"] for v in
                  self.wine.wmic("Win32_LogicalDisk", "Name", "Size", "FreeSpace", "DriveType")}
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
            free = sorted(int(f) for f in (before.get(v["Name"]) or v["FreeSpace"], v["FreeSpace"]))
            self.assertGreaterEqual(used, int(v["Size"]) - free[1] - (2 << 30))
            self.assertLessEqual(used, int(v["Size"]) - free[0] + (2 << 30))

    def test_a_french_user_gets_decimal_commas(self):
        _, data = self.silent_run(env={"LANG": "fr_FR.UTF-8", "LC_ALL": "fr_FR.UTF-8"})
        self.assertRegex(data.decode("cp1252"), r"RAM installée</td><td>\d+,\d\d Go")

    def test_imports_are_windows_7_functions_of_system_dlls_and_the_file_is_small(self):
        table = imports(EXE)
        self.assertTrue(table)
        self.assertLessEqual(set(table), SYSTEM_DLLS)
        for dll, functions in table.items():
            known = set(WINDOWS7_SP1.get(dll, "").split())
            self.assertLessEqual(functions, known, "%s: not checked against Windows 7 SP1" % dll)
        size = os.path.getsize(EXE)
        print("Harvix.exe: %d bytes" % size, file=sys.stderr)
        self.assertLessEqual(size, MAX_SIZE)

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
        self.assertRegex(manifest, r"<longPathAware [^>]*>true</longPathAware>")
        self.assertIn("Microsoft.Windows.Common-Controls", manifest)

    def drive_window(self, wine, folder, screenshot=None, env=None):
        """Form1 as the probe sees it, and Harvix's exit status. The probe starts
        first, so it sees the window before the run; it ends by its own deadlines,
        and when it did not press "Fermer" the screen is kept and Harvix stopped."""
        probe = wine.start(os.path.join(BUILD, "tests", "form1_probe.exe"), "window", read=True)
        harvix, status, seen = None, None, {}
        try:
            for key, value in probe_lines(probe):
                seen[key] = value
                if key == "ready":
                    harvix = wine.start(os.path.join(folder, "Harvix.exe"), env=env)
                if key == "close-after" and screenshot:
                    self.screenshot(screenshot)
            seen["probe-status"] = probe.wait(timeout=60)
            if "clicked" not in seen:
                self.screenshot("wine-window-not-finished.png")
            elif harvix:
                try:
                    status = harvix.wait(timeout=120)
                except subprocess.TimeoutExpired:  # still running: what is on the screen says why
                    self.screenshot("wine-window-still-running.png")
        finally:
            for p in (probe, harvix):
                if p and p.poll() is None:
                    p.kill()
                    p.wait()
            probe.stdout.close()
        return seen, status

    def screenshot(self, name):
        subprocess.run(["import", "-display", DISPLAY, "-window", "root", os.path.join(OUT, name)], timeout=60)

    def test_window_before_and_after_the_run_in_a_unicode_folder(self):
        folder = os.path.join(temp_folder("harvix-wine-"), "Rapports été Ωμέγα")
        os.mkdir(folder)
        shutil.copy2(EXE, folder)
        # One explorer.exe beside the program, which must never run, and the stand-in
        # for the Windows folder's own, which the tests put in its place.
        shutil.copy2(os.path.join(BUILD, "standin", "explorer.exe"), folder)
        standin = temp_folder("harvix-explorer-")
        shutil.copy2(os.path.join(BUILD, "standin", "explorer.exe"), standin)
        override = {"HARVIX_TEST_EXPLORER": self.wine.windows_path(os.path.join(standin, "explorer.exe"))}
        seen, status = self.drive_window(self.wine, folder, "wine-window.png", env=override)
        self.assertIn("clicked", seen, seen)
        windows_folder = self.wine.windows_path(folder)
        name = read_report(folder)[0]
        self.assertEqual(seen.get("label-before"), INITIAL)
        self.assertEqual(seen.get("close-before"), "disabled")
        self.assertEqual(seen.get("visible"), "yes")
        self.assertEqual(seen.get("client"), "540x216")
        self.assertEqual((seen.get("minimize-box"), seen.get("maximize-box")), ("no", "no"))
        self.assertEqual(seen.get("label-after"),
                         "Le rapport a été créé dans le dossier:\r\n%s\\%s" % (windows_folder, name))
        with open(os.path.join(standin, "explorer-args.txt"), "rb") as f:
            self.assertEqual(f.read().decode("utf-16-le"), "explorer.exe /e, %s\\" % windows_folder)
        self.assertFalse(os.path.exists(os.path.join(folder, "explorer-args.txt")))
        self.assertEqual(status, 0, seen)

    def test_window_scales_with_the_screen_dpi(self):
        wine = Wine()  # a prefix of its own: 144 dpi, one and a half times the design size
        try:
            wine.run("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                     "/d", "144", "/f")
            folder = program_folder()
            standin = temp_folder("harvix-explorer-")
            shutil.copy2(os.path.join(BUILD, "standin", "explorer.exe"), standin)
            override = {"HARVIX_TEST_EXPLORER": wine.windows_path(os.path.join(standin, "explorer.exe"))}
            seen, status = self.drive_window(wine, folder, env=override)
            self.assertIn("clicked", seen, seen)
            self.assertEqual(seen.get("client"), "810x324", seen)
            self.assertEqual(status, 0, seen)
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
        # Seen by whoever sits at the machine: no hidden owner, in front of other windows.
        self.assertEqual((message.get("owner"), message.get("topmost")), ("none", "yes"))
        self.assertNotEqual(harvix.wait(timeout=60), 0)

    def test_a_failure_where_nobody_can_answer_ends_at_once_with_a_failure_status(self):
        """A window station without a visible display, as a scheduled task run whether
        the user is logged on or not, or a service, gets: a box there would wait for ever."""
        folder = program_folder()
        name = self.wine.wmic("Win32_ComputerSystem", "Name")[0]["Name"]
        os.mkdir(os.path.join(folder, name + "_report.html"))
        started = time.time()
        probe = self.wine.run(os.path.join(BUILD, "tests", "form1_probe.exe"), "nodesktop",
                              self.wine.windows_path(os.path.join(folder, "Harvix.exe")), "/silent",
                              timeout=120)
        seen = dict(l.split(": ", 1) for l in probe.stdout.decode().splitlines() if ": " in l)
        self.assertEqual(seen.get("station-visible"), "no", seen)
        self.assertEqual(seen.get("status"), "1", seen)
        self.assertLess(int(seen["waited-ms"]), 15000)
        self.assertLess(time.time() - started, 60)
        # The description also reaches standard error, where a script reads it.
        self.assertIn((name + "_report.html").encode(), probe.stderr)

    def run_with(self, folder, variables, lang):
        """A /silent run with these environment variables, under this user locale."""
        command = ["%s=%s" % kv for kv in variables.items()]
        return self.wine.run(os.path.join(BUILD, "tests", "form1_probe.exe"), "with", *command, "--",
                             self.wine.windows_path(os.path.join(folder, "Harvix.exe")), "/silent",
                             env={"LANG": lang, "LC_ALL": lang})

    def test_reports_in_code_pages_1251_and_932_agree_with_pythons_codecs(self):
        cases = [("ru_RU.UTF-8", "cp1251", "ПК-Ёж", "Пользователь Ёё € №"),
                 ("ja_JP.UTF-8", "cp932", "端末１", "ユーザー～－¥ é")]
        for lang, codec, computer, user in cases:
            with self.subTest(codec):
                folder = program_folder()
                result = self.run_with(folder, {"COMPUTERNAME": computer, "USERNAME": user}, lang)
                self.assertEqual(result.returncode, 0, result.stderr[-2000:])
                name, data = read_report(folder)
                self.assertEqual(name, computer + "_report.html")
                self.assertTrue(data.endswith(b"</script></body></html>\r\n"))
                for label, value in [("Nom de l'ordinateur", computer), ("Nom de l'utilisateur", user)]:
                    row = "<tr><td>%s</td><td>%s</td></tr>\r\n" % (label, value)
                    self.assertIn(row.encode(codec, "xmlcharrefreplace"), data)
                self.assertIn("Général".encode(codec, "xmlcharrefreplace"), data)
                # The whole file: what the code page holds as its bytes, the rest as
                # references, exactly as Python's codec writes it.
                self.assertEqual(with_references(data, codec).encode(codec, "xmlcharrefreplace"), data)

    def test_a_minus_sign_that_932_lacks_is_kept_as_a_reference(self):
        # Python's cp932 writes U+2212 as 0x817C, which reads back as U+FF0D; Windows'
        # own table has no U+2212 short of a best fit, so the report keeps the character.
        folder = program_folder()
        result = self.run_with(folder, {"USERNAME": "a−b"}, "ja_JP.UTF-8")
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])
        self.assertIn(b"<td>a&#8722;b</td>", read_report(folder)[1])

    def test_a_computer_name_that_leaves_the_folder_is_refused_and_nothing_is_written(self):
        outer = temp_folder("harvix-evasion-")
        folder = os.path.join(outer, "programme")
        os.mkdir(folder)
        shutil.copy2(EXE, folder)
        for name in ("..\\evasion", "../evasion", "C:evasion"):
            with self.subTest(name):
                # Its failure box is read and closed as a user would; the run's status is the probe's.
                harvix = self.wine.start(os.path.join(BUILD, "tests", "form1_probe.exe"), "with",
                                         "COMPUTERNAME=" + name, "--",
                                         self.wine.windows_path(os.path.join(folder, "Harvix.exe")), "/silent")
                probe = self.wine.run(os.path.join(BUILD, "tests", "form1_probe.exe"), "msgbox", timeout=120)
                message = dict(l.split(": ", 1) for l in probe.stdout.decode().splitlines() if ": " in l)
                self.assertEqual(harvix.wait(timeout=60), 1)
                # The probe writes a backslash as two.
                self.assertIn("Le nom de l'ordinateur « %s »" % name.replace("\\", "\\\\"),
                              message.get("message", ""), message)
                self.assertEqual((os.listdir(outer), os.listdir(folder)), (["programme"], ["Harvix.exe"]))

    def test_silent_from_a_folder_beyond_max_path_a_drive_root_and_a_share(self):
        base = temp_folder("harvix-long-")
        deep = os.path.join(base, "Rapports très longs " + "x" * 90, "y" * 90, "z" * 100)
        os.makedirs(deep)
        shutil.copy2(EXE, deep)
        self.assertGreater(len("Z:" + os.path.join(deep, "Harvix.exe")), 260)  # winepath stops at 259
        result = self.wine.run(os.path.join(deep, "Harvix.exe"), "/silent")
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])
        self.assertTrue(read_report(deep)[1].endswith(b"</script></body></html>\r\n"))

        # A drive whose root holds the program: H: mapped to a folder.
        root = temp_folder("harvix-root-")
        shutil.copy2(EXE, root)
        link = os.path.join(self.wine.prefix, "dosdevices", "h:")
        os.symlink(root, link)
        try:
            result = self.wine.run("H:\\Harvix.exe", "/silent")
            self.assertEqual(result.returncode, 0, result.stderr[-2000:])
            self.assertTrue(read_report(root)[1].endswith(b"</script></body></html>\r\n"))
        finally:
            os.remove(link)

        # A share: Wine serves \\serveur\partage from dosdevices/unc.
        share = temp_folder("harvix-share-")
        os.mkdir(os.path.join(share, "Harvix"))
        shutil.copy2(EXE, os.path.join(share, "Harvix"))
        unc = os.path.join(self.wine.prefix, "dosdevices", "unc", "serveur")
        os.makedirs(unc, exist_ok=True)
        os.symlink(share, os.path.join(unc, "partage"))
        try:
            result = self.wine.run("\\\\serveur\\partage\\Harvix\\Harvix.exe", "/silent")
            self.assertEqual(result.returncode, 0, result.stderr[-2000:])
            self.assertTrue(read_report(os.path.join(share, "Harvix"))[1].endswith(b"</script></body></html>\r\n"))
        finally:
            os.remove(os.path.join(unc, "partage"))

    def test_a_wmi_walk_that_stops_answering_ends_within_the_limit_with_a_whole_report(self):
        """Wine's WMI behind a locator whose Win32_LogicalDisk walk hangs after its first
        object, as a provider stuck on a disconnected network drive does."""
        wine = Wine()
        try:
            stuck = temp_folder("harvix-stuck-")
            shutil.copy2(os.path.join(BUILD, "tests", "stuck_wmi.dll"), stuck)
            wine.run("reg", "add", "HKLM\\Software\\Classes\\CLSID\\{4590F811-1D3A-11D0-891F-00AA004B2E24}"
                     "\\InprocServer32", "/ve", "/d", wine.windows_path(os.path.join(stuck, "stuck_wmi.dll")),
                     "/f")
            folder = program_folder()
            started = time.time()
            result = wine.run(os.path.join(folder, "Harvix.exe"), "/silent", timeout=240)
            elapsed = time.time() - started
            self.assertEqual(result.returncode, 0, result.stderr[-2000:])
            # One advance waited out its 30 s; without a limit it would never end.
            self.assertGreater(elapsed, 29)
            self.assertLess(elapsed, 120)
            data = read_report(folder)[1].decode("cp1252")
            self.assertTrue(data.endswith("</script></body></html>\r\n"))
            # What the walk gave before it stopped is in the report.
            self.assertEqual(len(re.findall(r'<progress value="\d+" max="\d+">', data)), 1)
            self.assertIn("Processeur", data)
        finally:
            wine.close()

    def test_two_silent_runs_started_together_never_mix_their_reports(self):
        folder = program_folder()
        exe = os.path.join(folder, "Harvix.exe")
        self.assertEqual(self.wine.run(exe, "/silent").returncode, 0)
        lines = read_report(folder)[1].count(b"\r\n")
        for attempt in range(10):
            first, second = self.wine.start(exe, "/silent"), self.wine.start(exe, "/silent")
            statuses = [first.wait(timeout=300), second.wait(timeout=300)]
            self.assertEqual(statuses, [0, 0], attempt)
            data = read_report(folder)[1]
            self.assertEqual(data.count(b"<!DOCTYPE html>"), 1, attempt)
            self.assertEqual(data.count(b"</script></body></html>\r\n"), 1, attempt)
            self.assertTrue(data.endswith(b"</script></body></html>\r\n"), attempt)
            self.assertEqual(data.count(b"\r\n"), lines, attempt)


def with_references(data, codec):
    """The text of a report: bytes decoded strictly by the codec, "&#N;" as U+N."""
    parts = re.split(rb"&#(\d+);", data)
    return "".join(p.decode(codec) if i % 2 == 0 else chr(int(p)) for i, p in enumerate(parts))


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
