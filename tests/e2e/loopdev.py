"""Disk images on loop devices for the end-to-end tests. A Workspace undoes
everything it did, in reverse, also when a test fails: stopped daemons are
resumed before anything is unmounted, mounts are detached lazily, loop devices
released, device nodes it made removed."""
import glob
import os
import shutil
import signal
import subprocess
import tempfile


def require_root_and_loop(test):
    if os.geteuid() != 0:
        test.skipTest("needs root to attach loop devices")
    if not os.path.exists("/dev/loop-control") or not shutil.which("losetup"):
        test.skipTest("this machine cannot attach loop devices (no /dev/loop-control)")
    probe = tempfile.NamedTemporaryFile(prefix="harvix-loop-probe-")
    probe.truncate(1 << 20)
    r = subprocess.run(["losetup", "-f", "--show", probe.name], capture_output=True, text=True)
    if r.returncode != 0:
        probe.close()
        test.skipTest("this machine cannot attach loop devices: " + r.stderr.strip())
    subprocess.run(["losetup", "-d", r.stdout.strip()])
    probe.close()


class Workspace:
    def __init__(self):
        self.dir = None
        self.undo = []  # (kind, value), undone last first

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="harvix-dev-")
        return self

    def __exit__(self, *exc):
        # Stopped daemons first: an unmount or df behind a stopped FUSE daemon hangs.
        for kind, value in self.undo:
            if kind == "stopped":
                self._quiet(lambda: os.kill(value, signal.SIGCONT))
        for kind, value in reversed(self.undo):
            if kind == "mount":
                subprocess.run(["umount", "-l", value], capture_output=True)
            elif kind == "loop":
                subprocess.run(["partx", "-d", value], capture_output=True)
                subprocess.run(["losetup", "-d", value], capture_output=True)
            elif kind == "node":
                self._quiet(lambda: os.unlink(value))
            elif kind == "dir":
                self._quiet(lambda: os.rmdir(value))
        shutil.rmtree(self.dir, ignore_errors=True)
        return False

    @staticmethod
    def _quiet(action):
        try:
            action()
        except OSError:
            pass

    def sh(self, *cmd, input=None):
        r = subprocess.run(cmd, capture_output=True, text=True, input=input, timeout=60)
        if r.returncode != 0:
            raise AssertionError("%s failed: %s" % (" ".join(cmd), r.stderr.strip()))
        return r.stdout

    def image(self, name, size, table=None):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.truncate(size)
        if table:
            self.sh("sfdisk", "-q", path, input=table)
        return path

    def attach(self, image, read_only=False):
        args = ["losetup", "-f", "--show", "-P"] + (["-r"] if read_only else []) + [image]
        dev = self.sh(*args).strip()
        self.undo.append(("loop", dev))
        name = os.path.basename(dev)
        if not glob.glob("/sys/block/%s/%sp*" % (name, name)):
            # The kernel may not scan a loop device's table itself.
            subprocess.run(["partx", "-a", dev], capture_output=True)
        for part in sorted(glob.glob("/sys/block/%s/%sp*" % (name, name))):
            self._node(os.path.basename(part), part)
        return dev

    def _node(self, name, sysdir):
        """Without udev nobody makes /dev/<partition>: make it from sysfs."""
        node = "/dev/" + name
        if os.path.exists(node):
            return
        with open(sysdir + "/dev") as f:
            major, minor = map(int, f.read().split(":"))
        os.mknod(node, 0o600 | 0o060000, os.makedev(major, minor))
        self.undo.append(("node", node))

    def mountpoint(self, name):
        path = os.path.join(self.dir, "mnt", name)
        os.makedirs(path)
        return path

    def mounted(self, target):
        self.undo.append(("mount", target))

    def mount(self, source, target, *options):
        self.sh("mount", *options, source, target)
        self.mounted(target)

    def fuse_daemon(self, dev):
        """The process serving a FUSE mount of dev."""
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmd = f.read().split(b"\0")
            except OSError:
                continue
            if dev.encode() in cmd and int(pid) != os.getpid():
                return int(pid)
        raise AssertionError("no FUSE daemon serves " + dev)

    def stop(self, pid):
        self.undo.append(("stopped", pid))
        os.kill(pid, signal.SIGSTOP)

    def resume(self, pid):
        os.kill(pid, signal.SIGCONT)
