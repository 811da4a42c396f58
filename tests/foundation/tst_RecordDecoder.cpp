#include "foundation/RecordDecoder.h"

#include <QJsonDocument>
#include <QTest>

namespace {

QJsonObject object(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

using Policy = RecordDecoder::FailurePolicy;

}  // namespace

Q_DECLARE_METATYPE(RecordDecoder::FailurePolicy)

class RecordDecoderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A failure keeps the first problem either way; what differs is whether later reads still
    // answer the record's values.
    void failurePolicyDecidesWhetherReadsGoOn_data() {
        QTest::addColumn<Policy>("policy");
        QTest::addColumn<QString>("laterName");
        QTest::addColumn<qint64>("laterCount");
        QTest::newRow("reads go on") << Policy::readsGoOn << "kept" << qint64(3);
        QTest::newRow("first failure sticks") << Policy::firstFailureSticks << "" << qint64(0);
    }
    void failurePolicyDecidesWhetherReadsGoOn() {
        QFETCH(Policy, policy);
        QFETCH(QString, laterName);
        QFETCH(qint64, laterCount);
        RecordDecoder decoder(object(R"({"size":"big","name":"kept","count":3,"flag":1})"),
                              QStringLiteral("Plan"), policy);
        QCOMPARE(decoder.optionalInt(QStringLiteral("size")), std::nullopt);
        QCOMPARE(decoder.requiredString(QStringLiteral("name")), laterName);
        QCOMPARE(decoder.requiredInt64(QStringLiteral("count")), laterCount);
        decoder.requiredBool(QStringLiteral("flag"));
        QVERIFY(decoder.failure());
        QCOMPARE(decoder.failure()->domain, QStringLiteral("DecodingError"));
        QCOMPARE(decoder.failure()->message,
                 QStringLiteral("Plan: value of \"size\" has the wrong type"));
    }

    void recordNameWording_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("message");  // empty: no failure
        QTest::newRow("present") << R"({"name":"a"})"
                                 << "";
        QTest::newRow("missing") << "{}"
                                 << "Plan: no value for the key \"name\"";
        QTest::newRow("null") << R"({"name":null})"
                              << "Plan: no value for the key \"name\"";
        QTest::newRow("wrong type") << R"({"name":5})"
                                    << "Plan: value of \"name\" has the wrong type";
    }
    void recordNameWording() {
        QFETCH(QString, json);
        QFETCH(QString, message);
        RecordDecoder decoder(object(json.toUtf8().constData()), QStringLiteral("Plan"));
        decoder.requiredString(QStringLiteral("name"));
        QCOMPARE(decoder.failure() ? decoder.failure()->message : QString(), message);
    }

    // A record family's own wording sees what was found and whether the key was required.
    void ownWordingHearsWhatWasFound_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<bool>("required");
        QTest::addColumn<QString>("message");
        QTest::newRow("required missing") << "{}" << true << "k missing required";
        QTest::newRow("required null") << R"({"k":null})" << true << "k null required";
        QTest::newRow("required wrong") << R"({"k":[]})" << true << "k wrongType required";
        QTest::newRow("optional null") << R"({"k":null})" << false << "";
        QTest::newRow("optional wrong") << R"({"k":true})" << false << "k wrongType optional";
    }
    void ownWordingHearsWhatWasFound() {
        QFETCH(QString, json);
        QFETCH(bool, required);
        QFETCH(QString, message);
        const auto wording = [](const QString& key, JsonPresence found, bool isRequired) {
            const char* names[] = {"missing", "null", "wrongType", "value"};
            return Error{
                QStringLiteral("Own"), 7,
                key + QLatin1Char(' ') + QString::fromLatin1(names[static_cast<int>(found)]) +
                    (isRequired ? QStringLiteral(" required") : QStringLiteral(" optional"))};
        };
        RecordDecoder decoder(object(json.toUtf8().constData()), wording,
                              Policy::firstFailureSticks);
        if (required) {
            decoder.requiredString(QStringLiteral("k"));
        } else {
            decoder.optionalString(QStringLiteral("k"));
        }
        QCOMPARE(decoder.failure() ? decoder.failure()->message : QString(), message);
        if (decoder.failure()) {
            QCOMPARE(decoder.failure()->domain, QStringLiteral("Own"));
        }
    }

    void codingPathWording_data() {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("not an object") << "[1]" << int(DecodingError::typeMismatch)
                                       << "类型不匹配: \"user\" 应为对象，实际为数组";
        QTest::newRow("missing") << "{}" << int(DecodingError::keyNotFound)
                                 << "缺少键: \"user.id\" 不存在";
        QTest::newRow("null") << R"({"id":null})" << int(DecodingError::valueNotFound)
                              << "值为空: \"user.id\" 应为文本，实际为 null";
        QTest::newRow("number") << R"({"id":4})" << int(DecodingError::typeMismatch)
                                << "类型不匹配: \"user.id\" 应为文本，实际为数字";
        QTest::newRow("fraction") << R"({"id":"a","n":1.5})" << int(DecodingError::dataCorrupted)
                                  << "数据无效: \"user.n\" 的数字 1.5 不是 64 位整数";
    }
    void codingPathWording() {
        QFETCH(QString, json);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
        const QJsonValue value =
            document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
        RecordDecoder decoder = RecordDecoder::atCodingPath(value, QStringLiteral("user"));
        QString id;
        std::optional<qint64> n;
        decoder.require(QStringLiteral("id"), id);
        decoder.decodeIfPresent(QStringLiteral("n"), n);
        QVERIFY(decoder.failure());
        QCOMPARE(decoder.failure()->code, code);
        QCOMPARE(decoder.failure()->message, message);
    }
};

QTEST_GUILESS_MAIN(RecordDecoderTest)
#include "tst_RecordDecoder.moc"
