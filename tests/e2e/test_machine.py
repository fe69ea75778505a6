"""The program on this very machine, checked against tools no one here wrote:
/proc, lsblk and df. Also its behaviour as a command."""
import os
import pwd
import re
import subprocess
import unittest

from harvix_e2e import BUILD, block_mounts, parse_report, program_copy, report_lines, run, temp_folder, used_space


def read(path):
    with open(path) as f:
        return f.read()


def cpuinfo():
    blocks = [dict(re.findall(r"^([^:\n]+?)\s*:\s*(.*)$", b, re.M))
              for b in read("/proc/cpuinfo").split("\n\n") if b.strip()]
    return [b for b in blocks if "processor" in b]


class ThisMachine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = program_copy()
        # Used space moves while other tests write: read it on both sides of the run.
        cls.used_before = used_space()
        result = run(cls.folder, "/silent", env={"COMPUTERNAME": "TRUTH", "USERNAME": "tech",
                                                 "LC_ALL": "C"})
        cls.used_after = used_space()
        assert result.returncode == 0, result.stderr
        cls.rows, cls.disks = parse_report(os.path.join(cls.folder, "TRUTH_report.html"))

    def test_processor_agrees_with_cpuinfo(self):
        cpus = cpuinfo()
        name = cpus[0].get("model name", "").replace("(R)", "").replace("(TM)", "")
        self.assertEqual(self.rows["CPU"], name)
        last_package = cpus[-1].get("physical id", "0")
        mine = [c for c in cpus if c.get("physical id", "0") == last_package]
        self.assertEqual(int(self.rows["Coeurs logiques"]), len(mine))
        self.assertEqual(int(self.rows["Coeurs physiques"]), len({c.get("core id") for c in mine}))

    def test_installed_memory_agrees_with_meminfo(self):
        kb = int(re.search(r"MemTotal:\s+(\d+) kB", read("/proc/meminfo")).group(1))
        self.assertEqual(self.rows["RAM installée"], "%.2f Go" % (kb * 1024 / 2**30))

    def test_disks_agree_with_lsblk(self):
        out = subprocess.run(["lsblk", "-b", "-d", "-n", "-o", "NAME,SIZE,TYPE"], capture_output=True,
                             text=True, check=True).stdout
        disks = [l.split() for l in out.splitlines()]
        real = [int(size) for name, size, kind in disks
                if kind == "disk" and not re.match(r"(zram|loop|ram|md|dm-)", name)]
        mine = [d for d in self.disks if not d["model"].startswith("Virtual Disk (")]  # loop devices
        self.assertEqual(len(mine), len(real))
        self.assertEqual(sorted(d["size"] for d in mine),
                         sorted(("%d Go" % int(s / 1e9 + 0.5)) if s >= 0.5e9 else " Go" for s in real))

    def test_volumes_agree_with_df_and_root_lies_on_its_disk(self):
        listed = [v for d in self.disks for v in d["volumes"]]
        mounts = block_mounts()
        self.assertEqual(bool(listed), bool(mounts))
        for v in listed:
            (size, before), (_, after) = self.used_before[v["name"]], self.used_after[v["name"]]
            self.assertEqual(int(v["size"]), size, v["name"])
            self.assertTrue(min(before, after) - 2**26 <= int(v["used"]) <= max(before, after) + 2**26,
                            (v["name"], v["used"], before, after))
        # In a container or a chroot "/" may be an overlay, a tmpfs or absent from the mount
        # table: then no disk holds it.
        holders = [d["size"] for d in self.disks if any(v["name"] == "/" for v in d["volumes"])]
        expected = ["%d Go" % int(mounts["/"] / 1e9 + 0.5)] if "/" in mounts else []
        self.assertEqual(holders, expected)


class AsACommand(unittest.TestCase):
    def test_without_a_display_the_status_is_printed(self):
        folder = program_copy()
        result = run(folder, env={"COMPUTERNAME": "CLI"})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(),
                         "Le rapport a été créé dans le dossier:\n%s/CLI_report.html\n" % folder)
        self.assertGreater(len(report_lines(os.path.join(folder, "CLI_report.html"))), 40)

    def test_a_display_that_does_not_answer_falls_back_to_the_console(self):
        folder = program_copy(with_window=True)
        result = run(folder, env={"COMPUTERNAME": "NOX", "DISPLAY": ":77"})  # no server there
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.decode().startswith("Le rapport a été créé dans le dossier:\n"))
        report_lines(os.path.join(folder, "NOX_report.html"))

    def test_silent_prints_nothing_and_needs_no_gtk(self):
        folder = program_copy()  # no window module beside it
        result = run(folder, "/SILENT", env={"COMPUTERNAME": "QUIET", "DISPLAY": ":99"})
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
        report_lines(os.path.join(folder, "QUIET_report.html"))
        needed = subprocess.run(["readelf", "-d", os.path.join(folder, "harvix")], capture_output=True,
                                text=True).stdout
        self.assertNotIn("gtk", needed)

    def test_a_failure_is_said_and_is_not_success(self):
        folder = program_copy()
        os.mkdir(os.path.join(folder, "BLOCKED_report.html"))  # the report cannot be created, even by root
        for args in ([], ["/silent"]):
            result = run(folder, *args, env={"COMPUTERNAME": "BLOCKED"})
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("BLOCKED_report.html", result.stderr.decode())
            self.assertEqual(result.stdout, b"")

    def test_a_computer_name_that_leaves_the_folder_is_refused_and_nothing_is_written(self):
        outer = program_copy()
        folder = os.path.join(outer, "programme")
        os.mkdir(folder)
        os.rename(os.path.join(outer, "harvix"), os.path.join(folder, "harvix"))
        for name in ("../evasion", "a/b"):
            for args in ([], ["/silent"]):
                result = run(folder, *args, env={"COMPUTERNAME": name})
                self.assertEqual(result.returncode, 1, (name, args))
                self.assertIn("Le nom de l'ordinateur « %s »" % name, result.stderr.decode())
                self.assertEqual((os.listdir(outer), os.listdir(folder)), (["programme"], ["harvix"]))

    def test_unset_names_fall_back_to_host_and_account(self):
        folder = program_copy()
        e = {k: v for k, v in os.environ.items() if k not in ("COMPUTERNAME", "USERNAME", "DISPLAY")}
        result = subprocess.run([os.path.join(folder, "harvix"), "/silent"], env=e, capture_output=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        host = os.uname().nodename.split(".")[0]
        rows, _ = parse_report(os.path.join(folder, host + "_report.html"))
        self.assertEqual(rows["Nom de l'ordinateur"], host)
        self.assertEqual(rows["Nom de l'utilisateur"], pwd.getpwuid(os.geteuid()).pw_name)

    def test_installed_on_the_path_it_writes_beside_the_program(self):
        staging = temp_folder("harvix-install-")
        subprocess.run(["cmake", "--install", BUILD], env=dict(os.environ, DESTDIR=staging), check=True,
                       capture_output=True)
        prefix = os.path.join(staging, "usr", "local")
        result = subprocess.run(["harvix", "/silent"], capture_output=True, env=dict(
            os.environ, PATH=os.path.join(prefix, "bin") + os.pathsep + os.environ["PATH"],
            COMPUTERNAME="PATHPC", DISPLAY=""))
        self.assertEqual(result.returncode, 0, result.stderr)
        report_lines(os.path.join(prefix, "lib", "harvix", "PATHPC_report.html"))
        self.assertTrue(os.access(os.path.join(prefix, "bin", "harvix-index"), os.X_OK))


if __name__ == "__main__":
    unittest.main()
