"""Real disk images on loop devices, mounted every way a user mounts things,
and the report checked against lsblk, findmnt, df and blkid."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from harvix_e2e import parse_report, program_copy, report_lines, run
import loopdev

G = 10**9
HOSTILE = '<b>&"x</b>'
ODD = 'a b"c\\d'  # a blank, a double quote and a backslash


def tool(*cmd):
    return subprocess.run(cmd, capture_output=True, text=True, check=True, timeout=60).stdout


class RealDevices(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        loopdev.require_root_and_loop(cls)
        cls.ws = loopdev.Workspace().__enter__()
        try:
            cls.build()
        except BaseException:
            cls.ws.__exit__(None, None, None)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.ws.__exit__(None, None, None)

    @classmethod
    def build(cls):
        ws = cls.ws
        gpt = ws.image("hvx-gpt.img", 3 * G, "label: gpt\n,100M,U\n,1G,L\n,,L\n")
        mbr = ws.image("hvx-mbr.img", 2 * G, "label: dos\n,300M,L\n,300M,L\n,,E\n,400M,L\n,,L\n")
        whole = ws.image("hvx-whole.img", 1 * G)
        cls.devs = {"gpt": ws.attach(gpt), "mbr": ws.attach(mbr)}
        g, m = cls.devs["gpt"], cls.devs["mbr"]
        ws.sh("mkfs.vfat", "-n", "EFI", g + "p1")
        ws.sh("mkfs.ext4", "-q", "-L", "Données été", g + "p2")
        ws.sh("mkfs.exfat", "-L", HOSTILE, g + "p3")
        for p in ("p1", "p2", "p5", "p6"):
            ws.sh("mkfs.ext4", "-q", "-L", "MBR-" + p, m + p)
        ws.sh("mkfs.ext4", "-q", "-L", "WHOLE", whole)
        cls.devs["whole"] = ws.attach(whole)
        source = os.path.join(ws.dir, "squash-src")
        os.makedirs(source)
        with open(os.path.join(source, "file"), "w") as f:
            f.write("read only\n")
        squash = os.path.join(ws.dir, "hvx-snap.squashfs")
        ws.sh("mksquashfs", source, squash, "-quiet", "-noappend")
        cls.devs["squash"] = ws.attach(squash, read_only=True)

        cls.expect = {}  # mount point -> device it must name
        cls.mount_all(ws, g, m)

    @classmethod
    def mount_all(cls, ws, g, m):
        def mount(dev, name, *options):
            target = ws.mountpoint(name)
            ws.mount(dev, target, *options)
            return target

        if shutil.which("fusefat"):  # this kernel may have no vfat of its own
            efi = ws.mountpoint("efi")
            # fusefat names no device in the mount table unless told to.
            ws.sh("fusefat", "-o", "rw+,fsname=" + g + "p1", g + "p1", efi)
            ws.mounted(efi)
            cls.expect[efi] = g + "p1"
        data = mount(g + "p2", "données")
        os.makedirs(os.path.join(data, "sub"))
        cls.expect[data] = g + "p2"
        cls.bind = tempfile.mkdtemp(prefix="hb", dir="/tmp")  # shorter than the real mount
        ws.mount(os.path.join(data, "sub"), cls.bind, "--bind")
        ws.undo.insert(0, ("dir", cls.bind))  # removed once unmounted
        exfat = ws.mountpoint("exfat")
        if shutil.which("mount.exfat-fuse"):
            ws.sh("mount.exfat-fuse", g + "p3", exfat)
            ws.mounted(exfat)
            cls.expect[exfat] = g + "p3"
        one = mount(m + "p1", "m1")
        mount(m + "p1", "mbr one again")  # the same filesystem twice: the shorter names it
        cls.expect[one] = m + "p1"
        cls.expect[mount(m + "p2", ODD)] = m + "p2"
        cls.expect[mount(m + "p5", "read only", "-o", "ro")] = m + "p5"
        cls.expect[mount(m + "p6", "logical")] = m + "p6"
        cls.expect[mount(cls.devs["whole"], "whole")] = cls.devs["whole"]
        cls.squash_mount = mount(cls.devs["squash"], "snap", "-t", "squashfs", "-o", "ro")

        folder = program_copy()
        cls.folder = folder
        result = run(folder, "/silent", env={"COMPUTERNAME": "LOOPS", "LC_ALL": "C"})
        assert result.returncode == 0, result.stderr
        cls.report = os.path.join(folder, "LOOPS_report.html")
        _, cls.disks = parse_report(cls.report)
        cls.lsblk = {d["name"]: d for d in json.loads(tool("lsblk", "-b", "-J", "-o",
                                                             "NAME,SIZE,TYPE,PTTYPE"))["blockdevices"]}
        cls.findmnt = json.loads(tool("findmnt", "-J", "-l", "-o", "TARGET,SOURCE,FSROOT"))["filesystems"]

    def disk_of(self, key):
        image = os.path.basename(tool("losetup", "-n", "-O", "BACK-FILE", self.devs[key]).strip())
        found = [d for d in self.disks if d["model"] == "Virtual Disk (%s)" % image]
        self.assertEqual(len(found), 1, image)
        return found[0]

    def test_each_image_is_a_disk_with_lsblk_size_partitions_and_style(self):
        for key, style in (("gpt", "GPT"), ("mbr", "MBR"), ("whole", "")):
            disk = self.disk_of(key)
            node = self.lsblk[os.path.basename(self.devs[key])]
            parts = [c for c in node.get("children", []) if c["type"] == "part"]
            self.assertEqual(disk["size"], "%d Go" % int(node["size"] / G + 0.5), key)
            self.assertEqual(disk["partitions"], len(parts), key)
            self.assertEqual(disk["style"], style, key)
            self.assertEqual(disk["serial"], "", key)
            self.assertFalse(disk["removable"], key)

    def test_every_writable_filesystem_appears_once_under_its_disk_as_df_and_blkid_say(self):
        listed = [(d["model"], v) for d in self.disks for v in d["volumes"]]
        for target, dev in self.expect.items():
            mine = [(model, v) for model, v in listed if v["name"] == target]
            self.assertEqual(len(mine), 1, target)
            model, v = mine[0]
            key = next(k for k, d in self.devs.items() if dev.startswith(d))
            self.assertEqual(model, self.disk_of(key)["model"], target)
            size, used = tool("df", "-B1", "--output=size,used", target).split()[-2:]
            self.assertEqual((v["size"], v["used"]), (size, used), target)
            blkid = {k: tool("blkid", "-o", "value", "-s", k, dev).strip() for k in ("LABEL", "TYPE")}
            self.assertEqual((v["label"], v["fs"]), (blkid["LABEL"], blkid["TYPE"]), target)
        # No other mount of these filesystems makes a second volume.
        ours = {m["target"] for m in self.findmnt
                if any(m["source"].startswith(d) for d in self.devs.values())}
        names = {v["name"] for _, v in listed}
        self.assertEqual(names & ours, set(self.expect))
        self.assertNotIn(self.bind, names)

    def test_the_disc_image_is_neither_a_disk_nor_a_volume(self):
        image = os.path.basename(tool("losetup", "-n", "-O", "BACK-FILE", self.devs["squash"]).strip())
        self.assertFalse([d for d in self.disks if image in d["model"]])
        self.assertFalse([v for d in self.disks for v in d["volumes"] if v["name"] == self.squash_mount])

    def test_hostile_and_accented_texts_arrive_whole_and_escaped(self):
        volumes = {v["name"]: v for d in self.disks for v in d["volumes"]}
        data = next(t for t in self.expect if t.endswith("/données"))
        self.assertEqual(volumes[data]["label"], "Données été")
        odd = next(t for t in self.expect if t.endswith(ODD))
        self.assertIn(odd, volumes)
        raw = "\n".join(report_lines(self.report))
        self.assertNotIn("<b>&", raw)
        exfat = [t for t in self.expect if t.endswith("/exfat")]
        if exfat:
            self.assertEqual(volumes[exfat[0]]["label"], HOSTILE)


if __name__ == "__main__":
    unittest.main()
