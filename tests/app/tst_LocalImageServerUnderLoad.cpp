// The loopback server under load and against peers that misbehave: heads that trickle in, more
// peers than it keeps connections open for, peers that reset in the middle of a reply, and peers
// of other local accounts.
#include "LoopbackPeerProcess.h"
#include "LoopbackServerTestCase.h"
#include "ResettingPeers.h"
#include "WrkLoad.h"

#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

class LocalImageServerUnderLoadTest : public LoopbackServerTestCase {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        prepareProcess();
        QVERIFY(m_home.isValid());
        const QString pc = m_documents + QStringLiteral("/KXVWebContent/0.6.87/pc");
        writeFile(pc + QStringLiteral("/nine.bin"), patterned(9 * 1024));
        writeFile(pc + QStringLiteral("/three.bin"), patterned(3 * 1024 * 1024));

        startServer();
        QVERIFY(m_server->isRunning());
        // A first connection opens what the server keeps for all of them (the socket that asks
        // whose a peer is), so the tests count only what their peers cost.
        QCOMPARE(curl({url(QStringLiteral("/status"))}).statusLine, QByteArray("HTTP/1.1 200 OK"));
    }

    void cleanupTestCase() { stopServer(); }

    void headsThatTrickleInEndAtTheirDeadline() {
        // Each holds its connection with a byte a second, a head that never ends; the deadline
        // counts from the connection's start whatever arrives.
        constexpr int kTricklers = 250;
        const QByteArray endless = "GET /status HTTP/1.1\r\nX-Slow: " + QByteArray(64, 'a');
        const int descriptors = openDescriptors();
        QElapsedTimer clock;
        clock.start();
        std::vector<int> sockets;
        for (int i = 0; i < kTricklers; ++i) {
            sockets.push_back(connectedSocket(m_server->port()));
            QVERIFY(sockets.back() >= 0);
        }
        std::vector<qint64> closedAt(kTricklers, -1);
        QList<qint64> answeredIn;
        for (int second = 0; second <= 13 && std::count(closedAt.begin(), closedAt.end(), -1) > 0;
             ++second) {
            for (int i = 0; i < kTricklers; ++i) {
                if (closedAt[i] < 0) {
                    ::send(sockets[i], endless.constData() + second, 1,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
                }
            }
            if (second == 2 || second == 5 || second == 8) {
                QElapsedTimer request;
                request.start();
                QCOMPARE(curl({url(QStringLiteral("/status"))}).statusLine,
                         QByteArray("HTTP/1.1 200 OK"));
                answeredIn << request.elapsed();
            }
            while (clock.elapsed() < (second + 1) * 1000) {
                for (int i = 0; i < kTricklers; ++i) {
                    if (closedAt[i] < 0 && closedByServer(sockets[i])) {
                        closedAt[i] = clock.elapsed();
                    }
                }
                QTest::qWait(50);
            }
        }
        for (const int socket : sockets) {
            ::close(socket);
        }
        const auto [first, last] = std::minmax_element(closedAt.begin(), closedAt.end());
        QVERIFY2(*first >= 9000 && *last <= 11500,
                 qPrintable(QStringLiteral("closed between %1 and %2 ms (-1: still open)")
                                .arg(*first)
                                .arg(*last)));
        QCOMPARE(answeredIn.size(), 3);
        for (const qint64 milliseconds : std::as_const(answeredIn)) {
            QVERIFY2(milliseconds < 2000, qPrintable(QString::number(milliseconds)));
        }
        QTRY_COMPARE(openDescriptors(), descriptors);
    }

    void connectionsBeyondTheLimitWaitTheirTurn() {
        constexpr int kLimit = 256;
        constexpr int kWaiting = 20;
        const int descriptors = openDescriptors();
        ConsoleLines::take();
        std::vector<int> held;
        for (int i = 0; i < kLimit; ++i) {
            held.push_back(connectedSocket(m_server->port()));
            QVERIFY(held.back() >= 0);
        }
        std::vector<int> waiting;
        for (int i = 0; i < kWaiting; ++i) {
            waiting.push_back(connectedSocket(m_server->port()));
            QVERIFY(waiting.back() >= 0);
            const QByteArray request = "GET /status HTTP/1.1\r\nHost: localhost\r\n\r\n";
            QCOMPARE(::send(waiting.back(), request.constData(), request.size(), MSG_NOSIGNAL),
                     request.size());
        }
        // Silent ones hold their connections until the head's deadline; the rest wait.
        QTest::qWait(500);
        for (const int socket : waiting) {
            QCOMPARE(received(socket), QByteArray());
        }
        QVERIFY(openDescriptors() - descriptors <= kLimit + kWaiting + kLimit);
        const QString full = QStringLiteral(
            "⚠️ 本地图片服务器连接数已达上限 256，新连接在队列中等待");
        QCOMPARE(ConsoleLines::take().filter(full), QStringList{full});

        for (int i = 0; i < kWaiting; ++i) {
            ::close(held[i]);
        }
        for (const int socket : waiting) {
            QByteArray reply;
            QTRY_VERIFY_WITH_TIMEOUT((reply += received(socket)).contains("\"status\""), 5000);
            QVERIFY(reply.startsWith("HTTP/1.1 200 OK\r\n"));
            ::close(socket);
        }
        for (int i = kWaiting; i < kLimit; ++i) {
            QVERIFY2(!closedByServer(held[i]), qPrintable(QString::number(i)));
            ::close(held[i]);
        }
        QTRY_COMPARE(openDescriptors(), descriptors);
    }

    // 1,000 peers at once, four times the limit: they take turns through the accept queue, almost
    // none fail, and the server never holds more than the limit.
    void aThousandPeersTakeTurns() {
        if (installedProgram(QStringLiteral("wrk")).isEmpty()) {
            QSKIP("needs wrk (scripts/setup.sh --tests)");
        }
        const int descriptors = openDescriptors();
        QProcess wrk;
        startWrk(wrk, url(QStringLiteral("/web-content/0.6.87/pc/nine.bin")), 1000, 3);
        const int most = mostDescriptorsUntilFinished(wrk);
        const WrkResult result = WrkResult::parse(QString::fromUtf8(wrk.readAllStandardOutput()));
        QVERIFY2(result.requests > 0 && result.failedShare() <= 0.01, qPrintable(result.output));
        // wrk's pipes and a file being sent are the few above the limit.
        QVERIFY2(most <= descriptors + 256 + 16, qPrintable(QString::number(most - descriptors)));
    }

    void peersResettingMidReplyAreDropped() {
        const int descriptors = openDescriptors();
        QCOMPARE(resetPeersMidReply(m_server->port(),
                                    "GET /web-content/0.6.87/pc/three.bin HTTP/1.1\r\n"
                                    "Host: localhost\r\n\r\n",
                                    300),
                 300);
        QCOMPARE(curl({url(QStringLiteral("/status"))}).statusLine, QByteArray("HTTP/1.1 200 OK"));
        // Connections of the load before may still be closing when this one starts.
        QTRY_VERIFY(openDescriptors() <= descriptors);
    }

    // Whatever it asks, a peer of another local account gets 403; the user's own peers get the
    // picture, over either loopback address.
    void onlyThisAccountIsAnswered_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<int>("linesTold");
        const QByteArray ok = "HTTP/1.1 200 OK";
        const QByteArray forbidden = "HTTP/1.1 403 Forbidden";
        QTest::newRow("own, IPv4") << AF_INET << false << ok << 0;
        QTest::newRow("own, IPv6") << AF_INET6 << false << ok << 0;
        QTest::newRow("nobody, IPv4") << AF_INET << true << forbidden << 1;
        QTest::newRow("nobody, IPv6, same burst") << AF_INET6 << true << forbidden << 0;
    }

    void onlyThisAccountIsAnswered() {
        QFETCH(int, family);
        QFETCH(bool, asNobody);
        QFETCH(QByteArray, statusLine);
        QFETCH(int, linesTold);
        const QByteArray picture = webpImage(4096);
        m_server->storeImage(picture, QStringLiteral("10001"));
        ConsoleLines::take();
        LoopbackPeerProcess peer(family, m_server->port(),
                                 "GET /screenshot?deviceId=10001 HTTP/1.1\r\n"
                                 "Host: localhost\r\n\r\n",
                                 asNobody);
        if (!peer.started()) {
            QSKIP("needs root to run a peer as the account nobody");
        }
        const HttpExchange reply = HttpExchange::parse(peer.reply());
        QCOMPARE(reply.statusLine, statusLine);
        QCOMPARE(reply.body, asNobody ? QByteArray("Forbidden") : picture);
        const QString told = QStringLiteral(
            "⚠️ 本地图片服务器拒绝了其他用户的连接 (uid 65534)");
        QCOMPARE(ConsoleLines::take().filter(told).size(), linesTold);
    }
};

QTEST_GUILESS_MAIN(LocalImageServerUnderLoadTest)
#include "tst_LocalImageServerUnderLoad.moc"
