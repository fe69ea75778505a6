"""The inventory file and Harvix's own file beside the report: on this machine
and on every recorded tree, the inventory valid against both of GLPI's schemas,
the own file tied to it and holding what the page shows; the page unchanged by
them; a file that cannot be written is a failure that leaves the page complete."""
import json
import os
import re
import unittest

from harvix_e2e import NO_SCHEMA, TREES, parse_report, program_copy, report_lines, run, schema_errors

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ENV = {"COMPUTERNAME": "PC", "USERNAME": "tech", "LC_ALL": "C"}


def machines():
    """None for this machine, then every recorded tree."""
    trees = sorted(n for n in os.listdir(TREES) if os.path.isdir(os.path.join(TREES, n)))
    return [None] + trees


def inventory(tree):
    folder = program_copy()
    env = dict(ENV, **({"HARVIX_ROOT": os.path.join(TREES, tree)} if tree else {}))
    result = run(folder, "/silent", env=env)
    assert result.returncode == 0, result.stderr
    with open(os.path.join(folder, "PC_inventory.json"), encoding="utf-8") as f:
        doc = json.load(f)
    with open(os.path.join(folder, "PC_harvix.txt"), encoding="utf-8") as f:
        return folder, doc, json.load(f)


class InventoryFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = {tree: inventory(tree) for tree in machines()}

    def test_every_file_is_valid_glpi_inventory_tied_to_its_own_file(self):
        for tree, (_, doc, own) in self.runs.items():
            errors = schema_errors(doc)
            if errors is None:
                self.skipTest(NO_SCHEMA)
            self.assertEqual(errors, [], tree or "this machine")
            self.assertRegex(doc["deviceid"], r"^harvix-[0-9a-f]{16}$")
            self.assertEqual((own["format"], own["format_version"], own["deviceid"], own["computer_name"]),
                             ("harvix", 1, doc["deviceid"], "PC"), tree)

    def test_the_page_values_are_all_there(self):
        for tree, (folder, doc, own) in self.runs.items():
            rows, disks = parse_report(os.path.join(folder, "PC_report.html"))
            mine = own["report"]
            self.assertEqual(mine.get("operating_system", ""), rows["OS"], tree)
            self.assertEqual(mine.get("model", ""), rows["Modèle de l'ordinateur"], tree)
            self.assertEqual(mine["cpu"].get("name", ""), rows["CPU"], tree)
            self.assertEqual([(d.get("id", ""), d["partitions"], d.get("partition_style", ""))
                              for d in mine["disks"]],
                             [(d["id"], d["partitions"], d["style"]) for d in disks], tree)
            shown = sorted((v["name"], int(v["size"])) for d in disks for v in d["volumes"])
            kept = sorted((v["name"], v["size_bytes"]) for v in mine["volumes"]
                          if any(v.get("disk") == d["id"] for d in disks))
            self.assertEqual(kept, shown, tree)
            names = [d.get("letter", d.get("type")) for d in doc["content"]["drives"]]
            self.assertEqual(names[:len(mine["volumes"])], [v["name"] for v in mine["volumes"]],
                             tree)

    def test_white_box_pcs_are_told_apart(self):
        # Four boards sharing "Default string" and the placeholder UUID: GLPI must not see
        # one computer in them.
        docs = [doc for tree, (_, doc, _) in self.runs.items() if tree and tree.startswith("whitebox")]
        self.assertEqual(len(docs), 4)
        for doc in docs:
            text = json.dumps({k: doc["content"][k] for k in ("bios", "hardware")})
            for placeholder in ("Default string", "To Be Filled", "03000200-0400-0500-0006-000700080009"):
                self.assertNotIn(placeholder, text)
        self.assertEqual(len({doc["deviceid"] for doc in docs}), 4)
        self.assertEqual(len({n["mac"] for doc in docs for n in doc["content"]["networks"]}), 4)

    def test_a_second_run_keeps_the_agent_id(self):
        # GLPI finds the agent by it: a new one on each run would be a new agent record.
        self.assertEqual(inventory(None)[1]["deviceid"], self.runs[None][1]["deviceid"])

    def test_recorded_pages_are_unchanged(self):
        for tree in machines()[1:]:
            with open(os.path.join(TREES, tree + ".expected"), encoding="utf-8") as f:
                expected = f.read().split("\n")
            expected = expected[:-1] if expected[-1] == "" else expected
            lines = report_lines(os.path.join(self.runs[tree][0], "PC_report.html"))
            self.assertEqual(lines[7:-15], expected, tree)


class AFileThatCannotBeWritten(unittest.TestCase):
    def test_fails_and_leaves_the_page_complete(self):
        for blocked in ("PC_inventory.json", "PC_harvix.txt"):
            folder = program_copy()
            os.mkdir(os.path.join(folder, blocked))  # cannot be replaced, even by root
            result = run(folder, "/silent", env=dict(ENV, HARVIX_ROOT=os.path.join(TREES, "vm")))
            self.assertEqual(result.returncode, 1)
            self.assertIn("Impossible d'écrire le fichier " + os.path.join(folder, blocked),
                          result.stderr.decode())
            report_lines(os.path.join(folder, "PC_report.html"))  # ends with the footer
            self.assertEqual(sorted(os.listdir(folder)), sorted({blocked, "PC_inventory.json", "PC_report.html",
                                                                 "harvix"}))


if __name__ == "__main__":
    unittest.main()
