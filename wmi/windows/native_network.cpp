// Harvix_NetworkAdapter and Harvix_NetworkAddress from IP Helper's
// GetAdaptersAddresses (gateways included), one walk for both classes.
// winsock2.h before windows.h, and both before the IP Helper's own header.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <cstddef>
#include <cstdio>

#include "platform/text.h"
#include "platform/wide.h"
#include "wmi/windows/native.h"

namespace harvix::native {

namespace {

std::string Ipv6Text(const BYTE* b) {
    unsigned short words[8];
    for (int i = 0; i < 8; ++i)
        words[i] = static_cast<unsigned short>(b[2 * i] << 8 | b[2 * i + 1]);
    // The longest run of two or more zero words becomes "::" (RFC 5952).
    int bestAt = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && words[j] == 0) ++j;
        if (j - i > bestLength) bestAt = i, bestLength = j - i;
        i = j == i ? i + 1 : j;
    }
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (i == bestAt) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        char word[8];
        std::snprintf(word, sizeof word, "%x", words[i]);
        if (!text.empty() && text.back() != ':') text += ':';
        text += word;
    }
    return text;
}

// The address's text; empty for another family.
std::string AddressText(const SOCKET_ADDRESS& address) {
    const sockaddr* a = address.lpSockaddr;
    if (!a) return {};
    if (a->sa_family == AF_INET) {
        const BYTE* b =
            reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in*>(a)->sin_addr);
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
        return text;
    }
    if (a->sa_family == AF_INET6)
        return Ipv6Text(
            reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr));
    return {};
}

WmiValue StatusOf(IF_OPER_STATUS status) {
    static const char* const names[] = {"up",      "down",       "testing",       "unknown",
                                        "dormant", "notpresent", "lowerlayerdown"};
    return status >= 1 && status <= 7 ? WmiValue(names[status - 1]) : WmiValue();
}

WmiValue TypeOf(IFTYPE type) {
    switch (type) {
        case 6:
            return WmiValue("ethernet");
        case 71:
            return WmiValue("wifi");
        case 24:
            return WmiValue("loopback");
        case 23:
            return WmiValue("ppp");
        case 131:
            return WmiValue("tunnel");
        case 209:
            return WmiValue("bridge");
        case 243:
        case 244:
            return WmiValue("wwan");
        default:
            return WmiValue();
    }
}

// Virtual: no hardware address, a loopback or tunnel, or a description naming a
// hypervisor's or a VPN's adapter.
bool IsVirtual(const IP_ADAPTER_ADDRESSES& a, const std::string& description) {
    if (a.PhysicalAddressLength == 0 || a.IfType == 24 || a.IfType == 131) return true;
    const std::string d = AsciiLower(description);
    for (const char* mark : {"hyper-v", "virtualbox", "vmware", "tap-windows", "loopback"})
        if (d.find(mark) != std::string::npos) return true;
    return false;
}

WmiValue MacOf(const IP_ADAPTER_ADDRESSES& a) {
    if (a.PhysicalAddressLength == 0) return WmiValue();
    std::string mac;
    for (ULONG i = 0; i < a.PhysicalAddressLength && i < MAX_ADAPTER_ADDRESS_LENGTH; ++i) {
        char part[4];
        std::snprintf(part, sizeof part, "%02x", a.PhysicalAddress[i]);
        if (i) mac += ':';
        mac += part;
    }
    return WmiValue(mac);
}

Instance AdapterOf(const IP_ADAPTER_ADDRESSES& a) {
    Instance adapter;
    const std::string description = a.Description ? platform::Utf8(a.Description) : "";
    adapter.Set("Name", WmiValue(a.FriendlyName ? platform::Utf8(a.FriendlyName) : ""));
    adapter.Set("Description", WmiValue(description));
    adapter.Set("MACAddress", MacOf(a));
    adapter.Set("Status", StatusOf(a.OperStatus));
    adapter.Set("Type", TypeOf(a.IfType));
    // 0 and all ones both mean the link's speed is not known.
    const ULONG64 speed = a.TransmitLinkSpeed;
    adapter.Set("Speed",
                speed == 0 || speed == ~0ULL ? WmiValue() : WmiValue(std::to_string(speed)));
    adapter.Set("Virtual", WmiValue(IsVirtual(a, description) ? -1 : 0));
    const bool dhcp = (a.Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
    adapter.Set("DHCPEnabled", WmiValue(dhcp ? -1 : 0));
    // Dhcpv4Server is Vista's: only where the structure is that long.
    const bool hasServer =
        a.Length >= offsetof(IP_ADAPTER_ADDRESSES, Dhcpv4Server) + sizeof a.Dhcpv4Server;
    const std::string server = dhcp && hasServer ? AddressText(a.Dhcpv4Server) : "";
    adapter.Set("DHCPServer", server.empty() ? WmiValue() : WmiValue(server));
    std::string gateways;
    for (auto* g = a.FirstGatewayAddress; g; g = g->Next) {
        const std::string text = AddressText(g->Address);
        if (!text.empty()) gateways += (gateways.empty() ? "" : ",") + text;
    }
    adapter.Set("Gateways", gateways.empty() ? WmiValue() : WmiValue(gateways));
    adapter.Set("MTU",
                a.Mtu <= 0x7FFFFFFFu ? WmiValue(static_cast<std::int32_t>(a.Mtu)) : WmiValue());
    return adapter;
}

void AddAddresses(const IP_ADAPTER_ADDRESSES& a, std::vector<Instance>& out) {
    const std::string adapter = a.FriendlyName ? platform::Utf8(a.FriendlyName) : "";
    for (auto* u = a.FirstUnicastAddress; u; u = u->Next) {
        const std::string text = AddressText(u->Address);
        if (text.empty()) continue;
        Instance address;
        address.Set("Adapter", WmiValue(adapter));
        address.Set("Address", WmiValue(text));
        const bool hasPrefix =
            u->Length >= offsetof(IP_ADAPTER_UNICAST_ADDRESS, OnLinkPrefixLength) + 1;
        address.Set("PrefixLength", hasPrefix
                                        ? WmiValue(static_cast<std::int32_t>(u->OnLinkPrefixLength))
                                        : WmiValue());
        address.Set("Family", WmiValue(u->Address.lpSockaddr->sa_family == AF_INET ? 4 : 6));
        out.push_back(std::move(address));
    }
}

Answer NetworkObjects(bool addresses) {
    Answer answer;
    const ULONG flags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST |
                        GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    std::string buffer(16 * 1024, '\0');
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        ULONG size = static_cast<ULONG>(buffer.size());
        rc = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        if (rc == ERROR_BUFFER_OVERFLOW) buffer.assign(size, '\0');
    }
    if (rc == ERROR_NO_DATA) return answer;
    if (rc != NO_ERROR) {
        answer.Unread.push_back(
            UnreadNote("Cartes réseau", "GetAdaptersAddresses : " + platform::SystemMessage(rc)));
        return answer;
    }
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        // Windows' own lists (Win32_NetworkAdapter, the Network Connections folder)
        // leave the loopback pseudo-interface out.
        if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
        if (addresses)
            AddAddresses(*a, answer.Objects);
        else
            answer.Objects.push_back(AdapterOf(*a));
    }
    return answer;
}

}  // namespace

Answer NetworkAdapterObjects() {
    return NetworkObjects(false);
}
Answer NetworkAddressObjects() {
    return NetworkObjects(true);
}

}  // namespace harvix::native
