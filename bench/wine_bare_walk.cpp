// The least a WMI inventory can do: connect as Harvix does and walk its queries
// to the end, reading nothing. Built by bench/wine_startup.py.
#include <windows.h>

#include <wbemidl.h>

int main() {
    const wchar_t* const queries[] = {L"Select Domain from Win32_ComputerSystem",
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
    BSTR wql = SysAllocString(L"WQL");
    for (const wchar_t* q : queries) {
        BSTR text = SysAllocString(q);
        IEnumWbemClassObject* results = nullptr;
        if (SUCCEEDED(services->ExecQuery(wql, text, 48, nullptr, &results))) {
            IWbemClassObject* obj = nullptr;
            ULONG n = 0;
            while (results->Next(static_cast<long>(WBEM_INFINITE), 1, &obj, &n) ==
                       WBEM_S_NO_ERROR &&
                   n == 1)
                obj->Release();
            results->Release();
        }
        SysFreeString(text);
    }
    SysFreeString(wql);
    SysFreeString(ns);
    services->Release();
    locator->Release();
    CoUninitialize();
    return 0;
}
