// Harvix's own file: the page's own values, exactly as it shows them, and what
// GLPI's format has no place for.
#include "report/inventory_json_parts.h"

namespace harvix::inventory_json {

namespace {

// A count of bytes as a number when it is one, else the text as collected.
void PutBytes(json& j, const char* key, const std::string& digits) {
    if (std::optional<std::uint64_t> n = ByteCount(digits))
        j[key] = *n;
    else
        Put(j, key, digits);
}

json General(const GeneralInfos& g, const CpuInfos& cpu) {
    json j = json::object();
    Put(j, "operating_system", g.OperatingSystem);
    Put(j, "computer_name", g.ComputerName);
    Put(j, "domain", g.Domain);
    Put(j, "user_name", g.UserName);
    Put(j, "model", g.Model);
    Put(j, "serial_number", g.SerialNumber);
    json c = json::object();
    Put(c, "name", cpu.Name);
    Put(c, "physical_cores", cpu.PhysicalCores);
    Put(c, "logical_cores", cpu.LogicalCores);
    j["cpu"] = std::move(c);
    return j;
}

json Memory(const MemoryInfos& memory, const ExtendedInfos& ext) {
    json j = json::object();
    Put(j, "installed", memory.Installed);
    Put(j, "max_supported", memory.MaxSupported);
    Put(j, "total_bytes", ext.Identity.TotalMemoryBytes);
    j["slots"] = memory.SlotCount;
    j["used_slots"] = memory.UsedSlots;
    json modules = json::array();
    for (int i = 1; i <= memory.Modules.UBound(); ++i) {
        const MemoryModule& m = memory.Modules[i];
        json one = json::object();
        Put(one, "bank_label", m.BankLabel);
        Put(one, "manufacturer", m.Manufacturer);
        Put(one, "capacity", m.Capacity);
        // The details come in the page's order.
        if (static_cast<std::size_t>(i) <= ext.Modules.size())
            Put(one, "capacity_bytes", ext.Modules[static_cast<std::size_t>(i - 1)].CapacityBytes);
        Put(one, "speed", m.Speed);
        Put(one, "form_factor", FormFactorName(m.FormFactor));
        Put(one, "part_number", m.PartNumber);
        Put(one, "serial_number", m.SerialNumber);
        modules.push_back(std::move(one));
    }
    j["modules"] = std::move(modules);
    return j;
}

json Disks(const DiskList& disks, const ExtendedInfos& ext) {
    json list = json::array();
    for (int d = 1; d <= disks.Disks.UBound(); ++d) {
        const DiskInfos& disk = disks.Disks[d];
        json j = json::object();
        Put(j, "id", disk.DiskId);
        Put(j, "model", disk.Model);
        Put(j, "serial_number", disk.SerialNumber);
        Put(j, "size", disk.Size);
        for (const DiskDetails& x : ext.Disks)
            if (x.DiskId == disk.DiskId) Put(j, "size_bytes", x.SizeBytes);
        Put(j, "interface", disk.InterfaceType);
        Put(j, "media_type", disk.MediaType);
        j["partitions"] = disk.Partitions;
        Put(j, "partition_style", disk.PartitionStyle);
        list.push_back(std::move(j));
    }
    return list;
}

json Volumes(const VolumeList& volumes) {
    json list = json::array();
    for (int v = 1; v <= volumes.Volumes.UBound(); ++v) {
        const VolumeInfos& vol = volumes.Volumes[v];
        json j = json::object();
        Put(j, "name", vol.Name);
        Put(j, "label", vol.VolumeName);
        j["drive_type"] = vol.DriveType;
        Put(j, "file_system", vol.FileSystem);
        PutBytes(j, "size_bytes", vol.Size);
        PutBytes(j, "free_bytes", vol.FreeSpace);
        PutBytes(j, "used_bytes", vol.UsedSpace);
        Put(j, "partition", vol.PartitionId);
        Put(j, "disk", vol.DiskId);
        list.push_back(std::move(j));
    }
    return list;
}

json Readiness(const ExtendedInfos& ext) {
    const Win11Readiness r = Windows11Readiness(ext);
    json j = json::object();
    Put(j, "verdict", r.Verdict);
    j["failed"] = r.Failed;
    j["unknown"] = r.Unknown;
    return j;
}

json Details(const ExtendedInfos& ext) {
    json j = json::object();
    Put(j, "firmware_type", ext.Firmware.FirmwareType);
    Put(j, "ca2023_status", ext.Firmware.Ca2023Status);
    json tpm = json::object();
    Put(tpm, "present", ext.Tpm.Present);
    Put(tpm, "version", ext.Tpm.Version);
    Put(tpm, "manufacturer", ext.Tpm.Manufacturer);
    j["tpm"] = std::move(tpm);
    json os = json::object();
    Put(os, "edition", ext.Os.Edition);
    Put(os, "display_version", ext.Os.DisplayVersion);
    Put(os, "build", ext.Os.Build);
    Put(os, "timezone", ext.Os.TimeZone);
    Put(os, "timezone_offset_minutes", ext.Os.TimeZoneOffsetMinutes);
    j["os"] = std::move(os);
    json gateways = json::array();
    for (const NetworkAdapter& a : ext.Networks)
        if (a.Name && !a.Gateways.empty())
            gateways.push_back({{"adapter", *a.Name}, {"gateways", a.Gateways}});
    j["gateways"] = std::move(gateways);
    json videos = json::array();
    for (const VideoAdapter& v : ext.Videos)
        if (v.PciId) {
            json one = {{"pnpdeviceid", *v.PciId}};
            Put(one, "name", v.Name);
            videos.push_back(std::move(one));
        }
    j["video_devices"] = std::move(videos);
    json unread = json::array();
    for (const Unread& u : ext.Unreadable) unread.push_back({{"what", u.What}, {"why", u.Why}});
    j["unread"] = std::move(unread);
    return j;
}

}  // namespace

json HarvixObject(const GeneralInfos& general, const CpuInfos& cpu, const MemoryInfos& memory,
                  const DiskList& disks, const VolumeList& volumes, const ExtendedInfos& ext) {
    json j = Details(ext);
    j["report"] = General(general, cpu);
    j["report"]["memory"] = Memory(memory, ext);
    j["report"]["disks"] = Disks(disks, ext);
    j["report"]["volumes"] = Volumes(volumes);
    j["windows11"] = Readiness(ext);
    return j;
}

}  // namespace harvix::inventory_json

namespace harvix {

std::string HarvixJson(const std::string& deviceId, const GeneralInfos& general,
                       const CpuInfos& cpu, const MemoryInfos& memory, const DiskList& disks,
                       const VolumeList& volumes, const ExtendedInfos& extended,
                       const JsonStamp& stamp) {
    using inventory_json::json;
    // What ties it to its inventory file first, then the facts.
    json doc = {{"format", "harvix"}, {"format_version", kHarvixFileVersion}};
    inventory_json::Put(doc, "deviceid", deviceId);
    inventory_json::Put(doc, "computer_name", general.ComputerName);
    inventory_json::Put(doc, "date", stamp.DateTime);
    doc["versionclient"] = "Harvix-" + stamp.Version;
    json facts = inventory_json::HarvixObject(general, cpu, memory, disks, volumes, extended);
    for (auto& item : facts.items()) doc[item.key()] = std::move(item.value());
    // Indented: no program list makes it long, and a technician may open it.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace harvix
