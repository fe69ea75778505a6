// EDID: what a monitor says of itself (maker, model, serial), from its raw bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace harvix {

struct EdidInfo {
    std::string Manufacturer;  // 3-letter PNP id, e.g. "DEL"
    std::string Model;         // the monitor name descriptor, else the product code in hex
    std::string SerialNumber;  // the serial descriptor, else the 32-bit serial when non-zero
};

// nullopt unless the bytes start with a whole, valid EDID base block (128 bytes,
// fixed header, checksum 0); extension blocks are ignored.
std::optional<EdidInfo> ParseEdid(std::string_view bytes);

// Standard base64 (RFC 4648, with padding) of raw bytes.
std::string Base64(std::string_view bytes);

}  // namespace harvix
