#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

#include <memory>

// Compresses for "Content-Encoding: gzip" (gzip framing) or "deflate" (zlib framing).
inline QByteArray compressBody(const QByteArray& plain, bool gzipFraming) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, gzipFraming ? 15 + 16 : 15, 8,
                 Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(plain.size()))),
                   '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.constData()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// A one-purpose HTTP/1.1 server on 127.0.0.1: records each request it gets and answers with the
// next canned reply (the last one repeats), optionally after a delay.
class TestHttpServer {
public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QMap<QByteArray, QByteArray> headers;  // lower-case names
        QByteArray body;
        qint64 receivedAtMs = 0;
    };
    struct Reply {
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        int delayMs = 0;
    };

    TestHttpServer() {
        m_clock.start();
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                accept(socket);
            }
        });
    }

    QUrl baseUrl() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/api").arg(m_server.serverPort()));
    }
    quint16 port() const { return m_server.serverPort(); }
    void close() { m_server.close(); }

    void setReplies(QList<Reply> replies) { m_replies = std::move(replies); }
    const QList<Request>& requests() const { return m_requests; }

private:
    void accept(QTcpSocket* socket) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0) {
                return;
            }
            Request request;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.target = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0) {
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                           lines[i].mid(colon + 1).trimmed());
                }
            }
            const qsizetype length = request.headers.value("content-length", "0").toLongLong();
            if (buffer->size() < end + 4 + length) {
                return;
            }
            request.body = buffer->mid(end + 4, length);
            buffer->remove(0, end + 4 + length);
            request.receivedAtMs = m_clock.elapsed();
            m_requests.append(request);
            const Reply reply = m_replies.isEmpty()
                                    ? Reply{}
                                    : m_replies.value(m_requests.size() - 1, m_replies.last());
            QTimer::singleShot(reply.delayMs, socket, [socket, reply] { respond(socket, reply); });
        });
    }

    static void respond(QTcpSocket* socket, const Reply& reply) {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                          " Canned\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                          "\r\nConnection: close\r\n";
        for (const auto& [name, value] : reply.headers) {
            head += name + ": " + value + "\r\n";
        }
        socket->write(head + "\r\n" + reply.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QElapsedTimer m_clock;
    QList<Reply> m_replies;
    QList<Request> m_requests;
};
