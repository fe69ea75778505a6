// The provider: the class table and the query entry point.
#include "wmi/linux/provider.h"

#include <cstdlib>

#include "platform/text.h"
#include "wmi/linux/sources.h"
#include "wmi/linux/storage.h"
#include "wmi/linux/wql.h"

namespace harvix::linuxwmi {

Provider::Provider(std::string root)
    : root_(root == "/" ? std::string() : std::move(root)),
      storage_(std::make_unique<StorageSnapshot>()) {}

Provider::~Provider() = default;

std::vector<Instance> Provider::Instances(const std::string& className) const {
    using Reader = std::vector<Instance> (*)(const Root&);
    static const std::pair<const char*, Reader> kClasses[] = {
        {"Win32_Processor", ProcessorInstances},
        {"Harvix_Processor", HarvixProcessorInstances},
        {"Win32_ComputerSystemProduct", ComputerSystemProductInstances},
        {"Win32_ComputerSystem", ComputerSystemInstances},
        {"Win32_OperatingSystem", OperatingSystemInstances},
        {"Win32_PhysicalMemoryArray", PhysicalMemoryArrayInstances},
        {"Win32_PhysicalMemory", PhysicalMemoryInstances},
        // Identity, firmware, OS details and software
        {"Win32_BIOS", BiosInstances},
        {"Win32_SystemEnclosure", SystemEnclosureInstances},
        {"Win32_BaseBoard", BaseBoardInstances},
        {"Harvix_Firmware", FirmwareInstances},
        {"Harvix_Tpm", TpmInstances},
        {"Harvix_OperatingSystem", HarvixOperatingSystemInstances},
        {"Harvix_Software", SoftwareInstances},
        {"Harvix_Unread", UnreadInstances},
        // Devices
        {"Harvix_NetworkAdapter", NetworkAdapterInstances},
        {"Harvix_NetworkAddress", NetworkAddressInstances},
        {"Win32_VideoController", VideoControllerInstances},
        {"Harvix_Monitor", MonitorInstances},
    };
    using StorageReader = std::vector<Instance> (*)(const Root&, StorageSnapshot&);
    static const std::pair<const char*, StorageReader> kStorageClasses[] = {
        {"Win32_DiskDrive", DiskDriveInstances},
        {"Win32_DiskPartition", DiskPartitionInstances},
        {"Win32_DiskDriveToDiskPartition", DiskDriveToDiskPartitionInstances},
        {"Win32_LogicalDisk", LogicalDiskInstances},
        {"Win32_LogicalDiskToPartition", LogicalDiskToPartitionInstances},
        {"Harvix_PhysicalDisk", PhysicalDiskInstances},
        {"Harvix_VolumeEncryption", VolumeEncryptionInstances},
    };
    Root root(root_);
    for (const auto& [name, read] : kClasses)
        if (EqualsNoCase(name, className)) return read(root);
    for (const auto& [name, read] : kStorageClasses)
        if (EqualsNoCase(name, className)) return read(root, *storage_);
    throw HarvixError("Classe non valide : " + className);
}

std::unique_ptr<WmiResultSet> Provider::ExecQuery(const std::string& wql, int /*flags*/) {
    auto query = ParseQuery(wql);
    if (!query) {
        return LazyResults(
            [wql]() -> std::vector<Instance> { throw HarvixError("Requête non valide : " + wql); },
            {});
    }
    std::string cls = query->ClassName;
    return LazyResults([this, cls] { return Instances(cls); }, std::move(query->Selected));
}

}  // namespace harvix::linuxwmi

namespace harvix {

WmiServicePtr ConnectWMI(const std::string& computerName) {
    if (computerName != "localhost" && computerName != ".")
        throw HarvixError("Le serveur RPC n'est pas disponible : " + computerName);
    const char* root = std::getenv(linuxwmi::kRootVariable);
    return std::make_shared<linuxwmi::Provider>(root && *root ? root : "/");
}

}  // namespace harvix
