// The least a WMI inventory can do: connect as Harvix does and walk its queries
// to the end, reading nothing. With the argument "inventory", the inventory file's
// queries instead, plus the bare native reads behind Harvix's own classes, building
// nothing from what they return; with "both", the page's walk and then that one, as
// Harvix runs them (the page's queries warm what the inventory's ask again). Built
// by bench/wine_startup.py.
// winsock2.h before windows.h, as IP Helper's header needs.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on
#include <setupapi.h>
#include <wbemidl.h>
#include <winioctl.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const kPageQueries[] = {L"Select Domain from Win32_ComputerSystem",
                                       L"Select * from Win32_ComputerSystem",
                                       L"Select IdentifyingNumber from Win32_ComputerSystemProduct",
                                       L"Select * from Win32_OperatingSystem",
                                       L"Select * from Win32_Processor",
                                       L"Select * from Win32_ComputerSystem",
                                       L"Select * from Win32_PhysicalMemoryArray",
                                       L"Select * from Win32_PhysicalMemory",
                                       L"Select * from Win32_LogicalDiskToPartition",
                                       L"Select * from Win32_DiskDriveToDiskPartition",
                                       L"Select * from Win32_LogicalDisk",
                                       L"Select * from Win32_DiskPartition",
                                       L"Select * from Win32_DiskDrive"};

// In the order the inventory's collectors ask them.
const wchar_t* const kInventoryQueries[] = {L"Select * from Win32_BIOS",
                                            L"Select * from Win32_ComputerSystemProduct",
                                            L"Select * from Win32_ComputerSystem",
                                            L"Select * from Win32_SystemEnclosure",
                                            L"Select * from Win32_BaseBoard",
                                            L"Select * from Win32_Processor",
                                            L"Select * from Win32_OperatingSystem",
                                            L"Select * from Win32_PhysicalMemory",
                                            L"Select * from Win32_DiskDrive",
                                            L"Select * from Win32_LogicalDisk",
                                            L"Select * from Win32_LogicalDiskToPartition",
                                            L"Select * from Win32_DiskDriveToDiskPartition",
                                            L"Select * from Win32_LogicalDisk",
                                            L"Select * from Win32_VideoController"};

void Walk(IWbemServices* services, const wchar_t* query) {
    BSTR wql = SysAllocString(L"WQL");
    BSTR text = SysAllocString(query);
    IEnumWbemClassObject* results = nullptr;
    if (SUCCEEDED(services->ExecQuery(wql, text, 48, nullptr, &results))) {
        IWbemClassObject* obj = nullptr;
        ULONG n = 0;
        while (results->Next(static_cast<long>(WBEM_INFINITE), 1, &obj, &n) == WBEM_S_NO_ERROR &&
               n == 1)
            obj->Release();
        results->Release();
    }
    SysFreeString(text);
    SysFreeString(wql);
}

// One read of a value into a buffer large enough for any the inventory keeps.
void ReadValue(HKEY key, const wchar_t* name) {
    static BYTE buffer[8192];
    DWORD type = 0, size = sizeof buffer;
    RegQueryValueExW(key, name, nullptr, &type, buffer, &size);
}

void ReadValues(HKEY parent, const wchar_t* path, REGSAM extra,
                std::initializer_list<const wchar_t*> names) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, KEY_READ | extra, &key) != ERROR_SUCCESS) return;
    for (const wchar_t* name : names) ReadValue(key, name);
    RegCloseKey(key);
}

