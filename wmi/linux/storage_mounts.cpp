// Mounted volumes: the mount table through libmount, which mounts are seen,
// what kind of drive each is, and their sizes.
#include <libmount/libmount.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <memory>
#include <set>

#include "platform/encoding.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

using TablePtr = std::unique_ptr<libmnt_table, void (*)(libmnt_table*)>;
using IterPtr = std::unique_ptr<libmnt_iter, void (*)(libmnt_iter*)>;

bool IsRamFs(const std::string& type) {
    return type == "tmpfs" || type == "ramfs";
}

bool IsNetFs(struct libmnt_fs* fs, const std::string& type) {
    static const std::set<std::string> kExtra = {"davfs",      "fuse.rclone",  "fuse.s3fs",
                                                 "fuse.sshfs", "fuse.gcsfuse", "smb3",
                                                 "afs",        "ceph",         "glusterfs"};
    return mnt_fs_is_netfs(fs) || kExtra.count(type) != 0;
}

// Block name behind a mounted filesystem: its device number first, the source path second.
std::optional<std::string> MountedBlock(const Root& root, const BlockIndex& index, dev_t devno,
                                        const char* source) {
    if (major(devno) != 0) {
        auto it =
            index.ByDevno.find(std::to_string(major(devno)) + ":" + std::to_string(minor(devno)));
        if (it != index.ByDevno.end()) return it->second;
    }
    if (source && StartsWith(source, "/dev/")) {
        if (auto path = root.Resolve(source)) {
            std::string name = Basename(*path);
            if (index.Parent.count(name)) return name;
        }
    }
    return std::nullopt;
}

TablePtr MountTable(const Root& root) {
    TablePtr table(mnt_new_table(), mnt_unref_table);
    if (!table) return table;
    if (mnt_table_parse_file(table.get(), root.Path("/proc/self/mountinfo").c_str()) != 0 &&
        mnt_table_parse_file(table.get(), root.Path("/proc/mounts").c_str()) != 0)
        table.reset();
    return table;
}

// A mount hides what was mounted earlier on the same point: only the last one is seen.
std::vector<libmnt_fs*> VisibleMounts(libmnt_table* table) {
    IterPtr iter(mnt_new_iter(MNT_ITER_FORWARD), mnt_free_iter);
    libmnt_fs* fs = nullptr;
    std::map<std::string, libmnt_fs*> visible;
    while (mnt_table_next_fs(table, iter.get(), &fs) == 0)
        if (const char* target = mnt_fs_get_target(fs)) visible[target] = fs;
    std::vector<libmnt_fs*> out;
    mnt_reset_iter(iter.get(), MNT_ITER_FORWARD);
    while (mnt_table_next_fs(table, iter.get(), &fs) == 0) {
        const char* target = mnt_fs_get_target(fs);
        if (target && mnt_fs_get_fstype(fs) && visible[target] == fs) out.push_back(fs);
    }
    return out;
}

// Optical drives are 5, RAM-backed devices 6, removable disks 2.
int DiskDriveType(const Root& root, const std::string& disk) {
    if (StartsWith(disk, "sr") ||
        root.Line("/sys/class/block/" + disk + "/device/type").value_or("") == "5")
        return 5;
    if (StartsWith(disk, "zram") || StartsWith(disk, "ram")) return 6;
    return root.Number("/sys/class/block/" + disk + "/removable").value_or(0) == 1 ? 2 : 3;
}

// What is known of the block devices while the mounts are classified; each
// disk's drive type is read once.
struct Blocks {
    const BlockIndex& Index;
    std::map<std::string, int> DriveTypes;
};

// Disc images on loop devices are 5 as well.
int BlockDriveType(const Root& root, Blocks& blocks, const std::string& disk,
                   const std::string& type) {
    if (StartsWith(disk, "loop") && IsImageFs(type)) return 5;
    auto it = blocks.DriveTypes.find(disk);
    if (it == blocks.DriveTypes.end())
        it = blocks.DriveTypes.emplace(disk, DiskDriveType(root, disk)).first;
    return it->second;
}

