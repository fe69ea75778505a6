"""The inventory file of this machine against its peers: fusioninventory-agent
--local (the agent GLPI's own descends from), dpkg-query, ip, lscpu, lsblk and
df; and each recorded tree's inventory and own file against those kept beside it."""
import datetime
import glob
import ipaddress
import json
import os
import re
import shutil
import subprocess
import unittest
import xml.etree.ElementTree as ET

from harvix_e2e import TREES, program_copy, temp_folder, used_space

ENV = {"COMPUTERNAME": "PC", "USERNAME": "tech", "LC_ALL": "C"}


# What only root may read on the "notroot" machine: the kernel's own modes.
ROOT_ONLY = {"sys/class/dmi/id/product_uuid": 0o400, "sys/firmware/efi/efivars": 0o700,
             "sys/devices/pnp0/00:05/tpm/tpm0": 0o700}


def inventory(tree=None):
    folder = program_copy()
    copy = None
    try:
        env = dict(ENV, **({"HARVIX_ROOT": os.path.join(TREES, tree)} if tree else {}))
        cmd = [os.path.join(folder, "harvix"), "/silent"]
        if tree == "notroot":
            # A copy with root's modes, read by "nobody" as a logon script's user would.
            copy = temp_folder("harvix-notroot-")
            shutil.copytree(os.path.join(TREES, tree), copy, symlinks=True, dirs_exist_ok=True)
            os.chmod(copy, 0o755)
            for path, mode in ROOT_ONLY.items():
                os.chmod(os.path.join(copy, path), mode)
            os.chmod(folder, 0o777)
            env["HARVIX_ROOT"] = copy
            cmd = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + cmd
        env = dict({k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}, **env)
        result = subprocess.run(cmd, env=env, capture_output=True, timeout=60)
        assert result.returncode == 0, result.stderr
        with open(os.path.join(folder, "PC_inventory.json"), encoding="utf-8") as f:
            doc = json.load(f)
        with open(os.path.join(folder, "PC_harvix.txt"), encoding="utf-8") as f:
            return doc, json.load(f)
    finally:
        shutil.rmtree(folder)
        if copy:
            shutil.rmtree(copy)


