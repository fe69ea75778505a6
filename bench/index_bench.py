#!/usr/bin/env python3
"""The fleet index on 10,000 reports of varied machines (1-8 disks, 1-20
volumes, 1-8 memory modules): wall time and peak memory of harvix-index, then
the same reading work by bench/index_python.py (html.parser), and their ratio.
Prints figures; asserts nothing. Aims on a 2-core machine: under 2 s, under 64 MiB.

With inventories > 0, that many more computers also get an inventory file of
realistic size beside their report (about 150 programs, 3 network adapters, 2
monitors), which both readers read instead of the report (the Python one with
the json module): e.g. `bench/index_bench.py build 2000 3 10000`, 10,000
inventories and 2,000 reports without one. Aims: under 5 s, under 256 MiB.

Usage: bench/index_bench.py [build folder] [reports] [runs] [inventories]"""
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build")
count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
inventories = int(sys.argv[4]) if len(sys.argv) > 4 else 0
if not os.path.exists("/usr/bin/time"):
    subprocess.run(["apt-get", "install", "-y", "-qq", "time"], check=True, stdout=subprocess.DEVNULL)


def frame():
    """Head and footer lines as harvix itself writes them, from a recorded machine."""
    folder = tempfile.mkdtemp(prefix="harvix-bench-frame-")
    shutil.copy2(os.path.join(build, "harvix"), folder)
    env = dict(os.environ, COMPUTERNAME="FRAME", HARVIX_ROOT=os.path.join(here, "..", "tests", "trees", "laptop"))
    env.pop("DISPLAY", None)
    subprocess.run([os.path.join(folder, "harvix"), "/silent"], env=env, check=True)
    with open(os.path.join(folder, "FRAME_report.html"), "rb") as f:
        lines = f.read().split(b"\r\n")[:-1]
    shutil.rmtree(folder)
    return lines[:7], lines[-15:]


HEAD, FOOT = frame()
TABLE = '<table><thead><tr><th colspan="2"><i class="%s"></i> %s</th></tr></thead><tbody>'
NESTED = '</td></tr><tr class="nested"><td class="nopadding" colspan="2"><table class="noborder">'
TIP = '<tr class="downlink"><td><a class="tooltip"><i class="hand fa fa-plus"></i><span class="tooltiptext">%s</span></a> '
MAKERS = ["Samsung", "SK Hynix", "Micron", "Kingston", "Crucial", "Corsair"]
MODELS = ["Dell Inc. - Latitude 5420", "LENOVO - 20QDCTO1WW", "HP - EliteBook 840 G8", "Dell Inc. - OptiPlex 7090",
          "ASUSTeK COMPUTER INC. - PRIME B560M-A", "Microsoft Corporation - Surface Laptop 4"]
DISKS = ["Samsung SSD 980 1TB", "WDC WD10EZEX-08WN4A0", "KINGSTON SA400S37480G", "SanDisk Cruzer Blade",
         "ST2000NM0055-1V4", "Micron 2450 NVMe 512GB"]


