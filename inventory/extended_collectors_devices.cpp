// The extended collectors of devices: disks and volumes with their joins,
// network adapters with their addresses, video, monitors, software, and the
// reasons something could not be read.
#include <algorithm>

#include "inventory/extended_collectors.h"
#include "inventory/extended_values.h"
#include "platform/text.h"

namespace harvix::extended {

namespace {

struct DiskKind {
    std::optional<std::int32_t> Index;
    std::optional<std::string> Name;
    std::optional<bool> Rotational;
};

struct VolumeEncryption {
    std::optional<std::string> Name, Type, Status;
};

struct AddressRecord {
    std::optional<std::string> Adapter, Address;
    std::optional<std::int32_t> PrefixLength, Family;
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        std::string item(TrimOf(std::string_view(text).substr(pos, comma - pos), kWhiteSpace));
        if (!item.empty()) items.push_back(std::move(item));
        pos = comma + 1;
    }
    return items;
}

void ReadDisks(ExtendedInfos& infos) {
    infos.Disks = ReadAll<DiskDetails>("Win32_DiskDrive", [](Props& p, DiskDetails& d) {
        p.Text("Model", d.Model);
        p.Text("SerialNumber", d.SerialNumber);
        p.Text("FirmwareRevision", d.Firmware);
        p.Text("InterfaceType", d.Interface);
        p.Text("MediaType", d.MediaType);
        std::optional<std::string> deviceId;
        p.Text("DeviceID", deviceId);
        if (deviceId) d.DiskId = DiskIdOf(*deviceId);
        d.DeviceName = deviceId;
        p.Int("Index", d.Index);
        p.Count("Size", d.SizeBytes);
    });
    auto kinds = ReadAll<DiskKind>("Harvix_PhysicalDisk", [](Props& p, DiskKind& k) {
        p.Int("Index", k.Index);
        p.Text("Name", k.Name);
        p.Bool("Rotational", k.Rotational);
    });
    for (DiskDetails& disk : infos.Disks)
        for (const DiskKind& kind : kinds)
            if (disk.Index && kind.Index == disk.Index) {
                disk.Rotational = kind.Rotational;
                if (kind.Name) disk.DeviceName = kind.Name;
            }
}

void ReadVolumes(ExtendedInfos& infos) {
    auto volumes = ReadAll<VolumeDetails>("Win32_LogicalDisk", [](Props& p, VolumeDetails& v) {
        std::optional<std::string> name;
        p.Text("Name", name);
        v.Name = name.value_or("");
        p.Text("VolumeName", v.Label);
        p.Text("FileSystem", v.FileSystem);
        p.Text("VolumeSerialNumber", v.Serial);
        p.Int("DriveType", v.DriveType);
        p.Count("Size", v.SizeBytes);
        p.Count("FreeSpace", v.FreeBytes);
    });
    std::erase_if(volumes, [](const VolumeDetails& v) { return v.Name.empty(); });
    // The disk each volume lies on, found as the page finds it.
    VolumeList placed = GetVolumeInfos();
    auto encryptions =
        ReadAll<VolumeEncryption>("Harvix_VolumeEncryption", [](Props& p, VolumeEncryption& e) {
            p.Text("Name", e.Name);
            p.Text("Type", e.Type);
            p.Text("Status", e.Status);
        });
    const auto& systemDrive = infos.Os.SystemDrive;
    for (VolumeDetails& vol : volumes) {
        for (int i = 1; i <= placed.Volumes.UBound(); ++i)
            if (placed.Volumes[i].Name == vol.Name && !placed.Volumes[i].DiskId.empty())
                vol.DiskId = placed.Volumes[i].DiskId;
        if (systemDrive) vol.SystemDrive = EqualsNoCase(vol.Name, *systemDrive);
        for (const VolumeEncryption& e : encryptions) {
            if (e.Name != vol.Name) continue;
            vol.EncryptionType = e.Type;
            vol.EncryptionStatus = e.Status;
        }
    }
    infos.Volumes = std::move(volumes);
}

void ReadVideos(ExtendedInfos& infos) {
    infos.Videos = ReadAll<VideoAdapter>("Win32_VideoController", [](Props& p, VideoAdapter& v) {
        p.Text("Name", v.Name);
        p.Text("VideoProcessor", v.Chipset);
        std::optional<std::string> pnp;
        p.Text("PNPDeviceID", pnp);
        if (pnp) v.PciId = PciIdOf(*pnp);
        std::optional<std::int32_t> width, height;
        p.Int("CurrentHorizontalResolution", width);
        p.Int("CurrentVerticalResolution", height);
        if (width && height && *width > 0 && *height > 0)
            v.Resolution = std::to_string(*width) + "x" + std::to_string(*height);
        // AdapterRAM is an unsigned 32-bit count, which may arrive as a negative int32.
        if (auto ram = p.Value("AdapterRAM"); ram && ram->IsNumber())
            v.MemoryBytes = static_cast<std::uint32_t>(ram->Number());
        else if (ram)
            v.MemoryBytes = ParseUnsigned(TrimOf(ram->Text(), kWhiteSpace));
    });
}

}  // namespace

