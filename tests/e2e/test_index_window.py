"""harvix-index in Harvix's GTK window under Xvfb: the status before and after
the run, and the exit status once "Fermer" is clicked; on a display that
accepts and never answers, the status on standard output."""
import os
import select
import shutil
import socket
import subprocess
import time
import unittest

from harvix_e2e import BUILD, OUT, TREES, start_xvfb, temp_folder
from test_index import report
from test_nohang import SilentServer, free_display_number


class IndexWindow(unittest.TestCase):
    def test_status_line_and_fermer(self):
        xvfb, display = start_xvfb()
        self.addCleanup(xvfb.wait)
        self.addCleanup(xvfb.terminate)
        folder = temp_folder("harvix-index-window-")
        for name in ("harvix-index", "harvix-gtk.so"):
            shutil.copy2(os.path.join(BUILD, name), folder)
        report(os.path.join(TREES, "vm"), "VM", folder)
        with open(os.path.join(folder, "autre_report.html"), "w") as f:
            f.write("rien\n")
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env.update(DISPLAY=display, HARVIX_TRACE="1", GDK_BACKEND="x11", NO_AT_BRIDGE="1")
        proc = subprocess.Popen([os.path.join(folder, "harvix-index")], env=env, stderr=subprocess.PIPE)
        self.addCleanup(proc.stderr.close)
        try:
            trace, pending, end = [], b"", time.time() + 60
            while time.time() < end and not any(l == "cmdClose: enabled" for l in trace):
                if select.select([proc.stderr], [], [], 0.5)[0]:
                    chunk = os.read(proc.stderr.fileno(), 4096)
                    if not chunk:
                        break
                    pending += chunk
                    *lines, pending = pending.split(b"\n")
                    trace += [l.decode() for l in lines]
            self.assertEqual(trace[:2], ["Label1: Lecture des rapports en cours, merci de patienter quelques instants...",
                                         "cmdClose: disabled"])
            self.assertEqual(trace[2:], ["Label1: L'index a été créé dans le dossier:\r", folder + "/index.html\r",
                                         "1 rapport lu, 1 fichier non lu (voir l'index).", "cmdClose: enabled"])
            win = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                                  "Tarvell - Index des inventaires"], capture_output=True, text=True, timeout=30,
                                 env=env).stdout.split()[0]
            os.makedirs(OUT, exist_ok=True)
            time.sleep(0.3)  # the enabled button drawn
            subprocess.run(["import", "-display", display, "-window", "root", os.path.join(OUT, "index-window.png")],
                           timeout=30)
            subprocess.run(["xdotool", "mousemove", "--window", win, "484", "196", "click", "1"], env=env, timeout=30)
            self.assertEqual(proc.wait(timeout=15), 1)  # one file could not be read
            self.assertTrue(os.path.exists(os.path.join(folder, "index.html")))
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


class IndexOnADisplayThatNeverAnswers(unittest.TestCase):
    def test_the_status_goes_to_standard_output_within_10_s(self):
        os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
        number = free_display_number()
        path = "/tmp/.X11-unix/X%d" % number
        server = SilentServer(socket.AF_UNIX, path)
        self.addCleanup(os.unlink, path)
        self.addCleanup(server.close)
        program = temp_folder("harvix-index-mute-")
        self.addCleanup(shutil.rmtree, program, True)
        for name in ("harvix-index", "harvix-gtk.so"):
            shutil.copy2(os.path.join(BUILD, name), program)
        folder = os.path.join(program, "rapports")
        os.mkdir(folder)
        report(os.path.join(TREES, "vm"), "VM", folder)
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env["DISPLAY"] = ":%d" % number
        start = time.monotonic()
        result = subprocess.run([os.path.join(program, "harvix-index"), folder], env=env, capture_output=True,
                                timeout=30)
        self.assertLess(time.monotonic() - start, 10)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(), "L'index a été créé dans le dossier:\n%s/index.html\n1 rapport lu.\n"
                         % folder)
        self.assertEqual(sorted(os.listdir(folder)), ["VM_report.html", "changements.csv", "historique-index.lock",
                                                     "historique-index.txt", "index.html", "inventaire.csv",
                                                     "logiciels.csv", "volumes.csv"])


if __name__ == "__main__":
    unittest.main()
