// ConnectWMI on Windows: COM WMI, with Harvix's own classes answered natively.
#include <map>

#include "platform/text.h"
#include "wmi/windows/native.h"
#include "wmi/wql.h"

namespace harvix {

namespace {

using Source = native::Answer (*)();

class CompositeService : public WmiServiceBase {
  public:
    explicit CompositeService(WmiServicePtr com) : com_(std::move(com)) {}

    std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) override {
        auto query = ParseQuery(wql);
        if (!query || !AsciiLower(query->ClassName).starts_with("harvix_"))
            return com_->ExecQuery(wql, flags);
        const std::string name = AsciiLower(query->ClassName);
        return LazyResults([this, name] { return Objects(name); }, query->Selected);
    }

  private:
    WmiServicePtr com_;
    std::map<std::string, native::Answer> answered_;  // each source read once per run

    const native::Answer& Answered(const std::string& name) {
        auto found = answered_.find(name);
        if (found != answered_.end()) return found->second;
        static const std::map<std::string, Source> sources = {
            {"harvix_firmware", native::FirmwareObjects},
            {"harvix_operatingsystem", native::OperatingSystemObjects},
            {"harvix_processor", native::ProcessorObjects},
            {"harvix_software", native::SoftwareObjects},
            {"harvix_tpm", native::TpmObjects},
            {"harvix_networkadapter", native::NetworkAdapterObjects},
            {"harvix_networkaddress", native::NetworkAddressObjects},
            {"harvix_monitor", native::MonitorObjects},
            {"harvix_volumeencryption", native::VolumeEncryptionObjects},
        };
        native::Answer answer;
        if (name == "harvix_physicaldisk") {
            answer = native::PhysicalDiskObjects(com_);
        } else {
            auto source = sources.find(name);
            if (source == sources.end()) throw HarvixError("Classe WMI inconnue : " + name);
            answer = source->second();
        }
        return answered_.emplace(name, std::move(answer)).first->second;
    }

    std::vector<Instance> Objects(const std::string& name) {
        if (name != "harvix_unread") return Answered(name).Objects;
        // Every reason found by any source; the addresses come with the adapters' walk.
        std::vector<Instance> notes;
        for (const char* source : {"harvix_firmware", "harvix_operatingsystem", "harvix_software",
                                   "harvix_tpm", "harvix_networkadapter", "harvix_monitor",
                                   "harvix_physicaldisk", "harvix_volumeencryption"}) {
            const auto& unread = Answered(source).Unread;
            notes.insert(notes.end(), unread.begin(), unread.end());
        }
        return notes;
    }
};

}  // namespace

WmiServicePtr comwmi::CompositeService(WmiServicePtr com) {
    return std::make_shared<harvix::CompositeService>(std::move(com));
}

WmiServicePtr ConnectWMI(const std::string& computerName) {
    return comwmi::CompositeService(comwmi::ConnectCom(computerName));
}

}  // namespace harvix
