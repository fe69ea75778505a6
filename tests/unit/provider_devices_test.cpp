// The Linux provider's devices over the recorded machines: network adapters
// and addresses, display controllers, monitors, disk and volume facts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "wmi/linux/network.h"
#include "wmi/linux/provider.h"

namespace harvix {
namespace {

namespace fs = std::filesystem;
const std::string kTrees = HARVIX_TREES_DIR;

// One property of every object, "<null>" for a null.
std::vector<std::string> Walk(const std::string& tree, const std::string& cls,
                              const std::string& prop) {
    linuxwmi::Provider p(tree.empty() || tree[0] == '/' ? tree : kTrees + "/" + tree);
    std::vector<std::string> out;
    auto results = p.ExecQuery("Select * from " + cls, 48);
    while (const WmiObject* obj = results->Next()) {
        WmiValue v = obj->Get(prop);
        out.push_back(v.IsNull() ? "<null>" : ToText(v));
    }
    return out;
}
using Texts = std::vector<std::string>;

TEST(ProviderDevices, AdaptersReadSysfsTheRoutesAndTheLeases) {
    const char* adapter = "Harvix_NetworkAdapter";
    EXPECT_EQ(Walk("laptop", adapter, "Name"), (Texts{"docker0", "lo", "wlp0s20f3"}));
    EXPECT_EQ(Walk("laptop", adapter, "Type"), (Texts{"bridge", "loopback", "wifi"}));
    EXPECT_EQ(Walk("laptop", adapter, "Virtual"), (Texts{"-1", "-1", "0"}));
    EXPECT_EQ(Walk("laptop", adapter, "MACAddress")[2], "f8:e4:e3:5a:12:7c");
    // A leased IPv4 address: NetworkManager's lease names the server; a fixed one is no DHCP.
    EXPECT_EQ(Walk("laptop", adapter, "DHCPEnabled"), (Texts{"0", "0", "-1"}));
    EXPECT_EQ(Walk("laptop", adapter, "DHCPServer"), (Texts{"<null>", "<null>", "192.168.1.254"}));
    EXPECT_EQ(Walk("laptop", adapter, "Gateways")[2], "192.168.1.254,fe80::20c:29ff:fe3a:9b10");
    EXPECT_EQ(Walk("laptop", adapter, "Description")[2],
              "Intel Corporation Cannon Point-LP CNVi [Wireless-AC]");
    // systemd-networkd's lease by interface number; a default route twice is one gateway.
    EXPECT_EQ(Walk("vm", adapter, "DHCPServer"), (Texts{"10.0.0.2", "<null>"}));
    EXPECT_EQ(Walk("vm", adapter, "Gateways"), (Texts{"10.0.0.1,fd00:10::1", "<null>"}));
    EXPECT_EQ(Walk("vm", adapter, "Description"), (Texts{"virtio_net", "<null>"}));
    // No IPv4 address says nothing of DHCP; a link that is down has no speed.
    EXPECT_EQ(Walk("vm", adapter, "DHCPEnabled"), (Texts{"-1", "<null>"}));
    EXPECT_EQ(Walk("server", adapter, "Speed"), (Texts{"1000000000", "<null>", "<null>"}));
    EXPECT_EQ(Walk("server", adapter, "Status"), (Texts{"up", "down", "unknown"}));
    EXPECT_EQ(Walk("server", adapter, "MTU"), (Texts{"1500", "1500", "65536"}));

    EXPECT_EQ(Walk("laptop", "Harvix_NetworkAddress", "Address")[3],
              "2a01:e0a:5d1:c9e0:8d2b:b1c4:9f3e:21a7");
    EXPECT_EQ(Walk("laptop", "Harvix_NetworkAddress", "PrefixLength"),
              (Texts{"8", "128", "24", "64", "64", "16"}));
    EXPECT_EQ(Walk("server", "Harvix_NetworkAddress", "Family"), (Texts{"4", "4", "6"}));
    // Lines the stand-in cannot read are left out.
    auto parsed = linuxwmi::ParseIfaddrs(
        "eth0 inet 10.0.0.1/8 permanent\neth0 inet 10.0.0.2 dynamic\neth0 ipx 1/2 dynamic\n"
        "eth0 inet6 ::1/129 permanent\n\neth0 inet6 fe80::1/64 dynamic extra\nwg0 inet6 fd::1/64 dynamic");
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1].Address, "fd::1");
    EXPECT_TRUE(parsed[1].Dynamic);
    EXPECT_FALSE(parsed[0].Dynamic);
}

