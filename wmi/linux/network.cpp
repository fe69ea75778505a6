// Harvix_NetworkAdapter and Harvix_NetworkAddress: one object per interface of
// /sys/class/net, one per address the kernel holds.
#include "wmi/linux/network.h"

#include <algorithm>
#include <cctype>

#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

const char* const kNet = "/sys/class/net/";

std::optional<std::string> UeventValue(const Root& root, const std::string& iface,
                                       const std::string& key) {
    for (const std::string& line : Split(root.Read(kNet + iface + "/uevent").value_or(""), '\n'))
        if (StartsWith(line, (key + "=").c_str())) return line.substr(key.size() + 1);
    return std::nullopt;
}

std::optional<std::string> AdapterType(const Root& root, const std::string& iface) {
    const std::string dir = kNet + iface;
    auto type = root.Number(dir + "/type");
    auto devtype = UeventValue(root, iface, "DEVTYPE");
    if (type == 772) return "loopback";
    if (root.Exists(dir + "/wireless") || root.Exists(dir + "/phy80211") || devtype == "wlan")
        return "wifi";
    if (root.Exists(dir + "/bridge")) return "bridge";
    if (devtype && !devtype->empty()) return devtype;  // vlan, bond, wireguard...
    if (type == 1) return "ethernet";
    return std::nullopt;
}

std::optional<std::string> Status(const Root& root, const std::string& iface) {
    static const char* const kStates[] = {
        "up", "down", "dormant", "notpresent", "lowerlayerdown", "unknown", "testing"};
    auto state = root.Line(kNet + iface + "/operstate");
    for (const char* s : kStates)
        if (state == s) return state;
    return std::nullopt;
}

// sysfs gives Mb/s, -1 or a read error for a link that is down.
WmiValue Speed(const Root& root, const std::string& iface) {
    auto mbps = root.Number(kNet + iface + "/speed");
    if (!mbps || *mbps <= 0) return WmiValue();
    return WmiValue(std::to_string(*mbps * 1000000));
}

std::optional<std::string> Mac(const Root& root, const std::string& iface) {
    auto mac = root.Line(kNet + iface + "/address");
    if (!mac || mac->empty()) return std::nullopt;
    std::transform(mac->begin(), mac->end(), mac->begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return mac;
}

// The PCI or USB device's name, else the driver's.
std::optional<std::string> Description(const Root& root, const std::string& iface) {
    auto device = root.Resolve(kNet + iface + "/device");
    if (!device || !root.Exists(*device)) return std::nullopt;
    if (auto name = PciDeviceName(root, *device)) return name;
    if (auto product = root.Line(*device + "/../product"); product && !product->empty())
        return product;  // a USB adapter: its interface lies below the device
    auto driver = root.Resolve(*device + "/driver");
    if (!driver || !root.Exists(*driver)) return std::nullopt;
    return Basename(*driver);
}

// -1 when an IPv4 address is leased, 0 when all are fixed, null without one.
WmiValue DhcpEnabled(const std::vector<NetAddress>& addresses, const std::string& iface) {
    WmiValue out;
    for (const auto& a : addresses)
        if (a.Adapter == iface && a.Family == 4) {
            if (a.Dynamic) return WmiValue(-1);
            out = WmiValue(0);
        }
    return out;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& i : items) out += (out.empty() ? "" : ",") + i;
    return out;
}

Instance Adapter(const Root& root, const std::string& iface,
                 const std::vector<NetAddress>& addresses,
                 const std::map<std::string, std::vector<std::string>>& gateways) {
    const std::string dir = kNet + iface;
    Instance inst;
    inst.Set("Name", iface);
    inst.Set("Description", OrNull(Description(root, iface)));
    inst.Set("MACAddress", OrNull(Mac(root, iface)));
    inst.Set("Status", OrNull(Status(root, iface)));
    inst.Set("Type", OrNull(AdapterType(root, iface)));
    inst.Set("Speed", Speed(root, iface));
    auto path = root.Resolve(dir).value_or(dir);
    bool isVirtual = !root.Exists(dir + "/device") || StartsWith(path, "/sys/devices/virtual/");
    inst.Set("Virtual", isVirtual ? -1 : 0);
    WmiValue dhcp = DhcpEnabled(addresses, iface);
    inst.Set("DHCPEnabled", dhcp);
    bool leased = dhcp.IsNumber() && dhcp.Number() == -1;
    inst.Set("DHCPServer",
             leased ? OrNull(DhcpServer(root, iface, root.Number(dir + "/ifindex"))) : WmiValue());
    auto gw = gateways.find(iface);
    inst.Set("Gateways", gw == gateways.end() ? WmiValue() : WmiValue(Joined(gw->second)));
    auto mtu = root.Number(dir + "/mtu");
    inst.Set("MTU",
             mtu && *mtu >= 0 && *mtu <= INT32_MAX ? WmiValue(static_cast<int>(*mtu)) : WmiValue());
    return inst;
}

}  // namespace

std::vector<Instance> NetworkAdapterInstances(const Root& root) {
    const auto addresses = ReadAddresses(root);
    const auto gateways = ReadGateways(root);
    std::vector<Instance> out;
    for (const auto& iface : root.List("/sys/class/net"))
        if (root.Exists(kNet + iface + "/type"))  // bonding_masters is a file, no interface
            out.push_back(Adapter(root, iface, addresses, gateways));
    return out;
}

std::vector<Instance> NetworkAddressInstances(const Root& root) {
    std::vector<Instance> out;
    for (const auto& a : ReadAddresses(root)) {
        Instance inst;
        inst.Set("Adapter", a.Adapter);
        inst.Set("Address", a.Address);
        inst.Set("PrefixLength", a.Prefix);
        inst.Set("Family", a.Family);
        out.push_back(std::move(inst));
    }
    return out;
}

}  // namespace harvix::linuxwmi
