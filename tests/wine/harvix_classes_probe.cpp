// Prints every object of Harvix's own classes, and Win32_SystemEnclosure's
// ChassisTypes, as ConnectWMI answers them: "Class[i].Property=value" lines
// (values as the seam gives them: null, a number, or text), "Class: error" when a
// query fails. "deny KEY" / "allow KEY" instead set the DACL of HKLM\KEY (64-bit
// view) to nothing allowed / everything allowed to everyone, as a hostile policy would.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "wmi/modWMI.h"

using namespace harvix;

namespace {

const char* const kClasses[][2] = {
    {"Harvix_Firmware", "FirmwareType,SecureBoot,Ca2023Status"},
    {"Harvix_Tpm", "Present,SpecVersion,Manufacturer"},
    {"Harvix_OperatingSystem", "Edition,DisplayVersion,UBR,TimeZone"},
    {"Harvix_Processor", "PlatformId"},
    {"Harvix_Software", "Name,Version,Publisher,InstallDate,Architecture,Source,Guid"},
    {"Harvix_NetworkAdapter",
     "Name,Description,MACAddress,Status,Type,Speed,Virtual,DHCPEnabled,DHCPServer,Gateways,MTU"},
    {"Harvix_NetworkAddress", "Adapter,Address,PrefixLength,Family"},
    {"Harvix_Monitor", "Port,Manufacturer,Model,SerialNumber,EDID"},
    {"Harvix_PhysicalDisk", "Index,Rotational"},
    {"Harvix_VolumeEncryption", "Name,Type,Status"},
    {"Harvix_Unread", "What,Why"},
    {"Win32_SystemEnclosure", "ChassisTypes"},
};

std::string Shown(const WmiValue& v) {
    if (v.IsNull()) return "(null)";
    if (v.IsNumber()) return std::to_string(v.Number());
    return v.Text();
}

void Print(const WmiServicePtr& service, const std::string& cls, const std::string& props) {
    try {
        auto results = service->ExecQuery("Select " + props + " from " + cls, kQueryFlags);
        int i = 0;
        for (const WmiObject* obj = results->Next(); obj; obj = results->Next(), ++i) {
            std::size_t start = 0;
            while (start <= props.size()) {
                std::size_t end = props.find(',', start);
                if (end == std::string::npos) end = props.size();
                const std::string name = props.substr(start, end - start);
                std::printf("%s[%d].%s=%s\n", cls.c_str(), i, name.c_str(),
                            Shown(obj->Get(name)).c_str());
                start = end + 1;
            }
        }
    } catch (const std::exception& e) {
        std::printf("%s: %s\n", cls.c_str(), e.what());
    }
}

}  // namespace

int SetAccess(const char* how, const char* path) {
    HKEY key = nullptr;
    // The owner may always change the DACL, even one that allows nothing.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC | KEY_WOW64_64KEY, &key) != 0)
        return 2;
    alignas(DWORD) BYTE buffer[128];
    PACL acl = reinterpret_cast<PACL>(buffer);
    InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    if (std::strcmp(how, "allow") == 0)
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    const LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    FreeSid(everyone);
    RegCloseKey(key);
    return rc == 0 ? 0 : 3;
}

int main(int argc, char** argv) {
    if (argc == 3) return SetAccess(argv[1], argv[2]);
    WmiServicePtr service = ConnectWMI(".");
    for (const auto& [cls, props] : kClasses) Print(service, cls, props);
    return 0;
}
