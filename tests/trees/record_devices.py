#!/usr/bin/env python3
"""Adds the devices of the recorded machines: network interfaces (sysfs, the
addresses in /.harvix/ifaddrs, the routing tables, lease files), display
controllers on PCI, monitors behind DRM connectors with their EDID, disk
firmware and rotation, and a LUKS-encrypted volume on the server.

record.py calls add(tree, name) for each machine it writes; run alone, this
adds the devices to the committed trees in place.
"""
import os
import struct
import sys

import record

HERE = os.path.dirname(os.path.abspath(__file__))


def edid(maker, product, serial, descriptors, year=2019, week=12):
    """An EDID 1.4 base block; descriptors are (tag, text) display descriptors
    after one detailed timing (1920x1080 at 60 Hz)."""
    code = 0
    for c in maker:
        code = (code << 5) | (ord(c) - ord("A") + 1)
    out = bytes([0, 255, 255, 255, 255, 255, 255, 0])
    out += struct.pack(">H", code) + struct.pack("<HI", product, serial)
    out += bytes([week, year - 1990, 1, 4, 0xA5, 0x35, 0x1E, 0x78, 0x3A])
    out += bytes([0xE5, 0x15, 0xA5, 0x56, 0x4E, 0x9D, 0x25, 0x0E, 0x50, 0x54])  # chromaticity
    out += bytes([0x21, 0x08, 0x00]) + bytes([0xD1, 0xC0] + [1, 1] * 7)      # timings
    out += bytes.fromhex("023a801871382d40582c45000f282100001e")
    for tag, text in descriptors[:3]:
        body = text.encode()[:13]
        body += b"\n" + b" " * (12 - len(body)) if len(body) < 13 else b""
        out += bytes([0, 0, 0, tag, 0]) + body
    out += bytes([0, 0, 0, 0x10, 0] + [0] * 13) * (3 - len(descriptors[:3]))
    out += bytes([0])  # no extension block
    return out + bytes([(256 - sum(out) % 256) % 256])


def netdev(t, name, mac, kind, state, mtu, ifindex, speed=None, device=None, driver=None):
    """An interface of /sys/class/net; kind is "ethernet", "wifi", "bridge" or "loopback"."""
    base = ("/sys/devices/virtual/net/" if device is None else device + "/net/") + name
    t.write(base + "/address", mac + "\n")
    t.write(base + "/operstate", state + "\n")
    t.write(base + "/mtu", f"{mtu}\n")
    t.write(base + "/ifindex", f"{ifindex}\n")
    t.write(base + "/type", "772\n" if kind == "loopback" else "1\n")
    t.write(base + "/uevent", f"INTERFACE={name}\nIFINDEX={ifindex}\n" +
            ("DEVTYPE=wlan\n" if kind == "wifi" else "DEVTYPE=bridge\n" if kind == "bridge" else ""))
    # A link that is down refuses to be read: an empty file does the same here.
    t.write(base + "/speed", "" if speed is None else f"{speed}\n")
    if kind == "wifi":
        phy = device + "/ieee80211/phy0"
        t.write(phy + "/index", "0\n")
        t.link(base + "/phy80211", t.rel(base + "/phy80211", phy))
    if kind == "bridge":
        t.write(base + "/bridge/stp_state", "0\n")
    if device is not None:
        t.link(base + "/device", t.rel(base + "/device", device))
        if driver:
            bus = "virtio" if "/virtio" in device else "pci"
            drv = f"/sys/bus/{bus}/drivers/{driver}"
            # A file inside, as sysfs has: git keeps no empty folder.
            t.write(drv + "/uevent", "DRIVER=%s\n" % driver)
            t.link(device + "/driver", t.rel(device + "/driver", drv))
    t.link("/sys/class/net/" + name, t.rel("/sys/class/net/" + name, base))


def pci(t, slot, cls, vendor, device, sub_vendor, sub_device, revision):
    path = "/sys/devices/pci0000:00/" + slot
    for f, v in {"class": f"0x{cls:06x}", "vendor": f"0x{vendor:04x}", "device": f"0x{device:04x}",
                 "subsystem_vendor": f"0x{sub_vendor:04x}",
                 "subsystem_device": f"0x{sub_device:04x}", "revision": f"0x{revision:02x}"}.items():
        t.write(path + "/" + f, v + "\n")
    t.link("/sys/bus/pci/devices/" + slot, t.rel("/sys/bus/pci/devices/" + slot, path))
    return path


def connector(t, card, name, data=None):
    """A DRM connector; a monitor is connected when its EDID is given."""
    path = f"/sys/devices/pci0000:00/{card}/drm/card0/card0-{name}"
    t.write(path + "/status", "connected\n" if data else "disconnected\n")
    t.write(path + "/edid", data or b"", binary=True)
    t.link(f"/sys/class/drm/card0-{name}", t.rel(f"/sys/class/drm/card0-{name}", path))


