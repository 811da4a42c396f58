#include "WebTestSupport.h"

#include "web/DebugChangeURLMessageHandler.h"
#include "web/MessageBoxPanelPrompter.h"
#include "web/MessageHandlerSlot.h"
#include "web/Native2WebMessageSender.h"
#include "web/Web2NativeMessageProcessor.h"
#include "web/WebInspectorPolicy.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <QThread>

#include <cmath>
#include <limits>
#include <thread>

// The bridge's logic without a web engine: dispatch, the page script, the sender's refusals,
// the developer-tools rule and the file-access rule.
class PageBridgeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LineCapture> m_lines;

private Q_SLOTS:
    void init() { m_lines = std::make_unique<LineCapture>(); }
    void cleanup() { m_lines.reset(); }

    void unusableBodiesAreLoggedAndDropped_data() {
        QTest::addColumn<QString>("body");
        QTest::newRow("array") << "[1,2]";
        QTest::newRow("bare number") << "42";
        QTest::newRow("not JSON") << "{type:set}";
        QTest::newRow("type not text") << "{\"type\":5}";
        QTest::newRow("empty") << "";
    }
    void unusableBodiesAreLoggedAndDropped() {
        QFETCH(QString, body);
        Web2NativeMessageProcessor processor;
        auto calls = std::make_shared<QStringList>();
        processor.registerHandler(std::make_shared<RecordingHandler>("h", calls),
                                  Web2NativeMessageType::set);
        processor.handleBody(body);
        QVERIFY(calls->isEmpty());
        QVERIFY2(m_lines->logged(QStringLiteral("❌ 消息解析失败: ") + body),
                 qPrintable(m_lines->log().join('\n')));
    }

    void dictionaryWithoutTypeIsLogged() {
        Web2NativeMessageProcessor processor;
        processor.handleDictionary(QJsonObject{{"data", 1}});
        QVERIFY(m_lines->logged(QStringLiteral("❌ 消息解析失败: [\"data\": 1]")));
    }

    void dispatchFindsHandlersByExactType_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("line");
        QTest::newRow("two registrations, in order")
            << "set" << QStringList{"first:set:{\"d\":{\"k\":1}}", "second:set:{\"d\":{\"k\":1}}"}
            << "type:set data: [\"k\": 1]";
        QTest::newRow("other letter case")
            << "Set" << QStringList{} << "⚠️ 未找到类型 Set- [\"k\": 1] 的处理器";
        QTest::newRow("type without handlers")
            << "page-loaded" << QStringList{}
            << "⚠️ 未找到类型 page-loaded- [\"k\": 1] 的处理器";
    }
    void dispatchFindsHandlersByExactType() {
        QFETCH(QString, type);
        QFETCH(QStringList, calls);
        QFETCH(QString, line);
        Web2NativeMessageProcessor processor;
        auto recorded = std::make_shared<QStringList>();
        processor.registerHandler(std::make_shared<RecordingHandler>("first", recorded),
                                  Web2NativeMessageType::set);
        processor.registerHandler(std::make_shared<RecordingHandler>("second", recorded),
                                  Web2NativeMessageType::set);
        processor.handleBody("{\"type\":\"" + type + "\",\"data\":{\"k\":1}}");
        QCOMPARE(*recorded, calls);
        QVERIFY2(m_lines->logged(line), qPrintable(m_lines->log().join('\n')));
    }

    void credentialsAreMaskedInTheDispatchLine() {
        Web2NativeMessageProcessor processor;
        processor.registerHandler(
            std::make_shared<RecordingHandler>("h", std::make_shared<QStringList>()),
            Web2NativeMessageType::set);
        processor.handleBody(
            "{\"type\":\"set\",\"data\":{\"key\":\"kxsdk-login-info\","
            "\"value\":\"{\\\"uid\\\":\\\"u9\\\",\\\"token\\\":\\\"TOKEN-9\\\",\\\"sign\\\":"
            "\\\"SIGN-9\\\"}\"}}");
        const QString log = m_lines->log().join('\n');
        QVERIFY2(m_lines->loggedStartingWith(QStringLiteral("type:set data: [\"key\": ")),
                 qPrintable(log));
        QVERIFY2(log.contains("\"token\":\"***\",\"sign\":\"***\""), qPrintable(log));
        QVERIFY(!log.contains("TOKEN-9") && !log.contains("SIGN-9"));
    }

    void tableRegistersOnceWithOneInstancePerFamily() {
        Web2NativeMessageProcessor processor;
        int made = 0;
        auto calls = std::make_shared<QStringList>();
        const std::vector<MessageHandlerSlot> table{
            {[&] {
                 ++made;
                 return std::make_shared<RecordingHandler>("a", calls);
             },
             {Web2NativeMessageType::get, Web2NativeMessageType::macGet}},
            {[&] {
                 ++made;
                 return std::make_shared<RecordingHandler>("b", calls);
             },
             {Web2NativeMessageType::get}},
        };
        QVERIFY(processor.registerTableOnce(table));
        QVERIFY(!processor.registerTableOnce(table));
        QCOMPARE(made, 2);
        QCOMPARE(processor.handlers("get").size(), size_t(2));
        QCOMPARE(processor.handlers("get").front(), processor.handlers("mac-get").front());
        processor.handleBody("{\"type\":\"get\"}");
        QCOMPARE(*calls, (QStringList{"a:get:{\"d\":{}}", "b:get:{\"d\":{}}"}));
    }

    void pageScriptIsTheEightLines() {
        const Native2WebMessage message{"response-mac-get", std::nullopt,
                                        QJsonObject{{"s", "it's \\ \n \r"}}, std::nullopt};
        const QString expected = QStringLiteral(
            "(function() {\n"
            "    if (typeof window.receiveNativeMessage === 'function') {\n"
            "        window.receiveNativeMessage('{\"data\":{\"s\":\"it\\'s \\\\\\\\ \\\\n "
            "\\\\r\"},"
            "\"type\":\"response-mac-get\"}');\n"
            "        return null;\n"
            "    }\n"
            "    console.warn('[NativeBridge] receiveNativeMessage is unavailable');\n"
            "    return null;\n"
            "})();");
        QCOMPARE(Native2WebMessageSender::pageScript(message).value_or("none"), expected);
    }

    void escapingForASingleQuotedString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("quote") << "a'b"
                               << "a\\'b";
        QTest::newRow("backslash before quote") << "\\'"
                                                << "\\\\\\'";
        QTest::newRow("line breaks") << "a\nb\r\nc"
                                     << "a\\nb\\r\\nc";
        QTest::newRow("escaped quote stays escaped") << "\\\\'"
                                                     << "\\\\\\\\\\'";
        QTest::newRow("plain") << "中文 \"x\""
                               << "中文 \"x\"";
    }
    void escapingForASingleQuotedString() {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(Native2WebMessageSender::escapeForSingleQuotedString(text), escaped);
    }

    void sendWithoutWebViewFails() {
        Native2WebMessageSender sender;
        std::optional<Error> error;
        sender.send(Native2WebMessage{"x", std::nullopt, QJsonObject{}, std::nullopt},
                    [&](const Result<QVariant>& result) { error = result.error(); });
        QCOMPARE(error, (Error{"Native2Web", -1, "WebView 未设置"}));
        QVERIFY(m_lines->printed(QStringLiteral("❌ WebView 未设置")));
    }

    void responseRefusals_data() {
        QTest::addColumn<QVariant>("requestId");
        QTest::addColumn<double>("data");
        QTest::addColumn<int>("code");  // 0: the completion never runs
        QTest::newRow("no request id") << QVariant() << 1.0 << 0;
        QTest::newRow("NaN") << QVariant("r") << std::numeric_limits<double>::quiet_NaN() << -3;
        QTest::newRow("infinity") << QVariant("r") << std::numeric_limits<double>::infinity() << -3;
        QTest::newRow("no web view") << QVariant("r") << 1.0 << -1;
    }
    void responseRefusals() {
        QFETCH(QVariant, requestId);
        QFETCH(double, data);
        QFETCH(int, code);
        Native2WebMessageSender sender;
        int calls = 0;
        int received = 0;
        sender.sendResponse(
            "get",
            requestId.isValid() ? std::optional<QString>(requestId.toString()) : std::nullopt,
            QJsonValue(data), [&](const Result<QVariant>& result) {
                ++calls;
                received = result.ok() ? 1 : result.error().code;
            });
        QCOMPARE(calls, code == 0 ? 0 : 1);
        QCOMPARE(received, code);
        QCOMPARE(m_lines->printed(QStringLiteral("❌ 响应 data 转换 JSON 字符串失败")), code == -3);
    }

    void completionRunsOnTheGuiThreadWhenSentFromAWorker() {
        Native2WebMessageSender sender;
        bool onGuiThread = false;
        bool done = false;
        std::thread worker([&] {
            sender.send(Native2WebMessage{"x", std::nullopt, QJsonObject{}, std::nullopt},
                        [&](const Result<QVariant>&) {
                            onGuiThread = QThread::currentThread() == qApp->thread();
                            done = true;
                        });
        });
        worker.join();
        QTRY_VERIFY(done);
        QVERIFY(onGuiThread);
    }

    void tokenFailureNeedsADecimalId_data() {
        QTest::addColumn<QString>("deviceId");
        QTest::addColumn<bool>("sent");
        QTest::newRow("negative") << "-5" << true;
        QTest::newRow("plus sign") << "+12" << true;
        QTest::newRow("largest") << "9223372036854775807" << true;
        QTest::newRow("letter") << "12a" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("space") << " 12" << false;
        QTest::newRow("too large") << "9223372036854775808" << false;
        QTest::newRow("sign only") << "-" << false;
    }
    void tokenFailureNeedsADecimalId() {
        QFETCH(QString, deviceId);
        QFETCH(bool, sent);
        Native2WebMessageSender sender;
        sender.sendTokenAuthFail(deviceId);
        // Without a web view a message that is sent ends at "no web view".
        QCOMPARE(m_lines->printed(QStringLiteral("❌ WebView 未设置")), sent);
        QCOMPARE(m_lines->logged(QStringLiteral("❌ SDK token 鉴权失败消息的 deviceId 无效: ") +
                                 deviceId),
                 !sent);
    }

    void senderIsTheDeviceWindowsPageLinkOnceInstalled() {
        {
            Native2WebMessageSender sender;
            sender.installAsDeviceWindowPageLink();
            QCOMPARE(DeviceWindowPageLink::installed(), &sender);
            DeviceWindowPageLink::installed()->sendBatchControlStatus(2);
            QVERIFY(m_lines->printed(QStringLiteral("❌ WebView 未设置")));
        }
        QCOMPARE(DeviceWindowPageLink::installed(), nullptr);
    }

    void inspectorRule_data() {
        QTest::addColumn<QVariant>("bundle");
        QTest::addColumn<QVariant>("closeDebug");
        QTest::addColumn<QVariant>("debug");
        QTest::addColumn<bool>("inspectable");
        QTest::newRow("bundle boolean") << QVariant(true) << QVariant() << QVariant("on") << false;
        QTest::newRow("close false wins")
            << QVariant(" enabled\n") << QVariant("0") << QVariant("no") << true;
        QTest::newRow("debug without value")
            << QVariant("YeS") << QVariant() << QVariant("?") << true;
        QTest::newRow("bundle false")
            << QVariant("off") << QVariant("false") << QVariant() << false;
        QTest::newRow("bundle missing") << QVariant() << QVariant("false") << QVariant() << false;
    }
    void inspectorRule() {
        QFETCH(QVariant, bundle);
        QFETCH(QVariant, closeDebug);
        QFETCH(QVariant, debug);
        QFETCH(bool, inspectable);
        QVariantMap dictionary;
        if (bundle.isValid()) {
            dictionary.insert(WebInspectorPolicy::kBundleKey, bundle);
        }
        const auto text = [](const QVariant& value) {
            return value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt;
        };
        QCOMPARE(WebInspectorPolicy::evaluate(WebInspectorPolicy::isEnabledInBundle(dictionary),
                                              text(closeDebug), text(debug)),
                 inspectable);
    }

    void messageBoxPanelsAnswerAsTheUserChose_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("answer");
        QTest::newRow("confirm, ok") << "confirm"
                                     << "确定"
                                     << "true";
        QTest::newRow("confirm, cancel") << "confirm"
                                         << "取消"
                                         << "false";
        QTest::newRow("prompt edited, ok") << "prompt"
                                           << "确定"
                                           << "edited";
        QTest::newRow("prompt edited, cancel") << "prompt"
                                               << "取消"
                                               << "none";
    }
    void messageBoxPanelsAnswerAsTheUserChose() {
        QFETCH(QString, panel);
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QString initialText;
        QTimer::singleShot(0, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal != nullptr);
            if (auto* field = modal->findChild<QLineEdit*>()) {
                initialText = field->text();
                QCOMPARE(field->size(), QSize(200, 24));
                field->setText("edited");
            }
            for (QAbstractButton* candidate : modal->findChildren<QAbstractButton*>()) {
                if (candidate->text() == button) {
                    candidate->click();
                }
            }
        });
        MessageBoxPanelPrompter prompter;
        QString got;
        if (panel == "confirm") {
            got = prompter.confirm(nullptr, "sure?") ? "true" : "false";
        } else {
            got = prompter.prompt(nullptr, "name?", "dflt").value_or("none");
            QCOMPARE(initialText, QStringLiteral("dflt"));
        }
        QCOMPARE(got, answer);
    }

    void debugURLNeedsAText_data() {
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("loads");
        QTest::newRow("blank") << "{\"url\":\"  \"}" << false;
        QTest::newRow("not text") << "{\"url\":1}" << false;
        QTest::newRow("not an object") << "[\"http://x\"]" << false;
        QTest::newRow("padded") << "{\"url\":\" http://127.0.0.1/a \\n\"}" << true;
    }
    void debugURLNeedsAText() {
        QFETCH(QString, data);
        QFETCH(bool, loads);
        int asked = 0;
        DebugChangeURLMessageHandler handler([&]() -> NativeWebView* {
            ++asked;
            return nullptr;
        });
        const QJsonValue value =
            QJsonDocument::fromJson(("[" + data + "]").toUtf8()).array().first();
        handler.handle(Web2NativeMessage{"debug-change-url", std::nullopt, value});
        QCoreApplication::processEvents();
        QCOMPARE(asked, loads ? 1 : 0);
        QCOMPARE(m_lines->logged(QStringLiteral("❌ debug-change-url 缺少有效的 data.url")), !loads);
    }
};

QTEST_MAIN(PageBridgeTest)
#include "tst_PageBridge.moc"
