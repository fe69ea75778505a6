"""Shared helpers of the end-to-end tests: a private copy of the program,
runs of it, and a reading of the report it writes."""
import atexit
import html
import json
import os
import re
import shutil
import subprocess
import tempfile

BUILD = os.environ.get("HARVIX_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
TREES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "trees")
OUT = os.path.join(BUILD, "e2e-out")  # screenshots kept for a person to look at
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
# GLPI's inventory format (schemas, examples): where the test command says, else beside the
# checkout, as a clone and its shared folder stand side by side.
GLPI_FORMAT = next((c for c in (os.environ.get("HARVIX_GLPI_FORMAT", ""),
                                os.path.join(REPO, "..", "shared", "glpi-inventory-format"),
                                os.path.join(REPO, "..", "..", "shared", "glpi-inventory-format"))
                    if c and os.path.isdir(c)), None)


# Both schema versions GLPI ships: 1.1.34, locked by GLPI 10.0 and strict on unknown members,
# and the newer one.
SCHEMAS = ("inventory.schema-1.1.34.json", "inventory.schema.json")


def schema_errors(doc):
    """What GLPI's validation finds wrong in an inventory document, against each schema;
    None when GLPI's format is not beside the checkout."""
    if not GLPI_FORMAT:
        return None
    import jsonschema
    errors = []
    for name in SCHEMAS:
        with open(os.path.join(GLPI_FORMAT, name), encoding="utf-8") as f:
            checker = jsonschema.Draft7Validator(json.load(f), format_checker=jsonschema.FormatChecker())
        errors += ["%s: %s: %s" % (name, list(e.absolute_path), e.message) for e in checker.iter_errors(doc)]
    return errors


NO_SCHEMA = "GLPI's inventory format (../shared/glpi-inventory-format) is absent: validation not checked"


def glpi_takes(name):
    """Whether one of GLPI's import paths takes a file of this name for an inventory: the
    injector's directory walk (glpi-injector -d) or GLPI's import from file, alone or in an
    archive (anywhere in the name, any case)."""
    return bool(re.search(r"\.(?:data|json|ocs|xml)$", name) or re.search(r"\.(json|xml|ocs)", name, re.I))


def temp_folder(prefix):
    """A folder under the temporary directory, removed when the test process ends, also after
    a failure."""
    folder = tempfile.mkdtemp(prefix=prefix)
    atexit.register(shutil.rmtree, folder, True)
    return folder


def program_copy(with_window=False):
    """A fresh folder holding the program, since the report lands next to it."""
    folder = temp_folder("harvix-e2e-")
    shutil.copy2(os.path.join(BUILD, "harvix"), folder)
    if with_window:
        shutil.copy2(os.path.join(BUILD, "harvix-gtk.so"), folder)
    return folder


def run(folder, *args, env=None, timeout=60):
    e = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    e.update(env or {})
    return subprocess.run([os.path.join(folder, "harvix"), *args], env=e, capture_output=True,
                          timeout=timeout)


def report_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data.endswith(b"</script></body></html>\r\n"), "report is not complete"
    return data.decode("cp1252").split("\r\n")[:-1]


def text(cell):
    return html.unescape(re.sub(r"<[^>]+>", "", cell))


def parse_report(path):
    """The report's tables: rows of the general ones, and disks with their volumes."""
    lines = report_lines(path)
    rows, disks, prev = {}, [], ""
    for line in lines:
        m = re.match(r"<tr><td>([^<]*)</td><td>(.*)</td></tr>$", line)
        if m and not disks:
            rows[m.group(1)] = html.unescape(m.group(2))
        m = re.search(r"Afficher les volumes</span></a> ([^<]*)<p class=\"small\">(-?\d+) Partition\(s\) - Type (\w*)"
                      r"</p></td><td>(.*?)<p class=\"small\">(.*?) - SN: (.*?)</p>", line)
        if m:
            disks.append({"id": m.group(1), "partitions": int(m.group(2)), "style": m.group(3),
                          "model": html.unescape(m.group(4)), "size": m.group(5),
                          "serial": html.unescape(m.group(6)), "volumes": [],
                          "removable": "Stockage amovible" in prev})
        m = re.match(r"<tr><td>(.*) \((.*)\)</td><td>(.*) / (.*)<p class=\"small\">(.*) <progress "
                     r"value=\"(\d*)\" max=\"(\d*)\"></progress>", line)
        if m and disks:
            disks[-1]["volumes"].append({"name": html.unescape(m.group(1)), "label": html.unescape(m.group(2)),
                                         "fs": m.group(5), "used": m.group(6), "size": m.group(7)})
        prev = line
    return rows, disks


def used_space():
    """{mount point: (size, used)} as df counts them (used = all blocks less the free ones)."""
    space = {}
    out = subprocess.run(["findmnt", "-rn", "-o", "TARGET,FSTYPE"], check=True, capture_output=True,
                         text=True).stdout
    for line in out.splitlines():
        target, kind = line.rsplit(" ", 1)
        if kind.startswith("fuse") or kind in ("nfs", "nfs4", "cifs", "smb3"):
            continue  # a stopped server would hold the test
        point = target.encode().decode("unicode_escape")  # findmnt -r writes blanks as \x20
        try:
            st = os.statvfs(point)
        except OSError:
            continue
        space[point] = (st.f_blocks * st.f_frsize, (st.f_blocks - st.f_bfree) * st.f_frsize)
    return space


def disk_sizes():
    """lsblk's block devices, by name and by MAJ:MIN, each to the size of the disk it lies on."""
    out = subprocess.run(["lsblk", "-J", "-b", "-o", "NAME,MAJ:MIN,SIZE"], capture_output=True, text=True,
                         check=True).stdout
    sizes = {}

    def walk(node, size):
        sizes[node["name"]] = sizes[node["maj:min"]] = size
        for child in node.get("children", []):
            walk(child, size)

    for disk in json.loads(out)["blockdevices"]:
        walk(disk, int(disk["size"]))
    return sizes


def block_mounts():
    """Mount point -> size of the disk under it, for the mounts of block devices as this
    process sees them (its own root and mount namespace); the last mount on a point wins."""
    out = subprocess.run(["findmnt", "-J", "-l", "-o", "TARGET,MAJ:MIN,SOURCE"], capture_output=True,
                         text=True).stdout
    sizes, mounts = disk_sizes(), {}
    for fs in json.loads(out or '{"filesystems": []}')["filesystems"]:
        source = os.path.basename(os.path.realpath(fs["source"] or ""))
        mounts[fs["target"]] = sizes.get(fs["maj:min"], sizes.get(source) if fs["source"] else None)
    return {target: size for target, size in mounts.items() if size is not None}


def start_xvfb():
    """An Xvfb on a display number it picks itself, so a stale lock never blocks a run."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    assert number, "Xvfb did not start"
    return xvfb, ":" + number
