#pragma once

#include "foundation/logging/ConsoleOutput.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTest>
#include <QtGlobal>

#include <mutex>

#include <sys/socket.h>

// Console lines printed while it lives, from any thread; take() hands them over and forgets them.
class ConsoleLines : public ConsoleCapture {
public:
    static QStringList take() {
        const QStringList taken = lines();
        clear();
        return taken;
    }
};

// One HTTP reply split into its parts; header names lower-cased.
struct HttpExchange {
    QByteArray statusLine;
    QMap<QByteArray, QByteArray> headers;
    QByteArray body;
    bool closedByServer = false;

    static HttpExchange parse(const QByteArray& raw) {
        HttpExchange reply;
        const qsizetype end = raw.indexOf("\r\n\r\n");
        const QList<QByteArray> lines = raw.left(end < 0 ? raw.size() : end).split('\n');
        reply.statusLine = lines.value(0).trimmed();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) {
                reply.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                     lines[i].mid(colon + 1).trimmed());
            }
        }
        reply.body = end < 0 ? QByteArray() : raw.mid(end + 4);
        return reply;
    }
};

// Runs the real curl against the server: "-s -i" plus `arguments`.
inline HttpExchange curl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("curl"),
                  QStringList{QStringLiteral("-s"), QStringLiteral("-i"),
                              QStringLiteral("--max-time"), QStringLiteral("10")} +
                      arguments);
    if (!process.waitForFinished(15000)) {
        qWarning() << "curl did not finish" << arguments;
    }
    return HttpExchange::parse(process.readAllStandardOutput());
}

// Sends `chunks` with a pause between them on a plain socket and reads until the server closes.
// With `doneSending` the socket's sending side is shut once the chunks are out.
inline HttpExchange rawExchange(quint16 port, const QList<QByteArray>& chunks, int pauseMs = 50,
                                int waitMs = 5000, bool doneSending = false) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000)) {
        return {};
    }
    for (const QByteArray& chunk : chunks) {
        socket.write(chunk);
        socket.waitForBytesWritten(3000);
        QTest::qWait(pauseMs);  // paced, so the server gets each chunk in a read of its own
    }
    if (doneSending) {
        ::shutdown(static_cast<int>(socket.socketDescriptor()), SHUT_WR);
    }
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < waitMs) {
        socket.waitForReadyRead(100);
        received += socket.readAll();
    }
    received += socket.readAll();
    HttpExchange reply = HttpExchange::parse(received);
    reply.closedByServer = socket.state() != QAbstractSocket::ConnectedState;
    return reply;
}
