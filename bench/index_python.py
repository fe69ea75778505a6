#!/usr/bin/env python3
"""The fleet index's reading work in plain Python with html.parser, for
comparison: every *_report.html of a folder read, its tables taken apart, one
row per computer in inventaire.csv and one per volume in volumes.csv; where an
*_inventory.json stands beside a report, it is read instead (json module) and
its programs go to logiciels.csv.

Usage: bench/index_python.py folder"""
import csv
import glob
import html.parser
import json
import os
import sys


class Report(html.parser.HTMLParser):
    """Cells of the report's rows, in order, with the text of each cell's small print apart."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows, self.row, self.cell, self.small, self.progress = [], None, None, None, []

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.row = []
            self.rows.append(self.row)
        elif tag == "td" and self.row is not None:
            self.cell = ["", ""]
            self.row.append(self.cell)
        elif tag == "p":
            self.small = True
        elif tag == "progress":
            a = dict(attrs)
            self.progress.append((a.get("value", ""), a.get("max", "")))

    def handle_endtag(self, tag):
        if tag == "p":
            self.small = False

    def handle_data(self, data):
        if self.cell is not None:
            self.cell[1 if self.small else 0] += data


def read(path):
    with open(path, "rb") as f:
        data = f.read(4 << 20)
    parser = Report()
    parser.feed(data.decode("cp1252", "replace"))
    plain, disks, volumes = {}, [], []
    for row in parser.rows:
        if len(row) == 2 and "Afficher les volumes" in row[0][0]:
            disk_id = row[0][0].split("Afficher les volumes", 1)[1].strip()
            size, _, serial = row[1][1].partition(" - SN: ")
            disks.append((disk_id, row[1][0], size, serial))
        elif len(row) == 2 and disks and "(" in row[0][0]:
            name, _, label = row[0][0].rpartition(" (")
            volumes.append([disks[-1][0], disks[-1][1], name, label[:-1], row[1][1].strip()])
        elif len(row) == 2:
            plain[row[0][0].strip()] = row[1][0]
    for v, (used, size) in zip(volumes, parser.progress):
        v += [used, size]
    return plain, disks, volumes


def read_inventory(path):
    """The same values from an inventory file; None when it is no inventory."""
    try:
        with open(path, "rb") as f:
            doc = json.loads(f.read(32 << 20))
        c = doc["content"]
        h = c.get("harvix", {})
    except (ValueError, KeyError, TypeError, AttributeError):
        return None
    plain = {"Nom de l'ordinateur": c.get("hardware", {}).get("name", ""), "OS": h.get("os_caption", ""),
             "CPU": (c.get("cpus") or [{}])[0].get("name", ""),
             "RAM installée": "%.2f Go" % (h.get("memory", {}).get("installed_bytes", 0) / (1 << 30))}
    disks = [(d.get("disk_id"), d.get("model"), "%d Go" % (d.get("size_bytes", 0) // 10 ** 9), d.get("serial"))
             for d in h.get("disks", [])]
    volumes = [[v.get("disk_id"), "", v.get("name"), v.get("label"), v.get("file_system"), str(v.get("used_bytes")),
                str(v.get("size_bytes"))] for v in h.get("volumes", [])]
    programs = [[s.get("name"), s.get("version"), s.get("publisher"), s.get("install_date")]
                for s in c.get("softwares", [])]
    return plain, disks, volumes, programs


def main(folder):
    with open(os.path.join(folder, "inventaire-py.csv"), "w", newline="", encoding="utf-8-sig") as inv, \
            open(os.path.join(folder, "volumes-py.csv"), "w", newline="", encoding="utf-8-sig") as vol, \
            open(os.path.join(folder, "logiciels-py.csv"), "w", newline="", encoding="utf-8-sig") as soft:
        rows, vols = csv.writer(inv, delimiter=";"), csv.writer(vol, delimiter=";")
        progs = csv.writer(soft, delimiter=";")
        for path in sorted(glob.glob(os.path.join(folder, "*_report.html"))):
            read_from = path[:-len("_report.html")] + "_inventory.json"
            got = read_inventory(read_from) if os.path.exists(read_from) else None
            if got:
                plain, disks, volumes, programs = got
                for p in programs:
                    progs.writerow([plain["Nom de l'ordinateur"]] + p)
            else:
                plain, disks, volumes = read(path)
            fullest = max((int(v[5]) * 100 / int(v[6]) for v in volumes if v[6].isdigit() and int(v[6])), default=-1)
            rows.writerow([plain.get("Nom de l'ordinateur", ""), plain.get("OS", ""), plain.get("CPU", ""),
                           plain.get("RAM installée", ""), len(disks),
                           sum(int(d[2].split()[0]) for d in disks if d[2].split()[0].isdigit()),
                           ("%.1f" % fullest).replace(".", ",")])
            for v in volumes:
                vols.writerow([plain.get("Nom de l'ordinateur", "")] + v)


if __name__ == "__main__":
    main(sys.argv[1])