void WalkUninstall(HKEY hive, REGSAM view) {
    const wchar_t* const path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    HKEY list = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ | view, &list) != ERROR_SUCCESS) return;
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];  // a key name is at most 255 characters
        DWORD length = 256;
        if (RegEnumKeyExW(list, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    for (const std::wstring& sub : names)
        ReadValues(list, sub.c_str(), view,
                   {L"DisplayName", L"DisplayVersion", L"Publisher", L"InstallDate",
                    L"SystemComponent", L"ParentKeyName", L"ReleaseType"});
    RegCloseKey(list);
}

FARPROC SystemFunction(const wchar_t* dll, const char* name) {
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    HMODULE module = LoadLibraryW((std::wstring(folder, n) + L"\\" + dll).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

void ReadFirmwareAndSystem() {
    int type = 0;
    if (auto get = reinterpret_cast<BOOL(WINAPI*)(int*)>(
            SystemFunction(L"kernel32.dll", "GetFirmwareType")))
        get(&type);
    const wchar_t* const secureBoot = L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot";
    ReadValues(HKEY_LOCAL_MACHINE, (std::wstring(secureBoot) + L"\\State").c_str(), 0,
               {L"UEFISecureBootEnabled"});
    ReadValues(HKEY_LOCAL_MACHINE, (std::wstring(secureBoot) + L"\\Servicing").c_str(), 0,
               {L"UEFICA2023Status"});
    ReadValues(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
               KEY_WOW64_64KEY, {L"EditionID", L"DisplayVersion", L"ReleaseId", L"UBR"});
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    GetDynamicTimeZoneInformation(&zone);
}

// IP Helper and SetupAPI are looked up at run time, so that the page's walk loads
// no more than Harvix did before the inventory; the inventory's walks pay for loading
// them, as Harvix now does at its start.
template <typename Function>
Function Lookup(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Function>(SystemFunction(dll, name));
}

void ReadAdapters() {
    auto get = Lookup<decltype(&GetAdaptersAddresses)>(L"iphlpapi.dll", "GetAdaptersAddresses");
    if (!get) return;
    const ULONG flags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST |
                        GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    std::vector<char> buffer(16 * 1024);
    ULONG size = static_cast<ULONG>(buffer.size());
    if (get(AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
            &size) == ERROR_BUFFER_OVERFLOW) {
        buffer.resize(size);
        get(AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
            &size);
    }
}

void ReadMonitors() {
    const wchar_t* const dll = L"setupapi.dll";
    auto classDevs = Lookup<decltype(&SetupDiGetClassDevsW)>(dll, "SetupDiGetClassDevsW");
    auto enumInfo = Lookup<decltype(&SetupDiEnumDeviceInfo)>(dll, "SetupDiEnumDeviceInfo");
    auto instanceId =
        Lookup<decltype(&SetupDiGetDeviceInstanceIdW)>(dll, "SetupDiGetDeviceInstanceIdW");
    auto openKey = Lookup<decltype(&SetupDiOpenDevRegKey)>(dll, "SetupDiOpenDevRegKey");
    auto destroy =
        Lookup<decltype(&SetupDiDestroyDeviceInfoList)>(dll, "SetupDiDestroyDeviceInfoList");
    if (!classDevs || !enumInfo || !instanceId || !openKey || !destroy) return;
    const GUID monitorClass = {
        0x4d36e96e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO set = classDevs(&monitorClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; enumInfo(set, i, &device); ++i) {
        wchar_t id[512];
        instanceId(set, &device, id, 512, nullptr);
        HKEY key = openKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        ReadValue(key, L"EDID");
        RegCloseKey(key);
    }
    destroy(set);
}

void ReadTpm() {
    struct {
        UINT32 structVersion, tpmVersion, tpmInterfaceType, tpmImpRevision;
    } device{};
    if (auto info = reinterpret_cast<UINT32(WINAPI*)(UINT32, void*)>(
            SystemFunction(L"tbs.dll", "Tbsi_GetDeviceInfo")))
        info(sizeof device, &device);
}

// The seek-penalty question to each disk in turn, until one is not there.
void ReadSeekPenalties() {
    for (int n = 0;; ++n) {
        const std::wstring path = L"\\\\.\\PhysicalDrive" + std::to_wstring(n);
        HANDLE disk = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (disk == INVALID_HANDLE_VALUE) return;
        STORAGE_PROPERTY_QUERY query{};
        query.PropertyId = StorageDeviceSeekPenaltyProperty;
        query.QueryType = PropertyStandardQuery;
        DEVICE_SEEK_PENALTY_DESCRIPTOR penalty{};
        DWORD got = 0;
        BOOL ok = DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                  &penalty, sizeof penalty, &got, nullptr);
        CloseHandle(disk);
        if (!ok) return;
    }
}

// In the order the inventory's collectors reach them between its queries.
void ReadNative() {
    ReadFirmwareAndSystem();
    ReadTpm();
    ReadSeekPenalties();
    ReadAdapters();
    ReadMonitors();
    WalkUninstall(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    WalkUninstall(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    WalkUninstall(HKEY_CURRENT_USER, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    IWbemLocator* locator = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator))))
        return 1;
    IWbemServices* services = nullptr;
    BSTR ns = SysAllocString(L"\\\\localhost\\root\\cimv2");
    if (FAILED(
            locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)))
        return 1;
    if (mode != "inventory")
        for (const wchar_t* q : kPageQueries) Walk(services, q);
    if (mode == "inventory" || mode == "both") {
        for (const wchar_t* q : kInventoryQueries) Walk(services, q);
        ReadNative();
    }
    SysFreeString(ns);
    services->Release();
    locator->Release();
    CoUninitialize();
    return 0;
}
