#include "foundation/json/JsonReader.h"
#include "foundation/json/Result.h"

#include <QJsonDocument>
#include <QTest>

Q_DECLARE_METATYPE(JsonPresence)

namespace {

JsonReader readerFor(const char* json) {
    return JsonReader(QJsonDocument::fromJson(json).object());
}

}  // namespace

class JsonReaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void presenceIsToldApart_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<JsonPresence>("asString");
        QTest::addColumn<JsonPresence>("asInt64");
        QTest::addColumn<JsonPresence>("asBool");
        QTest::addColumn<JsonPresence>("asObject");
        using P = JsonPresence;
        QTest::newRow("missing") << QByteArray(R"({"other":1})") << P::missing << P::missing
                                 << P::missing << P::missing;
        QTest::newRow("null") << QByteArray(R"({"v":null})") << P::null << P::null << P::null
                              << P::null;
        QTest::newRow("string") << QByteArray(R"({"v":"12"})") << P::value << P::wrongType
                                << P::wrongType << P::wrongType;
        QTest::newRow("integer") << QByteArray(R"({"v":12})") << P::wrongType << P::value
                                 << P::wrongType << P::wrongType;
        QTest::newRow("fraction") << QByteArray(R"({"v":1.5})") << P::wrongType << P::wrongType
                                  << P::wrongType << P::wrongType;
        QTest::newRow("boolean") << QByteArray(R"({"v":true})") << P::wrongType << P::wrongType
                                 << P::value << P::wrongType;
        QTest::newRow("object") << QByteArray(R"({"v":{}})") << P::wrongType << P::wrongType
                                << P::wrongType << P::value;
        QTest::newRow("array") << QByteArray(R"({"v":[]})") << P::wrongType << P::wrongType
                               << P::wrongType << P::wrongType;
    }

    void presenceIsToldApart() {
        QFETCH(QByteArray, json);
        QFETCH(JsonPresence, asString);
        QFETCH(JsonPresence, asInt64);
        QFETCH(JsonPresence, asBool);
        QFETCH(JsonPresence, asObject);
        const JsonReader reader(QJsonDocument::fromJson(json).object());
        const QString key = QStringLiteral("v");
        QCOMPARE(reader.string(key).presence(), asString);
        QCOMPARE(reader.int64(key).presence(), asInt64);
        QCOMPARE(reader.boolean(key).presence(), asBool);
        QCOMPARE(reader.object(key).presence(), asObject);
        QCOMPARE(reader.string(key).isAbsent(),
                 asString == JsonPresence::missing || asString == JsonPresence::null);
    }

    void integersStayExact_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("isInteger");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("zero") << QByteArray(R"({"v":0})") << true << qint64(0);
        QTest::newRow("one") << QByteArray(R"({"v":1})") << true << qint64(1);
        QTest::newRow("negative") << QByteArray(R"({"v":-7})") << true << qint64(-7);
        QTest::newRow("above 2^53")
            << QByteArray(R"({"v":9007199254740993})") << true << qint64(9007199254740993LL);
        QTest::newRow("int64 max") << QByteArray(R"({"v":9223372036854775807})") << true
                                   << std::numeric_limits<qint64>::max();
        QTest::newRow("int64 min") << QByteArray(R"({"v":-9223372036854775808})") << true
                                   << std::numeric_limits<qint64>::min();
        QTest::newRow("beyond int64")
            << QByteArray(R"({"v":9223372036854775808})") << false << qint64(0);
        QTest::newRow("whole double") << QByteArray(R"({"v":3.0})") << true << qint64(3);
        QTest::newRow("exponent") << QByteArray(R"({"v":1e2})") << true << qint64(100);
        QTest::newRow("fraction") << QByteArray(R"({"v":0.5})") << false << qint64(0);
    }

    void integersStayExact() {
        QFETCH(QByteArray, json);
        QFETCH(bool, isInteger);
        QFETCH(qint64, expected);
        const JsonField<qint64> field =
            JsonReader(QJsonDocument::fromJson(json).object()).int64(QStringLiteral("v"));
        QCOMPARE(field.hasValue(), isInteger);
        if (isInteger) {
            QCOMPARE(field.value(), expected);
        } else {
            QVERIFY(field.isWrongType());
        }
    }

    void int32IsRangeChecked() {
        const JsonReader reader =
            readerFor(R"({"max":2147483647,"over":2147483648,"under":-2147483649})");
        QCOMPARE(reader.int32(QStringLiteral("max")).value(), 2147483647);
        QVERIFY(reader.int32(QStringLiteral("over")).isWrongType());
        QVERIFY(reader.int32(QStringLiteral("under")).isWrongType());
        QCOMPARE(reader.int32(QStringLiteral("absent")).valueOr(9), 9);
    }

    void numbersArraysAndSingleValues() {
        const JsonReader reader = readerFor(R"({"d":2.25,"i":4,"a":[1,"x",null]})");
        QCOMPARE(reader.number(QStringLiteral("d")).value(), 2.25);
        QCOMPARE(reader.number(QStringLiteral("i")).value(), 4.0);
        const QJsonArray array = reader.array(QStringLiteral("a")).value();
        QCOMPARE(JsonReader::asInt64(array[0]).value(), 1);
        QVERIFY(JsonReader::asInt64(array[1]).isWrongType());
        QVERIFY(JsonReader::asString(array[2]).isNull());
        QCOMPARE(reader.string(QStringLiteral("i")).optional(), std::nullopt);
    }

    void resultCarriesValueOrError() {
        const Result<int> good = 5;
        const Result<int> bad = Error{QStringLiteral("Test"), 3, QStringLiteral("失败")};
        QVERIFY(good.ok());
        QCOMPARE(good.value(), 5);
        QVERIFY(!bad);
        QCOMPARE(bad.error().code, 3);
        QCOMPARE(bad.valueOr(1), 1);
        const Result<void> done;
        const Result<void> failed = Error{QStringLiteral("Test"), 1, QStringLiteral("x")};
        QVERIFY(done.ok());
        QCOMPARE(failed.error().domain, QStringLiteral("Test"));
    }
};

QTEST_GUILESS_MAIN(JsonReaderTest)
#include "tst_JsonReader.moc"
