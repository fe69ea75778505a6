#!/usr/bin/env python3
"""Writes the machine trees the provider tests replay: the files a laptop, a
two-socket server and a small VM show under /proc, /sys, /etc and /run/udev.

Run it again after changing a machine below; the trees are committed as files.
"""
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class Tree:
    def __init__(self, name):
        self.root = os.path.join(HERE, name)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)

    def path(self, p):
        return os.path.join(self.root, p.lstrip("/"))

    def write(self, p, data, binary=False):
        full = self.path(p)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb" if binary else "w") as f:
            f.write(data)

    def link(self, p, target):
        full = self.path(p)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if os.path.lexists(full):
            os.remove(full)
        os.symlink(target, full)

    def rel(self, link_path, target_path):
        """A relative link from link_path to target_path, as sysfs writes them."""
        return os.path.relpath(target_path, os.path.dirname(link_path))

    def cpus(self, name, topology, extra="", first_field="model name"):
        blocks = []
        for cpu, (pkg, core) in enumerate(topology):
            base = f"/sys/devices/system/cpu/cpu{cpu}/topology/"
            self.write(base + "physical_package_id", f"{pkg}\n")
            self.write(base + "core_id", f"{core}\n")
            self.write(base + "die_id", "0\n")
            blocks.append(f"processor\t: {cpu}\nvendor_id\t: x\n{first_field}\t: {name}\n"
                          f"physical id\t: {pkg}\ncore id\t\t: {core}\n{extra}")
        self.write("/sys/devices/system/cpu/online", f"0-{len(topology) - 1}\n")
        self.write("/proc/cpuinfo", "\n".join(blocks) + "\n")

    def block(self, name, devpath, majmin, sectors, removable=0, device=None, parts=(),
              serial_file=None, slaves=()):
        """A block device at devpath (under /sys/devices); parts are (name, number, start, size, majmin)."""
        dev_dir = devpath + "/" + name
        self.write(dev_dir + "/dev", majmin + "\n")
        self.write(dev_dir + "/size", f"{sectors}\n")
        self.write(dev_dir + "/removable", f"{removable}\n")
        self.write(dev_dir + "/hidden", "0\n")
        if serial_file:
            self.write(dev_dir + "/serial", serial_file + "\n")
        if device:
            self.link(dev_dir + "/device", self.rel(dev_dir + "/device", device))
        os.makedirs(self.path(dev_dir + "/slaves"), exist_ok=True)
        os.makedirs(self.path(dev_dir + "/holders"), exist_ok=True)
        for s in slaves:
            target = self.find_block(s)
            self.link(dev_dir + "/slaves/" + s, self.rel(dev_dir + "/slaves/" + s, target))
        self.link("/sys/block/" + name, self.rel("/sys/block/" + name, dev_dir))
        self.link("/sys/class/block/" + name, self.rel("/sys/class/block/" + name, dev_dir))
        self.link("/sys/dev/block/" + majmin, self.rel("/sys/dev/block/" + majmin, dev_dir))
        for pname, number, start, size, pmm in parts:
            pdir = dev_dir + "/" + pname
            self.write(pdir + "/partition", f"{number}\n")
            self.write(pdir + "/start", f"{start}\n")
            self.write(pdir + "/size", f"{size}\n")
            self.write(pdir + "/dev", pmm + "\n")
            self.link("/sys/class/block/" + pname, self.rel("/sys/class/block/" + pname, pdir))
            self.link("/sys/dev/block/" + pmm, self.rel("/sys/dev/block/" + pmm, pdir))
        self.blocks = getattr(self, "blocks", {})
        self.blocks[name] = dev_dir
        for pname, *_ in parts:
            self.blocks[pname] = dev_dir + "/" + pname

    def find_block(self, name):
        return self.blocks[name]

    def udev(self, majmin, **props):
        self.write(f"/run/udev/data/b{majmin}", "".join(f"E:{k}={v}\n" for k, v in props.items()))

    def mounts(self, lines):
        # id parent maj:min root mountpoint options - fstype source superoptions
        out = []
        for i, (majmin, root, target, fstype, source) in enumerate(lines):
            out.append(f"{20 + i} 1 {majmin} {root} {target} rw,relatime shared:1 - {fstype} {source} rw")
        self.write("/proc/self/mountinfo", "\n".join(out) + "\n")

    def statvfs(self, rows):
        self.write("/.harvix/statvfs", "".join(f"{m} {s} {f}\n" for m, s, f in rows))


