#!/usr/bin/env python3
"""Writes the machine trees the provider tests replay: the files a laptop, a
two-socket server and a small VM show under /proc, /sys, /etc and /run/udev,
with their firmware, TPM, time zone and dpkg database.

Run it again after changing a machine below; the trees are committed as files.
"""
import os
import shutil
import struct
import sys

sys.dont_write_bytecode = True  # the trees folder holds trees only
HERE = os.path.dirname(os.path.abspath(__file__))
EFIVARS = "/sys/firmware/efi/efivars"
INTEL_FLAGS = ("fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush "
               "dts acpi mmx fxsr sse sse2 ss ht tm pbe syscall nx lm constant_tsc pni")
AMD_FLAGS = ("fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush "
             "mmx fxsr sse sse2 ht syscall nx mmxext lm pni")


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

    def cpus(self, name, topology, extra="", first_field="model name", ident=None, khz=None):
        """ident: (vendor, family, model, stepping, flags); khz: (max, current) per CPU."""
        vendor, ident_lines = "x", ""
        if ident:
            vendor, family, model, stepping, flags = ident
            ident_lines = (f"cpu family\t: {family}\nmodel\t\t: {model}\nstepping\t: {stepping}\n"
                           f"cpu MHz\t\t: {khz[1] / 1000 if khz else 2000:.3f}\nflags\t\t: {flags}\n")
        blocks = []
        for cpu, (pkg, core) in enumerate(topology):
            base = f"/sys/devices/system/cpu/cpu{cpu}/topology/"
            self.write(base + "physical_package_id", f"{pkg}\n")
            self.write(base + "core_id", f"{core}\n")
            self.write(base + "die_id", "0\n")
            if khz:
                freq = f"/sys/devices/system/cpu/cpu{cpu}/cpufreq/"
                self.write(freq + "cpuinfo_max_freq", f"{khz[0]}\n")
                self.write(freq + "scaling_cur_freq", f"{khz[1]}\n")
            blocks.append(f"processor\t: {cpu}\nvendor_id\t: {vendor}\n{ident_lines}{first_field}\t: {name}\n"
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

    def mtime(self, p, seconds):
        """Git keeps no file times: the provider reads a tree's from /.harvix/mtime."""
        os.makedirs(self.path("/.harvix"), exist_ok=True)
        with open(self.path("/.harvix/mtime"), "a") as f:
            f.write(f"{seconds} {p}\n")

    def dmi(self, **fields):
        for f, v in fields.items():
            self.write("/sys/class/dmi/id/" + f, v + "\n")

    def efi(self, secure_boot=None, db_2023=None):
        """UEFI firmware. secure_boot: 1, 0 or None (variable absent, or efivars
        not mounted when db_2023 is "unmounted")."""
        self.write("/sys/firmware/efi/fw_platform_size", "64\n")
        if db_2023 == "unmounted":
            return
        attrs = struct.pack("<I", 6)  # boot service + runtime access
        self.write(EFIVARS + "/BootCurrent-8be4df61-93ca-11d2-aa0d-00e098032b8c",
                   attrs + b"\x01\x00", binary=True)
        if secure_boot is not None:
            self.write(EFIVARS + "/SecureBoot-8be4df61-93ca-11d2-aa0d-00e098032b8c",
                       attrs + bytes([secure_boot]), binary=True)
        if db_2023 is not None:
            certs = [b"Microsoft Corporation UEFI CA 2011", b"Microsoft Windows Production PCA 2011"]
            if db_2023:
                certs.append(b"Windows UEFI CA 2023")
            self.write(EFIVARS + "/db-d719b2cb-3d3a-4596-a3bc-dad00e67656f",
                       struct.pack("<I", 7) + b"".join(b"\x30\x82\x05\x00" + c for c in certs),
                       binary=True)

    def tpm(self, major=None, caps=None):
        base = "/sys/devices/pnp0/00:05/tpm/tpm0"
        if major is not None:
            self.write(base + "/tpm_version_major", f"{major}\n")
        if caps:
            self.write("/sys/devices/pnp0/00:05/caps", caps)
        self.link(base + "/device", "../..")
        self.link("/sys/class/tpm/tpm0", self.rel("/sys/class/tpm/tpm0", base))

    def msr(self, platform_id):
        """cpu0's IA32_PLATFORM_ID (MSR 0x17) as root reads it from /dev/cpu/0/msr: the
        register's 8 bytes at the offset of its number, the id in bits 52:50."""
        self.write("/dev/cpu/0/msr", bytes(0x17) + struct.pack("<Q", platform_id << 50), binary=True)

    def acpi(self, *devices):
        for d in devices:
            self.write("/sys/bus/acpi/devices/" + d + "/hid", d.split(":")[0] + "\n")

    def os_details(self, zone, btime, installed=None, timezone_file=False):
        """The zone's rules are copied from this machine's tzdata."""
        self.write("/proc/stat", f"cpu  1 2 3 4\nbtime {btime}\nprocesses 4242\n")
        zone_file = "/usr/share/zoneinfo/" + zone
        with open(zone_file, "rb") as f:
            self.write(zone_file, f.read(), binary=True)
        self.link("/etc/localtime", self.rel("/etc/localtime", zone_file))
        if timezone_file:
            self.write("/etc/timezone", zone + "\n")
        if installed is not None:
            for name, offset in (("syslog", 0), ("status", 120), ("hardware-summary", 60)):
                self.write("/var/log/installer/" + name, "")
                self.mtime("/var/log/installer/" + name, installed + offset)

    def dpkg(self, stanzas, times, newline="\n"):
        """stanzas: dpkg status paragraphs; times: {list file name: seconds}."""
        self.write("/var/lib/dpkg/status", newline.join(
            line for st in stanzas for line in st.strip("\n").split("\n") + [""]), binary=False)
        for name, seconds in times.items():
            self.write("/var/lib/dpkg/info/" + name, "/.\n/usr\n")
            self.mtime("/var/lib/dpkg/info/" + name, seconds)


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


def memory_device(handle, array, size_mb, form, speed, bank, locator, maker, serial, part,
                  mem_type=0x1A):
    # Offsets 4..0x1B of a type 17 structure (SMBIOS 2.7 layout, 0x28 long).
    strings = [locator, bank, maker, serial, "Asset", part]
    # 32 GB and more only fit the extended size field.
    short = 0x7FFF if size_mb >= 0x7FFF else size_mb
    body = struct.pack("<HHHHHB", array, 0xFFFE, 64, 64, short, form)
    body += struct.pack("<BBBB", 0, 1, 2, mem_type)       # set, device locator, bank locator, type
    body += struct.pack("<HH", 0x80, speed)               # type detail, speed
    body += struct.pack("<BBBB", 3, 4, 5, 6)              # manufacturer, serial, asset, part number
    body += struct.pack("<BIHHHH", 2, size_mb if short == 0x7FFF else 0, speed, 1200, 1200, 1200)
    return (17, handle, body, strings)


def package(name, version, arch="amd64", status="install ok installed", multi_arch=None,
            maintainer="Debian Maintainers <debian-devel@lists.debian.org>"):
    lines = [f"Package: {name}", f"Status: {status}", "Priority: optional", "Section: misc",
             "Installed-Size: 1024", f"Maintainer: {maintainer}", f"Architecture: {arch}"]
    if multi_arch:
        lines.append(f"Multi-Arch: {multi_arch}")
    lines += [f"Version: {version}", "Depends: libc6 (>= 2.34)",
              f"Description: the {name} package", " A longer description, on a",
              " continuation line.", " .", " Version: 0.0 (not a field)"]
    return "\n".join(lines) + "\n"


def processor_socket(external_mhz, max_mhz, cpuid):
    """A type 4 structure up to its upgrade field (SMBIOS 2.0 layout)."""
    body = struct.pack("<BBBBQBBHHHBB", 1, 3, 0xC6, 2, cpuid, 3, 0, external_mhz, max_mhz,
                       max_mhz, 0x41, 1)
    return (4, 0x0400, body, ["CPU0", "Intel(R) Corporation", "Intel(R) Core(TM)"])


def laptop():
    t = Tree("laptop")
    t.write("/proc/sys/kernel/hostname", "portable-jd\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.5.0-35-generic\n")
    t.write("/etc/os-release", 'NAME="Ubuntu"\nVERSION="22.04.4 LTS (Jammy Jellyfish)"\n'
            'PRETTY_NAME="Ubuntu 22.04.4 LTS"\nID=ubuntu\n')
    t.write("/etc/hosts", "127.0.0.1 localhost\n127.0.1.1 portable-jd.tarvell.lan portable-jd\n")
    t.write("/etc/resolv.conf", "nameserver 127.0.0.53\nsearch home\n")
    t.cpus("Intel(R) Core(TM) i7-8565U CPU @ 1.80GHz", [(0, i % 4) for i in range(8)],
           ident=("GenuineIntel", 6, 142, 12, INTEL_FLAGS), khz=(4600000, 1800000))
    t.write("/proc/meminfo", "MemTotal:       16247460 kB\nMemFree:         8000000 kB\n")
    for f, v in {"sys_vendor": "LENOVO", "product_name": "20QDCTO1WW",
                 "product_serial": "PF1XYZ12"}.items():
        t.write("/sys/class/dmi/id/" + f, v + "\n")
    t.dmi(bios_vendor="LENOVO", bios_version="N2IET98W (1.76 )", bios_date="11/02/2023",
          chassis_type="10", chassis_vendor="LENOVO", chassis_serial="PF1XYZ12",
          board_vendor="LENOVO", board_name="20QDCTO1WW", board_serial="L1HF94Y00AB",
          product_uuid="4c4c4544-0042-3510-8052-b4c04f4e3232")
    t.efi(secure_boot=1, db_2023=False)
    t.tpm(major=2)
    t.os_details("Europe/Paris", btime=1733729400, installed=1713254400)
    t.dpkg([package("base-files", "12ubuntu4.6", maintainer="Ubuntu Developers <ubuntu-devel-discuss@lists.ubuntu.com>"),
            package("libc6", "2.35-0ubuntu3.8", multi_arch="same"),
            package("libc6", "2.35-0ubuntu3.8", arch="i386", multi_arch="same"),
            package("firefox", "1:1snap1-0ubuntu2", status="hold ok installed"),
            package("oldpkg", "0.9-1", status="deinstall ok config-files"),
            package("tzdata", "2024a-0ubuntu0.22.04", arch="all", multi_arch="foreign")],
           {"base-files.list": 1713254460, "libc6:amd64.list": 1730000000,
            "libc6:i386.list": 1730003600, "firefox.list": 1720000000, "tzdata.list": 1713254500})
    table = smbios([
        processor_socket(100, 4600, 0xBFEBFBFF000806EC),
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
    return t


def server():
    t = Tree("server")
    t.write("/proc/sys/kernel/hostname", "srv-db01.corp.example\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-21-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nNAME="Debian GNU/Linux"\n')
    t.cpus("Intel(R) Xeon(R) Silver 4210 CPU @ 2.20GHz",
           [((i // 10) % 2, i % 10) for i in range(40)],
           ident=("GenuineIntel", 6, 85, 7, INTEL_FLAGS), khz=(3200000, 2200000))
    t.write("/proc/meminfo", "MemTotal:       131731456 kB\n")
    for f, v in {"sys_vendor": "Dell Inc.", "product_name": "PowerEdge R440",
                 "product_serial": "7XK2B93"}.items():
        t.write("/sys/class/dmi/id/" + f, v + "\n")
    t.dmi(bios_vendor="Dell Inc.", bios_version="2.19.1", bios_date="06/05/2023",
          chassis_type="23", chassis_vendor="Dell Inc.", chassis_serial="7XK2B93",
          board_vendor="Dell Inc.", board_name="0CR5D1", board_serial="/7XK2B93/CNCMK0012K0042/",
          product_uuid="4C4C4544-0058-4B10-8032-B7C04F423933")
    t.efi(secure_boot=0, db_2023=True)
    t.tpm(major=2)
    t.os_details("Etc/UTC", btime=1730419200, installed=1686000000, timezone_file=True)
    t.dpkg([package("base-files", "12.4+deb12u7"), package("postgresql-15", "15.8-0+deb12u1",
            maintainer="Debian PostgreSQL Maintainers <team+postgresql@tracker.debian.org>")],
           {"base-files.list": 1686000100, "postgresql-15.list": 1725000000})
    structs = [processor_socket(100, 4000, 0xBFEBFBFF00050657),
               memory_array(0x1000, 512 * 1048576, 8), memory_array(0x1001, 512 * 1048576, 8),
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
    return t


def vm():
    t = Tree("vm")
    t.write("/proc/sys/kernel/hostname", "vm\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-28-cloud-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\n')
    t.write("/etc/resolv.conf", "nameserver 10.0.0.2\n")
    t.cpus("AMD EPYC", [(0, 0), (0, 1)], ident=("AuthenticAMD", 23, 49, 0, AMD_FLAGS))
    t.dmi(bios_vendor="SeaBIOS", bios_version="1.16.2-debian-1.16.2-1", bios_date="04/01/2014",
          chassis_type="1", chassis_vendor="QEMU", board_vendor="")
    t.acpi("LNXSYSTM:00", "PNP0A03:00", "PNP0303:00", "QEMU0002:00")
    t.os_details("Etc/UTC", btime=1733700000)
    t.dpkg([package("base-files", "12.4+deb12u8")], {})
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
    return t


def smallvm():
    """A 4 GiB VM showing 3.8 GiB, its memory modules out of sight (no SMBIOS table):
    Windows 11's RAM criterion cannot be told from the visible total."""
    t = Tree("smallvm")
    t.write("/proc/sys/kernel/hostname", "smallvm\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.12.38+deb13-cloud-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 13 (trixie)"\nVERSION_ID="13"\n')
    t.cpus("AMD EPYC 7B13", [(0, 0), (0, 1)], ident=("AuthenticAMD", 25, 1, 0, AMD_FLAGS))
    t.dmi(bios_vendor="SeaBIOS", bios_version="1.16.3-debian-1.16.3-2", bios_date="04/01/2014",
          chassis_type="1", chassis_vendor="QEMU")
    t.efi(secure_boot=1, db_2023=True)
    t.tpm(major=2)
    t.os_details("Etc/UTC", btime=1733700000)
    t.dpkg([package("base-files", "13.8")], {})
    t.write("/proc/meminfo", "MemTotal:        4015104 kB\n")
    virtio = "/sys/devices/pci0000:00/0000:00:05.0/virtio2"
    t.write(virtio + "/vendor", "0x1af4\n")
    t.block("vda", virtio + "/block", "254:0", 134217728, device=virtio, serial_file="4652669")
    t.mounts([("0:20", "/", "/proc", "proc", "proc"), ("254:0", "/", "/", "ext4", "/dev/vda")])
    t.statvfs([("/", 67108864000, 40000000000)])
    return t


def container():
    """A desktop's storage seen by a normal user in a container: no udev records,
    no access to /dev, a loop-mounted disk image, a snap and a bind mount."""
    t = Tree("container")
    t.write("/proc/sys/kernel/hostname", "ctr\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.8.0-45-generic\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Ubuntu 24.04.1 LTS"\n')
    t.cpus("AMD Ryzen 7 5800U with Radeon Graphics", [(0, i // 2) for i in range(16)],
           ident=("AuthenticAMD", 25, 80, 0, AMD_FLAGS), khz=(4505000, 1900000))
    t.efi(db_2023="unmounted")
    t.os_details("Europe/Paris", btime=1733740000)
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
    return t


def escaped():
    """Mount points holding a double quote, a backslash and a blank."""
    t = Tree("escaped")
    t.write("/proc/sys/kernel/hostname", "atelier\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-21-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\n')
    t.cpus("Intel(R) Core(TM) i5-4590 CPU @ 3.30GHz", [(0, i) for i in range(4)],
           ident=("GenuineIntel", 6, 60, 3, INTEL_FLAGS), khz=(3700000, 3300000))
    t.dmi(bios_vendor="American Megatrends Inc.", bios_version="2.10", bios_date="12/15/2014",
          chassis_type="3", board_vendor="ASUSTeK COMPUTER INC.", board_name="H97M-E")
    t.tpm(major=1, caps="Manufacturer: 0x53544D20\nTCG version: 1.2\nFirmware version: 13.12\n")
    t.os_details("America/Sao_Paulo", btime=1733750000, installed=1420070400, timezone_file=True)
    t.dpkg([package("base-files", "12.4+deb12u5"), package("vim", "2:9.0.1378-2")],
           {"vim.list": 1700000000}, newline="\r\n")
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
    return t


def small_machine(name, host, cpu_name, ident, khz, cores, modules, disk):
    """cores: the core of each logical CPU, in order."""
    """The common part of the machines below: one package, memory, one disk, "/" on it."""
    t = Tree(name)
    t.write("/proc/sys/kernel/hostname", host + "\n")
    t.write("/proc/sys/kernel/arch", "x86_64\n")
    t.write("/proc/sys/kernel/osrelease", "6.1.0-27-amd64\n")
    t.write("/etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nNAME="Debian GNU/Linux"\n'
            'VERSION_ID="12"\nVERSION="12 (bookworm)"\nID=debian\n')
    t.cpus(cpu_name, [(0, core) for core in cores], ident=ident, khz=khz)
    total_mb = sum(m[0] for m in modules)
    t.write("/proc/meminfo", f"MemTotal:       {total_mb * 1024 - 262144} kB\n")
    structs = [memory_array(0x1000, 64 * 1048576, len(modules))]
    for i, (size_mb, speed, mem_type) in enumerate(modules):
        structs.append(memory_device(0x1100 + i, 0x1000, size_mb, 0x0D, speed, f"BANK {i}",
                                     f"Controller0-ChannelA-DIMM{i}", "Micron", f"2B7C{i}A11",
                                     "MTC8C1084S1SC48BA1", mem_type=mem_type))
    t.write("/sys/firmware/dmi/tables/DMI", smbios(structs), binary=True)
    model, sectors = disk
    ctrl = "/sys/devices/pci0000:00/0000:00:06.0/0000:02:00.0/nvme/nvme0"
    t.write(ctrl + "/model", model + "\n")
    t.write(ctrl + "/serial", "2231E5F2A1B3\n")
    t.block("nvme0n1", ctrl, "259:0", sectors, device=ctrl, parts=[
        ("nvme0n1p1", 1, 2048, 1048576, "259:1"), ("nvme0n1p2", 2, 1050624, sectors - 1052672, "259:2")])
    t.udev("259:0", ID_PART_TABLE_TYPE="gpt")
    t.udev("259:1", ID_FS_TYPE="vfat", ID_PART_ENTRY_SCHEME="gpt",
           ID_PART_ENTRY_TYPE="c12a7328-f81f-11d2-ba4b-00a0c93ec93b")
    t.udev("259:2", ID_FS_TYPE="ext4", ID_PART_ENTRY_SCHEME="gpt",
           ID_PART_ENTRY_TYPE="0fc63daf-8483-4772-8e79-3d69d8477de4")
    t.mounts([("0:23", "/", "/proc", "proc", "proc"), ("259:2", "/", "/", "ext4", "/dev/nvme0n1p2"),
              ("259:1", "/", "/boot/efi", "vfat", "/dev/nvme0n1p1")])
    t.statvfs([("/", (sectors - 1052672) * 512, 120000000000), ("/boot/efi", 535805952, 529969152)])
    t.dpkg([package("base-files", "12.4+deb12u8")], {"base-files.list": 1700000000})
    return t


def win11laptop():
    """A recent laptop Windows 11 would take: UEFI, Secure Boot on, TPM 2.0, 12th gen Intel."""
    t = small_machine("win11laptop", "pc-w11", "12th Gen Intel(R) Core(TM) i7-1260P",
                      ("GenuineIntel", 6, 154, 3, INTEL_FLAGS), (4700000, 2100000),
                      [c // 2 for c in range(8)] + list(range(4, 12)),
                      [(8192, 4800, 0x22), (8192, 4800, 0x22)],
                      ("Micron 2450 NVMe 512GB", 1000215216))
    t.dmi(sys_vendor="Dell Inc.", product_name="Latitude 5430", product_serial="9QH2KQ3",
          product_uuid="4c4c4544-0051-4810-8032-b9c04f4b5133", bios_vendor="Dell Inc.",
          bios_version="1.21.0", bios_date="03/12/2024", chassis_type="10",
          chassis_vendor="Dell Inc.", chassis_serial="9QH2KQ3", board_vendor="Dell Inc.",
          board_name="0M3JX4", board_serial="/9QH2KQ3/CNWSC0024B00QK/")
    t.efi(secure_boot=1, db_2023=True)
    t.tpm(major=2)
    t.os_details("Asia/Tokyo", btime=1733702400, installed=1709251200, timezone_file=True)
    return t


def legacytpm12():
    """A 2014 desktop: legacy BIOS boot, a TPM 1.2, 4th gen Intel, DDR3."""
    t = small_machine("legacytpm12", "pc-2014", "Intel(R) Core(TM) i5-4590 CPU @ 3.30GHz",
                      ("GenuineIntel", 6, 60, 3, INTEL_FLAGS), (3700000, 3300000), range(4),
                      [(4096, 1600, 0x18), (4096, 1600, 0x18)],
                      ("SAMSUNG MZVLB256HAHQ-00000", 500118192))
    t.dmi(sys_vendor="Hewlett-Packard", product_name="HP EliteDesk 800 G1 SFF",
          bios_vendor="Hewlett-Packard", bios_version="L01 v02.75", bios_date="05/04/2018",
          chassis_type="4", chassis_vendor="Hewlett-Packard", board_vendor="Hewlett-Packard",
          board_name="18E7")
    t.tpm(caps="Manufacturer: 0x49465800\nTCG version: 1.2\nFirmware version: 3.19\n")
    t.os_details("Etc/UTC", btime=1733702400, installed=1500000000)
    return t


def notroot():
    """A machine whose TPM, EFI variables and UUID only root may read: the test
    copies it and takes the rights away (git keeps no modes)."""
    t = small_machine("notroot", "pc-user", "Intel(R) Core(TM) i5-10310U CPU @ 1.70GHz",
                      ("GenuineIntel", 6, 142, 12, INTEL_FLAGS), (4400000, 1700000),
                      [c // 2 for c in range(8)],
                      [(8192, 2667, 0x1A)], ("KXG60ZNV256G TOSHIBA", 500118192))
    t.dmi(sys_vendor="LENOVO", product_name="20R1S0BK00", product_uuid="5f3b2c10-2a4b-11b2-a85c-d2a4c1e8b7f0",
          product_serial="PC1ABCDE", bios_vendor="LENOVO", bios_version="N2VET39W (1.24 )",
          bios_date="09/27/2022", chassis_type="10")
    t.efi(secure_boot=1, db_2023=False)
    t.tpm(major=2)
    t.os_details("Etc/UTC", btime=1733702400)
    return t


def stepping9(name, host, cpu_name, model, maker, product, platform_id):
    """A Kaby Lake era laptop Windows 11 takes on everything but, maybe, its processor:
    family 6, model 142 or 158, stepping 9, told apart by the platform id."""
    t = small_machine(name, host, cpu_name, ("GenuineIntel", 6, model, 9, INTEL_FLAGS),
                      (3900000, 2900000), [c // 2 for c in range(8)],
                      [(8192, 2400, 0x1A)], ("SAMSUNG MZVLB256HAHQ-00000", 500118192))
    t.dmi(sys_vendor=maker, product_name=product, bios_vendor=maker, bios_version="1.30.0",
          bios_date="06/11/2023", chassis_type="10", chassis_vendor=maker)
    t.efi(secure_boot=1, db_2023=False)
    t.tpm(major=2)
    t.os_details("Europe/Paris", btime=1733702400)
    if platform_id is not None:
        t.msr(platform_id)
    return t


def amberlake():
    """An 8th generation i5-8200Y: platform id 4, which Windows keeps as 16."""
    return stepping9("amberlake", "pc-aml", "Intel(R) Core(TM) i5-8200Y CPU @ 1.30GHz", 142,
                     "LENOVO", "20KD", 4)


def kabylake():
    """A 7th generation i7-7700HQ whose platform id only root may read (no msr module)."""
    return stepping9("kabylake", "pc-kbl", "Intel(R) Core(TM) i7-7700HQ CPU @ 2.80GHz", 158,
                     "HP", "HP ZBook Studio G4", None)


def precision5520():
    """The i7-7820HQ, 7th generation by its platform id, on one of the two computers
    Microsoft supports it on."""
    return stepping9("precision5520", "pc-p5520", "Intel(R) Core(TM) i7-7820HQ CPU @ 2.90GHz", 158,
                     "Dell Inc.", "Precision 5520", 1)




def whitebox(number):
    """One of a room of identical cheap desktops: the board maker's placeholders as serial,
    maker and model, and the UUID many boards share; only the name and the network card
    tell them apart."""
    def record():
        name = "whitebox%d" % number
        t = small_machine(name, "salle-b-pc%d" % number, "Intel(R) Core(TM) i3-9100 CPU @ 3.60GHz",
                          ("GenuineIntel", 6, 158, 11, INTEL_FLAGS), (4200000, 3600000), range(4),
                          [(8192, 2400, 0x1A)], ("KINGSTON SA400S37240G", 468862128))
        t.dmi(sys_vendor="To Be Filled By O.E.M.", product_name="To Be Filled By O.E.M.",
              product_serial="Default string", product_uuid="03000200-0400-0500-0006-000700080009",
              bios_vendor="American Megatrends Inc.", bios_version="P1.40", bios_date="09/03/2019",
              chassis_type="3", chassis_vendor="Default string", chassis_serial="Default string",
              board_vendor="ASRock", board_name="H310CM-HDV", board_serial="Default string")
        t.efi(secure_boot=1, db_2023=False)
        t.tpm(major=2)
        t.os_details("Europe/Paris", btime=1733702400)
        import record_devices
        device = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0"
        record_devices.netdev(t, "enp3s0", "70:85:c2:4e:10:%02x" % (0x30 + number), "ethernet", "up",
                              1500, 2, speed=1000, device=device, driver="r8169")
        return t
    return record


MACHINES = {"laptop": laptop, "server": server, "vm": vm, "container": container, "escaped": escaped,
            "win11laptop": win11laptop, "legacytpm12": legacytpm12, "notroot": notroot,
            "smallvm": smallvm, "amberlake": amberlake, "kabylake": kabylake, "precision5520": precision5520}
MACHINES.update({"whitebox%d" % n: whitebox(n) for n in range(1, 5)})

if __name__ == "__main__":
    try:
        import record_devices  # network, monitors, graphics and disks, recorded apart
    except ImportError:
        record_devices = None
    for name in sys.argv[1:] or MACHINES:
        tree = MACHINES[name]()
        if record_devices:
            record_devices.add(tree, name)
    sys.exit(0)
