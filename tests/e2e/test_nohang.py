"""Nothing can hang a run: a display that accepts and never answers, and a FUSE
filesystem whose daemon is stopped while the program runs."""
import os
import shutil
import signal
import socket
import subprocess
import threading
import time
import unittest

from harvix_e2e import block_mounts, parse_report, program_copy, report_lines, run
import loopdev


class SilentServer:
    """A listening socket that accepts every connection and never says a word."""

    def __init__(self, family, address):
        self.sock = socket.socket(family, socket.SOCK_STREAM)
        self.sock.bind(address)
        self.sock.listen(8)
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.held.append(conn)

    def close(self):
        for c in self.held:
            c.close()
        self.sock.close()


def free_display_number():
    with open("/proc/net/unix") as f:
        abstract = f.read()
    for n in range(471, 999):
        path = "/tmp/.X11-unix/X%d" % n
        if os.path.exists(path) or ("@" + path) in abstract:
            continue
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", 6000 + n)) == 0:
                continue
        return n
    raise unittest.SkipTest("no free display number")


class ADisplayThatNeverAnswers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
        cls.number = free_display_number()
        cls.path = "/tmp/.X11-unix/X%d" % cls.number
        cls.servers = [SilentServer(socket.AF_UNIX, cls.path)]
        try:
            cls.servers.append(SilentServer(socket.AF_INET, ("127.0.0.1", 6000 + cls.number)))
        except OSError:
            pass  # the TCP form is then not tried

    @classmethod
    def tearDownClass(cls):
        for s in cls.servers:
            s.close()
        os.unlink(cls.path)

    def displays(self):
        out = [":%d" % self.number, "unix:%d.0" % self.number]
        if len(self.servers) > 1:
            out.append("127.0.0.1:%d.0" % self.number)
        return out

    def test_a_normal_run_falls_back_to_the_console(self):
        for display in self.displays():
            folder = program_copy(with_window=True)
            start = time.monotonic()
            result = run(folder, env={"COMPUTERNAME": "MUTE", "DISPLAY": display}, timeout=20)
            self.assertLess(time.monotonic() - start, 10, display)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertTrue(result.stdout.decode().startswith("Le rapport a été créé dans le dossier:\n"))
            report_lines(os.path.join(folder, "MUTE_report.html"))
            shutil.rmtree(folder)

    def test_the_failure_box_of_a_silent_run_falls_back_to_standard_error(self):
        folder = program_copy(with_window=True)
        os.mkdir(os.path.join(folder, "MUTE_report.html"))  # the report cannot be created
        start = time.monotonic()
        result = run(folder, "/silent", env={"COMPUTERNAME": "MUTE", "DISPLAY": ":%d" % self.number},
                     timeout=20)
        self.assertLess(time.monotonic() - start, 10)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("MUTE_report.html", result.stderr.decode())
        shutil.rmtree(folder)


class AStoppedFuseDaemon(unittest.TestCase):
    def test_a_silent_run_finishes_with_that_volume_unknown(self):
        loopdev.require_root_and_loop(self)
        if not shutil.which("mount.exfat-fuse") and not shutil.which("ntfs-3g"):
            self.skipTest("neither exfat-fuse nor ntfs-3g is installed")
        with loopdev.Workspace() as ws:
            image = ws.image("fuse.img", 64 << 20)
            dev = ws.attach(image)
            mnt = ws.mountpoint("stopped fuse")
            if shutil.which("mount.exfat-fuse") and shutil.which("mkfs.exfat"):
                ws.sh("mkfs.exfat", "-L", "FUSEVOL", dev)
                ws.sh("mount.exfat-fuse", dev, mnt)
            else:
                ws.sh("mkfs.ntfs", "-Q", "-F", "-L", "FUSEVOL", dev)
                ws.sh("ntfs-3g", dev, mnt)
            ws.mounted(mnt)
            daemon = ws.fuse_daemon(dev)
            ws.stop(daemon)
            folder = program_copy()
            start = time.monotonic()
            # LeakSanitizer stops every thread at exit, and a thread in a FUSE wait cannot be
            # stopped: a sanitized build would wait there for ever.
            env = {"COMPUTERNAME": "STOPPED",
                   "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}
            result = run(folder, "/silent", env=env, timeout=30)
            elapsed = time.monotonic() - start
            ws.resume(daemon)
            self.assertLess(elapsed, 10)
            self.assertEqual(result.returncode, 0, result.stderr)
            _, disks = parse_report(os.path.join(folder, "STOPPED_report.html"))
            volumes = {v["name"]: v for d in disks for v in d["volumes"]}
            self.assertEqual(volumes[mnt]["size"], "")  # unknown, not waited for
            self.assertEqual(volumes[mnt]["label"], "FUSEVOL")
            # The others are all there, whatever "/" is (an overlay or a tmpfs is no volume of a disk).
            self.assertEqual([n for n, v in volumes.items() if n != mnt and not v["size"]], [])
            if "/" in block_mounts():
                self.assertIn("/", volumes)
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
