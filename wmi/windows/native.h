// Harvix's own classes on Windows: what the system keeps outside WMI (registry,
// TPM Base Services, IP Helper, SetupAPI, IOCTLs), read natively and answered as
// instances. Each source gives its objects and the reasons for what it could not read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "wmi/instance.h"
#include "wmi/modWMI.h"
#include "wmi/uninstall.h"

namespace harvix::native {

struct Answer {
    std::vector<Instance> Objects;
    std::vector<Instance> Unread;  // Harvix_Unread objects
};

// A Harvix_Unread object (What, Why).
Instance UnreadNote(const std::string& what, const std::string& why);

// ---- registry (native_registry.cpp) ----
// The value as it came back (type + bytes); nullopt when absent or unreadable.
std::optional<RegistryValue> QueryValue(HKEY key, const wchar_t* name);
std::optional<std::string> QueryText(HKEY key, const wchar_t* name);
std::optional<std::uint32_t> QueryDword(HKEY key, const wchar_t* name);
// Opens a key for reading; null when it cannot be opened, the reason in *status.
HKEY OpenKey(HKEY parent, const std::wstring& path, REGSAM extra = 0, LONG* status = nullptr);
// The subkeys' names; *status is ERROR_SUCCESS unless the walk stopped on a failure.
std::vector<std::wstring> SubkeyNames(HKEY key, LONG* status = nullptr);
// Why a registry call failed, in the words Harvix_Unread gives.
std::string RegistryFailure(LONG status);
// A function of a system DLL looked up at run time, from the system folder only.
void* SystemFunction(const wchar_t* dll, const char* name);

// ---- one function per class ----
Answer FirmwareObjects();         // Harvix_Firmware (native_firmware.cpp)
Answer OperatingSystemObjects();  // Harvix_OperatingSystem (native_firmware.cpp)
Answer ProcessorObjects();        // Harvix_Processor (native_firmware.cpp)
Answer SoftwareObjects();         // Harvix_Software (native_software.cpp)
Answer TpmObjects();              // Harvix_Tpm (native_tpm.cpp)
// Harvix_NetworkAdapter, Harvix_NetworkAddress (native_network.cpp)
Answer NetworkAdapterObjects();
Answer NetworkAddressObjects();
Answer MonitorObjects();  // Harvix_Monitor (native_monitor.cpp)
// Harvix_PhysicalDisk, Harvix_VolumeEncryption (native_disk.cpp); the disk numbers come
// from Win32_DiskDrive through the COM service.
Answer PhysicalDiskObjects(const WmiServicePtr& com);
Answer VolumeEncryptionObjects();

}  // namespace harvix::native

namespace harvix::comwmi {

// root\cimv2 through COM, without Harvix's own classes.
WmiServicePtr ConnectCom(const std::string& computerName);

// A service that answers Harvix_* classes natively and passes any other query to com.
WmiServicePtr CompositeService(WmiServicePtr com);

}  // namespace harvix::comwmi
