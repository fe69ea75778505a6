// The SMBIOS memory parser against a walk written from the DMTF standard
// (DSP0134: structure header, string set, types 16 and 17), and a cut table
// against the whole one.
#include <optional>

#include "fuzz_support.h"
#include "wmi/linux/smbios.h"

using namespace harvix;

namespace {

struct RefDevice {
    std::optional<std::uint64_t> size;
    std::optional<std::uint32_t> speed;
    std::optional<std::string> strings[5];  // device, bank, manufacturer, serial, part
};

std::uint32_t Le(const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int k = n - 1; k >= 0; --k) v = (v << 8) | p[k];
    return v;
}

// Structures in table order; type 17 only, as far as the table holds whole ones.
std::vector<RefDevice> ReferenceDevices(const std::uint8_t* t, std::size_t n) {
    std::vector<RefDevice> out;
    std::size_t at = 0;
    while (n - at >= 4) {
        const std::uint8_t* s = t + at;
        std::size_t len = s[1];
        if (len < 4 || len > n - at) break;
        // String set: NUL-terminated strings, the set ended by one more NUL.
        std::vector<std::string> strs;
        std::size_t p = at + len;
        bool whole = false;
        if (p + 1 < n && t[p] == 0 && t[p + 1] == 0) {
            whole = true;
            p += 2;
        } else {
            while (p < n) {
                std::size_t q = p;
                while (q < n && t[q] != 0) ++q;
                if (q >= n) break;
                strs.emplace_back(reinterpret_cast<const char*>(t + p), q - p);
                p = q + 1;
                if (p < n && t[p] == 0) {
                    whole = true;
                    ++p;
                    break;
                }
            }
        }
        if (!whole) break;
        if (s[0] == 17) {
            RefDevice d;
            if (len >= 0x0E) {
                std::uint32_t size = Le(s + 0x0C, 2);
                if (size == 0x7FFF) {
                    if (len >= 0x20) d.size = std::uint64_t(Le(s + 0x1C, 4) & 0x7FFFFFFF) << 20;
                } else if (size != 0 && size != 0xFFFF) {
                    d.size = (size & 0x8000) ? std::uint64_t(size & 0x7FFF) << 10
                                             : std::uint64_t(size) << 20;
                }
            }
            if (len >= 0x17) {
                std::uint32_t speed = Le(s + 0x15, 2);
                if (speed == 0xFFFF) {
                    if (len >= 0x58 && (Le(s + 0x54, 4) & 0x7FFFFFFF) != 0)
                        d.speed = Le(s + 0x54, 4) & 0x7FFFFFFF;
                } else if (speed != 0) {
                    d.speed = speed;
                }
            }
            const std::size_t offsets[5] = {0x10, 0x11, 0x17, 0x18, 0x1A};
            for (int k = 0; k < 5; ++k) {
                if (offsets[k] >= len) continue;
                unsigned idx = s[offsets[k]];
                if (idx >= 1 && idx <= strs.size() && !strs[idx - 1].empty())
                    d.strings[k] = strs[idx - 1];
            }
            out.push_back(d);
        }
        if (s[0] == 127) break;
        at = p;
    }
    return out;
}

template <class T>
bool IsPrefix(const std::vector<T>& part, const std::vector<T>& whole) {
    if (part.size() > whole.size()) return false;
    for (std::size_t i = 0; i < part.size(); ++i)
        if (!(part[i] == whole[i])) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto whole = smbios::ParseMemory({data, size});
    auto ref = ReferenceDevices(data, size);
    HARVIX_CHECK(whole.Devices.size() == ref.size(), "memory devices counted as the standard does");
    for (std::size_t i = 0; i < ref.size(); ++i) {
        const auto& d = whole.Devices[i];
        const std::string at = "device " + std::to_string(i);
        HARVIX_CHECK(d.SizeBytes == ref[i].size, at + ": size");
        HARVIX_CHECK(d.Speed == ref[i].speed, at + ": speed");
        HARVIX_CHECK(!d.Speed || (*d.Speed > 0 && *d.Speed <= 0x7FFFFFFFu), at + ": speed range");
        const std::optional<std::string>* got[5] = {
            &d.DeviceLocator, &d.BankLocator, &d.Manufacturer, &d.SerialNumber, &d.PartNumber};
        for (int k = 0; k < 5; ++k) HARVIX_CHECK(*got[k] == ref[i].strings[k], at + ": string");
    }
    for (const auto& a : whole.Arrays)
        HARVIX_CHECK(!a.MaxCapacityKb || *a.MaxCapacityKb <= (UINT64_MAX >> 10), "capacity in kB");
    // A cut table gives a prefix of what the whole table gives.
    for (std::size_t cut : {size / 2, size * 3 / 4, size ? size - 1 : 0}) {
        auto part = smbios::ParseMemory({data, cut});
        HARVIX_CHECK(IsPrefix(part.Devices, whole.Devices), "cut at " + std::to_string(cut));
        HARVIX_CHECK(IsPrefix(part.Arrays, whole.Arrays), "cut at " + std::to_string(cut));
    }
    return 0;
}
