#include "loopback/LoopbackPeerOwner.h"

#include <QFile>

#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

// An address as the socket tables print it: each 32-bit word of the address as the machine
// stores it, in hexadecimal, then a colon and the port.
std::string tableAddress(int family, const std::array<std::uint8_t, 16>& address,
                         std::uint16_t networkPort) {
    std::string text;
    char word[9];
    for (int i = 0; i < (family == AF_INET ? 1 : 4); ++i) {
        std::uint32_t value = 0;
        std::memcpy(&value, address.data() + 4 * i, sizeof value);
        std::snprintf(word, sizeof word, "%08X", value);
        text += word;
    }
    char port[6];
    std::snprintf(port, sizeof port, "%04X", ntohs(networkPort));
    return text + ':' + port;
}

// The next blank-separated field of `rest`, which then starts after it; empty at the end.
std::string_view nextField(std::string_view& rest) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    const size_t end = rest.find(' ', start);
    const std::string_view field =
        rest.substr(start, end == std::string_view::npos ? end : end - start);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return field;
}

template <typename Number>
bool readDecimal(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Netlink messages and their headers start on four-byte boundaries.
constexpr size_t aligned(size_t size) {
    return (size + 3) & ~size_t(3);
}
constexpr size_t kHeaderSize = aligned(sizeof(nlmsghdr));

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

}  // namespace

LoopbackPeerOwner::LoopbackPeerOwner(QList<Source> sources, QString tablesFolder)
    : m_tablesFolder(std::move(tablesFolder)) {
    for (const Source source : std::as_const(sources)) {
        m_sources.append({source});
    }
}

LoopbackPeerOwner::~LoopbackPeerOwner() {
    if (m_diagnostics >= 0) {
        ::close(m_diagnostics);
    }
}

LoopbackPeerOwner::Answer LoopbackPeerOwner::ownerOfPeer(int descriptor) {
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localSize = sizeof local;
    socklen_t peerSize = sizeof peer;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        ::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
        // Reset before it was looked at.
        return {Answer::Kind::gone};
    }
    const auto endpoint = [](const sockaddr_storage& address) {
        Endpoint end;
        end.family = address.ss_family;
        if (address.ss_family == AF_INET) {
            const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
            std::memcpy(end.address.data(), &ipv4.sin_addr, sizeof ipv4.sin_addr);
            end.port = ipv4.sin_port;
        } else if (address.ss_family == AF_INET6) {
            const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
            std::memcpy(end.address.data(), &ipv6.sin6_addr, sizeof ipv6.sin6_addr);
            end.port = ipv6.sin6_port;
        }
        return end;
    };
    const Endpoint self = endpoint(local);
    const Endpoint other = endpoint(peer);
    if (self.family != AF_INET && self.family != AF_INET6) {
        return {Answer::Kind::unknown};
    }
    bool failedThisOnce = false;
    for (SourceState& state : m_sources) {
        if (state.refused) {
            continue;
        }
        const Lookup lookup = find(state, other, self);
        switch (lookup.outcome) {
            case Outcome::refused:
                state.refused = true;
                continue;
            case Outcome::failed:
                // Another source may tell this once.
                failedThisOnce = true;
                continue;
            case Outcome::notFound:
                return {Answer::Kind::gone};
            case Outcome::found:
                if (lookup.socket.inode == 0) {
                    return {Answer::Kind::gone};
                }
                return {Answer::Kind::owner, lookup.socket.uid};
        }
    }
    // A connection nobody could tell about this once is never let through untold.
    return {failedThisOnce ? Answer::Kind::gone : Answer::Kind::unknown};
}

LoopbackPeerOwner::Lookup LoopbackPeerOwner::find(SourceState& state, const Endpoint& self,
                                                  const Endpoint& other) {
    if (state.source == Source::socketTables) {
        return readSocketTables(self, other);
    }
    const Lookup lookup = askSocketDiagnostics(self, other);
    if (lookup.outcome != Outcome::notFound || state.confirmed) {
        return lookup;
    }
    // A kernel without diagnostics for TCP finds no socket at all. The listening socket the
    // connection came through (`other`'s address and port, any peer) is there whatever the peer
    // did, so whether it is found tells the kernel's answer apart from a peer already gone.
    const Outcome listening = askSocketDiagnostics(other, Endpoint{other.family}).outcome;
    if (listening == Outcome::found) {
        state.confirmed = true;
        return lookup;
    }
    return {listening == Outcome::notFound ? Outcome::refused : Outcome::failed, {}};
}

