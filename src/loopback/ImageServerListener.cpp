#include "loopback/ImageServerListener.h"

#include "foundation/logging/ConsoleFormat.h"
#include "loopback/HttpReply.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// Qt's default queue of 50 connections waiting to be accepted overflows under many concurrent
// clients, and each dropped connection attempt waits a second for its retry. The kernel caps a
// larger queue at its own limit, so ask for that limit; the peers beyond the open connections'
// limit wait there too.
int systemListenBacklog() {
    QFile limit(QStringLiteral("/proc/sys/net/core/somaxconn"));
    if (limit.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int value = limit.readAll().trimmed().toInt(&ok);
        if (ok && value > 0) {
            return value;
        }
    }
    return SOMAXCONN;
}

// A non-blocking socket listening on the loopback address of `family`; -1 with errno set when
// there is none.
int listeningSocket(int family, quint16 port) {
    const int descriptor = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return -1;
    }
    const int on = 1;
    // The port can be taken again while the last run's connections still wait out their close.
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage address{};
    socklen_t size = 0;
    if (family == AF_INET) {
        auto& ipv4 = reinterpret_cast<sockaddr_in&>(address);
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        ipv4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size = sizeof ipv4;
    } else {
        // Only ::1 itself, never IPv4 through it.
        ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        ipv6.sin6_addr = in6addr_loopback;
        size = sizeof ipv6;
    }
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
        ::listen(descriptor, systemListenBacklog()) != 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

quint16 boundPort(int descriptor) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// Accepted per wake-up at most, so that a flood of peers cannot hold the thread.
constexpr int kAcceptsPerWakeUp = 64;
// After the process ran short of descriptors or memory, accepting waits this long (or for a
// connection to close).
constexpr int kRetryAfterShortageMs = 100;
// Events closer together than this make one burst, told once.
constexpr std::chrono::seconds kBurstGap{10};
// What another account's connection may have sent before it was accepted, read away at most
// (16 reads of 4 KiB: a request head's limit).
constexpr int kForbiddenReadsAtMost = 16;
// Descriptors the process keeps for everything but the open connections.
constexpr rlim_t kDescriptorsBesideConnections = 1024;

// Raises the soft limit of open descriptors toward the hard one where it leaves fewer than
// `needed` beside those the process holds for other work.
void allowDescriptors(rlim_t needed) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= needed + kDescriptorsBesideConnections) {
        return;
    }
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY
                         ? needed + kDescriptorsBesideConnections
                         : std::min(limit.rlim_max, needed + kDescriptorsBesideConnections);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

bool ImageServerListener::BurstNotice::startsBurst() {
    const bool starts =
        !last.isValid() || last.elapsed() >= std::chrono::milliseconds(kBurstGap).count();
    last.start();
    return starts;
}

ImageServerListener::ImageServerListener(Responder responder, Limits limits, QObject* parent)
    : QObject(parent),
      m_responder(std::move(responder)),
      m_limits(limits),
      m_user(::geteuid()),
      m_forbidden(HttpReply::text(403, QStringLiteral("Forbidden"))),
      m_connections(new QObject(this)) {}

ImageServerListener::~ImageServerListener() {
    close();
}

QString ImageServerListener::listen(quint16 port) {
    close();
    // A socket and the file it sends for each open connection.
    allowDescriptors(2 * static_cast<rlim_t>(m_limits.openConnections));
    const int ipv4 = listeningSocket(AF_INET, port);
    if (ipv4 < 0) {
        return qt_error_string(errno);
    }
    m_port = boundPort(ipv4);
    m_listening.push_back({ipv4, nullptr});
    const int ipv6 = listeningSocket(AF_INET6, m_port);
    if (ipv6 >= 0) {
        m_listening.push_back({ipv6, nullptr});
    } else if (errno != EADDRNOTAVAIL && errno != EAFNOSUPPORT && errno != EPROTONOSUPPORT) {
        // Someone else on [::1] would answer the page's "localhost" in our place.
        const QString reason = qt_error_string(errno);
        close();
        return reason;
    }
    for (ListeningSocket& socket : m_listening) {
        socket.notifier = new QSocketNotifier(socket.descriptor, QSocketNotifier::Read, this);
        connect(socket.notifier, &QSocketNotifier::activated, this,
                [this, descriptor = socket.descriptor] { acceptWaiting(descriptor); });
    }
    return {};
}

