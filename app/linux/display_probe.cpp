#include "app/linux/display_probe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace harvix::display {

namespace {

using Clock = std::chrono::steady_clock;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

int Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects without blocking past the deadline; -1 when refused or too slow.
int ConnectBy(const sockaddr* addr, socklen_t len, int family, Clock::time_point deadline) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, addr, len) == 0) return fd;
    if (errno == EINPROGRESS || errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t errLen = sizeof err;
        if (::poll(&p, 1, Remaining(deadline)) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

int ConnectUnix(const std::string& path, bool abstract, Clock::time_point deadline) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
    if (path.size() + offset >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                      (abstract ? 0 : 1));
    return ConnectBy(reinterpret_cast<sockaddr*>(&addr), len, AF_UNIX, deadline);
}

int ConnectTcp(const std::string& host, int port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next)
        fd = ConnectBy(a->ai_addr, a->ai_addrlen, a->ai_family, deadline);
    ::freeaddrinfo(found);
    return fd;
}

// Sends the first request and waits for any reply, even a refusal or the end
// of the connection: only silence is no answer.
bool Answers(int fd, const void* request, std::size_t size, Clock::time_point deadline) {
    if (::send(fd, request, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) return true;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, Remaining(deadline)) == 1;
}

std::optional<int> DisplayNumber(const std::string& text) {
    const std::string_view digits = std::string_view(text).substr(0, text.find('.'));
    const auto n = ParseUnsigned(digits);
    if (!n || digits.size() > 5) return std::nullopt;
    return static_cast<int>(*n);
}

}  // namespace

bool XAnswers(const std::string& name, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t colon = name.rfind(':');
    if (colon == std::string::npos || name.find('/') != std::string::npos) return true;
    std::string host = name.substr(0, colon);
    auto number = DisplayNumber(name.substr(colon + 1));
    if (!number) return true;
    Fd conn;
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(*number);
        conn.fd = ConnectUnix(path, true, deadline);  // as libxcb: the abstract name first
        if (conn.fd < 0) conn.fd = ConnectUnix(path, false, deadline);
    } else {
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        conn.fd = ConnectTcp(host, 6000 + *number, deadline);
    }
    if (conn.fd < 0) return false;
    // Connection setup, little-endian, protocol 11.0, no authorization.
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    return Answers(conn.fd, setup, sizeof setup, deadline);
}

bool WaylandAnswers(const std::string& name, const std::string& runtimeDir, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const bool absolute = !name.empty() && name[0] == '/';
    if (!absolute && runtimeDir.empty()) return false;
    const std::string path = absolute ? name : runtimeDir + "/" + name;
    Fd conn;
    conn.fd = ConnectUnix(path, false, deadline);
    if (conn.fd < 0) return false;
    // wl_display.sync(new callback 2), in the host's byte order.
    const std::uint32_t sync[3] = {1, 12u << 16, 2};
    return Answers(conn.fd, sync, sizeof sync, deadline);
}

}  // namespace harvix::display