def disk_facts(t, name, firmware_file, firmware, rotational):
    dev = os.path.realpath(t.path("/sys/block/" + name))
    os.makedirs(os.path.join(dev, "queue"), exist_ok=True)
    with open(os.path.join(dev, "queue/rotational"), "w") as f:
        f.write(f"{rotational}\n")
    if firmware:
        with open(os.path.join(dev, "device", firmware_file), "w") as f:
            f.write(firmware + "\n")


def udev_uuid(t, majmin, uuid):
    path = t.path(f"/run/udev/data/b{majmin}")
    lines = [l for l in open(path).read().splitlines() if not l.startswith("E:ID_FS_UUID=")]
    with open(path, "w") as f:
        f.write("".join(l + "\n" for l in lines + [f"E:ID_FS_UUID={uuid}"]))


def network(t, ifaddrs, route, ipv6_route):
    t.write("/.harvix/ifaddrs", "".join(" ".join(a) + "\n" for a in ifaddrs))
    t.write("/proc/net/route", "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask"
            "\t\tMTU\tWindow\tIRTT\n" + "".join("\t".join(r) + "\n" for r in route))
    t.write("/proc/net/ipv6_route", "".join(" ".join(r) + "\n" for r in ipv6_route))


ZERO6 = "0" * 32


def laptop(t):
    netdev(t, "lo", "00:00:00:00:00:00", "loopback", "unknown", 65536, 1)
    wifi = pci(t, "0000:00:14.3", 0x028000, 0x8086, 0x9df0, 0x8086, 0x0034, 0x30)
    netdev(t, "wlp0s20f3", "F8:E4:E3:5A:12:7C", "wifi", "up", 1500, 2, device=wifi, driver="iwlwifi")
    netdev(t, "docker0", "02:42:9c:1e:40:07", "bridge", "down", 1500, 3)
    network(t, [("lo", "inet", "127.0.0.1/8", "permanent"), ("lo", "inet6", "::1/128", "permanent"),
                ("wlp0s20f3", "inet", "192.168.1.34/24", "dynamic"),
                ("wlp0s20f3", "inet6", "2a01:e0a:5d1:c9e0:8d2b:b1c4:9f3e:21a7/64", "dynamic"),
                ("wlp0s20f3", "inet6", "fe80::3c6e:1f4b:a8d2:77e1/64", "permanent"),
                ("docker0", "inet", "172.17.0.1/16", "permanent")],
            [("wlp0s20f3", "00000000", "FE01A8C0", "0003", "0", "0", "600", "00000000", "0", "0", "0"),
             ("wlp0s20f3", "0001A8C0", "00000000", "0001", "0", "0", "600", "00FFFFFF", "0", "0", "0"),
             ("docker0", "000011AC", "00000000", "0001", "0", "0", "0", "0000FFFF", "0", "0", "0")],
            [(ZERO6, "00", ZERO6, "00", "fe80000000000000020c29fffe3a9b10", "00000258", "00000001",
              "00000000", "00450003", "wlp0s20f3")])
    t.write("/var/lib/NetworkManager/internal-6c1f0a3e-6b1d-4f0e-9e5a-2f1c4b7d8e90-wlp0s20f3.lease",
            "# This is private data. Do not parse.\nADDRESS=192.168.1.34\nSERVER_ADDRESS=192.168.1.254\n")
    pci(t, "0000:00:02.0", 0x030000, 0x8086, 0x3ea0, 0x17aa, 0x2292, 0x02)
    t.write("/usr/share/misc/pci.ids", "8086  Intel Corporation\n"
            "\t3ea0  WhiskeyLake-U GT2 [UHD Graphics 620]\n"
            "\t9df0  Cannon Point-LP CNVi [Wireless-AC]\n")
    connector(t, "0000:00:02.0", "eDP-1", edid("AUO", 0x243D, 0, [(0xFE, "AUO"), (0xFE, "B140HAN04.0")]))
    connector(t, "0000:00:02.0", "HDMI-A-1", edid("DEL", 0xA0C4, 0x4C4A3030,
                                                   [(0xFF, "7MT0193K0ABL"), (0xFC, "DELL U2419H"),
                                                    (0xFD, "")]))
    connector(t, "0000:00:02.0", "DP-1")
    disk_facts(t, "nvme0n1", "firmware_rev", "5L2QEXA7", 0)
    disk_facts(t, "sda", "rev", "1.00", 1)
    udev_uuid(t, "259:1", "5A2B-91C4")
    udev_uuid(t, "259:2", "3f9c1d2e-7a41-4c8b-9e0d-6b5a4c3d2e1f")
    udev_uuid(t, "8:1", "B4E2-0F17")


