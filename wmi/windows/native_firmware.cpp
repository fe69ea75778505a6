// Harvix_Firmware, Harvix_Processor and Harvix_OperatingSystem: GetFirmwareType, the
// Secure Boot keys, the processor's and the version keys of the registry.
#include "platform/wide.h"
#include "wmi/windows/native.h"

namespace harvix::native {

namespace {

const wchar_t kSecureBoot[] = L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot";

// "UEFI", "BIOS", or nullopt when neither way says.
std::optional<std::string> FirmwareType() {
    // GetFirmwareType is Windows 8's; its FIRMWARE_TYPE: 1 BIOS, 2 UEFI.
    using GetFirmwareTypeFn = BOOL(WINAPI*)(int*);
    auto getType =
        reinterpret_cast<GetFirmwareTypeFn>(SystemFunction(L"kernel32.dll", "GetFirmwareType"));
    int type = 0;
    if (getType && getType(&type)) {
        if (type == 1) return "BIOS";
        if (type == 2) return "UEFI";
    }
    // Windows 7: reading any firmware variable fails with ERROR_INVALID_FUNCTION on a
    // legacy BIOS, with another error (no privilege, no such variable) on UEFI.
    SetLastError(0);
    GetFirmwareEnvironmentVariableW(L"", L"{00000000-0000-0000-0000-000000000000}", nullptr, 0);
    return GetLastError() == ERROR_INVALID_FUNCTION ? "BIOS" : "UEFI";
}

WmiValue SecureBoot(const std::optional<std::string>& firmware) {
    if (!firmware) return WmiValue();
    if (*firmware == "BIOS") return WmiValue("unsupported");
    HKEY state = OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kSecureBoot) + L"\\State");
    auto enabled = QueryDword(state, L"UEFISecureBootEnabled");
    if (state) RegCloseKey(state);
    if (!enabled) return WmiValue();
    return WmiValue(*enabled == 1 ? "enabled" : "disabled");
}

WmiValue TextOrNull(const std::optional<std::string>& text) {
    return text && !text->empty() ? WmiValue(*text) : WmiValue();
}

}  // namespace

Answer FirmwareObjects() {
    Answer answer;
    Instance firmware;
    const auto type = FirmwareType();
    firmware.Set("FirmwareType", type ? WmiValue(*type) : WmiValue());
    firmware.Set("SecureBoot", SecureBoot(type));
    HKEY servicing = OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kSecureBoot) + L"\\Servicing");
    firmware.Set("Ca2023Status", TextOrNull(QueryText(servicing, L"UEFICA2023Status")));
    if (servicing) RegCloseKey(servicing);
    answer.Objects.push_back(std::move(firmware));
    return answer;
}

Answer ProcessorObjects() {
    Answer answer;
    Instance cpu;
    cpu.Set("DeviceID", WmiValue("CPU0"));
    // Windows keeps the platform id as a mask, 1 << id, where any user may read it: the
    // value Microsoft's readiness script reads. Anything but a single bit is no id.
    HKEY key = OpenKey(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");
    auto mask = QueryDword(key, L"Platform Specific Field 1");
    if (key) RegCloseKey(key);
    WmiValue id;
    for (std::int32_t bit = 0; mask && bit < 8; ++bit)
        if (*mask == 1u << bit) id = WmiValue(bit);
    cpu.Set("PlatformId", id);
    answer.Objects.push_back(std::move(cpu));
    return answer;
}

Answer OperatingSystemObjects() {
    Answer answer;
    Instance os;
    HKEY version = OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           KEY_WOW64_64KEY);
    os.Set("Edition", TextOrNull(QueryText(version, L"EditionID")));
    // DisplayVersion ("23H2") since 20H2; ReleaseId ("2004") before it.
    WmiValue display = TextOrNull(QueryText(version, L"DisplayVersion"));
    if (display.IsNull()) display = TextOrNull(QueryText(version, L"ReleaseId"));
    os.Set("DisplayVersion", display);
    auto ubr = QueryDword(version, L"UBR");
    os.Set("UBR",
           ubr && *ubr <= 0x7FFFFFFFu ? WmiValue(static_cast<std::int32_t>(*ubr)) : WmiValue());
    if (version) RegCloseKey(version);
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    WmiValue zoneName;
    if (GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID && zone.TimeZoneKeyName[0])
        zoneName = WmiValue(platform::Utf8(zone.TimeZoneKeyName));
    os.Set("TimeZone", zoneName);
    answer.Objects.push_back(std::move(os));
    return answer;
}

}  // namespace harvix::native