LoopbackPeerOwner::Lookup LoopbackPeerOwner::askSocketDiagnostics(const Endpoint& self,
                                                                  const Endpoint& other) {
    constexpr Lookup failed{Outcome::failed, {}};
    if (m_diagnostics < 0) {
        m_diagnostics = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (m_diagnostics < 0) {
            const bool refused = errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT ||
                                 errno == EACCES || errno == EPERM;
            return {refused ? Outcome::refused : Outcome::failed, {}};
        }
    }
    struct {
        nlmsghdr header;
        inet_diag_req_v2 body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = ++m_sequence;
    request.body.sdiag_family = static_cast<std::uint8_t>(self.family);
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0U;
    request.body.id.idiag_sport = self.port;
    request.body.id.idiag_dport = other.port;
    std::memcpy(request.body.id.idiag_src, self.address.data(), self.address.size());
    std::memcpy(request.body.id.idiag_dst, other.address.data(), other.address.size());
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_diagnostics, &request, sizeof request, 0,
                 reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof request)) {
        return failed;
    }
    // The kernel answers within the send, so the reply is already there; an earlier request's
    // late reply is passed over by its number.
    char buffer[8192];
    for (;;) {
        const ssize_t received = ::recv(m_diagnostics, buffer, sizeof buffer, MSG_DONTWAIT);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            return failed;
        }
        const auto size = static_cast<size_t>(received);
        for (size_t at = 0; at + sizeof(nlmsghdr) <= size;) {
            nlmsghdr header{};
            std::memcpy(&header, buffer + at, sizeof header);
            if (header.nlmsg_len < kHeaderSize || header.nlmsg_len > size - at) {
                return failed;
            }
            const char* payload = buffer + at + kHeaderSize;
            const size_t payloadSize = header.nlmsg_len - kHeaderSize;
            at += aligned(header.nlmsg_len);
            if (header.nlmsg_seq != m_sequence) {
                continue;
            }
            if (header.nlmsg_type == NLMSG_ERROR && payloadSize >= sizeof(nlmsgerr)) {
                nlmsgerr error{};
                std::memcpy(&error, payload, sizeof error);
                return error.error == -ENOENT ? Lookup{Outcome::notFound, {}} : failed;
            }
            if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY && payloadSize >= sizeof(inet_diag_msg)) {
                inet_diag_msg socket{};
                std::memcpy(&socket, payload, sizeof socket);
                return {Outcome::found, {socket.idiag_uid, socket.idiag_inode}};
            }
            return header.nlmsg_type == NLMSG_DONE ? Lookup{Outcome::notFound, {}} : failed;
        }
    }
}

LoopbackPeerOwner::Lookup LoopbackPeerOwner::readSocketTables(const Endpoint& self,
                                                              const Endpoint& other) const {
    const QString path = m_tablesFolder + (self.family == AF_INET ? QStringLiteral("/tcp")
                                                                  : QStringLiteral("/tcp6"));
    const int table = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (table < 0) {
        const bool refused =
            errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == EPERM;
        return {refused ? Outcome::refused : Outcome::failed, {}};
    }
    const std::string local = tableAddress(self.family, self.address, self.port);
    const std::string remote = tableAddress(other.family, other.address, other.port);
    // Read in pieces and only up to the line sought: with many connections on the machine, most
    // of them waiting out their close, the table runs to megabytes.
    Lookup result{Outcome::notFound, {}};
    std::string lines;
    bool heading = true;
    bool readAny = false;
    char buffer[65536];
    for (bool done = false; !done;) {
        const ssize_t count = ::read(table, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            // A table that cannot be read at all is refused like one that cannot be opened.
            result.outcome = readAny ? Outcome::failed : Outcome::refused;
            break;
        }
        if (count == 0) {
            break;
        }
        readAny = true;
        lines.append(buffer, static_cast<size_t>(count));
        size_t start = 0;
        for (size_t end = 0; !done && (end = lines.find('\n', start)) != std::string::npos;
             start = end + 1) {
            // The first line names the columns.
            if (!std::exchange(heading, false)) {
                done = matchTableLine(std::string_view(lines).substr(start, end - start), local,
                                      remote, result);
            }
        }
        lines.erase(0, start);
    }
    ::close(table);
    return result;
}

bool LoopbackPeerOwner::matchTableLine(std::string_view line, std::string_view local,
                                       std::string_view remote, Lookup& result) {
    // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode"
    constexpr int kUid = 7;
    std::string_view rest = line;
    nextField(rest);
    if (!equalIgnoringCase(nextField(rest), local) || !equalIgnoringCase(nextField(rest), remote)) {
        return false;
    }
    for (int column = 3; column < kUid; ++column) {
        nextField(rest);
    }
    const std::string_view uid = nextField(rest);
    nextField(rest);
    const std::string_view inode = nextField(rest);
    result.socket = {};
    const bool read =
        readDecimal(uid, result.socket.uid) && readDecimal(inode, result.socket.inode);
    result.outcome = read ? Outcome::found : Outcome::failed;
    return true;
}