def output(*cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


class ThisMachine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Used space moves while other tests write: read it on both sides of the run.
        cls.used_before = used_space()
        doc, cls.own = inventory()
        cls.doc = doc["content"]
        cls.used_after = used_space()

    def test_every_installed_package_with_its_exact_version(self):
        # As GLPI's agent lists them: the bare name, the architecture apart, the distributor
        # as lsb_release names it for publisher.
        listed = output("dpkg-query", "-W", "-f", "${Package}\t${Architecture}\t${Version}\t${db:Status-Abbrev}\n")
        installed = sorted((name, arch, version) for name, arch, version, status in
                           (line.split("\t") for line in listed.splitlines()) if status.startswith(("ii", "hi")))
        mine = sorted((s["name"], s.get("arch"), s.get("version")) for s in self.doc["softwares"])
        self.assertEqual(mine, installed)
        with open("/etc/os-release") as f:
            release = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        distributor = release["ID"].strip('"').capitalize()
        self.assertEqual({s.get("publisher") for s in self.doc["softwares"]}, {distributor})

    def test_every_interface_with_its_mac_and_addresses(self):
        mine = {}
        for n in self.doc["networks"]:
            entry = mine.setdefault(n["description"], {"mac": n.get("mac"), "addresses": set()})
            if "ipaddress" in n:
                net = ipaddress.ip_network("0.0.0.0/" + n["ipmask"])
                entry["addresses"].add("%s/%d" % (n["ipaddress"], net.prefixlen))
            if "ipaddress6" in n:
                prefix = bin(int(ipaddress.IPv6Address(n["ipmask6"]))).count("1")
                entry["addresses"].add("%s/%d" % (n["ipaddress6"], prefix))
        theirs = {}
        for i in json.loads(output("ip", "-j", "addr")):
            theirs[i["ifname"]] = {"mac": i.get("address"), "addresses": {
                "%s/%d" % (a["local"], a["prefixlen"]) for a in i.get("addr_info", [])}}
        self.assertEqual(mine, theirs)

    def test_agrees_with_fusioninventory_agent(self):
        out = temp_folder("harvix-agent-")
        try:
            subprocess.run(["fusioninventory-agent", "--local", out, "--no-category",
                            "software,process,environment,user,local_user,local_group"],
                           check=True, capture_output=True, timeout=600)
            content = ET.parse(glob.glob(os.path.join(out, "*.ocs"))[0]).getroot().find("CONTENT")
        finally:
            shutil.rmtree(out)
        hw, os_ = content.find("HARDWARE"), content.find("OPERATINGSYSTEM")
        self.assertEqual(self.doc["hardware"]["memory"], int(hw.findtext("MEMORY")))
        for key in ("kernel_version", "arch", "full_name"):
            self.assertEqual(self.doc["operatingsystem"].get(key), os_.findtext(key.upper()), key)
        # The agent takes the clock less the uptime, a second off either way; /proc/stat's
        # btime, which Harvix reads, is the kernel's own.
        boot = [datetime.datetime.strptime(t, "%Y-%m-%d %H:%M:%S")
                for t in (self.doc["operatingsystem"]["boot_time"], os_.findtext("BOOT_TIME"))]
        self.assertLessEqual(abs((boot[0] - boot[1]).total_seconds()), 1, boot)
        cpu = content.find("CPUS")
        for key in ("familynumber", "model", "stepping", "core"):
            self.assertEqual(str(self.doc["cpus"][0].get(key)), cpu.findtext(key.upper()), key)
        # The agent's Linux module writes a package's siblings there; the format, GLPI and
        # the agent on Windows mean threads per core.
        self.assertEqual(self.doc["cpus"][0]["thread"], int(cpu.findtext("THREAD")) // int(cpu.findtext("CORE")))
        sizes = sorted(int(s.findtext("DISKSIZE")) for s in content.findall("STORAGES")
                       if s.findtext("TYPE") == "disk")
        self.assertEqual(sorted(s["disksize"] for s in self.doc["storages"]), sizes)
        # BIOS: where SMBIOS exists the agent and dmidecode fill these; both agree then.
        bios = content.find("BIOS")
        if bios is None:  # no SMBIOS tables: the agent writes no <BIOS>
            bios = ET.Element("BIOS")
        for key in ("bmanufacturer", "bversion", "smanufacturer", "smodel"):
            self.assertEqual(self.doc["bios"].get(key), bios.findtext(key.upper()) or None, key)

    def test_processor_and_volumes_as_lscpu_and_df_say(self):
        cpu = {f["field"].rstrip(":"): f["data"] for f in json.loads(output("lscpu", "-J"))["lscpu"]}
        self.assertEqual(self.doc["cpus"][0]["name"], cpu["Model name"])
        self.assertEqual(self.doc["cpus"][0]["stepping"], int(cpu["Stepping"]))
        # The speed: the maximum cpufreq gives, else the kernel's "cpu MHz" (a VM without cpufreq).
        with open("/proc/cpuinfo") as f:
            mhz = re.search(r"^cpu MHz\s*:\s*(\d+)", f.read(), re.M)
        speed = round(float(cpu["CPU max MHz"])) if "CPU max MHz" in cpu else mhz and int(mhz.group(1))
        self.assertEqual(self.doc["cpus"][0].get("speed"), speed)
        for v in self.own["report"]["volumes"]:
            (size, before), (_, after) = self.used_before[v["name"]], self.used_after[v["name"]]
            self.assertEqual(v["size_bytes"], size, v["name"])
            self.assertTrue(min(before, after) - 2**26 <= v["used_bytes"] <= max(before, after) + 2**26,
                            (v["name"], v["used_bytes"], before, after))

    def test_disks_as_lsblk_says(self):
        disks = {d["name"]: d for d in json.loads(output("lsblk", "-J", "-b", "-d", "-o",
                                                        "NAME,SIZE,ROTA,TYPE"))["blockdevices"]
                 if d["type"] == "disk" and not d["name"].startswith(("zram", "ram"))}  # RAM
        mine = self.own["report"]["disks"]
        self.assertEqual(sorted(d["size_bytes"] for d in mine), sorted(d["size"] for d in disks.values()))
        rota = sorted(d["type"] for d in self.doc["storages"] if "type" in d)
        self.assertEqual(rota, sorted("HDD" if d["rota"] else "SSD" for d in disks.values()))


class RecordedTrees(unittest.TestCase):
    def test_each_tree_gives_the_inventory_kept_beside_it(self):
        record = os.environ.get("HARVIX_RECORD") == "1"  # writes them afresh, to review
        for tree in sorted(n for n in os.listdir(TREES) if os.path.isdir(os.path.join(TREES, n))):
            doc, own = inventory(tree)
            self.assertEqual(own["deviceid"], doc["deviceid"], tree)
            del own["date"]  # the run's time
            for got, path in ((doc, os.path.join(TREES, tree + ".inventory.json")),
                              (own, os.path.join(TREES, tree + ".harvix.json"))):
                if record:
                    with open(path, "w", encoding="utf-8") as f:
                        json.dump(got, f, ensure_ascii=False, indent=1, sort_keys=True)
                        f.write("\n")
                with open(path, encoding="utf-8") as f:
                    self.assertEqual(got, json.load(f), path)


if __name__ == "__main__":
    unittest.main()
