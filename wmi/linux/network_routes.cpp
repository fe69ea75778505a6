// Default gateways from the kernel's routing tables, and the DHCP server from
// the lease files dhclient, NetworkManager and systemd-networkd leave behind.
#include <arpa/inet.h>

#include <algorithm>

#include "wmi/linux/network.h"
#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

void AddGateway(std::map<std::string, std::vector<std::string>>& out, const std::string& iface,
                const std::string& gateway) {
    auto& list = out[iface];
    if (std::find(list.begin(), list.end(), gateway) == list.end()) list.push_back(gateway);
}

// /proc/net/route prints each address as the host's 32-bit word: bytes in memory order.
void ReadIpv4Routes(const Root& root, std::map<std::string, std::vector<std::string>>& out) {
    auto lines = Split(root.Read("/proc/net/route").value_or(""), '\n');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        auto w = Words(lines[i]);
        if (w.size() < 4 || w[1] != "00000000") continue;
        auto gw = ParseUnsigned(w[2], 16);
        auto flags = ParseUnsigned(w[3], 16);
        if (!gw || *gw == 0 || *gw > 0xFFFFFFFF || !flags || !(*flags & 0x2))
            continue;  // RTF_GATEWAY
        std::string text;
        for (int k = 0; k < 4; ++k)
            text += (k ? "." : "") + std::to_string((*gw >> (8 * k)) & 0xFF);
        AddGateway(out, w[0], text);
    }
}

std::optional<std::string> Ipv6Text(const std::string& hex) {
    if (hex.size() != 32) return std::nullopt;
    unsigned char bytes[16];
    for (int k = 0; k < 16; ++k) {
        auto b = ParseUnsigned(hex.substr(2 * k, 2), 16);
        if (!b) return std::nullopt;
        bytes[k] = static_cast<unsigned char>(*b);
    }
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET6, bytes, text, sizeof text)) return std::nullopt;
    return text;
}

// Fields: destination, its prefix, source, its prefix, next hop, metric, counts, flags, interface.
void ReadIpv6Routes(const Root& root, std::map<std::string, std::vector<std::string>>& out) {
    for (const std::string& line : Split(root.Read("/proc/net/ipv6_route").value_or(""), '\n')) {
        auto w = Words(line);
        if (w.size() < 10 || w[0] != std::string(32, '0') || w[1] != "00") continue;
        auto hop = Ipv6Text(w[4]);
        if (hop && *hop != "::") AddGateway(out, w[9], *hop);
    }
}

std::optional<std::string> KeyValue(const std::string& text, const std::string& key) {
    for (const std::string& line : Split(text, '\n'))
        if (StartsWith(line, (key + "=").c_str())) return Trim(line.substr(key.size() + 1));
    return std::nullopt;
}

// dhclient's leases: the last lease of the interface naming a server.
std::optional<std::string> DhclientServer(const std::string& text, const std::string& iface) {
    std::optional<std::string> found, server;
    bool mine = false;
    for (const std::string& raw : Split(text, '\n')) {
        std::string line = Trim(raw);
        if (StartsWith(line, "lease")) {
            server.reset();
            mine = false;
        }
        if (line == "interface \"" + iface + "\";") mine = true;
        auto w = Words(line);
        if (w.size() == 3 && w[0] == "option" && w[1] == "dhcp-server-identifier")
            server = w[2].substr(0, w[2].find(';'));
        if (line == "}" && mine && server) found = server;
    }
    return found;
}

std::optional<std::string> LeaseServer(const std::string& text, const std::string& iface) {
    if (auto s = KeyValue(text, "SERVER_ADDRESS")) return s;
    return DhclientServer(text, iface);
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::map<std::string, std::vector<std::string>> ReadGateways(const Root& root) {
    std::map<std::string, std::vector<std::string>> out;
    ReadIpv4Routes(root, out);
    ReadIpv6Routes(root, out);
    return out;
}

std::optional<std::string> DhcpServer(const Root& root, const std::string& iface,
                                      std::optional<long long> ifindex) {
    if (ifindex)
        if (auto text = root.Read("/run/systemd/netif/leases/" + std::to_string(*ifindex)))
            if (auto s = KeyValue(*text, "SERVER_ADDRESS")) return s;
    const std::string nm = "/var/lib/NetworkManager/";
    for (const auto& f : root.List(nm))
        if (EndsWith(f, "-" + iface + ".lease"))
            if (auto s = LeaseServer(root.Read(nm + f).value_or(""), iface)) return s;
    const std::string dhcp = "/var/lib/dhcp/";
    for (const auto& f : root.List(dhcp))
        if (StartsWith(f, "dhclient") && EndsWith(f, ".leases"))
            if (auto s = DhclientServer(root.Read(dhcp + f).value_or(""), iface)) return s;
    return std::nullopt;
}

}  // namespace harvix::linuxwmi
