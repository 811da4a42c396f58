#include "update/ClientUpdateCheck.h"
#include "update/VersionComparison.h"

#include <QJsonDocument>
#include <QTest>

namespace {

// JSON written with single quotes, which keeps the rows readable.
VersionResponse record(const QString& json) {
    const QByteArray text = json.toUtf8().replace('\'', '"');
    return VersionResponse::fromJson(QJsonDocument::fromJson(text).object()).value();
}

}  // namespace

class TestClientUpdateCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void numericVersionOrder_data() {
        QTest::addColumn<QString>("higher");
        QTest::addColumn<QString>("lower");
        QTest::newRow("digit runs by value") << "1.10.0"
                                             << "1.9.9";
        QTest::newRow("longer is larger") << "2.0.0"
                                          << "2.0";
        QTest::newRow("runs past 64 bits") << "1.100000000000000000000"
                                           << "1.99999999999999999999";
        QTest::newRow("zero above nothing") << "0"
                                            << "";
    }
    void numericVersionOrder() {
        QFETCH(QString, higher);
        QFETCH(QString, lower);
        QVERIFY(compareVersionsNumerically(higher, lower) > 0);
        QVERIFY(compareVersionsNumerically(lower, higher) < 0);
        QVERIFY(compareVersionsNumerically(higher, higher) == 0);
        QVERIFY(compareVersionsNumerically(QStringLiteral("1.02"), QStringLiteral("1.2")) == 0);
    }

    void offerFromRecord_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("offer");  // version, address, mandatory, notes; empty: none
        QTest::newRow("newest entry, the first among equals")
            << "{'newPC':{'forceInfo':[{'pcClientVersion':'1.2.9','pcClientDownload':'https://h/"
               "a.zip'},"
               "{'pcClientVersion':'1.10.0','pcClientDownload':'https://h/b.zip'},"
               "{'pcClientVersion':'1.10.0','pcClientDownload':'https://h/c.zip'}]}}"
            << "1.0.0"
            << "1.10.0 https://h/b.zip false -";
        QTest::newRow("entry without version below 0.0.1")
            << "{'forceInfo':[{'pcClientDownload':'https://h/a.zip'},"
               "{'pcClientVersion':'0.0.1','pcClientDownload':'https://h/b.zip'}]}"
            << "0"
            << "0.0.1 https://h/b.zip false -";
        QTest::newRow("empty newPC list hides the top-level list")
            << "{'forceInfo':[{'pcClientVersion':'9.0.0','pcClientDownload':'https://h/t.zip'}],"
               "'pcClientUpdateContent':'top','pcClientDownload':'https://h/top.zip',"
               "'newPC':{'forceInfo':[],'pcClientVersion':'2.0.0','pcClientIsMandatory':true}}"
            << "1.0.0"
            << "2.0.0 https://h/top.zip true top";
        QTest::newRow("entry before newPC before top level, upper-case extension")
            << "{'pcClientUpdateContent':'top','newPC':{'pcClientUpdateContent':'new',"
               "'pcClientIsMandatory':true,'forceInfo':[{'pcClientVersion':'2.1',"
               "'pcClientDownload':'https://h/e.ZIP','pcClientUpdateContent':'a<br />b'}]}}"
            << "1.0.0"
            << "2.1 https://h/e.ZIP true a\nb";
        QTest::newRow("same as running")
            << "{'pcClientVersion':'1.2','pcClientDownload':'https://h/a.zip'}"
            << "1.2"
            << "";
        QTest::newRow("extension only in the query")
            << "{'pcClientVersion':'2.0','pcClientDownload':'https://h/get?f=a.zip'}"
            << "1.0"
            << "";
        QTest::newRow("not an address")
            << "{'pcClientVersion':'2.0','pcClientDownload':'https://h/a b%zz.zip'}"
            << "1.0"
            << "";
    }
    void offerFromRecord() {
        QFETCH(QString, json);
        QFETCH(QString, running);
        QFETCH(QString, offer);
        const std::optional<UpdateInfo> info =
            ClientUpdateCheck::makeUpdateInfo(record(json), running);
        QString described;
        if (info) {
            described =
                QStringList{info->version, info->downloadURL.toString(),
                            info->isMandatory ? "true" : "false", info->releaseNotes.value_or("-")}
                    .join(' ');
        }
        QCOMPARE(described, offer);
    }

    void outcomesReachTheUserAfterTheCheckReturned_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<int>("offers");
        QTest::addColumn<QStringList>("alerts");
        QTest::newRow("manual, nothing new")
            << "1.0.0" << true << 0 << QStringList{"暂无更新|当前已经是最新版本"};
        QTest::newRow("start-up, nothing new") << "1.0.0" << false << 0 << QStringList{};
        QTest::newRow("manual, newer") << "1.0.1" << true << 1 << QStringList{};
    }
    void outcomesReachTheUserAfterTheCheckReturned() {
        QFETCH(QString, version);
        QFETCH(bool, manual);
        QFETCH(int, offers);
        QFETCH(QStringList, alerts);
        int offered = 0;
        QStringList alerted;
        const ClientUpdateCheck check({"1.0.0", [&](const UpdateInfo&) { ++offered; },
                                       [&](const QString& title, const QString& message) {
                                           alerted << title + "|" + message;
                                       }});
        check.checkClientUpdate(
            record("{'pcClientVersion':'" + version + "','pcClientDownload':'https://h/a.zip'}"),
            manual);
        QVERIFY(offered == 0 && alerted.isEmpty());
        QTRY_COMPARE(offered, offers);
        QTRY_COMPARE(alerted, alerts);

        const NetworkError error = NetworkError::serverError(503, QStringLiteral("busy"));
        check.handleClientVersionResult(error);
        QTRY_COMPARE(alerted.size(), alerts.size() + 1);
        QCOMPARE(alerted.last(), "检查更新失败|" + error.errorDescription());
        // This alert was queued after the check's own outcomes, so none of those came late.
        QCOMPARE(offered, offers);
        QCOMPARE(alerted.first(alerts.size()), alerts);
    }
};

QTEST_GUILESS_MAIN(TestClientUpdateCheck)
#include "tst_ClientUpdateCheck.moc"
