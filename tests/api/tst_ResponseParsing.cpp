#include "LogCapture.h"
#include "TestHttpServer.h"

#include "api/ContentDecoding.h"
#include "api/ResponseParser.h"
#include "api/VersionResponse.h"

#include <QJsonDocument>
#include <QTest>

using Envelope = KXAPIResponse<EmptyResponse>;

Q_DECLARE_METATYPE(ResponseParsingStrategy::Kind)
Q_DECLARE_METATYPE(NetworkError)

namespace {

const QStringList kParseLines = {QStringLiteral("✅ 直接解析成功"),
                                 QStringLiteral("❌ 所有解析尝试都失败"),
                                 QStringLiteral("✅ 包装格式解析成功"),
                                 QStringLiteral("⚠️ 包装格式解析成功但数据为空"),
                                 QStringLiteral("❌ API返回错误")};

ResponseParsingStrategy strategyOf(ResponseParsingStrategy::Kind kind) {
    switch (kind) {
        case ResponseParsingStrategy::Kind::wrapped:
            return ResponseParsingStrategy::wrapped();
        case ResponseParsingStrategy::Kind::direct:
            return ResponseParsingStrategy::direct();
        default:
            return ResponseParsingStrategy::automatic();
    }
}

// The encoded value on success, else the error's text.
template <JsonRecord T>
QString outcome(const Result<T, NetworkError>& result) {
    if (result) {
        return QString::fromUtf8(
            QJsonDocument(result.value().toJson()).toJson(QJsonDocument::Compact));
    }
    return result.error().errorDescription();
}

}  // namespace

class ResponseParsingTest : public QObject {
    Q_OBJECT

    LogCapture m_log;

    QStringList parseLines() {
        QStringList found;
        for (const QString& line : m_log.take()) {
            for (const QString& marker : kParseLines) {
                if (line.endsWith(marker)) {
                    found << marker;
                }
            }
        }
        return found;
    }

private Q_SLOTS:
    void strategies_data() {
        QTest::addColumn<bool>("asEnvelope");  // T is the envelope itself, else the version record
        QTest::addColumn<ResponseParsingStrategy::Kind>("strategy");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");  // encoded value, or the start of the error text
        QTest::addColumn<QString>("logLine");
        using K = ResponseParsingStrategy::Kind;
        const QString none;
        auto row = [](const char* name, bool envelope, K kind, const char* body,
                      const char* expected, const char* logLine = "") {
            QTest::newRow(name) << envelope << kind << QByteArray(body)
                                << QString::fromUtf8(expected) << QString::fromUtf8(logLine);
        };
        row("auto: any object decodes directly", false, K::automatic,
            R"({"code":200,"msg":"ok","data":{"ver":3}})", "{}", "✅ 直接解析成功");
        row("auto: snake-case keys", false, K::automatic, R"({"pc_client_version":"1.2"})",
            R"({"pcClientVersion":"1.2"})", "✅ 直接解析成功");
        row("auto: envelope when direct fails", false, K::automatic,
            R"({"code":200,"data":{"ver":3},"ver":"x"})", R"({"ver":3})", "✅ 包装格式解析成功");
        row("auto: envelope without data", false, K::automatic, R"({"code":0,"ver":"x"})",
            "没有数据", "⚠️ 包装格式解析成功但数据为空");
        row("auto: envelope with error code", false, K::automatic,
            R"({"code":401,"msg":"登录失效","ver":"x"})", "请求错误 (401): 登录失效",
            "❌ API返回错误");
        row("auto: array", false, K::automatic, "[1]", "数据解析错误: ", "❌ 所有解析尝试都失败");
        row("auto: envelope type reads its own keys", true, K::automatic,
            R"({"code":1001,"msg":"M"})", R"({"code":1001,"msg":"M"})", "✅ 直接解析成功");
        row("auto: envelope type from array", true, K::automatic, "[]",
            "数据解析错误: ", "❌ 所有解析尝试都失败");
        row("wrapped: data", false, K::wrapped, R"({"code":200,"msg":"m","data":{"ver":3}})",
            R"({"ver":3})");
        row("wrapped: code 0 only", false, K::wrapped, R"({"code":0})", "没有数据");
        row("wrapped: error code", false, K::wrapped, R"({"code":401,"msg":"M"})",
            "请求错误 (401): M");
        row("wrapped: no code", false, K::wrapped, R"({"msg":"M","data":{}})", "请求错误 (-1): M");
        row("wrapped: code as text", false, K::wrapped, R"({"code":"200"})",
            "数据解析错误: 类型不匹配: \"code\"");
        row("wrapped: bad data", false, K::wrapped, R"({"code":200,"data":{"ver":true}})",
            "数据解析错误: 类型不匹配: \"data.ver\"");
        row("direct: envelope is ignored", false, K::direct, R"({"code":200,"data":{"ver":3}})",
            "{}");
        row("direct: not JSON", false, K::direct, "not json", "数据解析错误: ");
        row("direct: scalar", false, K::direct, "42", "数据解析错误: 类型不匹配: \"顶层值\"");
    }

