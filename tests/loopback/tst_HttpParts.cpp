#include "../support/ProcessSettingsRestorer.h"
#include "foundation/logging/ConsoleOutput.h"
#include "loopback/HTTPPortManager.h"
#include "loopback/HttpContentTypes.h"
#include "loopback/HttpRequestLine.h"
#include "loopback/HttpRequestReader.h"
#include "loopback/ImageServerListener.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

// Holds a port the way another program would.
std::unique_ptr<QTcpServer> hold(const QHostAddress& address, quint16 port) {
    auto server = std::make_unique<QTcpServer>();
    return server->listen(address, port) ? std::move(server) : nullptr;
}

bool hasIPv6Loopback() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0);
}

// A port held on `address` whose other loopback address is free at the start: the kernel picks
// a listening port per address family, and tests running beside this one may be using the
// same number on the other family for a connection of their own.
std::unique_ptr<QTcpServer> holdOnlyOn(const QHostAddress& address) {
    const QHostAddress other = address.protocol() == QAbstractSocket::IPv6Protocol
                                   ? QHostAddress(QHostAddress::LocalHost)
                                   : QHostAddress(QHostAddress::LocalHostIPv6);
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto held = hold(address, 0);
        if (held && (hold(other, held->serverPort()) || !hasIPv6Loopback())) {
            return held;
        }
    }
    return nullptr;
}

}  // namespace

class HttpPartsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void imageContentType_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("type");
        QTest::newRow("WEBP at offset 8 of 12") << QByteArray("xxxxxxxxWEBP") << "image/webp";
        QTest::newRow("GIF of 11 bytes") << QByteArray("GIF89a00000") << "application/octet-stream";
        QTest::newRow("text") << QByteArray("hello world!") << "application/octet-stream";
    }

    void imageContentType() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, type);
        QCOMPARE(HttpContentTypes::imageContentType(bytes), type);
    }

    void fileContentType_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("type");
        QTest::newRow("upper-case extension") << "pc/INDEX.HTML"
                                              << "text/html; charset=utf-8";
        QTest::newRow("last of two extensions") << "app.js.map"
                                                << "application/json; charset=utf-8";
        QTest::newRow("dot in a folder only") << "0.6.87/pc/LICENSE"
                                              << "application/octet-stream";
        QTest::newRow("hidden file") << "pc/.css"
                                     << "application/octet-stream";
    }

    void fileContentType() {
        QFETCH(QString, path);
        QFETCH(QString, type);
        QCOMPARE(HttpContentTypes::mimeType(HttpContentTypes::pathExtension(path)), type);
    }

    void requestLine_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("peerDone");
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("line");
        using State = HttpRequestReader::State;
        const QByteArray almost(HttpRequestReader::kMaximumBytes - 1, 'a');
        QTest::newRow("CR at the end waits for LF")
            << QList<QByteArray>{"GET / HTTP/1.1\r"} << false << int(State::incomplete)
            << QByteArray();
        QTest::newRow("bare LF ends a line") << QList<QByteArray>{"GET /\nHost: x\n\n"} << false
                                             << int(State::complete) << QByteArray("GET /");
        QTest::newRow("headers wait for their empty line")
            << QList<QByteArray>{"GET / HTTP/1.1\r\nHost: x\r\n"} << false << int(State::incomplete)
            << QByteArray("GET / HTTP/1.1");
        QTest::newRow("headers cut short by the peer's end")
            << QList<QByteArray>{"GET / HTTP/1.1\r\nHost: x\r\n"} << true << int(State::complete)
            << QByteArray("GET / HTTP/1.1");
        QTest::newRow("half a line at the peer's end")
            << QList<QByteArray>{"GET /st"} << true << int(State::incomplete) << QByteArray();
        QTest::newRow("nothing at the peer's end")
            << QList<QByteArray>{} << true << int(State::incomplete) << QByteArray();
        QTest::newRow("empty lines only")
            << QList<QByteArray>{"\r\n\n"} << false << int(State::empty) << QByteArray();
        QTest::newRow("empty lines, then more in the same read")
            << QList<QByteArray>{"\r\n\nGET /a\n\n"} << false << int(State::complete)
            << QByteArray("GET /a");
        QTest::newRow("head ends just inside the cap")
            << QList<QByteArray>{almost.left(almost.size() - 3), "\r\n\r\n"} << false
            << int(State::complete) << almost.left(almost.size() - 3);
        QTest::newRow("head ends just past the cap")
            << QList<QByteArray>{almost.left(almost.size() - 2), "\r\n\r\n"} << false
            << int(State::tooLarge) << QByteArray();
        QTest::newRow("more after the head is ignored")
            << QList<QByteArray>{"GET /a\r\nX: 1\r\n\r\nX", QByteArray(100000, 'b')} << false
            << int(State::complete) << QByteArray("GET /a");
    }

    void requestLine() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, peerDone);
        QFETCH(int, state);
        QFETCH(QByteArray, line);
        HttpRequestReader reader;
        for (const QByteArray& chunk : chunks) {
            reader.append(chunk);
        }
        if (peerDone) {
            reader.finish();
        }
        QCOMPARE(int(reader.state()), state);
        QCOMPARE(reader.line(), line);
    }

    void headerFields() {
        HttpRequestReader reader;
        reader.append("GET / HTTP/1.1\r\nHost:  a \r\nX-Other: 1\r\n");
        reader.append("HOST:b\r\nbroken line\r\n: no name\r\n\r\nHost: after\r\n");
        QCOMPARE(reader.headerValues("Host"), (QList<QByteArray>{"a", "b"}));
        QCOMPARE(reader.headerValues("origin"), QList<QByteArray>{});
    }

    void percentDecoding_data() {
        QTest::addColumn<QString>("encoded");
        QTest::addColumn<QString>("decoded");  // null: refused
        QTest::newRow("UTF-8 sequence") << "%E9%A1%B5" << QStringLiteral("页");
        QTest::newRow("not hex") << "%zz" << QString();
        QTest::newRow("cut short") << "a%2" << QString();
        QTest::newRow("not UTF-8") << "%ff" << QString();
    }

    void percentDecoding() {
        QFETCH(QString, encoded);
        QFETCH(QString, decoded);
        const std::optional<QString> result = strictPercentDecoded(encoded);
        QCOMPARE(result.has_value(), !decoded.isNull());
        QCOMPARE(result.value_or(QString()), decoded.isNull() ? QString() : decoded);
    }

    void portHeldElsewhereIsTaken_data() {
        QTest::addColumn<QHostAddress>("holder");
        QTest::newRow("127.0.0.1") << QHostAddress(QHostAddress::LocalHost);
        QTest::newRow("every IPv4 address") << QHostAddress(QHostAddress::AnyIPv4);
        QTest::newRow("::1 only") << QHostAddress(QHostAddress::LocalHostIPv6);
    }

    void portHeldElsewhereIsTaken() {
        QFETCH(QHostAddress, holder);
        if (holder.protocol() == QAbstractSocket::IPv6Protocol && !hasIPv6Loopback()) {
            QSKIP("no IPv6 loopback here");
        }
        const auto held = holdOnlyOn(holder);
        QVERIFY(held);
        const quint16 port = held->serverPort();
        QVERIFY(!HTTPPortManager::isPortAvailable(port));
        QVERIFY(!HTTPPortManager::findPortInRange(port, port));
        held->close();
        QVERIFY(HTTPPortManager::isPortAvailable(port));
        QCOMPARE(HTTPPortManager::findPortInRange(port, port), std::optional<quint16>(port));
    }

    void rangeSkipsTakenPorts() {
        const auto held = hold(QHostAddress::LocalHost, 0);
        QVERIFY(held);
        const quint16 port = held->serverPort();
        if (port == 65535 || !HTTPPortManager::isPortAvailable(port + 1)) {
            QSKIP("the next port is not free");
        }
        QCOMPARE(HTTPPortManager::findPortInRange(port, port + 1),
                 std::optional<quint16>(port + 1));
        QVERIFY(!HTTPPortManager::findPortInRange(port + 1, port));
    }

    void commonPortsBeforeTheRange() {
        auto held = hold(QHostAddress::LocalHost, 8000);
        if (!held || !HTTPPortManager::isPortAvailable(8080)) {
            QSKIP("8000 cannot be held or 8080 is in use on this machine");
        }
        ConsoleCapture console;
        QCOMPARE(HTTPPortManager::findAvailablePort(), std::optional<quint16>(8080));
        QVERIFY(ConsoleCapture::contains(QStringLiteral("✅ 找到常用可用端口: 8080")));
    }

    void silentConnectionsAreDropped_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("half a request line") << QByteArray("GET /sta");
    }

    void silentConnectionsAreDropped() {
        QFETCH(QByteArray, sent);
        // The listener may raise the descriptor limit; it is the process's own again after.
        ProcessSettingsRestorer descriptorLimit;
        descriptorLimit.saveLimit(RLIMIT_NOFILE);
        int replies = 0;
        ImageServerListener listener(
            [&replies](const HttpRequestReader&) {
                ++replies;
                return QByteArray("HTTP/1.1 200 OK\r\n\r\n");
            },
            {std::chrono::milliseconds(300), 8});
        QCOMPARE(listener.listen(0), QString());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QVERIFY(socket.waitForConnected(3000));
        socket.write(sent);
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 3000);
        QCOMPARE(socket.readAll(), QByteArray());
        QCOMPARE(replies, 0);
    }
};

QTEST_GUILESS_MAIN(HttpPartsTest)
#include "tst_HttpParts.moc"
