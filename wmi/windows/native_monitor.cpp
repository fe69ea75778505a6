// Harvix_Monitor: the EDID of each monitor present now, as SetupAPI lists them (a
// monitor once connected keeps its registry key; only present ones count).
#include <windows.h>

#include <setupapi.h>

#include "platform/wide.h"
#include "wmi/edid.h"
#include "wmi/windows/native.h"

namespace harvix::native {

namespace {

// GUID_DEVCLASS_MONITOR, here rather than from a library of GUIDs.
const GUID kMonitorClass = {
    0x4d36e96e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[512];
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 512, nullptr)) return {};
    return platform::Utf8(id);
}

Instance MonitorOf(const std::string& port, const std::string& edid) {
    Instance monitor;
    auto info = ParseEdid(edid);
    monitor.Set("Port", WmiValue(port));
    monitor.Set("Manufacturer",
                info && !info->Manufacturer.empty() ? WmiValue(info->Manufacturer) : WmiValue());
    monitor.Set("Model", info && !info->Model.empty() ? WmiValue(info->Model) : WmiValue());
    monitor.Set("SerialNumber",
                info && !info->SerialNumber.empty() ? WmiValue(info->SerialNumber) : WmiValue());
    monitor.Set("EDID", edid.empty() ? WmiValue() : WmiValue(Base64(edid)));
    return monitor;
}

}  // namespace

Answer MonitorObjects() {
    Answer answer;
    HDEVINFO set = SetupDiGetClassDevsW(&kMonitorClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        answer.Unread.push_back(UnreadNote(
            "Écrans", "SetupDiGetClassDevs : " + platform::SystemMessage(GetLastError())));
        return answer;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::string port = InstanceId(set, device);
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        std::optional<RegistryValue> edid;
        if (key != INVALID_HANDLE_VALUE) {
            edid = QueryValue(key, L"EDID");
            RegCloseKey(key);
        }
        if (!edid || edid->Bytes.empty())
            answer.Unread.push_back(
                UnreadNote("EDID de l'écran " + port, "valeur EDID absente du registre"));
        else if (!ParseEdid(edid->Bytes))
            answer.Unread.push_back(UnreadNote("EDID de l'écran " + port, "EDID non valable"));
        answer.Objects.push_back(MonitorOf(port, edid ? edid->Bytes : std::string()));
    }
    SetupDiDestroyDeviceInfoList(set);
    return answer;
}

}  // namespace harvix::native
