// The inventory file's device lists: disks, volumes, network, display, software.
#include <algorithm>
#include <cstdio>

#include "report/inventory_json_parts.h"

namespace harvix::inventory_json {

namespace {

json Storage(const DiskInfos* shown, const DiskDetails* more) {
    json j = json::object();
    if (more) {
        // The device, as GLPI's agents name it ("sda", "\\.\PHYSICALDRIVE0").
        Put(j, "name", more->DeviceName ? more->DeviceName : more->DiskId);
        Put(j, "model", more->Model);
        Put(j, "serial", more->SerialNumber);
        Put(j, "interface", more->Interface);
        Put(j, "description", more->MediaType);
        Put(j, "firmware", more->Firmware);
        // Decimal megabytes, as GLPI's agents give a disk's size.
        if (more->SizeBytes) j["disksize"] = *more->SizeBytes / 1000000u;
        if (more->Rotational) j["type"] = *more->Rotational ? "HDD" : "SSD";
    }
    // What the page shows wins where both were read.
    if (shown) {
        if (!j.contains("name")) Put(j, "name", shown->DiskId);
        Put(j, "model", shown->Model);
        Put(j, "serial", shown->SerialNumber);
        Put(j, "interface", shown->InterfaceType);
        Put(j, "description", shown->MediaType);
    }
    return j;
}

template <class Details, class Key>
const Details* Find(const std::vector<Details>& all, const Key& key, std::vector<bool>& used) {
    for (std::size_t i = 0; i < all.size(); ++i)
        if (!used[i] && key(all[i])) {
            used[i] = true;
            return &all[i];
        }
    return nullptr;
}

bool IsDriveLetter(const std::string& name) {
    return name.size() == 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

// A lettered volume's kind, in the words GLPI's agent gives Win32_LogicalDisk's
// DriveType and GLPI tests to leave out removable and network drives; "Compact
// Disk" as GLPI spells it, so that its removable media setting covers CD drives.
std::optional<std::string> DriveTypeName(std::int32_t type) {
    static const char* const names[] = {"Unknown",    "No Root Directory", "Removable Disk",
                                        "Local Disk", "Network Drive",     "Compact Disk",
                                        "RAM Disk"};
    if (type < 0 || type > 6) return std::nullopt;
    return names[type];
}

json Drive(const VolumeInfos* shown, const VolumeDetails* more, const ExtendedInfos& ext) {
    json j = json::object();
    const std::string name = shown ? shown->Name : more->Name;
    // A mount point goes in type, as on Linux; a letter has its kind there.
    if (IsDriveLetter(name)) {
        Put(j, "letter", name);
        std::int32_t type = -1;
        if (more && more->DriveType)
            type = *more->DriveType;
        else if (shown && shown->DriveType > 0)
            type = shown->DriveType;
        Put(j, "type", DriveTypeName(type));
    } else {
        Put(j, "type", name);
    }
    std::optional<std::uint64_t> size, freeBytes;
    if (more) {
        Put(j, "label", more->Label);
        Put(j, "filesystem", more->FileSystem);
        Put(j, "serial", more->Serial);
        Put(j, "systemdrive", more->SystemDrive);
        Put(j, "encrypt_name", more->EncryptionType);
        Put(j, "encrypt_status", more->EncryptionStatus);
        size = more->SizeBytes;
        freeBytes = more->FreeBytes;
    }
    if (shown) {
        Put(j, "label", shown->VolumeName);
        Put(j, "filesystem", shown->FileSystem);
        if (ByteCount(shown->Size)) size = ByteCount(shown->Size);
        if (ByteCount(shown->FreeSpace)) freeBytes = ByteCount(shown->FreeSpace);
    }
    Put(j, "total", MiB(size));
    Put(j, "free", MiB(freeBytes));
    if (!j.contains("systemdrive") && ext.Os.SystemDrive)
        j["systemdrive"] = name == *ext.Os.SystemDrive;
    return j;
}

// ffff:ffff:ffff:ffff:: for 64: the trailing zero groups written short.
std::string Ipv6Mask(std::int32_t prefix) {
    std::string out;
    for (int done = 0; done < 128 && prefix > done; done += 16) {
        const int ones = std::min(prefix - done, 16);
        char group[16];
        std::snprintf(group, sizeof group, "%x", ((1u << ones) - 1u) << (16 - ones));
        if (done) out += ':';
        out += group;
    }
    return prefix > 112 ? out : out + "::";  // all eight groups written: nothing to shorten
}

// a.b.c.d with each part 0..255, as the format's ipv4 wants it.
std::optional<std::uint32_t> Ipv4(const std::string& text) {
    unsigned a, b, c, d;
    char rest;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &rest) != 4 || a > 255 ||
        b > 255 || c > 255 || d > 255)
        return std::nullopt;
    return (a << 24) | (b << 16) | (c << 8) | d;
}

std::string Ipv4Text(std::uint32_t v) {
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 255) + "." +
           std::to_string((v >> 8) & 255) + "." + std::to_string(v & 255);
}

