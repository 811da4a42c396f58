#include "update/ClientUpdateCheck.h"
#include "update/VersionComparison.h"

#include <QJsonDocument>
#include <QTest>

namespace {

// JSON written with single quotes, which keeps the rows readable.
VersionResponse record(const char* json) {
    const QByteArray text = QByteArray(json).replace('\'', '"');
    return VersionResponse::fromJson(QJsonDocument::fromJson(text).object()).value();
}

}  // namespace

class TestClientUpdateCheck : public QObject {
    Q_OBJECT

private:
    QList<UpdateInfo> m_offers;
    QList<QStringList> m_alerts;

    ClientUpdateCheck check(const QString& runningVersion = QStringLiteral("1.0.0")) {
        return ClientUpdateCheck(ClientUpdateCheck::Seams{
            runningVersion, [this](const UpdateInfo& offer) { m_offers.append(offer); },
            [this](const QString& title, const QString& message) {
                m_alerts.append({title, message});
            }});
    }

private Q_SLOTS:
    void init() {
        m_offers.clear();
        m_alerts.clear();
    }

    void numericVersionOrder_data() {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("order");
        QTest::newRow("digit runs by value") << "1.10.0" << "1.9.9" << 1;
        QTest::newRow("longer is larger") << "2.0.0" << "2.0" << 1;
        QTest::newRow("same") << "1.2" << "1.2" << 0;
        QTest::newRow("leading zeros") << "1.02" << "1.2" << 0;
        QTest::newRow("runs longer than 64 bits")
            << "1.99999999999999999999" << "1.100000000000000000000" << -1;
        QTest::newRow("letters by code") << "1.2a" << "1.2b" << -1;
        QTest::newRow("empty below zero") << "" << "0" << -1;
    }
    void numericVersionOrder() {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, order);
        const std::strong_ordering result = compareVersionsNumerically(left, right);
        QCOMPARE(result < 0 ? -1 : result > 0 ? 1 : 0, order);
        const std::strong_ordering mirrored = compareVersionsNumerically(right, left);
        QCOMPARE(mirrored < 0 ? -1 : mirrored > 0 ? 1 : 0, -order);
    }

    void offerFromRecord_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("version");  // empty: no offer
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("mandatory");
        QTest::addColumn<QString>("notes");

        QTest::newRow("newest of several entries, the first among equals")
            << "{'newPC':{'forceInfo':["
               "{'pcClientVersion':'1.2.9','pcClientDownload':'https://h/a.zip'},"
               "{'pcClientVersion':'1.10.0','pcClientDownload':'https://h/b.zip'},"
               "{'pcClientVersion':'1.10.0','pcClientDownload':'https://h/c.zip'}]}}"
            << "1.10.0" << "https://h/b.zip" << false << "";
        QTest::newRow("entry without version before 0.0.1")
            << "{'forceInfo':[{'pcClientDownload':'https://h/a.zip'},"
               "{'pcClientVersion':'0.0.1','pcClientDownload':'https://h/b.zip'}],"
               "'pcClientVersion':'3.0'}"
            << "" << "" << false << "";
        QTest::newRow("empty newPC list hides the top-level list")
            << "{'forceInfo':[{'pcClientVersion':'9.0.0','pcClientDownload':'https://h/t.zip'}],"
               "'pcClientUpdateContent':'top notes','pcClientDownload':'https://h/top.zip',"
               "'newPC':{'forceInfo':[],'pcClientVersion':'2.0.0','pcClientIsMandatory':true}}"
            << "2.0.0" << "https://h/top.zip" << true << "top notes";
        QTest::newRow("entry fields before newPC before top level")
            << "{'pcClientUpdateContent':'top','newPC':{'pcClientUpdateContent':'new',"
               "'pcClientIsMandatory':true,'forceInfo':[{'pcClientVersion':'2.1',"
               "'pcClientDownload':'https://h/e.ZIP','pcClientUpdateContent':'a<br />b'}]}}"
            << "2.1" << "https://h/e.ZIP" << true << "a\nb";
        QTest::newRow("same as running") << "{'pcClientVersion':'1.0.0',"
                                            "'pcClientDownload':'https://h/a.zip'}"
                                         << "" << "" << false << "";
        QTest::newRow("older than running") << "{'pcClientVersion':'0.9.9',"
                                               "'pcClientDownload':'https://h/a.zip'}"
                                            << "" << "" << false << "";
        QTest::newRow("extension only in the query")
            << "{'pcClientVersion':'2.0','pcClientDownload':'https://h/get?f=a.zip'}" << ""
            << "" << false << "";
        QTest::newRow("disk image") << "{'pcClientVersion':'2.0',"
                                       "'pcClientDownload':'https://h/a.dmg'}"
                                    << "" << "" << false << "";
        QTest::newRow("no address") << "{'pcClientVersion':'2.0'}" << "" << "" << false << "";
        QTest::newRow("not an address") << "{'pcClientVersion':'2.0',"
                                           "'pcClientDownload':'https://h/a b%zz.zip'}"
                                        << "" << "" << false << "";
        QTest::newRow("plain http still offered")
            << "{'pcClientVersion':'2.0','pcClientDownload':'http://h/a.zip'}" << "2.0"
            << "http://h/a.zip" << false << "";
    }
    void offerFromRecord() {
        QFETCH(QString, json);
        QFETCH(QString, version);
        QFETCH(QString, url);
        QFETCH(bool, mandatory);
        QFETCH(QString, notes);
        const std::optional<UpdateInfo> offer = ClientUpdateCheck::makeUpdateInfo(
            record(json.toUtf8().constData()), QStringLiteral("1.0.0"));
        QCOMPARE(offer.has_value(), !version.isEmpty());
        if (!offer) {
            return;
        }
        QCOMPARE(offer->version, version);
        QCOMPARE(offer->downloadURL.toString(), url);
        QCOMPARE(offer->isMandatory, mandatory);
        QCOMPARE(offer->releaseNotes.value_or(QString()), notes);
        QVERIFY(!offer->build);
    }

    void checksumComesFromTheEntryOrNewPCOnly() {
        const std::optional<UpdateInfo> offer = ClientUpdateCheck::makeUpdateInfo(
            record("{'pcClientVersion':'2.0','pcClientDownload':'https://h/a.zip',"
                   "'newPC':{'pcClientSHA256':'ABC'}}"),
            QStringLiteral("1.0"));
        QCOMPARE(offer->sha256, std::optional<QString>(QStringLiteral("ABC")));
    }

    void outcomesReachTheUserAfterTheCheckReturned_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<int>("offers");
        QTest::addColumn<QStringList>("alert");
        const QString none = "{'pcClientVersion':'1.0.0','pcClientDownload':'https://h/a.zip'}";
        const QString newer = "{'pcClientVersion':'1.0.1','pcClientDownload':'https://h/a.zip'}";
        QTest::newRow("manual, nothing new")
            << none << true << 0 << QStringList{"暂无更新", "当前已经是最新版本"};
        QTest::newRow("start-up, nothing new") << none << false << 0 << QStringList{};
        QTest::newRow("manual, newer") << newer << true << 1 << QStringList{};
        QTest::newRow("start-up, newer") << newer << false << 1 << QStringList{};
    }
    void outcomesReachTheUserAfterTheCheckReturned() {
        QFETCH(QString, json);
        QFETCH(bool, manual);
        QFETCH(int, offers);
        QFETCH(QStringList, alert);
        check().checkClientUpdate(record(json.toUtf8().constData()), manual);
        QVERIFY(m_offers.isEmpty() && m_alerts.isEmpty());
        QTest::qWait(20);
        QCOMPARE(m_offers.size(), offers);
        QCOMPARE(m_alerts, alert.isEmpty() ? QList<QStringList>{} : QList<QStringList>{alert});
    }

    void failedRequestShowsTheNetworkError() {
        const NetworkError error = NetworkError::serverError(503, QStringLiteral("busy"));
        check().handleClientVersionResult(error);
        QTRY_COMPARE(m_alerts.size(), 1);
        QCOMPARE(m_alerts.first(), (QStringList{"检查更新失败", error.errorDescription()}));
        QVERIFY(m_offers.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClientUpdateCheck)
#include "tst_ClientUpdateCheck.moc"