def size(x):
    if x < 1024:
        return "%d Octets" % x
    if x < 1 << 20:
        return ("%.2f Ko" % (x / 1024)).replace(".", ",")
    return ("%.2f Go" % (x / (1 << 30))).replace(".", ",")


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def machine(rng, n):
    lines = list(HEAD)
    out = lines.append
    out(TABLE % ("fa fa-desktop", "Général"))
    for label, value in [("OS", rng.choice(["Microsoft Windows 10 Professionnel (64 bits)",
                                             "Microsoft Windows 11 Professionnel (64 bits)"])),
                         ("Nom de l'ordinateur", "PC-%05d" % n), ("Nom du domaine/workgroup", "TARVELL"),
                         ("Nom de l'utilisateur", rng.choice(["jdupont", "zoë.martin", "a&b <x>"])),
                         ("Modèle de l'ordinateur", rng.choice(MODELS)),
                         ("Numéro de série", rng.choice(["PF%06X" % rng.randrange(1 << 24), "Default string", "N/A"]))]:
        out("<tr><td>%s</td><td>%s</td></tr>" % (label, esc(value)))
    out("</tbody></table>")
    cores = rng.choice([2, 4, 6, 8, 16])
    out(TABLE % ("fa fa-microchip", "Processeur"))
    out("<tr><td>CPU</td><td>Intel Core i%d-%d CPU @ 2.%dGHz</td></tr>" % (rng.choice([3, 5, 7, 9]), rng.randrange(4000, 14000), rng.randrange(10)))
    out("<tr><td>Coeurs physiques</td><td>%d</td></tr>" % cores)
    out("<tr><td>Coeurs logiques</td><td>%d</td></tr>" % (cores * 2))
    out("</tbody></table>")
    modules = [rng.choice([4, 8, 16, 32]) << 30 for _ in range(rng.randint(1, 8))]
    out(TABLE % ("fa fa-memory", "RAM"))
    out("<tr><td>RAM installée</td><td>%s</td></tr>" % size(sum(modules) - rng.randrange(1 << 28)))
    out("<tr><td>RAM maximale supportée</td><td>%d Go</td></tr>" % rng.choice([32, 64, 128, 256]))
    out(TIP % "Afficher les détails" + "Slots utilisés</td><td>%d sur %d" % (len(modules), 8) + NESTED)
    for i, m in enumerate(modules):
        out("<tr><td>DIMM %d</td><td>%s %s %d MHz %s<p class=\"small\">M471A%04dCB1-CTD</p></td></tr>" % (
            i, rng.choice(MAKERS), size(m), rng.choice([2400, 2666, 3200]), rng.choice(["DIMM", "SODIMM"]), rng.randrange(10000)))
    out("</table></td></tr>")
    out("</tbody></table>")
    disks = rng.randint(1, 8)
    volumes = [rng.randrange(disks) for _ in range(rng.randint(max(1, disks // 2), 20))]
    for d in range(disks):
        total = rng.choice([128, 256, 512, 1000, 2000, 4000]) * 10**9
        removable = rng.random() < 0.2
        out(TABLE % (("fab fa-usb", "Stockage amovible") if removable else ("fa fa-hdd", "Stockage fixe")))
        out(TIP % "Afficher les volumes" + "DRIVE%d<p class=\"small\">%d Partition(s) - Type GPT</p></td><td>%s"
            "<p class=\"small\">%d Go - SN: S%08X" % (d, volumes.count(d), rng.choice(DISKS), total // 10**9, rng.randrange(1 << 32))
            + "</p>" + NESTED)
        for v, on in enumerate(volumes):
            if on != d:
                continue
            vsize = total // max(1, volumes.count(d))
            used = int(vsize * rng.random())
            out("<tr><td>%s: (%s)</td><td>%s / %s<p class=\"small\">NTFS <progress value=\"%d\" max=\"%d\"></progress></p></td></tr>" % (
                chr(67 + v), esc(rng.choice(["Système", "Données", "", "Sauvegarde <2024>"])), size(used), size(vsize), used, vsize))
        out("</table></td></tr></tbody></table>")
    return b"\r\n".join(l if isinstance(l, bytes) else l.encode("cp1252") for l in lines + FOOT) + b"\r\n"


PROGRAMS = ["%s %s" % (a, b) for a in ("Microsoft", "Adobe", "Mozilla", "Google", "Intel(R)", "Realtek", "NVIDIA",
                                        "Oracle", "VLC", "7-Zip", "Notepad++", "Citrix", "Cisco", "Sage", "EBP")
            for b in ("Runtime", "Redistributable", "Update Helper", "Driver", "Reader", "Client", "Tools", "Agent",
                      "Compta", "Paie", "Edge", "Teams", "Chrome", "Firefox", "Java 8", "SDK", "Viewer", "Service",
                      "Audio", "Graphics", "Office 16", "OneDrive", "Visual C++ 2015-2022", "WebView2", "Helper")]


# A fleet holds a few versions of each program, not one per computer.
_versions = random.Random(13)
VERSIONS = {p: ["%d.%d.%d" % (_versions.randrange(30), _versions.randrange(20), _versions.randrange(9999))
                for _ in range(_versions.randint(1, 6))] for p in PROGRAMS}


def inventory(rng, n):
    """An inventory file as Harvix writes it, in GLPI's format with content.harvix."""
    name = "PC-%05d" % n
    mac = lambda: ":".join("%02x" % rng.randrange(256) for _ in range(6))
    disks = [{"id": "DRIVE%d" % d, "model": rng.choice(DISKS), "serial_number": "S%08X" % rng.randrange(1 << 32),
              "size_bytes": rng.choice([256, 512, 1000]) * 10 ** 9, "interface": "SCSI", "partitions": 3,
              "partition_style": "GPT"} for d in range(rng.randint(1, 3))]
    volumes = [{"name": "%s:" % chr(67 + v), "label": rng.choice(["Système", "Données", ""]), "drive_type": 3,
                "file_system": "NTFS", "size_bytes": 200 * 10 ** 9, "free_bytes": 50 * 10 ** 9,
                "used_bytes": 150 * 10 ** 9, "disk": rng.choice(disks)["id"]} for v in range(rng.randint(1, 4))]
    modules = [rng.choice([8192, 16384]) for _ in range(rng.randint(1, 4))]
    software = [{"name": p, "version": rng.choice(VERSIONS[p]),
                 "publisher": p.split()[0], "install_date": "2024-%02d-%02d" % (rng.randint(1, 12), rng.randint(1, 28)),
                 "arch": "x86_64", "from": "HKLM"} for p in rng.sample(PROGRAMS, 150)]
    content = {
        "versionclient": "Harvix-1.0",
        "hardware": {"name": name, "uuid": "%08X-0000-0000-0000-%012X" % (n, rng.randrange(1 << 48)),
                     "memory": sum(modules), "chassis_type": "Laptop", "vmsystem": "Physical", "workgroup": "TARVELL"},
        "bios": {"bdate": "2021-0%d-15" % rng.randint(1, 9), "bversion": "1.%d.0" % rng.randrange(30),
                 "smanufacturer": "Dell Inc.", "smodel": rng.choice(MODELS), "ssn": "PF%06X" % rng.randrange(1 << 24),
                 "secure_boot": "enabled"},
        "operatingsystem": {"name": "Windows", "full_name": "Microsoft Windows 11 Professionnel",
                            "version": "10.0.22631", "kernel_version": "22631", "arch": "x86_64",
                            "install_date": "2024-01-02 10:00:00", "boot_time": "2026-12-01 08:00:00",
                            "timezone": {"name": "Romance Standard Time", "offset": "+0100"}},
        "cpus": [{"name": "Intel Core i7-1185G7 @ 3.00GHz", "core": 4, "thread": 8, "speed": 3000,
                  "manufacturer": "Intel", "familynumber": "6", "model": "140", "stepping": 1}],
        "memories": [{"capacity": m, "caption": "DIMM %d" % i, "type": "DDR4", "speed": "3200",
                      "manufacturer": rng.choice(MAKERS), "model": "M471A%04dCB1-CTD" % rng.randrange(10000),
                      "serialnumber": "%08X" % rng.randrange(1 << 32), "numslots": i + 1} for i, m in enumerate(modules)],
        "storages": [{"name": d["id"], "model": d["model"], "serial": d["serial_number"], "disksize": d["size_bytes"] // 10 ** 6,
                      "type": "SSD", "firmware": "2B2QEXM7"} for d in disks],
        "drives": [{"letter": v["name"], "label": v["label"], "filesystem": "NTFS", "total": v["size_bytes"] // 2 ** 20,
                    "free": v["free_bytes"] // 2 ** 20, "systemdrive": v["name"] == "C:"} for v in volumes],
        "networks": [{"description": d, "mac": mac(), "ipaddress": "10.0.%d.%d" % (rng.randrange(256), rng.randrange(256)),
                      "ipmask": "255.255.255.0", "status": "up", "type": t, "virtualdev": v, "speed": "1000"}
                     for d, t, v in (("Ethernet", "ethernet", False), ("Wi-Fi", "wifi", False), ("vEthernet", "ethernet", True))],
        "monitors": [{"caption": "DELL U2419H", "manufacturer": "DEL", "serial": "CFV%05d" % rng.randrange(99999),
                      "base64": "AP///////wAQrM3QTDAzMCAdAQOANR54"} for _ in range(2)],
        "softwares": software,
        "harvix": {"firmware_type": "UEFI", "ca2023_status": "Updated",
                   "os": {"edition": "Professional", "display_version": "23H2", "build": "22631.4460"},
                   "report": {"user_name": rng.choice(["jdupont", "zoë.martin"]), "computer_name": name,
                              "operating_system": "Microsoft Windows 11 Professionnel (64 bits)",
                              "memory": {"total_bytes": sum(modules) << 20, "max_supported": "64 Go",
                                         "slots": 4, "used_slots": len(modules)},
                              "disks": disks, "volumes": volumes},
                   "tpm": {"present": True, "version": "2.0", "manufacturer": "INTC"},
                   "windows11": {"verdict": "prêt", "failed": [], "unknown": []}, "unread": []}}
    doc = {"deviceid": name + "-2026-12-01-08-30-00", "itemtype": "Computer", "action": "inventory", "content": content}
    return json.dumps(doc, ensure_ascii=False, indent=2).encode("utf-8")


def wall(cmd):
    """Wall time, and the CPU time the run itself took (what a loaded machine leaves intact)."""
    start = time.perf_counter()
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime


def peak_kib(cmd):
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


folder = tempfile.mkdtemp(prefix="harvix-bench-index-")
rng = random.Random(8)
start = time.perf_counter()
total_bytes = 0
for n in range(count):
    data = machine(rng, n)
    total_bytes += len(data)
    with open(os.path.join(folder, "PC-%05d_report.html" % n), "wb") as f:
        f.write(data)
json_bytes = 0
for n in range(count, count + inventories):
    with open(os.path.join(folder, "PC-%05d_report.html" % n), "wb") as f:
        f.write(machine(rng, n))
    data = inventory(rng, n)
    json_bytes += len(data)
    with open(os.path.join(folder, "PC-%05d_inventory.json" % n), "wb") as f:
        f.write(data)
print("%d reports written, %.1f MiB, in %.1f s" % (count, total_bytes / (1 << 20), time.perf_counter() - start))
if inventories:
    print("%d more computers with their inventory file, %.1f MiB of JSON (%.0f KiB each)" % (
        inventories, json_bytes / (1 << 20), json_bytes / inventories / 1024))

index = [os.path.join(build, "harvix-index"), folder, "/silent"]
python = [sys.executable, os.path.join(here, "index_python.py"), folder]
reader = "json+html.parser" if inventories else "html.parser"
times = {"harvix-index": [], reader: []}
for _ in range(runs):
    times["harvix-index"].append(wall(index))
    times[reader].append(wall(python))
peaks = {"harvix-index": peak_kib(index), reader: peak_kib(python)}
out = subprocess.run(index, capture_output=True, text=True).stdout.strip().splitlines()
print("harvix-index says: %s" % out[-1])
with open(os.path.join(folder, "inventaire.csv"), encoding="utf-8-sig") as f:
    rows = sum(1 for _ in f) - 1
with open(os.path.join(folder, "volumes.csv"), encoding="utf-8-sig") as f:
    vols = sum(1 for _ in f) - 1
print("inventaire.csv: %d rows, volumes.csv: %d rows, index.html: %.1f MiB" % (
    rows, vols, os.path.getsize(os.path.join(folder, "index.html")) / (1 << 20)))
for name in times:
    print("%-16s median %8.0f ms (CPU %8.0f ms)   peak RSS %7d KiB   (%d runs, warm cache)" % (
        name, statistics.median(t for t, _ in times[name]) * 1000,
        statistics.median(c for _, c in times[name]) * 1000, peaks[name], runs))
print("time ratio harvix-index/%s: %.3f (aims: %s)" % (
    reader, statistics.median(t for t, _ in times["harvix-index"]) / statistics.median(t for t, _ in times[reader]),
    "under 5 s, under 256 MiB" if inventories else "under 2 s, under 64 MiB"))
shutil.rmtree(folder)