def smbios(structures):
    """A raw SMBIOS table from (type, handle, formatted bytes after the header, strings)."""
    out = b""
    for stype, handle, body, strings in structures:
        out += struct.pack("<BBH", stype, 4 + len(body), handle) + body
        out += (b"".join(s.encode() + b"\0" for s in strings) + b"\0") if strings else b"\0\0"
    return out + struct.pack("<BBH", 127, 4, 0xFFFF) + b"\0\0"


def memory_array(handle, max_kb, devices, use=3, extended_bytes=None):
    body = struct.pack("<BBBIHH", 3, use, 3, max_kb, 0xFFFE, devices)
    if extended_bytes is not None:
        body += struct.pack("<Q", extended_bytes)
    return (16, handle, body, [])


def memory_device(handle, array, size_mb, form, speed, bank, locator, maker, serial, part):
    # Offsets 4..0x1B of a type 17 structure (SMBIOS 2.7 layout, 0x28 long).
    strings = [locator, bank, maker, serial, "Asset", part]
    # 32 GB and more only fit the extended size field.
    short = 0x7FFF if size_mb >= 0x7FFF else size_mb
    body = struct.pack("<HHHHHB", array, 0xFFFE, 64, 64, short, form)
    body += struct.pack("<BBBB", 0, 1, 2, 0x1A)           # set, device locator, bank locator, type
    body += struct.pack("<HH", 0x80, speed)               # type detail, speed
    body += struct.pack("<BBBB", 3, 4, 5, 6)              # manufacturer, serial, asset, part number
    body += struct.pack("<BIHHHH", 2, size_mb if short == 0x7FFF else 0, speed, 1200, 1200, 1200)
    return (17, handle, body, strings)


