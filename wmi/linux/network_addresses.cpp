// Interface addresses: the kernel's list through netlink (RTM_GETADDR) on the
// live machine, the recorded /.harvix/ifaddrs in a tree.
#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "wmi/linux/network.h"

namespace harvix::linuxwmi {

namespace {

struct Socket {
    int Fd;
    ~Socket() {
        if (Fd >= 0) ::close(Fd);
    }
};

bool RequestAddresses(int fd) {
    struct {
        nlmsghdr Header;
        ifaddrmsg Message;
    } req{};
    req.Header.nlmsg_len = sizeof req;
    req.Header.nlmsg_type = RTM_GETADDR;
    req.Header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.Header.nlmsg_seq = 1;
    req.Message.ifa_family = AF_UNSPEC;
    // A kernel that does not answer within the time leaves the list short, not the run stuck.
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return ::send(fd, &req, sizeof req, 0) == static_cast<ssize_t>(sizeof req);
}

// One RTM_NEWADDR message; nullopt for a family other than IPv4/IPv6.
std::optional<NetAddress> AddressOf(const nlmsghdr* h) {
    const auto* msg = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
    if (msg->ifa_family != AF_INET && msg->ifa_family != AF_INET6) return std::nullopt;
    const void *address = nullptr, *local = nullptr;
    unsigned flags = msg->ifa_flags;
    int len = static_cast<int>(IFA_PAYLOAD(h));
    for (const rtattr* a = IFA_RTA(msg); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
        if (a->rta_type == IFA_ADDRESS) address = RTA_DATA(a);
        if (a->rta_type == IFA_LOCAL) local = RTA_DATA(a);
        if (a->rta_type == IFA_FLAGS && RTA_PAYLOAD(a) >= 4) std::memcpy(&flags, RTA_DATA(a), 4);
    }
    // On a point-to-point link IFA_ADDRESS is the peer's; IFA_LOCAL is ours.
    const void* own = local ? local : address;
    char text[INET6_ADDRSTRLEN], name[IF_NAMESIZE];
    if (!own || !::inet_ntop(msg->ifa_family, own, text, sizeof text)) return std::nullopt;
    if (!::if_indextoname(msg->ifa_index, name)) return std::nullopt;
    return NetAddress{name, text, msg->ifa_prefixlen, msg->ifa_family == AF_INET ? 4 : 6,
                      (flags & IFA_F_PERMANENT) == 0};
}

// NLMSG_OK, with the length's sign made explicit.
bool Whole(const nlmsghdr* h, int left) {
    return left >= static_cast<int>(sizeof(nlmsghdr)) && h->nlmsg_len >= sizeof(nlmsghdr) &&
           h->nlmsg_len <= static_cast<unsigned>(left);
}

std::vector<NetAddress> LiveAddresses() {
    std::vector<NetAddress> out;
    Socket s{::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)};
    if (s.Fd < 0 || !RequestAddresses(s.Fd)) return out;
    alignas(nlmsghdr) char buf[32768];
    for (;;) {
        ssize_t n = ::recv(s.Fd, buf, sizeof buf, 0);
        if (n <= 0) return out;
        int left = static_cast<int>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buf); Whole(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) return out;
            if (h->nlmsg_type != RTM_NEWADDR) continue;
            if (auto a = AddressOf(h)) out.push_back(std::move(*a));
        }
    }
}

}  // namespace

std::vector<NetAddress> ParseIfaddrs(const std::string& text) {
    std::vector<NetAddress> out;
    for (const std::string& line : Split(text, '\n')) {
        auto w = Words(line);
        if (w.size() != 4 || (w[1] != "inet" && w[1] != "inet6")) continue;
        std::size_t slash = w[2].find('/');
        auto prefix = ParseUnsigned(slash == std::string::npos ? "" : w[2].substr(slash + 1));
        if (!prefix || *prefix > 128) continue;
        out.push_back(NetAddress{w[0], w[2].substr(0, slash), static_cast<int>(*prefix),
                                 w[1] == "inet" ? 4 : 6, w[3] == "dynamic"});
    }
    return out;
}

std::vector<NetAddress> ReadAddresses(const Root& root) {
    if (root.Live()) return LiveAddresses();
    return ParseIfaddrs(root.Read("/.harvix/ifaddrs").value_or(""));
}

}  // namespace harvix::linuxwmi
