#include "wmi/linux/smbios.h"

namespace harvix::smbios {

namespace {

struct Structure {
    std::span<const std::uint8_t> formatted;  // header included
    std::span<const std::uint8_t> strings;    // NUL-separated, without the final NUL

    bool Has(std::size_t offset, std::size_t size) const {
        return offset + size <= formatted.size();
    }
    std::uint8_t Byte(std::size_t o) const { return formatted[o]; }
    std::uint16_t Word(std::size_t o) const {
        return static_cast<std::uint16_t>(formatted[o] | (formatted[o + 1] << 8));
    }
    std::uint32_t Dword(std::size_t o) const {
        return static_cast<std::uint32_t>(Word(o)) |
               (static_cast<std::uint32_t>(Word(o + 2)) << 16);
    }
    std::uint64_t Qword(std::size_t o) const {
        return static_cast<std::uint64_t>(Dword(o)) |
               (static_cast<std::uint64_t>(Dword(o + 4)) << 32);
    }
    // String number n (from 1); 0 means none. A number past the set, or into an
    // empty set, names no string.
    std::optional<std::string> String(std::size_t o) const {
        if (!Has(o, 1) || Byte(o) == 0 || strings.empty()) return std::nullopt;
        unsigned want = Byte(o), index = 1;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= strings.size(); ++i) {
            if (i == strings.size() || strings[i] == 0) {
                if (index == want) {
                    if (i == start) return std::nullopt;  // sets hold no empty strings
                    return std::string(reinterpret_cast<const char*>(strings.data()) + start,
                                       i - start);
                }
                ++index;
                start = i + 1;
            }
        }
        return std::nullopt;
    }
};

void ReadArray(const Structure& s, MemoryTable& out) {
    MemoryArray a;
    a.Handle = s.Word(2);
    if (s.Has(0x05, 1)) a.Use = s.Byte(0x05);
    if (s.Has(0x07, 4)) {
        std::uint32_t kb = s.Dword(0x07);
        if (kb == 0x80000000u) {
            // Extended field, in bytes.
            if (s.Has(0x0F, 8)) a.MaxCapacityKb = s.Qword(0x0F) / 1024;
        } else {
            a.MaxCapacityKb = kb;
        }
    }
    if (s.Has(0x0D, 2)) a.Devices = s.Word(0x0D);
    out.Arrays.push_back(a);
}

void ReadDevice(const Structure& s, MemoryTable& out) {
    MemoryDevice d;
    d.Handle = s.Word(2);
    if (s.Has(0x04, 2)) d.ArrayHandle = s.Word(0x04);
    if (!s.Has(0x0C, 2)) {
        out.Devices.push_back(d);
        return;
    }
    std::uint16_t size = s.Word(0x0C);
    d.Installed = size != 0;
    if (size == 0x7FFF) {
        if (s.Has(0x1C, 4))
            d.SizeBytes = static_cast<std::uint64_t>(s.Dword(0x1C) & 0x7FFFFFFFu) << 20;
    } else if (size != 0xFFFF && size != 0) {
        std::uint64_t units = size & 0x7FFFu;
        d.SizeBytes = (size & 0x8000u) ? units << 10 : units << 20;
    }
    if (s.Has(0x0E, 1)) d.FormFactor = s.Byte(0x0E);
    d.DeviceLocator = s.String(0x10);
    d.BankLocator = s.String(0x11);
    if (s.Has(0x15, 2)) {
        std::uint16_t speed = s.Word(0x15);
        if (speed == 0xFFFF) {
            // Extended Speed: bit 31 is reserved, 0 is unknown.
            if (s.Has(0x54, 4)) {
                std::uint32_t extended = s.Dword(0x54) & 0x7FFFFFFFu;
                if (extended != 0) d.Speed = extended;
            }
        } else if (speed != 0) {
            d.Speed = speed;
        }
    }
    if (s.Has(0x12, 1)) d.MemoryType = s.Byte(0x12);
    if (s.Has(0x20, 2)) {
        std::uint16_t configured = s.Word(0x20);
        if (configured == 0xFFFF) {
            // Extended Configured Memory Speed (SMBIOS 3.3).
            if (s.Has(0x58, 4)) {
                std::uint32_t extended = s.Dword(0x58) & 0x7FFFFFFFu;
                if (extended != 0) d.ConfiguredSpeed = extended;
            }
        } else if (configured != 0) {
            d.ConfiguredSpeed = configured;
        }
    }
    d.Manufacturer = s.String(0x17);
    d.SerialNumber = s.String(0x18);
    d.PartNumber = s.String(0x1A);
    out.Devices.push_back(d);
}

void ReadProcessor(const Structure& s, MemoryTable& out) {
    ProcessorSocket p;
    if (s.Has(0x12, 2) && s.Word(0x12) != 0) p.ExternalClock = s.Word(0x12);
    out.Processors.push_back(p);
}

}  // namespace

MemoryTable ParseMemory(std::span<const std::uint8_t> table) {
    MemoryTable out;
    std::size_t off = 0;
    while (off + 4 <= table.size()) {
        std::uint8_t type = table[off];
        std::size_t len = table[off + 1];
        if (len < 4 || off + len > table.size()) break;
        // The string set ends at the first double NUL after the formatted area.
        std::size_t end = off + len;
        while (end + 1 < table.size() && !(table[end] == 0 && table[end + 1] == 0)) ++end;
        if (end + 1 >= table.size()) break;
        Structure s{table.subspan(off, len), table.subspan(off + len, end - (off + len))};
        if (type == 4) ReadProcessor(s, out);
        if (type == 16) ReadArray(s, out);
        if (type == 17) ReadDevice(s, out);
        if (type == 127) break;
        off = end + 2;
    }
    return out;
}

int WmiFormFactor(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return 1;  // Other
        case 0x03:
            return 7;  // SIMM
        case 0x04:
            return 2;  // SIP
        case 0x06:
            return 3;  // DIP
        case 0x07:
            return 4;  // ZIP
        case 0x08:
            return 6;  // Proprietary card
        case 0x09:
            return 8;  // DIMM
        case 0x0A:
            return 9;  // TSOP
        case 0x0C:
            return 11;  // RIMM
        case 0x0D:
            return 12;  // SODIMM
        case 0x0E:
            return 13;  // SRIMM
        default:
            return 0;  // Unknown, and codes WMI has no name for
    }
}

}  // namespace harvix::smbios
