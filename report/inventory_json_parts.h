// The inventory file's sections, each built from the records alone.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "report/inventory_json.h"

namespace harvix::inventory_json {

// Keys kept in the order written, so that the file reads as GLPI's examples do.
using json = nlohmann::ordered_json;

// A known value under key; unknown values and empty texts leave the key out.
inline void Put(json& j, const char* key, const std::string& v) {
    if (!v.empty()) j[key] = v;
}
inline void Put(json& j, const char* key, const std::optional<std::string>& v) {
    if (v) Put(j, key, *v);
}
template <class T>
void Put(json& j, const char* key, const std::optional<T>& v) {
    if (v) j[key] = *v;
}

// Whole mebibytes, as GLPI's agents count memory and volumes.
inline std::optional<std::uint64_t> MiB(const std::optional<std::uint64_t>& bytes) {
    if (!bytes) return std::nullopt;
    return *bytes / (1024u * 1024u);
}
// A count of bytes the report keeps as digits; unknown when it is not one.
std::optional<std::uint64_t> ByteCount(const std::string& digits);

// Harvix's own facts: the report's own values and what the format has no place for.
json HarvixObject(const GeneralInfos& general, const CpuInfos& cpu, const MemoryInfos& memory,
                  const DiskList& disks, const VolumeList& volumes, const ExtendedInfos& ext);

json Storages(const DiskList& disks, const ExtendedInfos& ext);
json Drives(const VolumeList& volumes, const ExtendedInfos& ext);
json Networks(const ExtendedInfos& ext);
json Videos(const ExtendedInfos& ext);
json Monitors(const ExtendedInfos& ext);
json Softwares(const ExtendedInfos& ext);

// Whether the text is one of the words the format allows there.
inline bool OneOf(const std::optional<std::string>& text,
                  std::initializer_list<std::string_view> words) {
    if (!text) return false;
    for (std::string_view w : words)
        if (*text == w) return true;
    return false;
}

}  // namespace harvix::inventory_json
