#!/usr/bin/env python3
"""Writes the harnesses' seed inputs into a build folder: the recorded machine
trees of tests/trees packed into the tree format the tree harnesses read, their
SMBIOS tables, and the texts the collectors and writers meet.

Tree format: records of a kind byte (F file, L link, D folder), the relative
path, a NUL, and for F and L a 16-bit little-endian length and the data.
"""
import os
import struct
import sys


def pack_tree(root, only_structure=False):
    out = bytearray()
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        rel_folder = os.path.relpath(folder, root)
        for name in sorted(dirs + files):
            full = os.path.join(folder, name)
            rel = os.path.normpath(os.path.join(rel_folder, name)).encode()
            if os.path.islink(full):
                data = os.readlink(full).encode()
                out += b"L" + rel + b"\0" + struct.pack("<H", len(data)) + data
            elif os.path.isdir(full):
                out += b"D" + rel + b"\0"
            else:
                with open(full, "rb") as f:
                    data = b"" if only_structure else f.read()[:65535]
                out += b"F" + rel + b"\0" + struct.pack("<H", len(data)) + data
    return bytes(out)


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def main(trees, out):
    names = sorted(n for n in os.listdir(trees) if os.path.isdir(os.path.join(trees, n)))
    for n in names:
        root = os.path.join(trees, n)
        # Tree inputs start with the length and text of a PRETTY_NAME to write.
        pretty = 'Debian "trixie" 13 $HOME \\'.encode() if n == "vm" else b""
        tree = struct.pack("<H", len(pretty)) + pretty + pack_tree(root)
        write(os.path.join(out, "system_tree"), n, tree)
        write(os.path.join(out, "storage_tree"), n, tree)
        for path in ("/sys/block/sda/device", "/sys/class/block/nvme0n1p2/../dev",
                     "/sys/dev/block/8:1", "/sys/block/vda/../../devices"):
            write(os.path.join(out, "resolve"), n + path.replace("/", "_"),
                  path.encode() + b"\0" + pack_tree(root, only_structure=True))
        status = os.path.join(root, "var/lib/dpkg/status")
        if os.path.exists(status):
            with open(status, "rb") as f:
                write(os.path.join(out, "dpkg"), n, f.read())
        dmi = os.path.join(root, "sys/firmware/dmi/tables/DMI")
        if os.path.exists(dmi):
            with open(dmi, "rb") as f:
                write(os.path.join(out, "smbios"), n, f.read())
        for line in open(os.path.join(root, "proc/self/mountinfo"), encoding="latin-1"):
            fields = line.split()
            if len(fields) > 4:
                write(os.path.join(out, "unescape"), n + fields[0], fields[4])
        expected = open(os.path.join(trees, n + ".expected"), encoding="utf-8").read()
        write(os.path.join(out, "html"), n, expected)
        write(os.path.join(out, "encoding"), n, expected)
    queries = ["Select * from Win32_ComputerSystem", "Select Domain from Win32_ComputerSystem",
               "Select Domain, Model from Win32_ComputerSystem", "select*from win32_computersystem",
               "Select IdentifyingNumber from Win32_ComputerSystemProduct"]
    for i, q in enumerate(queries):
        write(os.path.join(out, "wql"), str(i), q)
    for i, t in enumerate(["0", "1023", " 512", "1024", "1152", "1048575", "1048576",
                           "17179869184", "-3.5", "1,5", "1.5e3", "32767.5", " 7 ", ".5"]):
        write(os.path.join(out, "numbers"), str(i), t)
    paths = ['\\\\PC\\root\\cimv2:Win32_DiskPartition.DeviceID="Disk #0, Partition #1"',
             '\\\\PC\\root\\cimv2:Win32_DiskDrive.DeviceID="\\\\\\\\.\\\\PHYSICALDRIVE0"',
             'Win32_LogicalDisk.DeviceID="/media/a \\"b\\""', 'DeviceID="C:"', '""', '"']
    for i, p in enumerate(paths):
        write(os.path.join(out, "extract"), str(i), p)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
