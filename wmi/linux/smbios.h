// Memory structures of an SMBIOS table (types 16 and 17), parsed from raw bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace harvix::smbios {

struct MemoryArray {
    std::uint16_t Handle = 0;
    std::optional<std::uint8_t> Use;
    std::optional<std::uint64_t> MaxCapacityKb;  // kilobytes
    std::optional<std::uint16_t> Devices;
    bool operator==(const MemoryArray&) const = default;
};

struct MemoryDevice {
    std::uint16_t Handle = 0;
    std::optional<std::uint16_t> ArrayHandle;
    bool Installed = false;
    std::optional<std::uint64_t> SizeBytes;  // bytes; unknown when absent
    std::optional<std::uint8_t> FormFactor;  // SMBIOS code
    std::optional<std::string> DeviceLocator, BankLocator, Manufacturer, SerialNumber, PartNumber;
    std::optional<std::uint32_t> Speed;            // MT/s, below 2^31
    std::optional<std::uint8_t> MemoryType;        // SMBIOS code: 0x1A DDR4...
    std::optional<std::uint32_t> ConfiguredSpeed;  // MT/s, below 2^31
    bool operator==(const MemoryDevice&) const = default;
};

// A processor socket (type 4): the bus clock the board feeds it.
struct ProcessorSocket {
    std::optional<std::uint16_t> ExternalClock;  // MHz
    bool operator==(const ProcessorSocket&) const = default;
};

struct MemoryTable {
    std::vector<MemoryArray> Arrays;
    std::vector<MemoryDevice> Devices;
    std::vector<ProcessorSocket> Processors;  // read in the same walk
};

// Never reads outside the span: fields beyond a structure's length are absent,
// a truncated structure ends the walk, a missing end marker is tolerated.
MemoryTable ParseMemory(std::span<const std::uint8_t> table);

// SMBIOS memory form factor to the code WMI reports (0 = unknown).
int WmiFormFactor(std::uint8_t smbiosCode);

}  // namespace harvix::smbios
