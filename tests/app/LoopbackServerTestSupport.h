#pragma once

// Files and raw sockets for the loopback server's tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTcpServer>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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

// A test's own sockets to the server. Each one not closed by the test (a failed check ends it
// early) is closed when the test ends, so that the server holds none of them into the next test.
class PeerSockets {
public:
    PeerSockets() = default;
    ~PeerSockets() {
        for (qsizetype index = 0; index < size(); ++index) {
            close(index);
        }
    }
    PeerSockets(const PeerSockets&) = delete;
    PeerSockets& operator=(const PeerSockets&) = delete;

    // A socket the test opened (-1 for one it could not), kept as the next; returned as given.
    int add(int socket) {
        m_sockets.push_back(socket);
        return socket;
    }
    int operator[](qsizetype index) const { return m_sockets[static_cast<size_t>(index)]; }
    qsizetype size() const { return static_cast<qsizetype>(m_sockets.size()); }
    void close(qsizetype index) {
        int& socket = m_sockets[static_cast<size_t>(index)];
        if (socket >= 0) {
            ::close(socket);
            socket = -1;
        }
    }

private:
    std::vector<int> m_sockets;
};

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

// What the loopback server holds of this process's descriptors: the sockets whose own port is
// the server's (those it listens on and the connections it accepted; the test's own sockets to
// it have other ports of their own) and the files it sends from its folder. Qt, curl and the
// test's threads open and close descriptors of their own meanwhile; none of them is counted.
struct ServerDescriptors {
    int listening = 0;
    int connections = 0;
    int files = 0;

    bool operator==(const ServerDescriptors&) const = default;
    QString text() const {
        return QStringLiteral("%1 listening, %2 connections, %3 files")
            .arg(listening)
            .arg(connections)
            .arg(files);
    }

    static ServerDescriptors held(quint16 port, const QString& servedFolder) {
        const QString folder = QFileInfo(servedFolder).canonicalFilePath() + QLatin1Char('/');
        ServerDescriptors found;
        const QStringList open =
            QDir(QStringLiteral("/proc/self/fd"))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        for (const QString& entry : open) {
            const int descriptor = entry.toInt();
            sockaddr_storage address{};
            socklen_t size = sizeof address;
            if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
                int type = 0;
                int listens = 0;
                socklen_t length = sizeof type;
                ::getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length);
                length = sizeof listens;
                ::getsockopt(descriptor, SOL_SOCKET, SO_ACCEPTCONN, &listens, &length);
                if (type == SOCK_STREAM && localPort(address) == port) {
                    ++(listens ? found.listening : found.connections);
                }
                continue;
            }
            if (QFile::symLinkTarget(QStringLiteral("/proc/self/fd/") + entry).startsWith(folder)) {
                ++found.files;
            }
        }
        return found;
    }

    // The most of each the server held until `program` ended (or `limitMs` passed), counted
    // every 5 ms.
    static ServerDescriptors mostUntilFinished(QProcess& program, quint16 port,
                                               const QString& servedFolder, int limitMs = 60000) {
        ServerDescriptors most = held(port, servedFolder);
        for (int waited = 0; waited < limitMs && !program.waitForFinished(5); waited += 5) {
            const ServerDescriptors now = held(port, servedFolder);
            most = {std::max(most.listening, now.listening),
                    std::max(most.connections, now.connections), std::max(most.files, now.files)};
        }
        return most;
    }

private:
    // The TCP port of an IPv4 or IPv6 address; 0 for any other.
    static quint16 localPort(const sockaddr_storage& address) {
        if (address.ss_family == AF_INET) {
            return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
        }
        if (address.ss_family == AF_INET6) {
            return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
        }
        return 0;
    }
};

// For QCOMPARE.
inline char* toString(const ServerDescriptors& held) {
    return qstrdup(held.text().toUtf8().constData());
}
