// Win32_VideoController: the display controllers (PCI class 03) of sysfs, named
// from the PCI ID database through libpci.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>

extern "C" {
#include <pci/pci.h>
}

#include "platform/encoding.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

void Quiet(char*, ...) {}
__attribute__((noreturn)) void Fatal(char*, ...) {
    std::abort();  // libpci calls it only for a lookup mode it does not know
}

struct PciIds {
    pci_access* Access = nullptr;
    std::string File;
    ~PciIds() {
        if (Access) pci_cleanup(Access);
    }
};

// The ids file of the tree when it has one, else the system's.
pci_access* PciNames(const Root& root) {
    static thread_local PciIds ids;
    std::string file = root.Path("/usr/share/misc/pci.ids");
    if (!root.Live() && !root.Exists("/usr/share/misc/pci.ids")) file = "/usr/share/misc/pci.ids";
    if (ids.Access && ids.File == file) return ids.Access;
    if (ids.Access) pci_cleanup(ids.Access);
    ids.Access = pci_alloc();
    if (!ids.Access) return nullptr;
    ids.File = file;
    ids.Access->error = Fatal;
    ids.Access->warning = Quiet;
    ids.Access->debug = Quiet;
    pci_set_name_list_path(ids.Access, ids.File.data(), 0);
    return ids.Access;
}

std::optional<unsigned> Id(const Root& root, const std::string& file) {
    std::string text = root.Line(file).value_or("");
    if (!StartsWith(text, "0x")) return std::nullopt;
    auto n = ParseUnsigned(text.substr(2), 16);
    if (!n || *n > 0xFFFFFF) return std::nullopt;
    return static_cast<unsigned>(*n);
}

std::optional<std::string> Lookup(const Root& root, int flags, unsigned vendor, unsigned device) {
    pci_access* pci = PciNames(root);
    if (!pci) return std::nullopt;
    // A recorded tree is named from its ids file alone, not from this machine's hwdb.
    flags |= PCI_LOOKUP_NO_NUMBERS | (root.Live() ? 0 : PCI_LOOKUP_NO_HWDB);
    char buf[256];
    const char* name = pci_lookup_name(pci, buf, sizeof buf, flags, vendor, device);
    if (!name) return std::nullopt;
    return platform::ToValidUtf8(name);
}

std::string Hex(unsigned v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

// As Windows' device instance starts: PCI\VEN_8086&DEV_46A6&SUBSYS_3FC617AA&REV_0C.
std::optional<std::string> PnpDeviceId(const Root& root, const std::string& dev) {
    auto vendor = Id(root, dev + "/vendor"), device = Id(root, dev + "/device");
    if (!vendor || !device) return std::nullopt;
    std::string id = "PCI\\VEN_" + Hex(*vendor, 4) + "&DEV_" + Hex(*device, 4);
    auto subVendor = Id(root, dev + "/subsystem_vendor");
    auto subDevice = Id(root, dev + "/subsystem_device");
    if (subVendor && subDevice) id += "&SUBSYS_" + Hex(*subDevice, 4) + Hex(*subVendor, 4);
    if (auto rev = Id(root, dev + "/revision")) id += "&REV_" + Hex(*rev, 2);
    return id;
}

}  // namespace

std::optional<std::string> PciDeviceName(const Root& root, const std::string& devicePath) {
    auto vendor = Id(root, devicePath + "/vendor"), device = Id(root, devicePath + "/device");
    if (!vendor || !device || !root.Exists(devicePath + "/class")) return std::nullopt;
    auto product = Lookup(root, PCI_LOOKUP_DEVICE, *vendor, *device);
    if (!product) return std::nullopt;
    auto maker = Lookup(root, PCI_LOOKUP_VENDOR, *vendor, 0);
    return maker ? *maker + " " + *product : *product;
}

std::vector<Instance> VideoControllerInstances(const Root& root) {
    const std::string bus = "/sys/bus/pci/devices/";
    std::vector<Instance> out;
    for (const auto& slot : root.List(bus)) {
        auto cls = Id(root, bus + slot + "/class");
        if (!cls || (*cls >> 16) != 0x03) continue;
        auto vendor = Id(root, bus + slot + "/vendor"), device = Id(root, bus + slot + "/device");
        std::optional<std::string> processor;
        if (vendor && device) processor = Lookup(root, PCI_LOOKUP_DEVICE, *vendor, *device);
        Instance inst;
        inst.Set("Name", OrNull(PciDeviceName(root, bus + slot)));
        inst.Set("VideoProcessor", OrNull(processor));
        inst.Set("PNPDeviceID", OrNull(PnpDeviceId(root, bus + slot)));
        // Neither the memory nor the mode is something sysfs says of every driver.
        for (const char* unknown :
             {"AdapterRAM", "CurrentHorizontalResolution", "CurrentVerticalResolution"})
            inst.Set(unknown, OrNull(std::optional<std::string>()));
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
