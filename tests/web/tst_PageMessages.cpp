#include "web/Native2WebMessage.h"
#include "web/Native2WebMessageType.h"
#include "web/Web2NativeMessage.h"
#include "web/Web2NativeMessageType.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTest>

#include <limits>

namespace {

// A JSON value written as text, so that rows can hold null, arrays and bare values.
QJsonValue jsonValue(const QByteArray& text) {
    return QJsonDocument::fromJson("[" + text + "]").array().at(0);
}

}  // namespace

class PageMessagesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pageMessageFromText_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("requestId");  // invalid: no request id
        QTest::addColumn<QByteArray>("data");
        const QVariant none;
        QTest::newRow("empty object") << R"({})" << false << "" << none << QByteArray();
        QTest::newRow("no type") << R"({"data":{}})" << false << "" << none << QByteArray();
        QTest::newRow("numeric type") << R"({"type":3})" << false << "" << none << QByteArray();
        QTest::newRow("array body") << R"([{"type":"get"}])" << false << "" << none << QByteArray();
        QTest::newRow("bare number") << "42" << false << "" << none << QByteArray();
        QTest::newRow("not JSON") << R"({"type":"get")" << false << "" << none << QByteArray();
        QTest::newRow("no data") << R"({"type":"get"})" << true << "get" << none
                                 << QByteArray("{}");
        QTest::newRow("null data kept")
            << R"({"type":"set","data":null})" << true << "set" << none << QByteArray("null");
        QTest::newRow("numeric id dropped")
            << R"({"type":"get","macrequestid":7})" << true << "get" << none << QByteArray("{}");
        QTest::newRow("string id kept")
            << R"({"type":"encrypt","macrequestid":"r-1","data":{"v":"密"}})" << true << "encrypt"
            << QVariant(QStringLiteral("r-1")) << QByteArray(R"({"v":"密"})");
        QTest::newRow("type untrimmed")
            << R"({"type":" Set "})" << true << " Set " << none << QByteArray("{}");
    }

    void pageMessageFromText() {
        QFETCH(QString, body);
        QFETCH(bool, parses);
        const auto message = Web2NativeMessage::fromJSONString(body);
        QCOMPARE(message.has_value(), parses);
        if (!parses) {
            return;
        }
        QFETCH(QString, type);
        QFETCH(QVariant, requestId);
        QFETCH(QByteArray, data);
        QCOMPARE(message->type, type);
        QCOMPARE(message->macrequestid.has_value(), requestId.isValid());
        if (requestId.isValid()) {
            QCOMPARE(*message->macrequestid, requestId.toString());
        }
        QCOMPARE(message->data, jsonValue(data));

        // The window relay sends toDictionary() through a notification's variant user info and
        // the receiver rebuilds the message from it: nothing may change on the way.
        const auto relayed =
            Web2NativeMessage::fromDictionary(message->toDictionary().toVariantMap());
        QVERIFY(relayed.has_value());
        QCOMPARE(relayed->type, message->type);
        QCOMPARE(relayed->macrequestid, message->macrequestid);
        QCOMPARE(relayed->data, message->data);
    }

    void intValue_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("expected");  // invalid: no result
        const QVariant none;
        QTest::newRow("plain") << QByteArray(R"({"width":720})") << "width" << QVariant(720);
        QTest::newRow("deviceid stands in")
            << QByteArray(R"({"deviceid":12})") << "deviceId" << QVariant(12);
        QTest::newRow("own key first")
            << QByteArray(R"({"deviceId":1,"deviceid":2})") << "deviceId" << QVariant(1);
        QTest::newRow("wrong-typed own key falls back")
            << QByteArray(R"({"deviceId":"1","deviceid":2})") << "deviceId" << QVariant(2);
        QTest::newRow("numeric text") << QByteArray(R"({"deviceId":"12"})") << "deviceId" << none;
        QTest::newRow("no fallback for other keys")
            << QByteArray(R"({"Width":5})") << "width" << none;
        QTest::newRow("boolean") << QByteArray(R"({"quality":true})") << "quality" << QVariant(1);
        QTest::newRow("fraction") << QByteArray(R"({"height":12.5})") << "height" << none;
        QTest::newRow("exact beyond 2^53") << QByteArray(R"({"deviceId":9007199254740993})")
                                           << "deviceId" << QVariant(Q_INT64_C(9007199254740993));
        QTest::newRow("beyond int64") << QByteArray(R"({"deviceId":1e20})") << "deviceId" << none;
        QTest::newRow("array data") << QByteArray(R"([12])") << "deviceId" << none;
    }

    void intValue() {
        QFETCH(QByteArray, data);
        QFETCH(QString, key);
        QFETCH(QVariant, expected);
        Web2NativeMessage message;
        message.type = QStringLiteral("cloudphone-open");
        message.data = jsonValue(data);
        const std::optional<qint64> value = message.intValue(key);
        QCOMPARE(value.has_value(), expected.isValid());
        if (value) {
            QCOMPARE(*value, expected.toLongLong());
        }
    }

    void nativeMessageWireForm_data() {
        QTest::addColumn<QVariant>("requestId");
        QTest::addColumn<QVariant>("deviceId");
        QTest::addColumn<QJsonValue>("data");
        QTest::addColumn<QByteArray>("expected");  // empty: no JSON text
        const QVariant none;
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("notification") << none << none << QJsonValue(QJsonObject{{"status", 1}})
                                      << QByteArray(R"({"type":"t","data":{"status":1}})");
        QTest::newRow("reply") << QVariant(QStringLiteral("r-9")) << none << QJsonValue(true)
                               << QByteArray(R"({"type":"t","data":true,"macrequestid":"r-9"})");
        QTest::newRow("device id exact")
            << none << QVariant(Q_INT64_C(-9007199254740993)) << QJsonValue(QJsonValue::Null)
            << QByteArray(R"({"type":"t","data":null,"deviceId":-9007199254740993})");
        const QString awkward = QStringLiteral("it's \\ \"x\"\r\n中");
        QTest::newRow("quotes and breaks")
            << none << none << QJsonValue(awkward)
            << QJsonDocument(QJsonObject{{"type", "t"}, {"data", awkward}}).toJson();
        QTest::newRow("undefined data")
            << none << none << QJsonValue(QJsonValue::Undefined) << QByteArray();
        QTest::newRow("NaN") << none << none << QJsonValue(std::numeric_limits<double>::quiet_NaN())
                             << QByteArray();
        QTest::newRow("nested infinity")
            << none << none << QJsonValue(QJsonObject{{"a", QJsonArray{1, inf}}}) << QByteArray();
    }

    void nativeMessageWireForm() {
        QFETCH(QVariant, requestId);
        QFETCH(QVariant, deviceId);
        QFETCH(QJsonValue, data);
        QFETCH(QByteArray, expected);
        Native2WebMessage message;
        message.type = QStringLiteral("t");
        message.data = data;
        if (requestId.isValid()) {
            message.macrequestid = requestId.toString();
        }
        if (deviceId.isValid()) {
            message.deviceId = deviceId.toLongLong();
        }
        const std::optional<QString> text = message.toJSONString();
        QCOMPARE(text.has_value(), !expected.isEmpty());
        if (!text) {
            return;
        }
        QVERIFY2(!text->contains(QLatin1Char('\n')), qPrintable(*text));
        // Key order is not part of the format: compare the parsed objects, as the page does.
        QJsonParseError error{};
        const QJsonDocument written = QJsonDocument::fromJson(text->toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(written.object(), QJsonDocument::fromJson(expected).object());
        if (deviceId.isValid()) {
            QVERIFY(text->contains(QString::number(deviceId.toLongLong())));
        }
    }

    void vocabularies_data() {
        QTest::addColumn<bool>("pageToNative");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::newRow("page first") << true << 0 << "repair-web-content";
        QTest::newRow("add-cloundphone") << true << 14 << "add-cloundphone";
        QTest::newRow("request-deivce-application") << true << 27 << "request-deivce-application";
        QTest::newRow("showWindFrame") << true << 33 << "showWindFrame";
        QTest::newRow("client-clipboardData") << true << 40 << "client-clipboardData";
        QTest::newRow("page last") << true << 69 << "change-wnd-size";
        QTest::newRow("native first") << false << 0 << "batch-response-install";
        QTest::newRow("response-deivce-application") << false << 4 << "response-deivce-application";
        QTest::newRow("notify-power-resumeAutomatic")
            << false << 22 << "notify-power-resumeAutomatic";
        QTest::newRow("native last") << false << 38 << "response-mac-get";
    }

    void vocabularies() {
        QFETCH(bool, pageToNative);
        QFETCH(int, index);
        QFETCH(QString, text);
        if (pageToNative) {
            QCOMPARE(web2NativeMessageTypeText(static_cast<Web2NativeMessageType>(index)), text);
            QCOMPARE(web2NativeMessageTypeFromText(text),
                     std::optional(static_cast<Web2NativeMessageType>(index)));
        } else {
            QCOMPARE(native2WebMessageTypeText(static_cast<Native2WebMessageType>(index)), text);
            QCOMPARE(native2WebMessageTypeFromText(text),
                     std::optional(static_cast<Native2WebMessageType>(index)));
        }
    }

    void vocabulariesAreDistinctAndExact() {
        QSet<QString> pageTexts;
        for (const Web2NativeMessageType type : allWeb2NativeMessageTypes()) {
            pageTexts.insert(web2NativeMessageTypeText(type));
            QCOMPARE(web2NativeMessageTypeFromText(web2NativeMessageTypeText(type)), type);
        }
        QCOMPARE(allWeb2NativeMessageTypes().size(), std::size_t(70));
        QCOMPARE(pageTexts.size(), 70);
        QSet<QString> nativeTexts;
        for (const Native2WebMessageType type : allNative2WebMessageTypes()) {
            nativeTexts.insert(native2WebMessageTypeText(type));
            QCOMPARE(native2WebMessageTypeFromText(native2WebMessageTypeText(type)), type);
        }
        QCOMPARE(allNative2WebMessageTypes().size(), std::size_t(39));
        QCOMPARE(nativeTexts.size(), 39);
        QCOMPARE(web2NativeMessageTypeFromText(QStringLiteral("Set")), std::nullopt);
        QCOMPARE(web2NativeMessageTypeFromText(QStringLiteral("set ")), std::nullopt);
        QCOMPARE(web2NativeMessageTypeFromText(QString()), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(PageMessagesTest)
#include "tst_PageMessages.moc"
