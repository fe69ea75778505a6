#!/usr/bin/env python3
"""Times `harvix /silent` on a generated machine tree (HARVIX_ROOT) with 64
disks, 1,000 partitions, 1,000 mounted volumes, 200 bind mounts and 200 tmpfs.
Prints figures; asserts nothing. Aim: under 100 ms.

Usage: bench/scale.py [build folder] [runs]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "trees"))
import record  # noqa: E402

DISKS, PARTITIONS, BINDS, TMPFS = 64, 1000, 200, 200


class ScaleTree(record.Tree):
    def __init__(self, root):
        self.root = root
        os.makedirs(root)


def build(root):
    t = ScaleTree(root)
    t.write("/proc/sys/kernel/hostname", "big\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\n')
    t.cpus("Intel(R) Xeon(R) Gold 6338 CPU @ 2.00GHz", [(i // 32, i % 32) for i in range(64)])
    t.write("/proc/meminfo", "MemTotal:       1056768000 kB\n")
    mounts, space, part = [], [], 0
    for d in range(DISKS):
        name = "sd" + ("abcdefghijklmnopqrstuvwxyz"[d // 26 - 1] if d >= 26 else "") + \
            "abcdefghijklmnopqrstuvwxyz"[d % 26]
        dev = "/sys/devices/pci0000:00/0000:00:17.0/host%d/target%d:0:0/%d:0:0:0" % (d, d, d)
        t.write(dev + "/vendor", "ATA     \n")
        t.write(dev + "/model", "ST4000NM0035-1V4\n")
        t.write(dev + "/type", "0\n")
        t.write(dev + "/serial", "ZC%05d\n" % d)
        count = PARTITIONS // DISKS + (1 if d < PARTITIONS % DISKS else 0)
        major = 8 + 16 * (d // 16)  # fake but distinct device numbers
        base = (d % 16) * 16 * 64
        parts = []
        for n in range(1, count + 1):
            parts.append(("%s%d" % (name, n), n, 2048 + (n - 1) * 10485760, 10485760,
                          "%d:%d" % (major + 1000, base + n)))
        t.block(name, dev + "/block", "%d:%d" % (major + 1000, base), 7814037168, device=dev, parts=parts)
        t.udev("%d:%d" % (major + 1000, base), ID_PART_TABLE_TYPE="gpt")
        for pname, n, _, _, mm in parts:
            t.udev(mm, ID_FS_TYPE="ext4", ID_FS_LABEL="v%d" % part, ID_FS_LABEL_ENC="v%d" % part,
                   ID_PART_ENTRY_SCHEME="gpt", ID_PART_ENTRY_TYPE="0fc63daf-8483-4772-8e79-3d69d8477de4")
            target = "/srv/%s/p%d" % (name, n)
            mounts.append((mm, "/", target, "ext4", "/dev/" + pname))
            space.append((target, 5368709120, 1073741824 + part))
            if part < BINDS:
                mounts.append((mm, "/sub", "/b%d" % part, "ext4", "/dev/" + pname))
            part += 1
    for i in range(TMPFS):
        mounts.append(("0:%d" % (100 + i), "/", "/run/user/%d" % (1000 + i), "tmpfs", "tmpfs"))
        space.append(("/run/user/%d" % (1000 + i), 1 << 30, 1 << 30))
    t.mounts(mounts)
    t.statvfs(space)


def main():
    build_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 11
    work = tempfile.mkdtemp(prefix="harvix-scale-")
    try:
        root = os.path.join(work, "tree")
        build(root)
        shutil.copy2(os.path.join(build_dir, "harvix"), work)
        env = dict(os.environ, HARVIX_ROOT=root, COMPUTERNAME="BIG", LC_ALL="C")
        env.pop("DISPLAY", None)
        times = []
        for _ in range(runs):
            start = time.perf_counter()
            subprocess.run([os.path.join(work, "harvix"), "/silent"], env=env, check=True)
            times.append(time.perf_counter() - start)
        report = open(os.path.join(work, "BIG_report.html"), "rb").read()
        print("tree: %d disks, %d partitions, %d volumes, %d bind mounts, %d tmpfs" % (
            DISKS, PARTITIONS, PARTITIONS, BINDS, TMPFS))
        print("harvix /silent: median %.1f ms, min %.1f ms (%d runs; aim: under 100 ms)" % (
            statistics.median(times) * 1000, min(times) * 1000, runs))
        print("report: %d bytes, %d disk tables, %d volume lines" % (
            len(report), report.count(b"Afficher les volumes"), report.count(b"<progress")))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
