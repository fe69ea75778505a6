#!/usr/bin/env python3
"""Harvix.exe /silent under Wine against a bare program that connects to WMI and
walks the same queries, and against a program that does nothing: median wall
times of alternate runs in one warm prefix, and what Harvix takes beyond its
300 ms timer as a multiple of the bare walk. With --baseline, also an earlier
Harvix.exe (the page only) and the bare walk of the inventory file's queries and
native reads (alone, and after the page's walk), and what the inventory file costs
(this Harvix.exe less the earlier one) as a multiple of that bare walk. Wall and
CPU times. Prints figures; asserts nothing.

Usage: bench/wine_startup.py [Windows build folder] [runs] [--baseline folder with an earlier Harvix.exe]"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
args = sys.argv[1:]
baseline = None
if "--baseline" in args:
    i = args.index("--baseline")
    baseline = args[i + 1]
    del args[i:i + 2]
build = args[0] if args else os.path.join(HERE, "..", "build-win")
runs = int(args[1]) if len(args) > 1 else 15
TIMER_MS = 300  # Timer1's delay, part of the program's behaviour

work = tempfile.mkdtemp(prefix="harvix-winebench-")
prefix = os.path.join(work, "prefix")
env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
env.pop("DISPLAY", None)
cxx = ["x86_64-w64-mingw32-g++-posix", "-O2", "-static", "-s"]
subprocess.run(cxx + [os.path.join(HERE, "wine_bare_walk.cpp"), "-o", os.path.join(work, "bare_walk.exe"),
                      "-lwbemuuid", "-lole32", "-loleaut32", "-luuid"], check=True)
with open(os.path.join(work, "nothing.cpp"), "w") as f:
    f.write("int main() { return 0; }\n")
subprocess.run(cxx + [os.path.join(work, "nothing.cpp"), "-o", os.path.join(work, "nothing.exe")], check=True)
# Each Harvix.exe in its own folder: each writes its files beside itself.
os.makedirs(os.path.join(work, "new"))
shutil.copy2(os.path.join(build, "Harvix.exe"), os.path.join(work, "new"))

commands = {
    "Harvix.exe /silent": [os.path.join(work, "new", "Harvix.exe"), "/silent"],
    "bare connect and walk": [os.path.join(work, "bare_walk.exe")],
    "do nothing": [os.path.join(work, "nothing.exe")],
}
if baseline:
    os.makedirs(os.path.join(work, "old"))
    shutil.copy2(os.path.join(baseline, "Harvix.exe"), os.path.join(work, "old"))
    commands["earlier Harvix.exe"] = [os.path.join(work, "old", "Harvix.exe"), "/silent"]
    commands["bare inventory walk"] = [os.path.join(work, "bare_walk.exe"), "inventory"]
    commands["bare page, inventory"] = [os.path.join(work, "bare_walk.exe"), "both"]
subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
server = subprocess.Popen(["wineserver", "-f", "-p"], env=env)  # one server for every run: warm


TICK_MS = 1000 / os.sysconf("SC_CLK_TCK")


def prefix_cpu_ms():
    """CPU time so far of the prefix's lasting processes (wineserver, services.exe,
    winedevice.exe...), which answer much of a program's calls."""
    total = 0
    mark = ("WINEPREFIX=%s" % prefix).encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if mark not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) * TICK_MS
        except OSError:
            continue  # gone meanwhile
    return total


def children_cpu_ms():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (usage.ru_utime + usage.ru_stime) * 1000


def wall(cmd):
    """Wall time and CPU time (the program's and what it made the prefix's lasting
    processes spend): the CPU time holds still on a machine others load."""
    cpu = children_cpu_ms() + prefix_cpu_ms()
    start = time.perf_counter()
    if subprocess.run(["wine", *cmd], env=env, stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        raise SystemExit("%s failed" % " ".join(cmd))
    elapsed = (time.perf_counter() - start) * 1000
    return elapsed, children_cpu_ms() + prefix_cpu_ms() - cpu


try:
    for cmd in commands.values():  # warm-up: the first runs load the prefix's files
        wall(cmd)
    written = [n for n in os.listdir(os.path.join(work, "new")) if n.endswith("_inventory.json")]
    times = {name: [] for name in commands}
    cpus = {name: [] for name in commands}
    for _ in range(runs):
        for name, cmd in commands.items():
            elapsed, cpu = wall(cmd)
            times[name].append(elapsed)
            cpus[name].append(cpu)
finally:
    subprocess.run(["wineserver", "-k"], env=env)
    server.wait()
    shutil.rmtree(work, ignore_errors=True)

median = {name: statistics.median(t) for name, t in times.items()}
cpu = {name: statistics.median(t) for name, t in cpus.items()}
for name in commands:
    print("%-24s %7.0f ms  (median of %d)   CPU %5.0f ms" % (name, median[name], runs, cpu[name]))
harvix, bare = median["Harvix.exe /silent"], median["bare connect and walk"]
print("Harvix beyond its %d ms timer: %.0f ms = %.2f x the bare walk (aim: at most 1.2)"
      % (TIMER_MS, harvix - TIMER_MS, (harvix - TIMER_MS) / bare))
if baseline:
    if not written:
        print("warning: this Harvix.exe wrote no inventory file")
    cost = harvix - median["earlier Harvix.exe"]
    walk = median["bare inventory walk"]
    print("Inventory file: %.0f ms = %.2f x the bare inventory walk (aim: at most 1.3)"
          % (cost, cost / walk))
    # The walk alone also starts a process, connects, and asks cold what the page's
    # queries have warmed in Harvix: what it adds after the page's walk is the closer floor.
    after = median["bare page, inventory"] - bare
    print("  the bare inventory walk after the page's: %.0f ms; the inventory file = %.2f x that"
          % (after, cost / after if after > 0 else float("nan")))
    cost = cpu["Harvix.exe /silent"] - cpu["earlier Harvix.exe"]
    walk = cpu["bare inventory walk"]
    after = cpu["bare page, inventory"] - cpu["bare connect and walk"]
    print("Inventory file in CPU time: %.0f ms = %.2f x the bare inventory walk's, %.2f x its"
          " part after the page's" % (cost, cost / walk, cost / after if after > 0 else float("nan")))
