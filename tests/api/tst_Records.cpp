#include "api/FileType.h"
#include "api/KXDomesticUser.h"
#include "api/KeyedDecoder.h"
#include "api/VersionResponse.h"
#include "api/XDYDeviceModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

QJsonValue parse(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Decodes `json` as T. An empty `encoded` means decoding must fail (naming `errorPath` when one
// is given); otherwise the record must encode to exactly `encoded` and decode from that again
// to an equal record.
template <JsonRecord T>
void checkDecoding(const QByteArray& json, const QByteArray& encoded, const QString& errorPath) {
    const Result<T> decoded = T::fromJson(parse(json));
    if (encoded.isEmpty()) {
        QVERIFY2(!decoded, json.constData());
        QCOMPARE(decoded.error().domain, QStringLiteral("DecodingError"));
        if (!errorPath.isEmpty()) {
            QVERIFY2(
                decoded.error().message.contains(QLatin1Char('"') + errorPath + QLatin1Char('"')),
                qPrintable(decoded.error().message));
        }
        return;
    }
    QVERIFY2(decoded, decoded ? "" : qPrintable(decoded.error().message));
    QCOMPARE(compact(decoded.value().toJson()), encoded);
    const Result<T> again = T::fromJson(decoded.value().toJson());
    QVERIFY(again);
    QVERIFY(again.value() == decoded.value());
}

void addDecodingColumns() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QString>("errorPath");
}

void row(const char* name, const char* json, const char* encoded, const char* errorPath = "") {
    QTest::newRow(name) << QByteArray(json) << QByteArray(encoded) << QString::fromUtf8(errorPath);
}

const char kFullVersion[] =
    R"({"content":"c","currentVer":7,"forceInfo":[{"NVERSION":3,"pcClientDownload":"d",)"
    R"("pcClientIsMandatory":true,"pcClientPublishTime":"p","pcClientSHA256":"s",)"
    R"("pcClientUpdateContent":"a<br />b","pcClientVersion":"1.0.2","pcClientWebDownload":"w",)"
    R"("pcClientWebVersion":"5","webPublishTime":"t"}],"forceVer":1,"mustForce":["1.0.0"],)"
    R"("newPC":{"forceInfo":[],"forceVer":2,"mustForce":[],"noiceVer":3,"pcClientDownload":"d",)"
    R"("pcClientIsMandatory":false,"pcClientSHA256":"h","pcClientUpdateContent":"u",)"
    R"("pcClientVersion":"1.0.3","pcClientWebDownload":"wd","pcClientWebVersion":"wv",)"
    R"("ver":9223372036854775807,"webCheckUpdate":true,"webForceUpdate":false},"noiceVer":4,)"
    R"("pcClientDownload":"pd","pcClientUpdateContent":"pu","pcClientVersion":"pv",)"
    R"("pcClientWebDownload":"pwd","pcClientWebVersion":"pwv","strVer":"1.0","url":"u",)"
    R"("ver":-9007199254740993,"webCheckUpdate":false,"webForceUpdate":true,)"
    R"("webSettingData":{"QQGropUrl":"q","cdnUrl":"c","lgiosAppUrl":"l","pcUrl":"p",)"
    R"("useAppstoreUrl":"a"}})";

const char kFullDevice[] =
    R"({"alias":"a","autopay":1,"borrowEndTime":"b","borrowRemainTime":2,"cardType":3,)"
    R"("deviceId":4,"deviceStatus":5,"deviceStatusDesc":"d","endTime":"e","expireTime":"x",)"
    R"("groupId":6,"groupName":"g","lendEndTime":"l","lendRemainTime":7,"lenderUid":"lu",)"
    R"("lock":true,"maintainInfo":"m","maintainRenew":8,"maintainStatus":9,"msgId":10,)"
    R"("note":"n","remainTime":11,"root":12,"startTime":"s","uid":"u","useStatus":13})";

const char kFullUser[] =
    R"({"cardID":"c","createTime":"t","firstlogin":1,"isadult":1,"isbindphone":0,)"
    R"("isbindwxqq":3,"isreg":0,"kxOrbVerify":2,"nickname":"昵称","phone":"138",)"
    R"("portraiturl":"p","realname":"r","sign":"s","thirdAccountList":[{"thirdAccountNickName":)"
    R"("n","thirdAccountPortrait":"p","thirdAccountType":"WX"},{"thirdAccountType":"QQ"}],)"
    R"("token":"t","uid":"u","unsetPassword":false,"username":"name"})";

}  // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionRecord_data() {
        addDecodingColumns();
        row("empty object", "{}", "{}");
        row("every field", kFullVersion, kFullVersion);
        row("null newPC is absent", R"({"newPC":null,"ver":null})", "{}");
        row("empty list stays present", R"({"forceInfo":[]})", R"({"forceInfo":[]})");
        row("unknown and miscased keys ignored", R"({"forceInfo":[{"nversion":3}],"VER":1})",
            R"({"forceInfo":[{}]})");
        row("NVERSION as text", R"({"newPC":{"forceInfo":[{"NVERSION":"3"}]}})", "",
            "newPC.forceInfo[0].NVERSION");
        row("number for boolean", R"({"newPC":{"pcClientIsMandatory":1}})", "",
            "newPC.pcClientIsMandatory");
        row("number as text", R"({"ver":"2"})", "", "ver");
        row("text as number", R"({"strVer":2})", "", "strVer");
        row("fraction for integer", R"({"currentVer":1.5})", "", "currentVer");
        row("integer beyond 64 bits", R"({"ver":9223372036854775808})", "", "ver");
        row("null inside list of text", R"({"mustForce":["a",null]})", "", "mustForce[1]");
        row("object for list", R"({"forceInfo":{}})", "", "forceInfo");
        row("nested block of the wrong type", R"({"webSettingData":{"QQGropUrl":5}})", "",
            "webSettingData.QQGropUrl");
        row("array instead of object", "[]", "");
        row("release field of the block", R"({"newPC":{"mustForce":[1]}})", "",
            "newPC.mustForce[0]");
        row("release field of the record", R"({"pcClientWebDownload":false})", "",
            "pcClientWebDownload");
    }
    void versionRecord() {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, encoded);
        QFETCH(QString, errorPath);
        checkDecoding<VersionResponse>(json, encoded, errorPath);
    }

    void deviceRecord_data() {
        addDecodingColumns();
        row("empty object", "{}", "{}");
        row("every coded field", kFullDevice, kFullDevice);
        row("field names are not keys", R"({"deviceID":5,"groupID":6,"isSelected":true})", "{}");
        row("device id as text", R"({"deviceId":"5"})", "", "deviceId");
        row("lock as number", R"({"lock":0})", "", "lock");
    }
    void deviceRecord() {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, encoded);
        QFETCH(QString, errorPath);
        checkDecoding<XDYDeviceModel>(json, encoded, errorPath);
    }

    void deviceLocalStateIsNeverCoded() {
        XDYDeviceModel device = XDYDeviceModel::fromJson(parse(kFullDevice)).value();
        QCOMPARE(device.pushStatus, 0);
        QVERIFY(!device.isSelected && !device.beAuthorized && !device.delayLoadSnapshot);
        device.isSelected = true;
        device.pushStatus = 2;
        device.delayLoadSnapshot = true;
        QCOMPARE(compact(device.toJson()), QByteArray(kFullDevice));
        const XDYDeviceModel again = XDYDeviceModel::fromJson(device.toJson()).value();
        QVERIFY(!again.isSelected);
        QCOMPARE(again.pushStatus, 0);
        QCOMPARE(again.deviceID, 4);
        QCOMPARE(again.groupID, 6);
    }

    void fileTypeFromInteger() {
        QCOMPARE(::fileTypeFromRaw(-1), std::nullopt);
        QCOMPARE(::fileTypeFromRaw(4), std::nullopt);
        QCOMPARE(::fileTypeFromRaw(0x100000003LL), std::nullopt);
        QCOMPARE(rawValue(::fileTypeFromRaw(3).value()), 3);
        QVERIFY(::fileTypeFromRaw(0) == FileType::all);
    }

    void userRecord_data() {
        addDecodingColumns();
        const char* minimal = R"({"thirdAccountList":[],"token":"t","uid":"u"})";
        row("uid and token only", R"({"uid":"u","token":"t"})", minimal);
        row("every field", kFullUser, kFullUser);
        row("null list is empty", R"({"uid":"u","token":"t","thirdAccountList":null})", minimal);
        row("no uid", R"({"token":"t"})", "", "uid");
        row("null token", R"({"uid":"u","token":null})", "", "token");
        row("uid as number", R"({"uid":1,"token":"t"})", "", "uid");
        row("bind type wxqq", R"({"uid":"u","token":"t","isbindwxqq":3})",
            R"({"isbindwxqq":3,"thirdAccountList":[],"token":"t","uid":"u"})");
        row("bind type 4", R"({"uid":"u","token":"t","isbindwxqq":4})", "", "isbindwxqq");
        row("bind type -1", R"({"uid":"u","token":"t","isbindwxqq":-1})", "", "isbindwxqq");
        row("lower-case account type",
            R"({"uid":"u","token":"t","thirdAccountList":[{"thirdAccountType":"wx"}]})", "",
            "thirdAccountList[0].thirdAccountType");
        row("null account type",
            R"({"uid":"u","token":"t","thirdAccountList":[{"thirdAccountType":null}]})",
            R"({"thirdAccountList":[{}],"token":"t","uid":"u"})");
        row("null account in list", R"({"uid":"u","token":"t","thirdAccountList":[null]})", "",
            "thirdAccountList[0]");
        row("age flag as text", R"({"uid":"u","token":"t","isadult":"1"})", "", "isadult");
        row("cardId is not cardID", R"({"uid":"u","token":"t","cardId":"x","extra":[1]})", minimal);
        row("not an object", R"(["u","t"])", "");
    }
    void userRecord() {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, encoded);
        QFETCH(QString, errorPath);
        checkDecoding<KXDomesticUser>(json, encoded, errorPath);
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_Records.moc"
