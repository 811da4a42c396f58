#pragma once

// Files and raw sockets for the loopback server's tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A port nobody holds right now.
inline quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Bytes whose order shows: a piece sent twice or left out changes them.
inline QByteArray patterned(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 251);
    }
    return bytes;
}

inline QByteArray webpImage(qsizetype size) {
    QByteArray bytes("RIFF\0\0\0\0WEBPVP8 ", 16);
    bytes.resize(size, 'w');
    return bytes;
}

// A plain client socket, connected and then non-blocking; -1 when the connection failed.
inline int connectedSocket(quint16 port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    return socket;
}

// Whether the server has closed the connection; what it sent before is dropped.
inline bool closedByServer(int socket) {
    char buffer[256];
    for (;;) {
        const ssize_t received = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (received > 0) {
            continue;
        }
        return received == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }
}

// What has arrived on a non-blocking socket so far.
inline QByteArray received(int socket) {
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t count; (count = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
        bytes.append(buffer, count);
    }
    return bytes;
}
