#include "app/ImageServerListener.h"

#include "foundation/logging/ConsoleFormat.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <utility>

namespace {

// Qt's default queue of 50 connections waiting to be accepted overflows under many concurrent
// clients, and each dropped connection attempt waits a second for its retry. The kernel caps a
// larger queue at its own limit, so ask for that limit.
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

// Hands each accepted descriptor on as it is, without the socket object Qt would make of it.
class ConnectionServer : public QTcpServer {
public:
    using Accept = std::function<void(int descriptor, QObject* server)>;

    ConnectionServer(Accept accept, QObject* parent)
        : QTcpServer(parent), m_accept(std::move(accept)) {
        setListenBacklogSize(systemListenBacklog());
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        m_accept(static_cast<int>(descriptor), this);
    }

private:
    Accept m_accept;
};

// Refusals closer together than this make one burst, told once.
constexpr std::chrono::seconds kRefusalBurstGap{10};

}  // namespace

ImageServerListener::ImageServerListener(Responder responder, Limits limits, QObject* parent)
    : QObject(parent), m_responder(std::move(responder)), m_limits(limits) {}

ImageServerListener::~ImageServerListener() {
    close();
}

QString ImageServerListener::listen(quint16 port) {
    close();
    QTcpServer* ipv4 = newServer();
    if (!ipv4->listen(QHostAddress::LocalHost, port)) {
        const QString reason = ipv4->errorString();
        delete ipv4;
        return reason;
    }
    m_servers.append(ipv4);
    QTcpServer* ipv6 = newServer();
    if (ipv6->listen(QHostAddress::LocalHostIPv6, ipv4->serverPort())) {
        m_servers.append(ipv6);
    } else if (ipv6->serverError() == QAbstractSocket::SocketAddressNotAvailableError ||
               ipv6->serverError() == QAbstractSocket::UnsupportedSocketOperationError) {
        delete ipv6;
    } else {
        // Someone else on [::1] would answer the page's "localhost" in our place.
        const QString reason = ipv6->errorString();
        delete ipv6;
        close();
        return reason;
    }
    return {};
}

void ImageServerListener::close() {
    for (QTcpServer* server : std::exchange(m_servers, {})) {
        server->close();
        // Connections are children of their server and go with it.
        delete server;
    }
}

quint16 ImageServerListener::serverPort() const {
    return m_servers.isEmpty() ? 0 : m_servers.first()->serverPort();
}

QTcpServer* ImageServerListener::newServer() {
    return new ConnectionServer(
        [this](int descriptor, QObject* server) { accept(descriptor, server); }, this);
}

void ImageServerListener::accept(int descriptor, QObject* server) {
    if (m_open >= m_limits.openConnections) {
        ::close(descriptor);
        if (!m_lastRefusal.isValid() ||
            m_lastRefusal.elapsed() >= std::chrono::milliseconds(kRefusalBurstGap).count()) {
            const QString line = QStringLiteral(
                "⚠️ 本地图片服务器连接数已达上限 %1，新连接已直接关闭");
            ConsoleFormat::print(line.arg(m_limits.openConnections));
        }
        m_lastRefusal.start();
        return;
    }
    ++m_open;
    // A child, so the connection goes with its server.
    auto* connection =
        new ImageServerConnection(descriptor, m_responder, m_limits.timeLimit, server);
    connect(connection, &QObject::destroyed, this, [this] { --m_open; });
}
