// The inventory file's member names, all in one place: GLPI's native inventory
// format, and Harvix's own file (content.harvix in files of the version before).
#pragma once

#include <string_view>

namespace harvix::index::key {

// clang-format off
inline constexpr const char* Content = "content";
inline constexpr const char* DeviceId = "deviceid";  // "NAME-YYYY-MM-DD-HH-MM-SS"
inline constexpr const char* Harvix = "harvix";
inline constexpr const char* Hardware = "hardware";
inline constexpr const char* Name = "name";
inline constexpr const char* Uuid = "uuid";
inline constexpr const char* LastUser = "lastloggeduser";
inline constexpr const char* AccessLog = "accesslog";
inline constexpr const char* LogDate = "logdate";
inline constexpr const char* Bios = "bios";
inline constexpr const char* BiosDate = "bdate";
inline constexpr const char* BiosVersion = "bversion";
inline constexpr const char* Model = "smodel";
inline constexpr const char* Serial = "ssn";
inline constexpr const char* Os = "operatingsystem";
inline constexpr const char* FullName = "full_name";
inline constexpr const char* Version = "version";
inline constexpr const char* Kernel = "kernel_version";
inline constexpr const char* ServicePack = "service_pack";
inline constexpr const char* Cpus = "cpus";
inline constexpr const char* Cores = "core";
inline constexpr const char* Threads = "thread";
inline constexpr const char* Memories = "memories";
inline constexpr const char* Capacity = "capacity";  // MB
inline constexpr const char* Caption = "caption";
inline constexpr const char* Maker = "manufacturer";
inline constexpr const char* PartNumber = "model";
inline constexpr const char* Networks = "networks";
inline constexpr const char* Mac = "mac";
inline constexpr const char* Virtual = "virtualdev";
inline constexpr const char* NetType = "type";
inline constexpr const char* Softwares = "softwares";
inline constexpr const char* Publisher = "publisher";
inline constexpr const char* InstallDate = "install_date";

// The members GLPI's format names at the top and under content: GLPI 10.0
// refuses a file with any other (format 1.1.34, additionalProperties false).
inline constexpr std::string_view TopLevel[] = {"content", "deviceid", "jobid", "itemtype",
                                                "partial", "action", "tag"};
inline constexpr std::string_view ContentMembers[] = {
    "accesslog", "antivirus", "batteries", "bios", "cameras", "cartridges", "consumables",
    "controllers", "cpus", "databases_services", "drives", "envs", "error", "firewalls",
    "firmwares", "hardware", "inputs", "licenseinfos", "local_groups", "local_users",
    "logical_volumes", "memories", "modems", "monitors", "network_components", "network_device",
    "network_ports", "networks", "operatingsystem", "pagecounters", "physical_volumes", "ports",
    "powersupplies", "printers", "processes", "remote_mgmt", "sensors", "simcards", "slots",
    "softwares", "sounds", "storages", "usbdevices", "users", "versionclient", "versionprovider",
    "videos", "virtualmachines", "volume_groups"};
inline constexpr const char* VersionClient = "versionclient";

// Harvix's own file (<NAME>_harvix.txt), and content.harvix before it
inline constexpr const char* OwnFormat = "format";  // "harvix"
inline constexpr const char* OwnFormatName = "harvix";
inline constexpr const char* RunMoment = "date";  // "YYYY-MM-DD HH:MM:SS"
inline constexpr const char* Report = "report";  // the page's values, exactly
inline constexpr const char* User = "user_name";
inline constexpr const char* PageModel = "model";
inline constexpr const char* PageSerial = "serial_number";
inline constexpr const char* PageCpu = "cpu";
inline constexpr const char* PagePhysicalCores = "physical_cores";
inline constexpr const char* PageLogicalCores = "logical_cores";
inline constexpr const char* OsCaption = "operating_system";
inline constexpr const char* OsDetails = "os";
inline constexpr const char* Build = "build";
inline constexpr const char* Edition = "edition";
inline constexpr const char* DisplayVersion = "display_version";
inline constexpr const char* Memory = "memory";
inline constexpr const char* Installed = "total_bytes";
inline constexpr const char* Slots = "slots";
inline constexpr const char* UsedSlots = "used_slots";
inline constexpr const char* Modules = "modules";
inline constexpr const char* BankLabel = "bank_label";
inline constexpr const char* ModuleCapacity = "capacity";  // the page's text
inline constexpr const char* ModuleBytes = "capacity_bytes";
inline constexpr const char* ModulePart = "part_number";
inline constexpr const char* Disks = "disks";
inline constexpr const char* DiskId = "id";
inline constexpr const char* VolumeDisk = "disk";
inline constexpr const char* DiskModel = "model";
inline constexpr const char* DiskSerial = "serial_number";
inline constexpr const char* SizeBytes = "size_bytes";
inline constexpr const char* Volumes = "volumes";
inline constexpr const char* VolumeName = "name";
inline constexpr const char* Label = "label";
inline constexpr const char* FileSystem = "file_system";
inline constexpr const char* UsedBytes = "used_bytes";
inline constexpr const char* SecureBoot = "secure_boot";  // content.bios's
inline constexpr const char* Tpm = "tpm";
inline constexpr const char* Present = "present";
inline constexpr const char* TpmVersion = "version";
inline constexpr const char* Win11 = "windows11";
inline constexpr const char* Verdict = "verdict";
inline constexpr const char* Failed = "failed";
inline constexpr const char* Unknown = "unknown";
// clang-format on

}  // namespace harvix::index::key
