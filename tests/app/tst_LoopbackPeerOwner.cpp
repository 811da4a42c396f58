#include "LoopbackPeerProcess.h"

#include "app/LoopbackPeerOwner.h"

#include <QTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(QList<LoopbackPeerOwner::Source>)

namespace {

using Kind = LoopbackPeerOwner::Answer::Kind;
constexpr uid_t kNobody = 65534;

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

}  // namespace

class LoopbackPeerOwnerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tellsWhoseThePeerIs_data() {
        QTest::addColumn<QList<LoopbackPeerOwner::Source>>("sources");
        QTest::addColumn<QString>("tablesFolder");
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("peer");  // "own", "closed" or "nobody"
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<uid_t>("uid");
        const std::pair<const char*, LoopbackPeerOwner::Source> sources[] = {
            {"diagnostics", LoopbackPeerOwner::Source::socketDiagnostics},
            {"tables", LoopbackPeerOwner::Source::socketTables}};
        for (const auto& [sourceName, source] : sources) {
            for (const int family : {AF_INET, AF_INET6}) {
                const QString name = QStringLiteral("%1, IPv%2, ")
                                         .arg(QLatin1String(sourceName))
                                         .arg(family == AF_INET ? 4 : 6);
                const QList<LoopbackPeerOwner::Source> only{source};
                const QString proc = QStringLiteral("/proc/net");
                QTest::newRow(qPrintable(name + "own"))
                    << only << proc << family << "own" << Kind::owner << ::geteuid();
                QTest::newRow(qPrintable(name + "closed"))
                    << only << proc << family << "closed" << Kind::gone << uid_t(0);
                QTest::newRow(qPrintable(name + "nobody"))
                    << only << proc << family << "nobody" << Kind::owner << kNobody;
            }
        }
        QTest::newRow("no source can tell")
            << QList<LoopbackPeerOwner::Source>{LoopbackPeerOwner::Source::socketTables}
            << "/nonexistent" << AF_INET << "own" << Kind::unknown << uid_t(0);
    }

    void tellsWhoseThePeerIs() {
        QFETCH(QList<LoopbackPeerOwner::Source>, sources);
        QFETCH(QString, tablesFolder);
        QFETCH(int, family);
        QFETCH(QString, peer);
        QFETCH(Kind, kind);
        QFETCH(uid_t, uid);
        Loopback end(family);
        const int listening = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(listening, reinterpret_cast<const sockaddr*>(&end.address), end.size) != 0) {
            ::close(listening);
            QSKIP("this machine has no such loopback address");
        }
        ::listen(listening, 4);
        ::getsockname(listening, reinterpret_cast<sockaddr*>(&end.address), &end.size);

        int own = -1;
        std::unique_ptr<LoopbackPeerProcess> other;
        if (peer == QLatin1String("nobody")) {
            other = std::make_unique<LoopbackPeerProcess>(family, end.port(), QByteArray(), true);
            if (!other->started()) {
                ::close(listening);
                QSKIP("needs root to run a peer as the account nobody");
            }
        } else {
            own = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            QCOMPARE(::connect(own, reinterpret_cast<const sockaddr*>(&end.address), end.size), 0);
        }
        pollfd waiting{listening, POLLIN, 0};
        QCOMPARE(::poll(&waiting, 1, 10000), 1);
        const int accepted = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listening);
        if (peer == QLatin1String("closed")) {
            ::close(std::exchange(own, -1));
        }
        LoopbackPeerOwner owners(sources, tablesFolder);
        const LoopbackPeerOwner::Answer answer = owners.ownerOfPeer(accepted);
        ::close(accepted);
        if (own >= 0) {
            ::close(own);
        }
        QCOMPARE(answer.kind, kind);
        QCOMPARE(answer.uid, uid);
    }
};

QTEST_GUILESS_MAIN(LoopbackPeerOwnerTest)
#include "tst_LoopbackPeerOwner.moc"
