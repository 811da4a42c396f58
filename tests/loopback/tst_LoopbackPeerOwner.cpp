#include "LoopbackPeerProcess.h"

#include "loopback/LoopbackPeerOwner.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(QList<LoopbackPeerOwner::Source>)

namespace {

using Kind = LoopbackPeerOwner::Answer::Kind;
using Source = LoopbackPeerOwner::Source;
constexpr uid_t kNobody = 65534;
// The account a made-up socket table names as the peer's owner.
constexpr uid_t kTableOwner = 4242;

struct Loopback {
    int family;
    sockaddr_storage address{};
    socklen_t size = 0;

    explicit Loopback(int addressFamily) : family(addressFamily) {
        if (addressFamily == AF_INET) {
            auto& ipv4 = reinterpret_cast<sockaddr_in&>(address);
            ipv4.sin_family = AF_INET;
            ipv4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof ipv4;
        } else {
            auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address);
            ipv6.sin6_family = AF_INET6;
            ipv6.sin6_addr = in6addr_loopback;
            size = sizeof ipv6;
        }
    }
    quint16 port() const {
        return ntohs(family == AF_INET ? reinterpret_cast<const sockaddr_in&>(address).sin_port
                                       : reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
};

// An IPv4 socket table of the kernel's form whose one socket is `peer` → `server`, held by
// kTableOwner; with `peer` of -1, a table of no socket at all.
QByteArray ipv4Table(int peer, int server) {
    QByteArray table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode\n";
    if (peer < 0) {
        return table;
    }
    const auto column = [](int socket, bool own) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        if (own) {
            ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
        } else {
            ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size);
        }
        // Each 32-bit word as the machine stores it, then the port.
        std::uint32_t word = 0;
        std::memcpy(&word, &address.sin_addr, sizeof word);
        return QString::asprintf("%08X:%04X", word, ntohs(address.sin_port)).toLatin1();
    };
    return table + "   0: " + column(peer, true) + " " + column(server, true) +
           " 01 00000000:00000000 00:00000000 00000000  " + QByteArray::number(kTableOwner) +
           "        0 987654 1 0000000000000000 20 4 30 10 -1\n";
}

}  // namespace

class LoopbackPeerOwnerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each row's peers connect one after the other and are each looked up by the same owner
    // lookup: one found nothing never decides for the next.
    void tellsWhoseThePeerIs_data() {
        QTest::addColumn<QList<Source>>("sources");
        QTest::addColumn<QString>("tablesFolder");  // "made up": a table the test writes
        QTest::addColumn<int>("family");
        // "own", "closed", "reset" (closed, and reset, before the lookup) or "nobody"
        QTest::addColumn<QStringList>("peers");
        QTest::addColumn<QList<Kind>>("kinds");
        QTest::addColumn<QList<uid_t>>("uids");
        const uid_t self = ::geteuid();
        const std::pair<const char*, Source> sources[] = {
            {"diagnostics", Source::socketDiagnostics}, {"tables", Source::socketTables}};
        const QString proc = QStringLiteral("/proc/net");
        for (const auto& [sourceName, source] : sources) {
            for (const int family : {AF_INET, AF_INET6}) {
                const QString name = QStringLiteral("%1, IPv%2, ")
                                         .arg(QLatin1String(sourceName))
                                         .arg(family == AF_INET ? 4 : 6);
                const QList<Source> only{source};
                QTest::newRow(qPrintable(name + "own"))
                    << only << proc << family << QStringList{"own"} << QList<Kind>{Kind::owner}
                    << QList<uid_t>{self};
                QTest::newRow(qPrintable(name + "nobody"))
                    << only << proc << family << QStringList{"nobody"} << QList<Kind>{Kind::owner}
                    << QList<uid_t>{kNobody};
                QTest::newRow(qPrintable(name + "closed first, then own"))
                    << only << proc << family << QStringList{"closed", "own"}
                    << QList<Kind>{Kind::gone, Kind::owner} << QList<uid_t>{0, self};
                QTest::newRow(qPrintable(name + "reset first, then nobody"))
                    << only << proc << family << QStringList{"reset", "nobody"}
                    << QList<Kind>{Kind::gone, Kind::owner} << QList<uid_t>{0, kNobody};
            }
        }
        QTest::newRow("both sources, reset first, then own, then reset")
            << QList<Source>{Source::socketDiagnostics, Source::socketTables} << proc << AF_INET
            << QStringList{"reset", "own", "reset"}
            << QList<Kind>{Kind::gone, Kind::owner, Kind::gone} << QList<uid_t>{0, self, 0};
        QTest::newRow("made-up table without the peer, then with it")
            << QList<Source>{Source::socketTables} << "made up" << AF_INET
            << QStringList{"own", "own"} << QList<Kind>{Kind::gone, Kind::owner}
            << QList<uid_t>{0, kTableOwner};
        QTest::newRow("no source can tell")
            << QList<Source>{Source::socketTables} << "/nonexistent" << AF_INET
            << QStringList{"own", "own"} << QList<Kind>{Kind::unknown, Kind::unknown}
            << QList<uid_t>{0, 0};
    }

    void tellsWhoseThePeerIs() {
        QFETCH(QList<Source>, sources);
        QFETCH(QString, tablesFolder);
        QFETCH(int, family);
        QFETCH(QStringList, peers);
        QFETCH(QList<Kind>, kinds);
        QFETCH(QList<uid_t>, uids);
        Loopback end(family);
        const int listening = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto stopListening = qScopeGuard([listening] { ::close(listening); });
        if (::bind(listening, reinterpret_cast<const sockaddr*>(&end.address), end.size) != 0) {
            QSKIP("this machine has no such loopback address");
        }
        ::listen(listening, 4);
        ::getsockname(listening, reinterpret_cast<sockaddr*>(&end.address), &end.size);
        QTemporaryDir madeUp;
        const bool tableMadeUp = tablesFolder == QLatin1String("made up");
        LoopbackPeerOwner owners(sources, tableMadeUp ? madeUp.path() : tablesFolder);

        for (qsizetype i = 0; i < peers.size(); ++i) {
            const QString& peer = peers.at(i);
            int own = -1;
            std::unique_ptr<LoopbackPeerProcess> other;
            if (peer == QLatin1String("nobody")) {
                other =
                    std::make_unique<LoopbackPeerProcess>(family, end.port(), QByteArray(), true);
                if (!other->started()) {
                    QSKIP("needs root to run a peer as the account nobody");
                }
            } else {
                own = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
                QCOMPARE(::connect(own, reinterpret_cast<const sockaddr*>(&end.address), end.size),
                         0);
            }
            pollfd waiting{listening, POLLIN, 0};
            QCOMPARE(::poll(&waiting, 1, 10000), 1);
            const int accepted = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
            if (tableMadeUp) {
                QFile table(madeUp.filePath(QStringLiteral("tcp")));
                QVERIFY(table.open(QIODevice::WriteOnly));
                table.write(ipv4Table(i == 0 ? -1 : own, accepted));
            }
            if (peer == QLatin1String("reset")) {
                const linger immediately{1, 0};
                ::setsockopt(own, SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
            }
            if (peer == QLatin1String("closed") || peer == QLatin1String("reset")) {
                ::close(std::exchange(own, -1));
            }
            const LoopbackPeerOwner::Answer answer = owners.ownerOfPeer(accepted);
            ::close(accepted);
            if (own >= 0) {
                ::close(own);
            }
            QCOMPARE(answer.kind, kinds.at(i));
            QCOMPARE(answer.uid, uids.at(i));
        }
    }
};

QTEST_GUILESS_MAIN(LoopbackPeerOwnerTest)
#include "tst_LoopbackPeerOwner.moc"
