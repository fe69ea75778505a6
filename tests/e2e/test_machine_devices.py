"""The provider's devices on this very machine against the system's own tools:
ip for the network, lsblk and blkid for disks and volumes, cryptsetup for a
LUKS volume on a loop device."""
import json
import os
import shutil
import subprocess
import unittest

import loopdev
from harvix_e2e import BUILD


def dump(cls):
    """The provider's objects of a class, as dicts of their non-null values."""
    out = subprocess.run([os.path.join(BUILD, "tests", "provider_dump"), cls], capture_output=True,
                         text=True, check=True, timeout=60).stdout
    return [dict(l.split("=", 1) for l in block.splitlines()) for block in out.split("\n\n") if block]


def lsblk(*columns):
    out = subprocess.run(["lsblk", "-J", "-b", "-o", ",".join(columns)], capture_output=True,
                         text=True, check=True).stdout
    return json.loads(out)["blockdevices"]


def blkid_uuid(dev):
    r = subprocess.run(["blkid", "-p", "-o", "value", "-s", "UUID", dev], capture_output=True, text=True)
    return r.stdout.strip() or None


def flat(devices):
    for d in devices:
        yield d
        yield from flat(d.get("children", []))


class Network(unittest.TestCase):
    def test_adapters_and_addresses_agree_with_ip(self):
        links = json.loads(subprocess.run(["ip", "-j", "addr"], capture_output=True, text=True,
                                          check=True).stdout)
        adapters = {a["Name"]: a for a in dump("Harvix_NetworkAdapter")}
        self.assertEqual(sorted(adapters), sorted(l["ifname"] for l in links))
        mine = sorted((a["Adapter"], a["Address"], int(a["PrefixLength"]), a["Family"])
                      for a in dump("Harvix_NetworkAddress"))
        theirs = sorted((l["ifname"], a["local"], a["prefixlen"], "4" if a["family"] == "inet" else "6")
                        for l in links for a in l.get("addr_info", []))
        self.assertEqual(mine, theirs)
        for link in links:
            adapter = adapters[link["ifname"]]
            if link.get("address"):
                self.assertEqual(adapter.get("MACAddress"), link["address"].lower(), link["ifname"])
            self.assertEqual(adapter.get("MTU"), str(link["mtu"]), link["ifname"])
            self.assertEqual(adapter.get("Type") == "loopback", link.get("link_type") == "loopback")


class Storage(unittest.TestCase):
    def test_rotation_agrees_with_lsblk(self):
        rota = {}
        for d in lsblk("NAME,SIZE,ROTA,TYPE"):
            rota.setdefault(d["size"], set()).add(d["rota"])
        drives = {d["Index"]: d for d in dump("Win32_DiskDrive")}
        for disk in dump("Harvix_PhysicalDisk"):
            size = int(drives[disk["Index"]]["Size"])
            self.assertIn(disk["Rotational"] == "-1", rota.get(size, set()), disk)

    def check_serials(self):
        """Every volume's serial is the UUID lsblk gives the device mounted there, or
        blkid where lsblk has no udev record to read."""
        uuids = {}
        for d in flat(lsblk("PATH,UUID,MOUNTPOINTS")):
            for m in d.get("mountpoints") or []:
                if m:
                    uuids[m] = d["uuid"] or blkid_uuid(d["path"])
        volumes = {v["Name"]: v for v in dump("Win32_LogicalDisk")}
        for name, v in volumes.items():
            if name in uuids and v["FileSystem"] not in ("tmpfs", "devtmpfs"):
                self.assertEqual(v.get("VolumeSerialNumber"), uuids[name], name)
        return volumes

    def test_volume_serials_agree_with_lsblk_and_blkid(self):
        loopdev.require_root_and_loop(self)
        with loopdev.Workspace() as ws:
            dev = ws.attach(ws.image("serial.img", 16 << 20))
            ws.sh("mkfs.ext4", "-q", dev)
            target = ws.mountpoint("serial")
            ws.mount(dev, target)
            uuid = blkid_uuid(dev)
            volumes = self.check_serials()
            self.assertEqual(volumes[target].get("VolumeSerialNumber"), uuid)
            self.assertNotIn(target, [e["Name"] for e in dump("Harvix_VolumeEncryption")])

    def test_a_luks_volume_is_encrypted(self):
        loopdev.require_root_and_loop(self)
        if not shutil.which("cryptsetup"):
            self.skipTest("cryptsetup is not installed (package cryptsetup-bin)")
        had_mapper = os.path.exists("/dev/mapper")
        env = dict(os.environ, DM_DISABLE_UDEV="1")
        name = "harvix-luks-%d" % os.getpid()
        with loopdev.Workspace() as ws:
            dev = ws.attach(ws.image("luks.img", 32 << 20))
            key = os.path.join(ws.dir, "key")
            with open(key, "w") as f:
                f.write("harvix")
            crypt = ["cryptsetup", "--batch-mode"]
            subprocess.run(crypt + ["luksFormat", "--type", "luks2", "--pbkdf", "pbkdf2",
                                    "--pbkdf-force-iterations", "1000", dev, key],
                           env=env, check=True, capture_output=True, timeout=120)
            opened = subprocess.run(crypt + ["open", "--key-file", key, dev, name], env=env,
                                    capture_output=True, text=True, timeout=120)
            try:
                if opened.returncode != 0:
                    self.skipTest("dm-crypt is unavailable in this kernel: " + opened.stderr.strip().splitlines()[0])
                target = ws.mountpoint("luks")
                ws.sh("mkfs.ext4", "-q", "/dev/mapper/" + name)
                ws.sh("mount", "/dev/mapper/" + name, target)
                try:
                    encrypted = {e["Name"]: e for e in dump("Harvix_VolumeEncryption")}
                    self.assertEqual((encrypted[target]["Type"], encrypted[target]["Status"]),
                                     ("LUKS", "Yes"))
                    self.check_serials()
                finally:
                    subprocess.run(["umount", target], capture_output=True)
            finally:
                subprocess.run(crypt + ["close", name], env=env, capture_output=True)
                if not had_mapper:  # made by libdevmapper for this test
                    subprocess.run(["rm", "-f", "/dev/mapper/control"])
                    subprocess.run(["rmdir", "/dev/mapper"], capture_output=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
