// What tells one computer from another: the placeholders makers leave in SMBIOS,
// which tell nobody apart, and the agent id the inventory file gives a computer.
#pragma once

#include <string>
#include <string_view>

#include "inventory/extended.h"
#include "inventory/modGetInfos.h"

namespace harvix {

// A serial number, maker or model that makers leave unset ("Default string",
// "To Be Filled By O.E.M.", "System Serial Number", zeros...), or an empty text.
bool IsPlaceholderIdentity(std::string_view text);

// A UUID that tells no computer apart: empty, all zeros or all F, or the one
// boards of many makers share.
bool IsPlaceholderUuid(std::string_view uuid);

// The inventory file's agent id: the same on every run of one computer, and through a
// rename where its hardware identity (UUID, serial number or network card) is known.
std::string StableDeviceId(const GeneralInfos& general, const ExtendedInfos& ext);

}  // namespace harvix
