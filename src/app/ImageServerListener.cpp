#include "app/ImageServerListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <memory>
#include <utility>

namespace {

struct Exchange {
    HttpRequestLineReader request;
    bool answered = false;
    bool halfClosed = false;
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
    auto* ipv4 = new QTcpServer(this);
    if (!ipv4->listen(QHostAddress::LocalHost, port)) {
        const QString reason = ipv4->errorString();
        delete ipv4;
        return reason;
    }
    m_servers.append(ipv4);
    auto* ipv6 = new QTcpServer(this);
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
    for (QTcpServer* server : std::as_const(m_servers)) {
        connect(server, &QTcpServer::newConnection, this,
                [this, server] { acceptPending(server); });
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

void ImageServerListener::acceptPending(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        serve(socket);
    }
}

void ImageServerListener::serve(QTcpSocket* socket) {
    socket->setReadBufferSize(HttpRequestLineReader::kMaximumBytes);
    auto exchange = std::make_shared<Exchange>();
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(m_idleTimeout);
    connect(idle, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);

    // Closing with unread request bytes would reset the connection and could cost the peer our
    // reply, so once it is written we only stop sending and read on until the peer closes.
    const auto finishWhenWritten = [socket, exchange] {
        if (exchange->answered && !exchange->halfClosed && socket->bytesToWrite() == 0) {
            exchange->halfClosed = true;
            ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, [idle, finishWhenWritten] {
        idle->start();
        finishWhenWritten();
    });
    connect(socket, &QTcpSocket::readyRead, socket,
            [this, socket, exchange, idle, finishWhenWritten] {
                idle->start();
                const QByteArray bytes = socket->readAll();
                if (exchange->answered) {
                    return;
                }
                if (exchange->request.append(bytes) == HttpRequestLineReader::State::incomplete) {
                    return;
                }
                exchange->answered = true;
                const QByteArray reply = m_responder(exchange->request);
                // Straight to the kernel, which takes a whole reply at once as a rule; the socket's
                // own buffer only keeps what it could not take yet.
                const ssize_t sent =
                    ::send(static_cast<int>(socket->socketDescriptor()), reply.constData(),
                           static_cast<size_t>(reply.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent < reply.size()) {
                    socket->write(reply.mid(sent > 0 ? sent : 0));
                    socket->flush();
                }
                finishWhenWritten();
            });
    idle->start();
}
