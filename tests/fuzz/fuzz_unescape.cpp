// The mount table's and udev's escapes, through the provider: a mount point
// written as the kernel writes mountinfo (space, tab, newline and backslash as
// \ooo), the tree's statvfs record likewise, and a label as udev encodes
// ID_FS_LABEL_ENC (\xNN for all but [0-9A-Za-z#+-.:=@_] and UTF-8) come back
// as they were.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "platform/encoding.h"
#include "wmi/linux/provider.h"

using namespace harvix;

namespace {

std::string KernelEscaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UdevEncoded(const std::string& s) {
    static const std::string kPlain = "#+-.:=@_";
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        std::size_t n = fuzz::Utf8SequenceAt(s, i);
        if (n > 1) {
            out += s.substr(i, n);
            i += n;
            continue;
        }
        if (std::isalnum(c) || kPlain.find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
        ++i;
    }
    return out;
}

WmiValue Get(const linuxwmi::Instance& inst, const std::string& name) {
    for (const auto& [prop, v] : inst.Properties)
        if (prop == name) return v;
    return WmiValue();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string mount = "/" + in.ConsumeRandomLengthString(80);
    std::string label = in.ConsumeRandomLengthString(40);
    if (mount.find('\0') != std::string::npos || mount == "/mnt/usb") return 0;

    fuzz::TempTree tree;
    tree.WriteFile("proc/self/mountinfo",
                   "22 1 0:25 / " + KernelEscaped(mount) +
                       " rw,relatime shared:1 - tmpfs tmpfs rw\n"
                       "23 1 8:1 / /mnt/usb rw,relatime - vfat /dev/sda1 rw\n");
    tree.WriteFile(".harvix/statvfs", KernelEscaped(mount) + " 1000 500\n/mnt/usb 2048 1024\n");
    // A partition is known through its disk, as in /sys/block.
    const std::string sda = "sys/devices/virtual/block/sda";
    tree.WriteFile(sda + "/dev", "8:0\n");
    tree.WriteFile(sda + "/size", "4096\n");
    tree.WriteFile(sda + "/sda1/dev", "8:1\n");
    tree.WriteFile(sda + "/sda1/partition", "1\n");
    tree.WriteLink("sys/block/sda", "../devices/virtual/block/sda");
    tree.WriteLink("sys/class/block/sda1", "../../devices/virtual/block/sda/sda1");
    tree.WriteLink("sys/dev/block/8:1", "../../devices/virtual/block/sda/sda1");
    tree.WriteFile("run/udev/data/b8:1",
                   "E:ID_FS_TYPE=vfat\nE:ID_FS_LABEL_ENC=" + UdevEncoded(label) + "\n");

    linuxwmi::Provider provider(tree.Path());
    std::vector<linuxwmi::Instance> disks;
    try {
        disks = provider.Instances("Win32_LogicalDisk");
    } catch (const std::exception& e) {
        fuzz::Fail(std::string("Win32_LogicalDisk failed: ") + e.what());
    }
    bool sawMount = false, sawUsb = false;
    for (const auto& d : disks) {
        const std::string name = ToText(Get(d, "Name"));
        if (name == platform::ToValidUtf8(mount)) {
            sawMount = true;
            HARVIX_CHECK(Get(d, "Size") == WmiValue("1000"), "statvfs record of " + mount);
            HARVIX_CHECK(Get(d, "FreeSpace") == WmiValue("500"), "statvfs record of " + mount);
        }
        if (name == "/mnt/usb") {
            sawUsb = true;
            HARVIX_CHECK(Get(d, "VolumeName") == WmiValue(platform::ToValidUtf8(label)),
                         "udev label " + label);
        }
    }
    HARVIX_CHECK(sawMount, "mount point read back: " + mount);
    HARVIX_CHECK(sawUsb, "the labelled volume");
    return 0;
}