def laptop():
    t = Tree("laptop")
    t.write("/proc/sys/kernel/hostname", "portable-jd\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.5.0-35-generic\n")
    t.write("/etc/os-release", 'NAME="Ubuntu"\nVERSION="22.04.4 LTS (Jammy Jellyfish)"\n'
            'PRETTY_NAME="Ubuntu 22.04.4 LTS"\nID=ubuntu\n')
    t.write("/etc/hosts", "127.0.0.1 localhost\n127.0.1.1 portable-jd.tarvell.lan portable-jd\n")
    t.write("/etc/resolv.conf", "nameserver 127.0.0.53\nsearch home\n")
    t.cpus("Intel(R) Core(TM) i7-8565U CPU @ 1.80GHz", [(0, i % 4) for i in range(8)])
    t.write("/proc/meminfo", "MemTotal:       16247460 kB\nMemFree:         8000000 kB\n")
    for f, v in {"sys_vendor": "LENOVO", "product_name": "20QDCTO1WW",
                 "product_serial": "PF1XYZ12"}.items():
        t.write("/sys/class/dmi/id/" + f, v + "\n")
    table = smbios([
        memory_array(0x1000, 0x80000000, 3, extended_bytes=64 << 30),
        memory_device(0x1100, 0x1000, 8192, 0x0D, 2667, "BANK 0", "ChannelA-DIMM0", "Samsung",
                      " 12345678 ", "M471A1K43CB1-CTD    "),
        memory_device(0x1101, 0x1000, 0, 0x0D, 0, "BANK 1", "ChannelA-DIMM1", "Unknown", "Unknown", "Unknown"),
        memory_device(0x1102, 0x1000, 8192, 0x0D, 2667, "BANK 2", "ChannelB-DIMM0", "Samsung",
                      "87654321", "M471A1K43CB1-CTD    "),
    ])
    t.write("/sys/firmware/dmi/tables/DMI", table, binary=True)

    nvme_ctrl = "/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0"
    t.write(nvme_ctrl + "/model", "SAMSUNG MZVLB512HAJQ-000L7              \n")
    t.write(nvme_ctrl + "/serial", "S4DYNX0M123456      \n")
    t.block("nvme0n1", nvme_ctrl, "259:0", 1000215216, device=nvme_ctrl, parts=[
        ("nvme0n1p1", 1, 2048, 1048576, "259:1"),
        ("nvme0n1p2", 2, 1050624, 965134336, "259:2"),
        ("nvme0n1p3", 3, 966184960, 34029568, "259:3")])
    usb = "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1"
    t.write(usb + "/idVendor", "0781\n")
    t.write(usb + "/serial", "4C530001230101115392\n")
    scsi = usb + "/2-1:1.0/host0/target0:0:0/0:0:0:0"
    t.write(scsi + "/vendor", "SanDisk \n")
    t.write(scsi + "/model", "Cruzer Blade    \n")
    t.write(scsi + "/type", "0\n")
    t.block("sda", scsi + "/block", "8:0", 60063744, removable=1, device=scsi,
            parts=[("sda1", 1, 2048, 60061696, "8:1")])
    t.block("zram0", "/sys/devices/virtual/block", "252:0", 16000000)
    t.block("loop0", "/sys/devices/virtual/block", "7:0", 130000)

    t.udev("259:0", ID_PART_TABLE_TYPE="gpt")
    t.udev("259:1", ID_FS_TYPE="vfat", ID_FS_LABEL="SYSTEM", ID_FS_LABEL_ENC="SYSTEM",
           ID_PART_ENTRY_SCHEME="gpt", ID_PART_ENTRY_TYPE="c12a7328-f81f-11d2-ba4b-00a0c93ec93b")
    t.udev("259:2", ID_FS_TYPE="ext4", ID_FS_LABEL="racine", ID_FS_LABEL_ENC="racine",
           ID_PART_ENTRY_SCHEME="gpt", ID_PART_ENTRY_TYPE="0fc63daf-8483-4772-8e79-3d69d8477de4")
    t.udev("259:3", ID_FS_TYPE="swap", ID_PART_ENTRY_SCHEME="gpt",
           ID_PART_ENTRY_TYPE="0657fd6d-a4ab-43c4-84e5-0933c84b4f4f")
    t.udev("8:0", ID_PART_TABLE_TYPE="dos")
    t.udev("8:1", ID_FS_TYPE="vfat", ID_FS_LABEL="CLE_USB", ID_FS_LABEL_ENC=r"CLE\x20USB",
           ID_PART_ENTRY_SCHEME="dos", ID_PART_ENTRY_TYPE="0xc")

    t.mounts([
        ("0:22", "/", "/sys", "sysfs", "sysfs"),
        ("0:23", "/", "/proc", "proc", "proc"),
        ("0:25", "/", "/run", "tmpfs", "tmpfs"),
        ("259:2", "/", "/", "ext4", "/dev/nvme0n1p2"),
        ("0:26", "/", "/sys/fs/cgroup", "cgroup2", "cgroup2"),
        ("7:0", "/", "/snap/core22/1380", "squashfs", "/dev/loop0"),
        ("259:1", "/", "/boot/efi", "vfat", "/dev/nvme0n1p1"),
        ("8:1", "/", r"/media/jd/CLE\040USB", "vfat", "/dev/sda1"),
        ("0:50", "/", "/run/user/1000/doc", "fuse.portal", "portal"),
    ])
    t.statvfs([("/", 494384795648, 310000000000), ("/boot/efi", 535805952, 529969152),
               (r"/media/jd/CLE\040USB", 30735196160, 12884901888),
               ("/run", 1663717376, 1660000000), ("/snap/core22/1380", 77725696, 0)])


