"""The real GTK window under Xvfb: its texts and button before and after the
run, a double-click on the status line, and "Fermer" ending the process."""
import os
import select
import shutil
import subprocess
import time
import unittest

from harvix_e2e import OUT, TREES, program_copy, start_xvfb, temp_folder

DISPLAY = None

CAPTION = "Tarvell - Inventaire de l'ordinateur"


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=30,
                          env={**os.environ, "DISPLAY": DISPLAY})


class Window(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global DISPLAY
        cls.xvfb, DISPLAY = start_xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def start(self, name):
        folder = program_copy(with_window=True)
        bin_dir = temp_folder("harvix-bin-")
        self.opened = os.path.join(bin_dir, "xdg-open.log")
        # A stand-in file manager that says what it was asked to open.
        with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s"\n' % self.opened)
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env.update(DISPLAY=DISPLAY, HARVIX_TRACE="1", HARVIX_ROOT=os.path.join(TREES, "vm"),
                   COMPUTERNAME=name, PATH=bin_dir + ":" + env["PATH"], GDK_BACKEND="x11",
                   NO_AT_BRIDGE="1")
        proc = subprocess.Popen([os.path.join(folder, "harvix")], env=env, stderr=subprocess.PIPE)
        self.addCleanup(proc.stderr.close)
        self.pending = b""
        return folder, proc

    def trace_until(self, proc, marker, timeout=30):
        """Trace lines up to the one holding marker; the status line's CR stays in its line."""
        lines, end = [], time.time() + timeout
        while time.time() < end:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                lines.append(line.decode())
                if marker in lines[-1]:
                    return lines
            ready, _, _ = select.select([proc.stderr], [], [], 0.5)
            if ready:
                chunk = os.read(proc.stderr.fileno(), 4096)
                if not chunk:
                    break
                self.pending += chunk
        self.fail("no %r in %r" % (marker, lines))

    def window(self, name):
        found = xdotool("search", "--sync", "--onlyvisible", "--name", name)
        return found.stdout.split()[0]

    def test_run_double_click_and_close(self):
        folder, proc = self.start("WINTEST")
        try:
            first = self.trace_until(proc, "cmdClose:")
            self.assertEqual(first, ["Label1: Collecte des informations en cours, merci de patienter "
                                     "quelques instants...", "cmdClose: disabled"])
            done = self.trace_until(proc, "cmdClose: enabled")
            self.assertEqual(done[0], "Label1: Le rapport a été créé dans le dossier:\r")
            self.assertEqual(done[1], "%s/WINTEST_report.html" % folder)
            self.assertTrue(os.path.exists(os.path.join(folder, "WINTEST_report.html")))

            win = self.window(CAPTION)
            geometry = dict(l.split("=") for l in xdotool("getwindowgeometry", "--shell", win).stdout.split())
            self.assertEqual((geometry["WIDTH"], geometry["HEIGHT"]), ("540", "216"))
            os.makedirs(OUT, exist_ok=True)
            time.sleep(0.3)
            subprocess.run(["import", "-display", DISPLAY, "-window", "root", os.path.join(OUT, "window.png")],
                           check=True, timeout=30)

            xdotool("mousemove", "--window", win, "264", "150", "click", "--repeat", "2", "--delay", "60", "1")
            self.trace_until(proc, "Label1_DblClick")
            for _ in range(50):
                if os.path.exists(self.opened):
                    break
                time.sleep(0.1)
            with open(self.opened) as f:
                self.assertEqual(f.read(), folder + "/\n")

            xdotool("mousemove", "--window", win, "484", "196", "click", "1")
            self.assertEqual(proc.wait(timeout=15), 0)
        finally:
            if proc.poll() is None:
                proc.kill()

    def test_a_failure_shows_its_description_in_a_message_box(self):
        folder, proc = self.start("BROKEN")
        os.mkdir(os.path.join(folder, "BROKEN_report.html"))  # cannot be created as a file
        try:
            failure = self.trace_until(proc, "Failure:")[-1]
            self.assertIn("BROKEN_report.html", failure)
            self.window("Harvix")  # the message box is up
            subprocess.run(["import", "-display", DISPLAY, "-window", "root",
                            os.path.join(OUT, "window-failure.png")], timeout=30)
            self.assertIsNone(proc.poll())  # waits for the user
        finally:
            proc.kill()
            proc.wait()


if __name__ == "__main__":
    unittest.main()
