// Harvix_Tpm: the first TPM the kernel registered, its version and maker.
#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

namespace {

const std::string kClass = "/sys/class/tpm";
const std::string kTpm = "/sys/class/tpm/tpm0";

// "Key: value" lines of a TPM 1.2's caps file.
std::optional<std::string> Cap(const Root& root, const std::string& key) {
    for (const std::string& line : Split(root.Read(kTpm + "/device/caps").value_or(""), '\n')) {
        if (line.rfind(key + ":", 0) == 0)
            return std::string(TrimOf(std::string_view(line).substr(key.size() + 1), kWhiteSpace));
    }
    return std::nullopt;
}

// "0x49465800" to "IFX": the vendor id's four bytes as text, padding dropped.
std::optional<std::string> VendorText(const std::optional<std::string>& hex) {
    if (!hex) return std::nullopt;
    auto id = ParseWhole(hex->rfind("0x", 0) == 0 ? hex->substr(2) : *hex, 16);
    if (!id || *id < 0 || *id > 0xFFFFFFFFLL) return std::nullopt;
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((*id >> shift) & 0xFF);
        if (c >= 0x21 && c <= 0x7E) text += c;
    }
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

std::optional<std::string> SpecVersion(const Root& root) {
    auto major = root.Number(kTpm + "/tpm_version_major");
    if (major == 2) return "2.0";
    if (major == 1) return "1.2";
    auto tcg = Cap(root, "TCG version");
    if (tcg && tcg->rfind("1.2", 0) == 0) return "1.2";
    return std::nullopt;
}

// No TPM registered: sure only where the kernel has the TPM class, or where ACPI
// lists no TPM device for a driver to take.
bool SurelyAbsent(const Root& root) {
    if (root.Exists(kClass)) return true;
    const std::string acpi = "/sys/bus/acpi/devices";
    std::vector<std::string> devices = root.List(acpi);
    if (devices.empty()) return false;
    for (const std::string& d : devices)
        if (d.rfind("MSFT0101:", 0) == 0 || d.rfind("PNP0C31:", 0) == 0 ||
            d.rfind("IFX0102:", 0) == 0 || d.rfind("BCM0101:", 0) == 0)
            return false;
    return true;
}

}  // namespace

std::vector<Instance> TpmInstances(const Root& root) {
    Instance inst;
    // A folder that cannot be searched hides whether a TPM is there.
    if (Denied(root, kClass) || Denied(root, kTpm)) {
        inst.Set("Present", WmiValue());
        inst.Set("SpecVersion", WmiValue());
        inst.Set("Manufacturer", WmiValue());
        return {inst};
    }
    const bool present = root.Exists(kTpm);
    if (present)
        inst.Set("Present", -1);
    else
        inst.Set("Present", SurelyAbsent(root) ? WmiValue(0) : WmiValue());
    const bool versionDenied = Denied(root, kTpm + "/tpm_version_major");
    inst.Set("SpecVersion", present && !versionDenied ? OrNull(SpecVersion(root)) : WmiValue());
    inst.Set("Manufacturer", present ? OrNull(VendorText(Cap(root, "Manufacturer"))) : WmiValue());
    return {inst};
}

std::vector<Instance> TpmUnread(const Root& root) {
    for (const std::string& path : {kClass, kTpm, kTpm + "/tpm_version_major"})
        if (Denied(root, path)) return {UnreadObject("TPM", AdminOnly(path))};
    return {};
}

}  // namespace harvix::linuxwmi