void ImageServerListener::close() {
    for (const ListeningSocket& socket : std::exchange(m_listening, {})) {
        // The notifier goes before the descriptor it watches.
        delete socket.notifier;
        ::close(socket.descriptor);
    }
    m_port = 0;
    m_retry.stop();
    // Each one counts itself closed as it goes.
    const QObjectList open = m_connections->children();
    qDeleteAll(open);
}

void ImageServerListener::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_retry.timerId()) {
        m_retry.stop();
        setAccepting(m_open < m_limits.openConnections);
    }
}

void ImageServerListener::acceptWaiting(int listening) {
    for (int turn = 0; turn < kAcceptsPerWakeUp && m_open < m_limits.openConnections; ++turn) {
        const int descriptor = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            admit(descriptor);
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The peers wait in the queue; trying again at once would only spin.
            setAccepting(false);
            m_retry.start(kRetryAfterShortageMs, this);
            return;
        }
        // Anything else concerns the one peer that left the queue (gone, or refused by a filter);
        // the next one is taken.
    }
    if (m_open >= m_limits.openConnections) {
        setAccepting(false);
        if (m_full.startsBurst()) {
            const QString line = QStringLiteral(
                "⚠️ 本地图片服务器连接数已达上限 "
                "%1，新连接在队列中等待");
            ConsoleFormat::print(line.arg(m_limits.openConnections));
        }
    }
}

void ImageServerListener::admit(int descriptor) {
    const LoopbackPeerOwner::Answer peer = m_peerOwner.ownerOfPeer(descriptor);
    switch (peer.kind) {
        case LoopbackPeerOwner::Answer::Kind::gone:
            // Nobody is left to read a reply, or nobody can tell whose it is this time.
            ::close(descriptor);
            return;
        case LoopbackPeerOwner::Answer::Kind::unknown:
            if (!std::exchange(m_toldOwnersUnknown, true)) {
                ConsoleFormat::print(QStringLiteral(
                    "⚠️ "
                    "无法得知本地图片服务器的连接来自哪个用户，所有本机连接照常应答"));
            }
            break;
        case LoopbackPeerOwner::Answer::Kind::owner:
            if (peer.uid != m_user) {
                refuse(descriptor, peer.uid);
                return;
            }
            break;
    }
    ++m_open;
    auto* connection =
        new ImageServerConnection(descriptor, m_responder, m_limits.timeLimit, m_connections);
    connect(connection, &QObject::destroyed, this, [this] { connectionClosed(); });
}

void ImageServerListener::refuse(int descriptor, uid_t owner) {
    if (m_otherAccounts.startsBurst()) {
        ConsoleFormat::print(
            QStringLiteral("⚠️ 本地图片服务器拒绝了其他用户的连接 (uid %1)")
                .arg(owner));
    }
    // A fresh socket takes the short reply whole. What the peer sent already is read away, so
    // that the close ends the connection in order rather than resetting it under the reply;
    // whatever it sends later is its own affair.
    ::send(descriptor, m_forbidden.constData(), static_cast<size_t>(m_forbidden.size()),
           MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(descriptor, SHUT_WR);
    char buffer[4096];
    for (int turn = 0; turn < kForbiddenReadsAtMost; ++turn) {
        if (::recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
            break;
        }
    }
    ::close(descriptor);
}

void ImageServerListener::setAccepting(bool accepting) {
    for (const ListeningSocket& socket : m_listening) {
        socket.notifier->setEnabled(accepting);
    }
}

void ImageServerListener::connectionClosed() {
    --m_open;
    if (m_open < m_limits.openConnections) {
        // A descriptor is free again too.
        m_retry.stop();
        setAccepting(true);
    }
}
