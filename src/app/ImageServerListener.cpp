#include "app/ImageServerListener.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

#include <sys/socket.h>

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

// Takes each accepted descriptor as it is, without the socket object Qt would make of it.
class ConnectionServer : public QTcpServer {
public:
    ConnectionServer(const ImageServerConnection::Responder& responder,
                     std::chrono::milliseconds idleTimeout, QObject* parent)
        : QTcpServer(parent), m_responder(responder), m_idleTimeout(idleTimeout) {
        setListenBacklogSize(systemListenBacklog());
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        // A child, so the connection goes with its server.
        new ImageServerConnection(static_cast<int>(descriptor), m_responder, m_idleTimeout, this);
    }

private:
    const ImageServerConnection::Responder& m_responder;
    std::chrono::milliseconds m_idleTimeout;
};

}  // namespace

ImageServerListener::ImageServerListener(Responder responder, std::chrono::milliseconds idleTimeout,
                                         QObject* parent)
    : QObject(parent), m_responder(std::move(responder)), m_idleTimeout(idleTimeout) {}

ImageServerListener::~ImageServerListener() {
    close();
}

QString ImageServerListener::listen(quint16 port) {
    close();
    auto* ipv4 = new ConnectionServer(m_responder, m_idleTimeout, this);
    if (!ipv4->listen(QHostAddress::LocalHost, port)) {
        const QString reason = ipv4->errorString();
        delete ipv4;
        return reason;
    }
    m_servers.append(ipv4);
    auto* ipv6 = new ConnectionServer(m_responder, m_idleTimeout, this);
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