def server():
    t = Tree("server")
    t.write("/proc/sys/kernel/hostname", "srv-db01.corp.example\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-21-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nNAME="Debian GNU/Linux"\n')
    t.cpus("Intel(R) Xeon(R) Silver 4210 CPU @ 2.20GHz",
           [((i // 10) % 2, i % 10) for i in range(40)])
    t.write("/proc/meminfo", "MemTotal:       131731456 kB\n")
    for f, v in {"sys_vendor": "Dell Inc.", "product_name": "PowerEdge R440",
                 "product_serial": "7XK2B93"}.items():
        t.write("/sys/class/dmi/id/" + f, v + "\n")
    structs = [memory_array(0x1000, 512 * 1048576, 8), memory_array(0x1001, 512 * 1048576, 8),
               memory_array(0x1002, 8192, 1, use=0x04)]  # video memory: not the board's RAM
    for i, (array, bank) in enumerate([(0x1000, "A1"), (0x1000, "A2"), (0x1001, "B1"), (0x1001, "B2")]):
        structs.append(memory_device(0x1100 + i, array, 32768, 0x09, 2933, bank, bank,
                                     "00AD063200AD", f"3A1B2C{i}D", "HMA84GR7CJR4N-WM"))
    structs.append(memory_device(0x1200, 0x1002, 8, 0x09, 100, "VIDEO", "VIDEO", "x", "x", "x"))
    t.write("/sys/firmware/dmi/tables/DMI", smbios(structs), binary=True)

    ata = "/sys/devices/pci0000:00/0000:00:17.0/ata{n}/host{n}/target{n}:0:0/{n}:0:0:0"
    sizes = 3907029168  # 2 TB disks
    parts = {
        "sda": [("sda1", 1, 2048, 1048576, "8:1"), ("sda2", 2, 1050624, 3905976320, "8:2")],
        "sdb": [("sdb1", 1, 2048, 3907025072, "8:17")],
        "sdc": [("sdc1", 1, 2048, 3907025072, "8:33")],
        "sdd": [("sdd1", 1, 2048, 3907025072, "8:49")],
    }
    for n, name in enumerate(["sda", "sdb", "sdc", "sdd"]):
        dev = ata.format(n=n)
        t.write(dev + "/vendor", "ATA     \n")
        t.write(dev + "/model", "ST2000NM0055-1V4\n")
        t.write(dev + "/type", "0\n")
        serial = f"ZC20{n}ABC".encode()
        t.write(dev + "/vpd_pg80", bytes([0, 0x80, 0, len(serial) + 4]) + b"    " + serial, binary=True)
        t.block(name, dev + "/block", f"8:{16 * n}", sizes, device=dev, parts=parts[name])
    t.block("dm-0", "/sys/devices/virtual/block", "253:0", 7812000000, slaves=["sda2", "sdb1"])
    t.block("md0", "/sys/devices/virtual/block", "9:0", 3906762752, slaves=["sdc1", "sdd1"])
    t.link("/dev/mapper/vg0-root", "../dm-0")
    for mm, table in [("8:0", "gpt"), ("8:16", "gpt"), ("8:32", "dos"), ("8:48", "dos")]:
        t.udev(mm, ID_PART_TABLE_TYPE=table)
    t.udev("8:1", ID_FS_TYPE="vfat", ID_PART_ENTRY_SCHEME="gpt",
           ID_PART_ENTRY_TYPE="c12a7328-f81f-11d2-ba4b-00a0c93ec93b")
    for mm in ["8:2", "8:17"]:
        t.udev(mm, ID_FS_TYPE="LVM2_member", ID_PART_ENTRY_SCHEME="gpt",
               ID_PART_ENTRY_TYPE="e6d6d379-f507-44c2-a23c-238f2a3df928")
    for mm in ["8:33", "8:49"]:
        t.udev(mm, ID_FS_TYPE="linux_raid_member", ID_PART_ENTRY_SCHEME="dos", ID_PART_ENTRY_TYPE="0xfd")
    t.udev("253:0", ID_FS_TYPE="ext4", ID_FS_LABEL="root", ID_FS_LABEL_ENC="root")
    t.udev("9:0", ID_FS_TYPE="xfs", ID_FS_LABEL="donnees", ID_FS_LABEL_ENC="donnees")
    t.mounts([
        ("0:21", "/", "/proc", "proc", "proc"),
        ("253:0", "/", "/", "ext4", "/dev/mapper/vg0-root"),
        ("8:1", "/", "/boot/efi", "vfat", "/dev/sda1"),
        ("9:0", "/exports", "/export/data", "xfs", "/dev/md0"),
        ("9:0", "/", "/srv/data", "xfs", "/dev/md0"),
        ("0:55", "/", "/mnt/backup", "nfs4", "backup.corp.example:/vol/backup"),
        ("0:24", "/", "/dev/shm", "tmpfs", "tmpfs"),
        ("0:60", "/", "/var/lib/docker/overlay2/abc/merged", "overlay", "overlay"),
    ])
    t.statvfs([("/", 3936551763968, 3000000000000), ("/boot/efi", 535805952, 529969152),
               ("/srv/data", 2000054476800, 500013619200), ("/export/data", 1, 1),
               ("/dev/shm", 67446505472, 67446505472)])


def vm():
    t = Tree("vm")
    t.write("/proc/sys/kernel/hostname", "vm\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-28-cloud-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\n')
    t.write("/etc/resolv.conf", "nameserver 10.0.0.2\n")
    t.cpus("AMD EPYC", [(0, 0), (0, 1)])
    t.write("/proc/meminfo", "MemTotal:       24683716 kB\n")
    virtio = "/sys/devices/pci0000:00/0000:00:05.0/virtio2"
    t.write(virtio + "/vendor", "0x1af4\n")
    t.block("vda", virtio + "/block", "254:0", 536870912, device=virtio, serial_file="13566366124652669")
    t.block("zram0", "/sys/devices/virtual/block", "253:0", 0)
    t.mounts([
        ("0:20", "/", "/proc", "proc", "proc"),
        ("0:21", "/", "/sys", "sysfs", "sysfs"),
        ("0:6", "/", "/dev", "devtmpfs", "devtmpfs"),
        ("0:22", "/", "/dev/shm", "tmpfs", "tmpfs"),
        ("254:0", "/", "/", "ext4", "/dev/vda"),
        ("0:27", "/", "/sys/fs/cgroup", "tmpfs", "tmpfs"),
    ])
    t.statvfs([("/", 270553174016, 84865699840), ("/dev/shm", 12639342592, 12639342592),
               ("/sys/fs/cgroup", 12639342592, 12639342592)])


def container():
    """A desktop's storage seen by a normal user in a container: no udev records,
    no access to /dev, a loop-mounted disk image, a snap and a bind mount."""
    t = Tree("container")
    t.write("/proc/sys/kernel/hostname", "ctr\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.8.0-45-generic\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Ubuntu 24.04.1 LTS"\n')
    t.cpus("AMD Ryzen 7 5800U with Radeon Graphics", [(0, i // 2) for i in range(16)])
    t.write("/proc/meminfo", "MemTotal:       32594412 kB\n")
    ctrl = "/sys/devices/pci0000:00/0000:00:02.4/0000:02:00.0/nvme/nvme0"
    t.write(ctrl + "/model", "WD PC SN530 SDBPNPZ-512G-1006\n")
    t.write(ctrl + "/serial", "21234B801234\n")
    t.block("nvme0n1", ctrl, "259:0", 1000215216, device=ctrl, parts=[
        ("nvme0n1p1", 1, 2048, 1048576, "259:1"),
        ("nvme0n1p2", 2, 1050624, 999161856, "259:2")])
    virt = "/sys/devices/virtual/block"
    t.block("loop3", virt, "7:3", 41943040)
    t.write(virt + "/loop3/loop/backing_file", "/home/dev/VMs/build cache.img\n")
    t.write(virt + "/loop3/ro", "0\n")
    t.block("loop4", virt, "7:4", 151232)
    t.write(virt + "/loop4/loop/backing_file", "/var/lib/snapd/snaps/core22_1380.snap\n")
    t.write(virt + "/loop4/ro", "1\n")
    t.block("loop5", virt, "7:5", 0)  # unbound
    t.block("zram0", virt, "252:0", 16000000)
    t.mounts([
        ("0:23", "/", "/proc", "proc", "proc"),
        ("259:2", "/", "/", "ext4", "/dev/nvme0n1p2"),
        ("259:1", "/", "/boot/efi", "vfat", "/dev/nvme0n1p1"),
        ("259:2", "/home/dev/projects", "/p", "ext4", "/dev/nvme0n1p2"),
        ("7:3", "/", "/srv/cache", "ext4", "/dev/loop3"),
        ("7:3", "/shared", "/s", "ext4", "/dev/loop3"),
        ("7:4", "/", "/snap/core22/1380", "squashfs", "/dev/loop4"),
        ("252:0", "/", "/var/tmp/zram", "ext4", "/dev/zram0"),
    ])
    t.statvfs([("/", 511570870272, 211570870272), ("/boot/efi", 535805952, 529969152),
               ("/p", 511570870272, 211570870272), ("/srv/cache", 21003583488, 20003583488),
               ("/s", 21003583488, 20003583488), ("/snap/core22/1380", 77725696, 0),
               ("/var/tmp/zram", 8000000000, 7000000000)])


def escaped():
    """Mount points holding a double quote, a backslash and a blank."""
    t = Tree("escaped")
    t.write("/proc/sys/kernel/hostname", "atelier\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-21-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\n')
    t.cpus("Intel(R) Core(TM) i5-4590 CPU @ 3.30GHz", [(0, i) for i in range(4)])
    t.write("/proc/meminfo", "MemTotal:       8046132 kB\n")
    dev = "/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0"
    t.write(dev + "/vendor", "ATA     \n")
    t.write(dev + "/model", "WDC WD10EZEX-08W\n")
    t.write(dev + "/type", "0\n")
    t.block("sda", dev + "/block", "8:0", 1953525168, device=dev, parts=[
        ("sda1", 1, 2048, 209715200, "8:1"),
        ("sda2", 2, 209717248, 209715200, "8:2"),
        ("sda3", 3, 419432448, 2, "8:3"),
        ("sda5", 5, 419434496, 1534089216, "8:5")])
    t.udev("8:0", ID_PART_TABLE_TYPE="dos")
    for mm, label, code in [("8:1", "Photos", "0x7"), ("8:2", "Sauvegarde", "0x83"),
                            ("8:3", None, "0x5"), ("8:5", "Vidéos", "0x83")]:
        props = {"ID_PART_ENTRY_SCHEME": "dos", "ID_PART_ENTRY_TYPE": code}
        if label:
            props.update(ID_FS_TYPE="ext4", ID_FS_LABEL=label,
                         ID_FS_LABEL_ENC=label.replace("é", "\\xc3\\xa9"))
        t.udev(mm, **props)
    t.mounts([
        ("0:21", "/", "/proc", "proc", "proc"),
        ("8:1", "/", '/media/a"b', "ext4", "/dev/sda1"),
        ("8:2", "/", r"/mnt/a\134b", "ext4", "/dev/sda2"),
        ("8:5", "/", r"/mnt/with\040blank", "ext4", "/dev/sda5"),
    ])
    t.statvfs([('/media/a"b', 105089261568, 5089261568), (r"/mnt/a\134b", 105089261568, 100000000000),
               (r"/mnt/with\040blank", 771516203008, 271516203008)])


MACHINES = {"laptop": laptop, "server": server, "vm": vm, "container": container, "escaped": escaped}

if __name__ == "__main__":
    for name in sys.argv[1:] or MACHINES:
        MACHINES[name]()
    sys.exit(0)
