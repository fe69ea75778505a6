// Network interfaces as the provider reads them: sysfs for the adapters, the
// kernel's address list (or a recorded stand-in), the routing tables and
// DHCP lease files.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "wmi/linux/sources.h"

namespace harvix::linuxwmi {

struct NetAddress {
    std::string Adapter;  // interface name
    std::string Address;  // printed as ip prints it
    int Prefix = 0;
    int Family = 4;        // 4 or 6
    bool Dynamic = false;  // leased or autoconfigured: the kernel keeps it for a lifetime only
};

// Every address of every interface: netlink on the live machine, /.harvix/ifaddrs
// in a recorded tree (one per line: interface, inet|inet6, address/prefix,
// dynamic|permanent).
std::vector<NetAddress> ReadAddresses(const Root& root);
// Parses the recorded stand-in; lines it cannot read are skipped.
std::vector<NetAddress> ParseIfaddrs(const std::string& text);

// Default gateways by interface, IPv4 first, from /proc/net/route and /proc/net/ipv6_route.
std::map<std::string, std::vector<std::string>> ReadGateways(const Root& root);

// The server of the interface's DHCP lease, where a lease file says it.
std::optional<std::string> DhcpServer(const Root& root, const std::string& iface,
                                      std::optional<long long> ifindex);

}  // namespace harvix::linuxwmi
