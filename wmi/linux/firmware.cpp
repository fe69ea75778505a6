// Harvix_Firmware: UEFI or legacy BIOS, Secure Boot from its EFI variable, and
// whether the db variable holds the 2023 Windows UEFI certificate.
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

const std::string kEfi = "/sys/firmware/efi";
const std::string kVars = "/sys/firmware/efi/efivars";
const std::string kSecureBoot = kVars + "/SecureBoot-8be4df61-93ca-11d2-aa0d-00e098032b8c";
const std::string kDb = kVars + "/db-d719b2cb-3d3a-4596-a3bc-dad00e67656f";

// efivarfs is mounted when it lists anything; an unmounted folder is empty.
bool VarsMounted(const Root& root) {
    return !root.List(kVars).empty();
}

// The variable's value: its 4 bytes of attributes are skipped.
std::optional<std::string> Variable(const Root& root, const std::string& path) {
    auto bytes = root.Read(path);
    if (!bytes || bytes->size() < 4) return std::nullopt;
    return bytes->substr(4);
}

WmiValue SecureBoot(const Root& root) {
    if (!root.Exists(kEfi)) return "unsupported";
    if (Denied(root, kVars) || Denied(root, kSecureBoot) || !VarsMounted(root)) return WmiValue();
    if (!root.Exists(kSecureBoot)) return "unsupported";  // firmware without Secure Boot
    auto value = Variable(root, kSecureBoot);
    if (!value || value->size() != 1) return WmiValue();
    if ((*value)[0] == 1) return "enabled";
    if ((*value)[0] == 0) return "disabled";
    return WmiValue();
}

WmiValue Ca2023Status(const Root& root) {
    if (!root.Exists(kEfi)) return WmiValue();
    auto db = Variable(root, kDb);
    if (!db) return WmiValue();
    // The certificate's subject name appears as plain text inside its DER encoding.
    return db->find("Windows UEFI CA 2023") != std::string::npos ? "Updated" : "NotStarted";
}

}  // namespace

std::vector<Instance> FirmwareInstances(const Root& root) {
    Instance inst;
    inst.Set("FirmwareType", root.Exists(kEfi) ? "UEFI" : "BIOS");
    inst.Set("SecureBoot", SecureBoot(root));
    inst.Set("Ca2023Status", Ca2023Status(root));
    return {inst};
}

std::vector<Instance> FirmwareUnread(const Root& root) {
    std::vector<Instance> out;
    if (!root.Exists(kEfi)) return out;
    for (const std::string& path : {kVars, kSecureBoot}) {
        if (Denied(root, path)) {
            out.push_back(UnreadObject("Secure Boot", AdminOnly(path)));
            return out;
        }
    }
    if (!VarsMounted(root)) {
        out.push_back(UnreadObject("Secure Boot", "variables EFI non montées (" + kVars + ")"));
        return out;
    }
    if (Denied(root, kDb))
        out.push_back(UnreadObject("Certificats Secure Boot 2023", AdminOnly(kDb)));
    return out;
}

}  // namespace harvix::linuxwmi