// Linux: the interface ("eth0") and its device as model. Windows: the adapter, as
// GLPI's agent gives it; the connection's name ("Wi-Fi") has no member.
json NetworkBase(const NetworkAdapter& a, bool windows) {
    json j = json::object();
    if (windows) {
        Put(j, "description", a.Description ? a.Description : a.Name);
    } else {
        Put(j, "description", a.Name ? a.Name : a.Description);
        if (a.Name) Put(j, "model", a.Description);
    }
    Put(j, "mac", a.Mac);
    // Only the words the format knows.
    if (OneOf(a.Status, {"up", "down", "dormant", "notpresent", "lowerlayerdown", "unknown",
                          "testing"}))
        j["status"] = *a.Status;
    if (OneOf(a.Type, {"ethernet", "wifi", "infiniband", "aggregate", "alias", "dialup",
                       "loopback", "bridge", "fibrechannel", "bluetooth"}))
        j["type"] = *a.Type;
    Put(j, "virtualdev", a.Virtual);
    Put(j, "mtu", a.Mtu);
    Put(j, "ipdhcp", a.DhcpServer);
    // Megabits per second, as GLPI's agents give it.
    if (a.SpeedBitsPerSecond) j["speed"] = std::to_string(*a.SpeedBitsPerSecond / 1000000u);
    return j;
}

void AddAddress(json& j, const NetworkAdapter& a, const NetworkAddress& addr) {
    if (addr.Family == 6) {
        j["ipaddress6"] = addr.Address;
        j["ipmask6"] = Ipv6Mask(addr.PrefixLength);
        return;
    }
    std::optional<std::uint32_t> ip = Ipv4(addr.Address);
    if (!ip) return;
    const std::uint32_t mask =
        addr.PrefixLength <= 0 ? 0u : ~0u << (32 - std::min<std::int32_t>(addr.PrefixLength, 32));
    j["ipaddress"] = addr.Address;
    j["ipmask"] = Ipv4Text(mask);
    j["ipsubnet"] = Ipv4Text(*ip & mask);
    for (const std::string& gateway : a.Gateways)
        if (Ipv4(gateway)) {
            j["ipgateway"] = gateway;
            break;
        }
}

}  // namespace

std::optional<std::uint64_t> ByteCount(const std::string& digits) {
    if (digits.empty() || digits.size() > 19) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

json Storages(const DiskList& disks, const ExtendedInfos& ext) {
    json list = json::array();
    std::vector<bool> used(ext.Disks.size());
    for (int d = 1; d <= disks.Disks.UBound(); ++d) {
        const DiskInfos& disk = disks.Disks[d];
        auto same = [&](const DiskDetails& x) { return x.DiskId == disk.DiskId; };
        list.push_back(Storage(&disk, Find(ext.Disks, same, used)));
    }
    for (std::size_t i = 0; i < used.size(); ++i)
        if (!used[i]) list.push_back(Storage(nullptr, &ext.Disks[i]));
    return list;
}

json Drives(const VolumeList& volumes, const ExtendedInfos& ext) {
    json list = json::array();
    std::vector<bool> used(ext.Volumes.size());
    for (int v = 1; v <= volumes.Volumes.UBound(); ++v) {
        const VolumeInfos& vol = volumes.Volumes[v];
        auto same = [&](const VolumeDetails& x) { return x.Name == vol.Name; };
        list.push_back(Drive(&vol, Find(ext.Volumes, same, used), ext));
    }
    // The page's volumes, then the others but RAM drives (tmpfs and the like), as
    // other agents leave those out too.
    for (std::size_t i = 0; i < used.size(); ++i)
        if (!used[i] && ext.Volumes[i].DriveType != 6)
            list.push_back(Drive(nullptr, &ext.Volumes[i], ext));
    return list;
}

// One entry per address, as GLPI's agents write them; one bare entry for an
// adapter without any.
json Networks(const ExtendedInfos& ext) {
    json list = json::array();
    const bool windows = ext.Os.KernelName == "MSWin32";
    for (const NetworkAdapter& a : ext.Networks) {
        const json base = NetworkBase(a, windows);
        if (!base.contains("description")) continue;  // the format requires it
        if (a.Addresses.empty()) list.push_back(base);
        for (const NetworkAddress& addr : a.Addresses) {
            json j = base;
            AddAddress(j, a, addr);
            list.push_back(std::move(j));
        }
    }
    return list;
}

json Videos(const ExtendedInfos& ext) {
    json list = json::array();
    for (const VideoAdapter& v : ext.Videos) {
        json j = json::object();
        Put(j, "name", v.Name);
        Put(j, "chipset", v.Chipset);
        Put(j, "memory", MiB(v.MemoryBytes));
        Put(j, "resolution", v.Resolution);
        list.push_back(std::move(j));
    }
    return list;
}

json Monitors(const ExtendedInfos& ext) {
    json list = json::array();
    for (const MonitorInfos& m : ext.Monitors) {
        json j = json::object();
        Put(j, "manufacturer", m.Manufacturer);
        Put(j, "caption", m.Model);
        Put(j, "name", m.Model);
        Put(j, "serial", m.Serial);
        Put(j, "port", m.Port);
        Put(j, "base64", m.EdidBase64);
        list.push_back(std::move(j));
    }
    return list;
}

json Softwares(const ExtendedInfos& ext) {
    json list = json::array();
    for (const SoftwareInfos& s : ext.Software) {
        if (s.Name.empty()) continue;  // the format requires a name
        json j = {{"name", s.Name}};
        Put(j, "version", s.Version);
        Put(j, "publisher", s.Publisher);
        Put(j, "install_date", s.InstallDate);
        Put(j, "arch", s.Architecture);
        Put(j, "from", s.Source);
        Put(j, "guid", s.Guid);
        list.push_back(std::move(j));
    }
    return list;
}

}  // namespace harvix::inventory_json
