// Harvix_Monitor: the connected connectors of the DRM drivers and what each
// monitor's EDID says of it.
#include "wmi/edid.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

std::vector<Instance> MonitorInstances(const Root& root) {
    const std::string drm = "/sys/class/drm/";
    std::vector<Instance> out;
    for (const auto& connector : root.List(drm)) {
        // card0-eDP-1: a connector of card0; card0 itself and renderD128 are none.
        std::size_t dash = connector.find('-');
        if (!StartsWith(connector, "card") || dash == std::string::npos) continue;
        if (root.Line(drm + connector + "/status") != "connected") continue;
        std::string edid = root.Read(drm + connector + "/edid").value_or("");
        auto info = ParseEdid(edid);
        auto field = [&](std::string EdidInfo::*f) {
            return info && !((*info).*f).empty() ? WmiValue((*info).*f) : WmiValue();
        };
        Instance inst;
        inst.Set("Port", connector.substr(dash + 1));
        inst.Set("Manufacturer", field(&EdidInfo::Manufacturer));
        inst.Set("Model", field(&EdidInfo::Model));
        inst.Set("SerialNumber", field(&EdidInfo::SerialNumber));
        inst.Set("EDID", edid.empty() ? WmiValue() : WmiValue(Base64(edid)));
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