    void strategies() {
        QFETCH(bool, asEnvelope);
        QFETCH(ResponseParsingStrategy::Kind, strategy);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        QFETCH(QString, logLine);
        parseLines();
        const QString actual =
            asEnvelope
                ? outcome(ResponseParser::parseBody<Envelope>(body, strategyOf(strategy)))
                : outcome(ResponseParser::parseBody<VersionResponse>(body, strategyOf(strategy)));
        QVERIFY2(actual.startsWith(expected), qPrintable(actual));
        if (expected.startsWith(QStringLiteral("数据解析错误"))) {
            QVERIFY2(actual.endsWith(QStringLiteral("\n原始数据: ") + QString::fromUtf8(body)),
                     qPrintable(actual));
        }
        QCOMPARE(parseLines(), logLine.isEmpty() ? QStringList() : QStringList{logLine});
    }

    void customStrategy_data() {
        QTest::addColumn<int>("returns");  // 0 the record, 1 another type, 2 an error
        QTest::addColumn<QString>("expected");
        QTest::newRow("the caller's type") << 0 << R"({"strVer":"raw:abc"})";
        QTest::newRow("another type") << 1 << "无效的响应";
        QTest::newRow("a failure") << 2 << "数据解析错误: 坏数据\n原始数据: abc";
    }
    void customStrategy() {
        QFETCH(int, returns);
        QFETCH(QString, expected);
        const auto parser = [returns](const QByteArray& bytes) -> Result<std::any> {
            if (returns == 0) {
                VersionResponse version;
                version.strVer = QStringLiteral("raw:") + QString::fromUtf8(bytes);
                return std::any(version);
            }
            if (returns == 1) {
                return std::any(42);
            }
            return Error{QStringLiteral("Custom"), 1, QStringLiteral("坏数据")};
        };
        QCOMPARE(outcome(ResponseParser::parseBody<VersionResponse>(
                     "abc", ResponseParsingStrategy::custom(parser))),
                 expected);
    }

    void errorTexts_data() {
        QTest::addColumn<NetworkError>("error");
        QTest::addColumn<QString>("text");
        const Error cause{QStringLiteral("X"), 1, QStringLiteral("原因")};
        QTest::newRow("network") << NetworkError::networkError(cause) << "网络错误: 原因";
        QTest::newRow("server without message")
            << NetworkError::serverError(500, std::nullopt) << "服务器错误 (500): 未知服务器错误";
        QTest::newRow("decoding without bytes")
            << NetworkError::decodingError(cause, std::nullopt) << "数据解析错误: 原因";
        QTest::newRow("decoding with non-UTF-8 bytes")
            << NetworkError::decodingError(cause, QByteArray("\xff\xfe")) << "数据解析错误: 原因";
        QTest::newRow("unknown") << NetworkError::unknown() << "未知错误";
    }
    void errorTexts() {
        QFETCH(NetworkError, error);
        QFETCH(QString, text);
        QCOMPARE(error.errorDescription(), text);
    }

    void contentDecoding_data() {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        const QByteArray plain = QByteArray(R"({"code":200,"msg":"成功"})").repeated(50);
        QTest::newRow("raw deflate")
            << QByteArray("deflate") << compressBody(plain, false).mid(2).chopped(4) << true;
        QTest::newRow("truncated gzip")
            << QByteArray("gzip") << compressBody(plain, true).chopped(12) << false;
        QTest::newRow("unknown encoding") << QByteArray("br") << plain << false;
    }
    void contentDecoding() {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        const Result<QByteArray> decoded = decodeContent(encoding, body);
        QCOMPARE(decoded.ok(), ok);
        if (ok) {
            QCOMPARE(decoded.value(), QByteArray(R"({"code":200,"msg":"成功"})").repeated(50));
        }
    }

    void inflatingBeyondTheLimitIsRefused() {
        const QByteArray bomb = compressBody(QByteArray(1 << 20, 'a'), true);
        QVERIFY(bomb.size() < 4096);
        QVERIFY(!decodeContent("gzip", bomb, 1 << 16));
        QCOMPARE(decodeContent("gzip", bomb, 1 << 20).value().size(), 1 << 20);
    }
};

QTEST_GUILESS_MAIN(ResponseParsingTest)
#include "tst_ResponseParsing.moc"