void ReadDisksAndVolumes(ExtendedInfos& infos) {
    ReadDisks(infos);
    ReadVolumes(infos);
}

void ReadNetworks(ExtendedInfos& infos) {
    infos.Networks =
        ReadAll<NetworkAdapter>("Harvix_NetworkAdapter", [](Props& p, NetworkAdapter& n) {
            p.Text("Name", n.Name);
            p.Text("Description", n.Description);
            p.Text("MACAddress", n.Mac);
            p.Text("Status", n.Status);
            p.Text("Type", n.Type);
            p.Count("Speed", n.SpeedBitsPerSecond);
            p.Bool("Virtual", n.Virtual);
            p.Bool("DHCPEnabled", n.Dhcp);
            p.Text("DHCPServer", n.DhcpServer);
            std::optional<std::string> gateways;
            p.Text("Gateways", gateways);
            if (gateways) n.Gateways = SplitList(*gateways);
            p.Int("MTU", n.Mtu);
        });
    auto addresses =
        ReadAll<AddressRecord>("Harvix_NetworkAddress", [](Props& p, AddressRecord& a) {
            p.Text("Adapter", a.Adapter);
            p.Text("Address", a.Address);
            p.Int("PrefixLength", a.PrefixLength);
            p.Int("Family", a.Family);
        });
    for (NetworkAdapter& adapter : infos.Networks) {
        for (const AddressRecord& a : addresses) {
            if (!adapter.Name || a.Adapter != adapter.Name || !a.Address) continue;
            const std::int32_t family =
                a.Family.value_or(a.Address->find(':') != std::string::npos ? 6 : 4);
            adapter.Addresses.push_back({*a.Address, a.PrefixLength.value_or(0), family});
        }
    }
}

void ReadDevices(ExtendedInfos& infos) {
    ReadVideos(infos);
    infos.Monitors = ReadAll<MonitorInfos>("Harvix_Monitor", [](Props& p, MonitorInfos& m) {
        p.Text("Port", m.Port);
        p.Text("Manufacturer", m.Manufacturer);
        p.Text("Model", m.Model);
        p.Text("SerialNumber", m.Serial);
        p.Text("EDID", m.EdidBase64);
    });
    infos.Software = ReadAll<SoftwareInfos>("Harvix_Software", [](Props& p, SoftwareInfos& s) {
        std::optional<std::string> name, date;
        p.Text("Name", name);
        s.Name = name.value_or("");
        p.Text("Version", s.Version);
        p.Text("Publisher", s.Publisher);
        p.Text("InstallDate", date);
        if (date) s.InstallDate = IsoDate(*date);
        p.Text("Architecture", s.Architecture);
        p.Text("Source", s.Source);
        p.Text("Guid", s.Guid);
    });
    std::erase_if(infos.Software, [](const SoftwareInfos& s) { return s.Name.empty(); });
    ForEachObject("Select * from Harvix_Unread", [&](const CurrentObject& obj) {
        Props p(obj);
        std::optional<std::string> what, why;
        p.Text("What", what);
        p.Text("Why", why);
        if (what) infos.Unreadable.push_back({*what, why.value_or("")});
    });
}

}  // namespace harvix::extended
