"""The report opened in headless Chromium: the detail rows open and close, the
icon follows, a volume label full of HTML stays text, and one holding NUL and
C1 controls shows what was collected."""
import html
import json
import os
import re
import shutil
import subprocess
import unittest

from harvix_e2e import OUT, TREES, program_copy, run, temp_folder

HOSTILE = "<img src=x onerror=\"document.title='pwned'\">&amp;"

HARNESS = """<!DOCTYPE html><html><body><pre id="result">pending</pre><span id="probe">&#133;&#0;</span>
<iframe id="report" src="PC_report.html" width="900" height="1400"></iframe>
<script>
document.getElementById("report").addEventListener("load", function () {
  var doc = this.contentDocument, win = this.contentWindow, out = {rows: []};
  var rows = doc.getElementsByClassName("downlink");
  function state(row) {
    var body = row.parentElement;
    return {nested: win.getComputedStyle(body.querySelector(".nested")).display,
            icon: body.querySelector(".fa").className};
  }
  for (var i = 0; i < rows.length; i++) {
    var r = {label: rows[i].cells[0].textContent.trim(), before: state(rows[i])};
    rows[i].click(); r.opened = state(rows[i]);
    rows[i].click(); r.closed = state(rows[i]);
    out.rows.push(r);
  }
  rows[0].click(); rows[1].click();  // left open for the screenshot's twin below
  out.injected = doc.querySelectorAll("img[src=x]").length;
  out.title = doc.title;
  out.probe = document.getElementById("probe").textContent;
  out.labels = Array.prototype.map.call(doc.querySelectorAll("table.noborder td:first-child"),
                                        function (td) { return td.textContent; });
  document.getElementById("result").textContent = JSON.stringify(out);
});
</script></body></html>"""


def chromium(*args):
    return subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                           "--allow-file-access-from-files", "--virtual-time-budget=5000", *args],
                          capture_output=True, text=True, timeout=120)


class ReportInABrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The laptop, with a USB stick whose label is a piece of HTML.
        cls.tree = temp_folder("harvix-tree-")
        shutil.copytree(os.path.join(TREES, "laptop"), cls.tree, symlinks=True, dirs_exist_ok=True)
        encoded = "".join("\\x%02x" % ord(c) if c in " \\" else c for c in HOSTILE)
        with open(os.path.join(cls.tree, "run/udev/data/b8:1"), "w") as f:
            f.write("E:ID_FS_TYPE=vfat\nE:ID_FS_LABEL_ENC=%s\nE:ID_PART_ENTRY_SCHEME=dos\n"
                    "E:ID_PART_ENTRY_TYPE=0xc\n" % encoded)
        # The root filesystem's label holds a NUL and the C1 control U+0085.
        with open(os.path.join(cls.tree, "run/udev/data/b259:2"), "w") as f:
            f.write("E:ID_FS_TYPE=ext4\nE:ID_FS_LABEL_ENC=ra\\x00ci\\xc2\\x85ne\n"
                    "E:ID_PART_ENTRY_SCHEME=gpt\n"
                    "E:ID_PART_ENTRY_TYPE=0fc63daf-8483-4772-8e79-3d69d8477de4\n")
        cls.folder = program_copy()
        result = run(cls.folder, "/silent", env={"COMPUTERNAME": "PC", "HARVIX_ROOT": cls.tree})
        assert result.returncode == 0, result.stderr
        with open(os.path.join(cls.folder, "harness.html"), "w") as f:
            f.write(HARNESS)
        dom = chromium("--dump-dom", "file://" + os.path.join(cls.folder, "harness.html")).stdout
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        assert m, dom[:2000]
        cls.result = json.loads(html.unescape(m.group(1)))

    def test_each_detail_row_opens_and_closes_with_its_icon(self):
        rows = self.result["rows"]
        # The memory slots and the two disks.
        self.assertEqual(len(rows), 3)
        self.assertTrue(rows[0]["label"].endswith("Slots utilisés"))
        self.assertIn("DRIVE03 Partition(s) - Type GPT", rows[1]["label"])
        self.assertIn("DRIVE11 Partition(s) - Type MBR", rows[2]["label"])
        for r in rows:
            self.assertEqual(r["before"]["nested"], "none")
            self.assertIn("fa-plus", r["before"]["icon"])
            self.assertEqual(r["opened"]["nested"], "table-row")
            self.assertIn("fa-minus", r["opened"]["icon"])
            self.assertNotIn("fa-plus", r["opened"]["icon"])
            self.assertEqual(r["closed"], r["before"])

    def test_a_label_full_of_html_is_shown_as_text_and_runs_nothing(self):
        self.assertEqual(self.result["injected"], 0)
        self.assertNotEqual(self.result["title"], "pwned")
        self.assertIn("/media/jd/CLE USB (%s)" % HOSTILE, self.result["labels"])

    def test_nul_and_c1_controls_show_as_collected(self):
        # What a browser makes of the plain references: U+0085 becomes "…", NUL U+FFFD.
        self.assertEqual(self.result["probe"], "\u2026\ufffd")
        self.assertIn("/ (ra\ufffdci[U+0085]ne)", self.result["labels"])

    def test_screenshot_for_a_person(self):
        os.makedirs(OUT, exist_ok=True)
        shot = os.path.join(OUT, "report.png")
        if os.path.exists(shot):
            os.remove(shot)
        chromium("--window-size=900,1300", "--screenshot=" + shot,
                 "file://" + os.path.join(self.folder, "PC_report.html"))
        self.assertTrue(os.path.getsize(shot) > 10000)


if __name__ == "__main__":
    unittest.main()
