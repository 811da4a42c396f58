#include "loopback/HTTPPortManager.h"

#include "foundation/logging/ConsoleFormat.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <array>

namespace {

enum class Bind { bound, refused, noSuchAddress };

template <typename Address>
Bind probe(int family, const Address& address) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        return family == AF_INET6 ? Bind::noSuchAddress : Bind::refused;
    }
    const int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    const int result = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::close(fd);
    if (result == 0) {
        return Bind::bound;
    }
    return bindError == EADDRNOTAVAIL || bindError == EAFNOSUPPORT ? Bind::noSuchAddress
                                                                   : Bind::refused;
}

Bind probeIPv4(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return probe(AF_INET, address);
}

Bind probeIPv6(quint16 port) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    return probe(AF_INET6, address);
}

}  // namespace

bool HTTPPortManager::isPortAvailable(quint16 port) {
    if (probeIPv4(port) != Bind::bound) {
        return false;
    }
    // A machine without IPv6 loopback cannot be reached on ::1, by us or anyone else.
    return probeIPv6(port) != Bind::refused;
}

std::optional<quint16> HTTPPortManager::findPortInRange(quint16 lower, quint16 upper) {
    for (int port = lower; port <= upper; ++port) {
        if (isPortAvailable(static_cast<quint16>(port))) {
            return static_cast<quint16>(port);
        }
    }
    return std::nullopt;
}

std::optional<quint16> HTTPPortManager::findAvailablePort() {
    static constexpr std::array<quint16, 6> kCommonPorts = {8000, 8080, 8888, 3000, 5000, 9000};
    for (const quint16 port : kCommonPorts) {
        if (isPortAvailable(port)) {
            ConsoleFormat::print(QStringLiteral("✅ 找到常用可用端口: ") + QString::number(port));
            return port;
        }
    }
    if (const auto port = findPortInRange(8000, 9000)) {
        ConsoleFormat::print(QStringLiteral("✅ 找到可用端口: ") + QString::number(*port));
        return port;
    }
    if (const auto port = findPortInRange(9000, 10000)) {
        ConsoleFormat::print(QStringLiteral("✅ 找到可用端口（扩展范围）: ") +
                             QString::number(*port));
        return port;
    }
    ConsoleFormat::print(QStringLiteral("❌ 未找到可用端口"));
    return std::nullopt;
}