// A mount as a candidate volume: the key of its filesystem, and whether it
// shows that filesystem's own root rather than a folder inside it.
struct Candidate {
    std::string Key;
    Volume Shown;
    bool OwnRoot = true;
};

// The volume a mount shows; nullopt for views of no device.
std::optional<Candidate> Classify(const Root& root, Blocks& blocks, libmnt_fs* fs) {
    std::string type = mnt_fs_get_fstype(fs);
    const char* source = mnt_fs_get_source(fs);
    dev_t devno = mnt_fs_get_devno(fs);
    Volume v;
    v.Target = mnt_fs_get_target(fs);
    v.Name = platform::ToValidUtf8(v.Target);
    v.FileSystem = platform::ToValidUtf8(type);
    std::string key;
    if (IsRamFs(type)) {
        v.DriveType = 6;
        key = "ram:" + std::to_string(major(devno)) + ":" + std::to_string(minor(devno));
    } else if (IsNetFs(fs, type)) {
        v.DriveType = 4;
        key = "net:" + type + ":" + (source ? source : "");
    } else if (auto block = MountedBlock(root, blocks.Index, devno, source)) {
        v.Device = *block;
        v.DriveType = BlockDriveType(root, blocks, blocks.Index.Parent.at(*block), type);
        key = "blk:" + *block;
    } else if (type == "zfs" && !mnt_fs_is_pseudofs(fs)) {
        key = "src:" + std::string(source ? source : "");
    } else {
        return std::nullopt;  // proc, sysfs, cgroup, overlay and other views of no device
    }
    const char* fsRoot = mnt_fs_get_root(fs);  // unknown in /proc/mounts
    return Candidate{key, v, !fsRoot || std::string(fsRoot) == "/"};
}

// One volume per filesystem, named by a mount of its own root, the shortest such
// mount point; a mount of a folder inside it names it only when no mount of its root exists.
bool NamesBetter(const Candidate& a, const Candidate& b) {
    if (a.OwnRoot != b.OwnRoot) return a.OwnRoot;
    if (a.Shown.Name.size() != b.Shown.Name.size())
        return a.Shown.Name.size() < b.Shown.Name.size();
    return a.Shown.Name < b.Shown.Name;
}

void Keep(std::map<std::string, Candidate>& byKey, Candidate c) {
    auto it = byKey.find(c.Key);
    if (it == byKey.end())
        byKey.emplace(c.Key, std::move(c));
    else if (NamesBetter(c, it->second))
        it->second = std::move(c);
}

// Label, and the real type of a FUSE block filesystem.
void Complete(const Root& root, const BlockIndex& blocks, Volume& v) {
    if (v.Device.empty()) return;
    Probe probe = ProbeDevice(root, blocks, v.Device);
    v.Label = probe.Probed ? probe.Label.value_or("") : probe.Label;
    v.Serial = probe.Uuid;
    // ntfs-3g, exfat-fuse and other FUSE drivers of a device mount as "fuseblk" or "fuse.<name>".
    if (StartsWith(v.FileSystem, "fuse") && probe.FsType) v.FileSystem = *probe.FsType;
}

}  // namespace

std::vector<Volume> ReadVolumes(const Root& root, const BlockIndex& index) {
    TablePtr table = MountTable(root);
    if (!table) return {};
    Blocks blocks{index, {}};
    std::map<std::string, Candidate> byKey;
    for (libmnt_fs* fs : VisibleMounts(table.get()))
        if (auto c = Classify(root, blocks, fs)) Keep(byKey, std::move(*c));
    std::vector<Volume> out;
    for (auto& [key, c] : byKey) {
        Complete(root, index, c.Shown);
        out.push_back(std::move(c.Shown));
    }
    ReadSpaces(root, out);
    std::sort(out.begin(), out.end(),
              [](const Volume& a, const Volume& b) { return a.Name < b.Name; });
    return out;
}

}  // namespace harvix::linuxwmi
