// Win32_PhysicalMemoryArray and Win32_PhysicalMemory, from the SMBIOS table.
#include <set>

#include "platform/encoding.h"
#include "wmi/linux/smbios.h"
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

std::vector<std::uint8_t> SmbiosTable(const Root& root) {
    auto raw = root.Read("/sys/firmware/dmi/tables/DMI");
    if (!raw) return {};
    return std::vector<std::uint8_t>(raw->begin(), raw->end());
}

// Arrays of system memory; other arrays (video, flash) are not the board's RAM.
bool IsSystemArray(const smbios::MemoryArray& a) {
    return !a.Use || *a.Use == 0x03;
}

}  // namespace

std::optional<std::uint16_t> ExternalClock(const Root& root, std::size_t socket) {
    auto bytes = SmbiosTable(root);
    auto sockets = smbios::ParseMemory(bytes).Processors;
    if (socket >= sockets.size()) return std::nullopt;
    return sockets[socket].ExternalClock;
}

std::vector<Instance> PhysicalMemoryArrayInstances(const Root& root) {
    auto bytes = SmbiosTable(root);
    std::vector<Instance> out;
    for (const auto& a : smbios::ParseMemory(bytes).Arrays) {
        if (!IsSystemArray(a)) continue;
        Instance inst;
        inst.Set("MaxCapacity", Count(a.MaxCapacityKb));
        inst.Set("MemoryDevices", Count(a.Devices));
        out.push_back(std::move(inst));
    }
    return out;
}

std::vector<Instance> PhysicalMemoryInstances(const Root& root) {
    auto bytes = SmbiosTable(root);
    smbios::MemoryTable table = smbios::ParseMemory(bytes);
    std::set<std::uint16_t> otherArrays;
    for (const auto& a : table.Arrays)
        if (!IsSystemArray(a)) otherArrays.insert(a.Handle);
    auto text = [](const std::optional<std::string>& s) {
        return s ? WmiValue(platform::ToValidUtf8(*s)) : WmiValue();
    };
    std::vector<Instance> out;
    for (const auto& d : table.Devices) {
        if (!d.Installed) continue;
        if (d.ArrayHandle && otherArrays.count(*d.ArrayHandle)) continue;
        Instance inst;
        inst.Set("BankLabel", text(d.BankLocator));
        inst.Set("DeviceLocator", text(d.DeviceLocator));
        inst.Set("Capacity", d.SizeBytes ? WmiValue(std::to_string(*d.SizeBytes)) : WmiValue());
        inst.Set("FormFactor",
                 d.FormFactor ? WmiValue(smbios::WmiFormFactor(*d.FormFactor)) : WmiValue());
        inst.Set("Manufacturer", text(d.Manufacturer));
        inst.Set("PartNumber", text(d.PartNumber));
        inst.Set("SerialNumber", text(d.SerialNumber));
        inst.Set("Speed", Count(d.Speed));
        inst.Set("SMBIOSMemoryType",
                 d.MemoryType ? WmiValue(static_cast<std::int32_t>(*d.MemoryType)) : WmiValue());
        inst.Set("ConfiguredClockSpeed", Count(d.ConfiguredSpeed));
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