def server(t):
    for n, (name, state, speed) in enumerate([("eno1", "up", 1000), ("eno2", "down", None)]):
        nic = pci(t, f"0000:04:00.{n}", 0x020000, 0x14e4, 0x165f, 0x1028, 0x08fd, 0x00)
        netdev(t, name, f"D0:94:66:7B:3E:{0x20 + n:02X}", "ethernet", state, 1500, 2 + n, speed=speed,
               device=nic, driver="tg3")
    netdev(t, "lo", "00:00:00:00:00:00", "loopback", "unknown", 65536, 1)
    network(t, [("lo", "inet", "127.0.0.1/8", "permanent"), ("eno1", "inet", "10.20.1.15/23", "permanent"),
                ("eno1", "inet6", "fe80::d294:66ff:fe7b:3e20/64", "permanent")],
            [("eno1", "00000000", "0100140A", "0003", "0", "0", "0", "00000000", "0", "0", "0")], [])
    pci(t, "0000:03:00.0", 0x030000, 0x102b, 0x0534, 0x1028, 0x08fd, 0x01)
    connector(t, "0000:03:00.0", "VGA-1")
    for name in ["sda", "sdb", "sdc", "sdd"]:
        disk_facts(t, name, "rev", "SN05", 1)
    # Each LVM physical volume is a LUKS mapping of its partition.
    for dm, majmin, part in [("dm-1", "253:1", "sda2"), ("dm-2", "253:2", "sdb1")]:
        t.block(dm, "/sys/devices/virtual/block", majmin, 3905972224, slaves=[part])
        t.write(f"/sys/devices/virtual/block/{dm}/dm/uuid",
                f"CRYPT-LUKS2-{'%032x' % (0x7e3 + int(dm[3:]))}-luks-{part}\n")
    dm0 = "/sys/devices/virtual/block/dm-0"
    for part in ["sda2", "sdb1"]:
        if os.path.lexists(t.path(dm0 + "/slaves/" + part)):
            os.remove(t.path(dm0 + "/slaves/" + part))
    for dm in ["dm-1", "dm-2"]:
        t.link(dm0 + "/slaves/" + dm, t.rel(dm0 + "/slaves/" + dm, t.find_block(dm)))
    t.write(dm0 + "/dm/uuid", "LVM-q8Xv2cH1mRk0bP7sLdN4fT9gW3jZ6yAeUo5iKxYc1VbE2nM8wQ7rS4tP0uL3\n")
    udev_uuid(t, "253:0", "c2d4e6f8-1a3b-4c5d-8e9f-0a1b2c3d4e5f")
    udev_uuid(t, "9:0", "8e1f3a5c-7b9d-4e2f-a6c8-d0e2f4a6b8c1")


def vm(t):
    virtio = "/sys/devices/pci0000:00/0000:00:03.0/virtio0"
    netdev(t, "lo", "00:00:00:00:00:00", "loopback", "unknown", 65536, 1)
    netdev(t, "ens3", "52:54:00:12:34:56", "ethernet", "up", 1500, 2, speed=-1, device=virtio,
           driver="virtio_net")
    network(t, [("ens3", "inet", "10.0.0.15/24", "dynamic"),
                ("ens3", "inet6", "fd00:10::15/64", "dynamic")],
            [("ens3", "00000000", "0100000A", "0003", "0", "0", "100", "00000000", "0", "0", "0"),
             ("ens3", "00000000", "0100000A", "0003", "0", "0", "1024", "00000000", "0", "0", "0")],
            [(ZERO6, "00", ZERO6, "00", "fd000010000000000000000000000001", "00000400", "00000001",
              "00000000", "00000003", "ens3")])
    t.write("/run/systemd/netif/leases/2", "# This is private data. Do not parse.\n"
            "ADDRESS=10.0.0.15\nNETMASK=255.255.255.0\nROUTER=10.0.0.1\nSERVER_ADDRESS=10.0.0.2\n")
    pci(t, "0000:00:02.0", 0x038000, 0x1af4, 0x1050, 0x1af4, 0x1100, 0x01)
    connector(t, "0000:00:02.0", "Virtual-1", edid("RHT", 0x1234, 0, [(0xFC, "QEMU Monitor")], 2014, 42))
    disk_facts(t, "vda", None, None, 1)
    t.link("/dev/disk/by-uuid/0b5e7a2c-9d41-4f3e-8c6b-1a2d3e4f5a6b", "../../vda")


DEVICES = {"laptop": laptop, "server": server, "vm": vm}


def add(tree, name):
    if name in DEVICES:
        DEVICES[name](tree)


def existing(name):
    """A committed tree, written to in place."""
    t = record.Tree.__new__(record.Tree)
    t.root = os.path.join(HERE, name)
    blocks = t.path("/sys/class/block")
    t.blocks = {b: "/" + os.path.relpath(os.path.realpath(os.path.join(blocks, b)), t.root)
                for b in os.listdir(blocks)}
    return t


if __name__ == "__main__":
    for name in sys.argv[1:] or DEVICES:
        add(existing(name), name)