TEST(ProviderDevices, DisplayControllersAndMonitors) {
    // The laptop's own ids file; the server's names come from this system's.
    EXPECT_EQ(Walk("laptop", "Win32_VideoController", "Name"),
              Texts{"Intel Corporation WhiskeyLake-U GT2 [UHD Graphics 620]"});
    EXPECT_EQ(Walk("laptop", "Win32_VideoController", "PNPDeviceID"),
              Texts{"PCI\\VEN_8086&DEV_3EA0&SUBSYS_229217AA&REV_02"});
    EXPECT_EQ(Walk("server", "Win32_VideoController", "VideoProcessor"), Texts{"G200eR2"});
    EXPECT_EQ(Walk("vm", "Win32_VideoController", "AdapterRAM"), Texts{"<null>"});
    // Connected connectors only; a panel with no name descriptor is named by its product code.
    EXPECT_EQ(Walk("laptop", "Harvix_Monitor", "Port"), (Texts{"HDMI-A-1", "eDP-1"}));
    EXPECT_EQ(Walk("laptop", "Harvix_Monitor", "Manufacturer"), (Texts{"DEL", "AUO"}));
    EXPECT_EQ(Walk("laptop", "Harvix_Monitor", "Model"), (Texts{"DELL U2419H", "243D"}));
    EXPECT_EQ(Walk("laptop", "Harvix_Monitor", "SerialNumber"), (Texts{"7MT0193K0ABL", "<null>"}));
    EXPECT_TRUE(Walk("server", "Harvix_Monitor", "Port").empty());

    // A tree's ids file names what this system's does not know; broken EDID bytes name nothing.
    const fs::path tree = testing::MakeTempDir("harvix-gpu-");
    const fs::path gpu = tree / "sys/bus/pci/devices/0000:01:00.0";
    fs::create_directories(gpu);
    std::ofstream(gpu / "class") << "0x030200\n";
    std::ofstream(gpu / "vendor") << "0xfff0\n";
    std::ofstream(gpu / "device") << "0xabcd\n";
    fs::create_directories(tree / "usr/share/misc");
    std::ofstream(tree / "usr/share/misc/pci.ids") << "fff0  Atelier\n\tabcd  Carte Test\n";
    const fs::path hdmi = tree / "sys/class/drm/card1-HDMI-A-2";
    fs::create_directories(hdmi);
    std::ofstream(hdmi / "status") << "connected\n";
    std::ofstream(hdmi / "edid") << "not an edid";
    EXPECT_EQ(Walk(tree.string(), "Win32_VideoController", "Name"), Texts{"Atelier Carte Test"});
    EXPECT_EQ(Walk(tree.string(), "Win32_VideoController", "PNPDeviceID"),
              Texts{"PCI\\VEN_FFF0&DEV_ABCD"});
    EXPECT_EQ(Walk(tree.string(), "Harvix_Monitor", "Manufacturer"), Texts{"<null>"});
    EXPECT_EQ(Walk(tree.string(), "Harvix_Monitor", "EDID"), Texts{"bm90IGFuIGVkaWQ="});
    fs::remove_all(tree);
}

TEST(ProviderDevices, DisksAndVolumesCarryFirmwareRotationSerialAndEncryption) {
    EXPECT_EQ(Walk("laptop", "Win32_DiskDrive", "FirmwareRevision"), (Texts{"5L2QEXA7", "1.00"}));
    EXPECT_EQ(Walk("laptop", "Harvix_PhysicalDisk", "Index"), (Texts{"0", "1"}));
    EXPECT_EQ(Walk("laptop", "Harvix_PhysicalDisk", "Rotational"), (Texts{"0", "-1"}));
    EXPECT_EQ(Walk("container", "Harvix_PhysicalDisk", "Rotational"), (Texts{"<null>", "<null>"}));
    EXPECT_EQ(Walk("vm", "Win32_DiskDrive", "FirmwareRevision"), Texts{"<null>"});
    // udev's record on the laptop, the by-uuid link on the VM.
    EXPECT_EQ(Walk("laptop", "Win32_LogicalDisk", "VolumeSerialNumber"),
              (Texts{"3f9c1d2e-7a41-4c8b-9e0d-6b5a4c3d2e1f", "5A2B-91C4", "B4E2-0F17", "<null>",
                     "<null>"}));
    EXPECT_EQ(Walk("vm", "Win32_LogicalDisk", "VolumeSerialNumber")[0],
              "0b5e7a2c-9d41-4f3e-8c6b-1a2d3e4f5a6b");
    // The server's root is LVM over two LUKS mappings; the md array is not encrypted.
    EXPECT_EQ(Walk("server", "Harvix_VolumeEncryption", "Name"), Texts{"/"});
    EXPECT_EQ(Walk("server", "Harvix_VolumeEncryption", "Type"), Texts{"LUKS"});
    EXPECT_TRUE(Walk("laptop", "Harvix_VolumeEncryption", "Name").empty());
}

}  // namespace
}  // namespace harvix
