#!/usr/bin/env python3
"""Median wall time and peak memory of `harvix /silent` (report and inventory
file) against `lshw -html` and `fusioninventory-agent --local` (software
included), and against an earlier build of harvix given with --baseline, on this
machine, run alternately in one go. Prints figures; asserts nothing.

Usage: bench/compare_lshw.py [build folder] [runs] [--baseline earlier build folder]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

args = sys.argv[1:]
baseline = None
if "--baseline" in args:
    i = args.index("--baseline")
    baseline = args[i + 1]
    del args[i:i + 2]
build = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "build")
runs = int(args[1]) if len(args) > 1 else 15
if (not shutil.which("lshw") or not os.path.exists("/usr/bin/time")
        or not shutil.which("fusioninventory-agent")):
    subprocess.run(["apt-get", "install", "-y", "-qq", "lshw", "time", "fusioninventory-agent"],
                   check=True, stdout=subprocess.DEVNULL)

folder = tempfile.mkdtemp(prefix="harvix-bench-")
os.makedirs(os.path.join(folder, "new"))
shutil.copy2(os.path.join(build, "harvix"), os.path.join(folder, "new"))
agent_out = os.path.join(folder, "agent")
os.makedirs(agent_out)
commands = {
    "harvix /silent": [os.path.join(folder, "new", "harvix"), "/silent"],
    "lshw -html": ["lshw", "-html"],
    "fusioninventory": ["fusioninventory-agent", "--local", agent_out],
}
if baseline:
    os.makedirs(os.path.join(folder, "old"))
    shutil.copy2(os.path.join(baseline, "harvix"), os.path.join(folder, "old"))
    commands["harvix baseline"] = [os.path.join(folder, "old", "harvix"), "/silent"]


def wall(cmd):
    start = time.perf_counter()
    if subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        raise SystemExit("%s failed" % " ".join(cmd))
    return time.perf_counter() - start


def peak_kib(cmd):
    """Peak resident set as GNU time reads it after exec (a child forked from
    Python would count the interpreter's pages), in a pass of its own so that
    the wrapper does not weigh on the timings."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


times = {k: [] for k in commands}
for _ in range(runs):
    for name, cmd in commands.items():  # alternate, so both see the same machine state
        times[name].append(wall(cmd))
peaks = {name: max(peak_kib(cmd) for _ in range(3)) for name, cmd in commands.items()}
floor = statistics.median(wall(["/bin/true"]) for _ in range(runs))

for name in commands:
    print("%-16s median %8.1f ms   peak RSS %7d KiB   (%d runs)" % (
        name, statistics.median(times[name]) * 1000, peaks[name], runs))
print("%-16s median %8.1f ms   (starting any process from here)" % ("/bin/true", floor * 1000))
med = {name: statistics.median(t) for name, t in times.items()}
print("time ratio harvix/lshw: %.3f (aim: 0.050 or less)" % (med["harvix /silent"] / med["lshw -html"]))
print("time ratio harvix/fusioninventory-agent: %.3f (aim: 0.050 or less)"
      % (med["harvix /silent"] / med["fusioninventory"]))
if baseline:
    print("time ratio harvix/baseline build: %.2f (aim: 2.00 or less)"
          % (med["harvix /silent"] / med["harvix baseline"]))
print("harvix peak RSS: %.2f MiB (aim: 4 MiB or less)" % (peaks["harvix /silent"] / 1024))
shutil.rmtree(folder)
