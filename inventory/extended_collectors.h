// Shared pieces of the extended collectors (inventory/extended_collectors*.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "inventory/extended.h"
#include "wmi/modWMI.h"

namespace harvix::extended {

// One object's properties into optional fields: a null, missing or unreadable
// property leaves its field unset. Answered tells whether any property could be
// read, which a failed query's single pass with no object never does.
class Props {
  public:
    explicit Props(const CurrentObject& obj) : obj_(obj) {}
    bool Answered() const { return answered_; }

    std::optional<WmiValue> Value(const char* name);
    void Text(const char* name, std::optional<std::string>& out);
    void Int(const char* name, std::optional<std::int32_t>& out);
    void Count(const char* name, std::optional<std::uint64_t>& out);
    void Bool(const char* name, std::optional<bool>& out);

  private:
    const CurrentObject& obj_;
    bool answered_ = false;
};

// Runs read on every object of the class; an object that answers nothing is left out.
template <class Record, class Read>
std::vector<Record> ReadAll(const std::string& className, Read&& read) {
    std::vector<Record> records;
    ForEachObject("Select * from " + className, [&](const CurrentObject& obj) {
        Props p(obj);
        Record record{};
        read(p, record);
        if (p.Answered()) records.push_back(std::move(record));
    });
    return records;
}

// The text after the first "PHYSICAL" of a disk's DeviceID, as the page names disks.
std::optional<std::string> DiskIdOf(const std::string& deviceId);

void ReadDisksAndVolumes(ExtendedInfos& infos);
void ReadNetworks(ExtendedInfos& infos);
void ReadDevices(ExtendedInfos& infos);  // video, monitors, software, unread

}  // namespace harvix::extended
