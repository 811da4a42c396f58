#include "../devicewindow/PlayingDevices.h"
#include "../support/PageScript.h"
#include "WebTestSupport.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/DocumentsRoot.h"
#include "web/ControlledContextMenuWebView.h"
#include "web/JavaScriptPanelPrompter.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/NativeWebViewDelegate.h"
#include "web/TrustedPageOrigins.h"
#include "web/Web2NativeMessageProcessor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>

#include <unistd.h>

namespace {

bool waitForLoad(NativeWebView& view, const std::function<void()>& load) {
    QSignalSpy finished(view.page(), &QWebEnginePage::loadFinished);
    load();
    return finished.wait(20000) && finished.first().first().toBool();
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Says no to every confirm and prompt, and notes what it was asked.
class CancellingPrompter : public JavaScriptPanelPrompter {
public:
    QStringList asked;
    void alert(QWidget*, const QString& message) override { asked << "alert:" + message; }
    bool confirm(QWidget*, const QString& message) override {
        asked << "confirm:" + message;
        return false;
    }
    std::optional<QString> prompt(QWidget*, const QString& message, const QString& text) override {
        asked << "prompt:" + message + ":" + text;
        return std::nullopt;
    }
};

class RecordingDelegate : public NativeWebViewDelegate {
public:
    QStringList events;
    void nativeWebViewDidFinishLoading(NativeWebView*, const std::optional<QString>& url) override {
        events << "finished:" + url.value_or("none");
    }
    void nativeWebViewDidFail(NativeWebView*, const Error& error) override {
        events << "failed:" + QString::number(error.code);
    }
};

const char* kReceivingPage = R"(<!doctype html><html><body><script>
window.received = [];
window.receiveNativeMessage = function (text) { window.received.push(text); };
</script></body></html>)";

}  // namespace

class NativeWebViewTest : public QObject {
    Q_OBJECT

    std::shared_ptr<QStringList> m_calls = std::make_shared<QStringList>();
    std::unique_ptr<LineCapture> m_lines;
    QTemporaryDir m_dir;
    PlayingDevices m_devices;

    // The messages the page's `receiveNativeMessage` got, as parsed objects.
    static QList<QJsonObject> received(NativeWebView& view) {
        QList<QJsonObject> messages;
        const QVariantList texts = evaluate(view.page(), "window.received").toList();
        for (const QVariant& text : texts) {
            messages << QJsonDocument::fromJson(text.toString().toUtf8()).object();
        }
        return messages;
    }

private Q_SLOTS:
    void initTestCase() {
        // The pages these tests write stand where the client keeps its own.
        TrustedPageOrigins::shared().setWebContentFolderProvider(
            [folder = m_dir.path()] { return folder; });
        Web2NativeMessageProcessor::shared().registerHandler(
            std::make_shared<RecordingHandler>("page", m_calls),
            Web2NativeMessageType::currentPage);
        QVERIFY(m_devices.setUp());
    }
    void cleanupTestCase() { PlayingDevices::tearDown(); }

    void init() {
        m_calls->clear();
        m_lines = std::make_unique<LineCapture>();
    }
    void cleanup() { m_lines.reset(); }

    void engineThatCannotStartSaysWhy_data() {
        QTest::addColumn<bool>("sandboxOff");
        QTest::addColumn<bool>("told");
        QTest::newRow("sandbox on") << false << true;
        QTest::newRow("sandbox off") << true << false;
    }
    void engineThatCannotStartSaysWhy() {
        QFETCH(bool, sandboxOff);
        QFETCH(bool, told);
        if (::geteuid() != 0) {
            QSKIP("needs the root user, for whom the web engine will not start with its sandbox");
        }
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
        environment.insert("QTWEBENGINE_CHROMIUM_FLAGS",
                           sandboxOff ? "--no-sandbox --disable-gpu" : "--disable-gpu");
        child.setProcessEnvironment(environment);
        child.start(KX_WEB_ENGINE_CHILD);
        QVERIFY(child.waitForFinished(60000));
        const QString errors = QString::fromUtf8(child.readAllStandardError());
        QCOMPARE(child.exitCode() != 0, told);
        // The line that ends the client goes to standard error, never to standard output.
        QCOMPARE(errors.contains(QStringLiteral("❌ Web 引擎未能启动，应用退出")), told);
        QVERIFY(!child.readAllStandardOutput().contains("Web 引擎未能启动"));
    }

    void pagePostsReachTheHandlerOnceInOrder() {
        NativeWebView view;
        writeFile(m_dir.filePath("posts.html"), R"(<!doctype html><script>
var h = window.webkit.messageHandlers;
function post(handler, n, asText) {
    var message = {type: "current-page", data: {n: n}};
    h[handler].postMessage(asText ? JSON.stringify(message) : message);
}
post("nativeHandler", 1, true);
post("web2native", 2, false);
post("native2web", 3, true);
window.addEventListener("load", function () {
    setTimeout(function () {
        post("native2web", 4, false);
        post("nativeHandler", 5, false);
        post("web2native", 6, true);
        h.web2native.postMessage(42);
    }, 50);
});
</script>)");
        QVERIFY(waitForLoad(view, [&] { view.loadLocalFile(m_dir.filePath("posts.html")); }));
        QTRY_COMPARE_WITH_TIMEOUT(m_calls->size(), 6, 15000);
        QStringList expected;
        for (int n = 1; n <= 6; ++n) {
            expected << QStringLiteral("page:current-page:{\"d\":{\"n\":%1}}").arg(n);
        }
        QCOMPARE(*m_calls, expected);
        QTRY_VERIFY(m_lines->logged(QStringLiteral("⚠️ 无效消息")));
    }

    void htmlTextPagesGetTheHandlersToo() {
        NativeWebView view;
        QVERIFY(waitForLoad(view, [&] {
            view.loadHTMLString(R"(<script>window.webkit.messageHandlers.web2native.postMessage(
                {type: "current-page", data: "html"});</script>)");
        }));
        QTRY_COMPARE_WITH_TIMEOUT(*m_calls, QStringList{"page:current-page:{\"d\":\"html\"}"},
                                  15000);
    }

    void messagesReachThePageUnchanged() {
        NativeWebView view;
        QVERIFY(waitForLoad(view, [&] { view.loadHTMLString(kReceivingPage); }));
        Native2WebMessageSender& sender = Native2WebMessageSender::shared();
        const QString awkward = QStringLiteral("it's \\ \n \r");
        int completed = 0;
        sender.send(Native2WebMessage{"response-mac-get", std::nullopt, QJsonObject{{"s", awkward}},
                                      std::nullopt},
                    [&](const Result<QVariant>& result) { completed += result.ok() ? 1 : 100; });
        sender.sendResponse("get", QStringLiteral("r1"), true, [&](const Result<QVariant>& result) {
            completed += result.ok() ? 1 : 100;
        });
        sender.sendTokenAuthFail(QStringLiteral("-5"));
        QTRY_COMPARE_WITH_TIMEOUT(received(view).size(), 3, 15000);
        QCOMPARE(completed, 2);
        const QList<QJsonObject> messages = received(view);
        QCOMPARE(messages.at(0).value("data").toObject().value("s").toString(), awkward);
        QCOMPARE(
            messages.at(1),
            (QJsonObject{{"type", "get"}, {"macrequestid", "r1"}, {"data", "{\"data\":true}"}}));
        QCOMPARE(messages.at(2),
                 (QJsonObject{{"type", "response-token-auth-fail"}, {"data", QJsonArray{-5}}}));
    }

    void pageWithoutReceiverOnlyWarns() {
        NativeWebView view;
        QStringList console;
        connect(view.page(), &NativeWebPage::consoleMessage, this,
                [&](int, const QString& message) { console << message; });
        QVERIFY(waitForLoad(view, [&] { view.loadHTMLString("<p>no receiver</p>"); }));
        std::optional<bool> ok;
        Native2WebMessageSender::shared().send(
            Native2WebMessage{"restart-device", std::nullopt, QJsonObject{}, std::nullopt},
            [&](const Result<QVariant>& result) { ok = result.ok(); });
        QTRY_VERIFY_WITH_TIMEOUT(ok.has_value(), 15000);
        QVERIFY(*ok);
        QTRY_VERIFY(console.contains("[NativeBridge] receiveNativeMessage is unavailable"));
    }

    void laterViewsShareHandlersAndTheSenderFallsBack() {
        const size_t settingHandlers = [] {
            NativeWebView first;
            return Web2NativeMessageProcessor::shared().handlers("set").size();
        }();
        QCOMPARE(settingHandlers, size_t(1));

        auto first = std::make_unique<NativeWebView>();
        QVERIFY(waitForLoad(*first, [&] { first->loadHTMLString(kReceivingPage); }));
        auto second = std::make_unique<NativeWebView>();
        QCOMPARE(Web2NativeMessageProcessor::shared().handlers("set").size(), size_t(1));
        QCOMPARE(Native2WebMessageSender::shared().webView(), second->webView());
        second.reset();
        QCOMPARE(Native2WebMessageSender::shared().webView(), first->webView());
        Native2WebMessageSender::shared().sendBatchControlStatus(3);
        QTRY_COMPARE_WITH_TIMEOUT(received(*first).size(), 1, 15000);
        QCOMPARE(received(*first).first().value("data").toObject(), (QJsonObject{{"status", 3}}));

        first.reset();
        std::optional<Error> error;
        Native2WebMessageSender::shared().send(
            Native2WebMessage{"x", std::nullopt, QJsonObject{}, std::nullopt},
            [&](const Result<QVariant>& result) { error = result.error(); });
        QCOMPARE(error, (Error{"Native2Web", -1, "WebView 未设置"}));
    }

    void settingsRoundTripFromThePage() {
        NativeWebView view;
        QVERIFY(waitForLoad(view, [&] { view.loadHTMLString(kReceivingPage); }));
        evaluate(view.page(), R"(
            var h = window.webkit.messageHandlers.web2native;
            h.postMessage({type: "set", data: {key: "toolbar-order", value: "b,a"}});
            h.postMessage({type: "mac-get", macrequestid: "m", data: {key: "toolbar-order", requestid: "q1"}});
        )");
        QTRY_COMPARE_WITH_TIMEOUT(received(view).size(), 1, 15000);
        QCOMPARE(received(view).first(),
                 (QJsonObject{{"type", "response-mac-get"},
                              {"data", QJsonObject{{"requestid", "q1"}, {"value", "b,a"}}}}));
    }

    void protectedValuesAndTheLogFromThePage() {
        NativeWebView view;
        QVERIFY(waitForLoad(view, [&] { view.loadHTMLString(kReceivingPage); }));
        evaluate(view.page(), R"(
            var h = window.webkit.messageHandlers.web2native;
            h.postMessage({type: "encrypt", macrequestid: "e1", data: {data: ["s", 7, {"k": [true]}]}});
            h.postMessage({type: "write-local-log", data: {msg: "页面日志 1"}});
        )");
        QTRY_COMPARE_WITH_TIMEOUT(received(view).size(), 1, 15000);
        const QJsonObject encrypted = received(view).first();
        QCOMPARE(encrypted.value("macrequestid"), "e1");
        const QJsonArray tokens = encrypted.value("data").toArray();
        QCOMPARE(tokens.size(), 3);
        evaluate(view.page(),
                 "window.webkit.messageHandlers.web2native.postMessage("
                 "{type: 'decrypt', macrequestid: 'd1', data: {data: " +
                     QString::fromUtf8(QJsonDocument(tokens).toJson()) + "}});");
        QTRY_COMPARE_WITH_TIMEOUT(received(view).size(), 2, 15000);
        QCOMPARE(received(view).last().value("data"),
                 (QJsonArray{"s", 7, QJsonObject{{"k", QJsonArray{true}}}}));

        QFile log(
            QDir(documentsRootPath())
                .filePath("videoLogs/web-" + QDate::currentDate().toString("yyyy-MM-dd") + ".log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().endsWith("Z 页面日志 1\n"));
    }

    void fragmentRouteIsKeptAndTheRestDropped() {
        NativeWebView view;
        RecordingDelegate delegate;
        view.setDelegate(&delegate);
        writeFile(m_dir.filePath("app.html"), "<p>app</p>");
        QVERIFY(waitForLoad(
            view, [&] { view.loadLocalFileBody(m_dir.filePath("app.html") + "#/route#x"); }));
        QCOMPARE(view.page()->url().fragment(), QStringLiteral("/route"));
        QCOMPARE(view.page()->url().toLocalFile(), m_dir.filePath("app.html"));
        QCOMPARE(view.readableFolder(), QDir(m_dir.path()).canonicalPath());
        QCOMPARE(delegate.events, QStringList{"finished:" + view.page()->url().toString()});

        view.loadLocalFileBody(m_dir.filePath("missing.html") + "#/route");
        QVERIFY(m_lines->logged("❌ 文件不存在: " + m_dir.filePath("missing.html")));
    }

    void newWindowRequestsStayInTheView() {
        NativeWebView view;
        writeFile(m_dir.filePath("first.html"),
                  "<a id='a' href='second.html' target='_blank'>next</a>");
        writeFile(m_dir.filePath("second.html"), "<p>second</p>");
        QVERIFY(waitForLoad(view, [&] { view.loadLocalFile(m_dir.filePath("first.html")); }));
        QVERIFY(waitForLoad(
            view, [&] { evaluate(view.page(), "document.getElementById('a').click()"); }));
        QCOMPARE(view.page()->url().fileName(), QStringLiteral("second.html"));
    }

    void cancelledPanelsAnswerNothing() {
        NativeWebView view;
        auto prompter = std::make_shared<CancellingPrompter>();
        view.setPanelPrompter(prompter);
        QVERIFY(waitForLoad(view, [&] { view.loadHTMLString("<p>panels</p>"); }));
        QCOMPARE(evaluate(view.page(), "String(confirm('sure?'))").toString(),
                 QStringLiteral("false"));
        QCOMPARE(evaluate(view.page(), "String(prompt('name?', 'dflt'))").toString(),
                 QStringLiteral("null"));
        evaluate(view.page(), "alert('hi')");
        QCOMPARE(prompter->asked, (QStringList{"confirm:sure?", "prompt:name?:dflt", "alert:hi"}));
    }

    void pageIsPaintedInTheView() {
        NativeWebView view;
        view.resize(320, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(waitForLoad(view, [&] {
            view.loadHTMLString("<body style='margin:0;background:#0a0'><h1>页面</h1></body>");
        }));
        QImage picture;
        QTRY_VERIFY_WITH_TIMEOUT(
            (picture = view.grab().toImage()).pixelColor(300, 190) == QColor(0, 0xaa, 0), 10000);
        const QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            QVERIFY(picture.save(QDir(folder).filePath("native_web_view.png")));
        }
    }

    // An open device window watches the whole application's input, the web engine's own objects
    // included; a view that has the keyboard still goes without a fault.
    void viewWithTheKeyboardGoesWhileADeviceWindowIsOpen_data() {
        QTest::addColumn<bool>("inWindow");
        QTest::newRow("view of its own deleted") << false;
        QTest::newRow("view deleted from its window") << true;
    }
    void viewWithTheKeyboardGoesWhileADeviceWindowIsOpen() {
        QFETCH(bool, inWindow);
        QVERIFY(PlayingDevices::openActive(601));
        QWidget window;
        auto view = std::make_unique<NativeWebView>();
        QWidget* shown = view.get();
        if (inWindow) {
            (new QVBoxLayout(&window))->addWidget(view.get());
            shown = &window;
        }
        shown->resize(320, 200);
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QVERIFY(waitForLoad(*view, [&] { view->loadHTMLString("<input autofocus>"); }));
        shown->activateWindow();
        view->webView()->setFocus();
        QTRY_VERIFY(view->webView()->focusProxy()->hasFocus());

        view.reset();
        PlayingDevices::closeAll();
    }

    void debugURLLoadsIntoTheBoundView() {
        NativeWebView view;
        writeFile(m_dir.filePath("target.html"), "<p>target</p>");
        QVERIFY(waitForLoad(view, [&] { view.loadHTMLString("<p>start</p>"); }));
        const QString url = QUrl::fromLocalFile(m_dir.filePath("target.html")).toString();
        QVERIFY(waitForLoad(view, [&] {
            evaluate(view.page(),
                     "window.webkit.messageHandlers.nativeHandler.postMessage("
                     "{type: 'debug-change-url', data: {url: ' " +
                         url + " '}})");
        }));
        QCOMPARE(view.page()->url().fileName(), QStringLiteral("target.html"));
    }

    void filePageCannotReadOutsideItsFolder() {
        NativeWebView view;
        QDir(m_dir.path()).mkpath("site");
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(m_dir.filePath("site/inside.png")));
        QVERIFY(image.save(m_dir.filePath("outside.png")));
        writeFile(m_dir.filePath("site/index.html"), R"(<script>
window.results = {};
function probe(name, src) {
    var img = new Image();
    img.onload = function () { window.results[name] = "read"; };
    img.onerror = function () { window.results[name] = "refused"; };
    img.src = src;
}
probe("inside", "inside.png");
probe("outside", "../outside.png");
</script>)");
        QVERIFY(waitForLoad(view, [&] { view.loadLocalFile(m_dir.filePath("site/index.html")); }));
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(view.page(), "window.results.inside + ',' + window.results.outside")
                .toString(),
            QStringLiteral("read,refused"), 15000);
    }

    void inspectorFollowsBundleAndSettings_data() {
        QTest::addColumn<bool>("bundle");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("inspectable");
        QTest::newRow("bundle yes, no settings") << true << QStringList{} << true;
        QTest::newRow("close true")
            << true << QStringList{"close-webview-debug-mode=true"} << false;
        QTest::newRow("close maybe, debug off")
            << true << QStringList{"close-webview-debug-mode=maybe", "webview-debug-mode=off"}
            << false;
        QTest::newRow("bundle off") << false << QStringList{} << false;
    }
    void inspectorFollowsBundleAndSettings() {
        QFETCH(bool, bundle);
        QFETCH(QStringList, settings);
        QFETCH(bool, inspectable);
        SettingsManager store(m_dir.filePath("inspector.ini"));
        for (const char* key : {"close-webview-debug-mode", "webview-debug-mode"}) {
            store.set(std::nullopt, QString::fromLatin1(key));
        }
        for (const QString& entry : settings) {
            store.set(entry.section('=', 1), entry.section('=', 0, 0));
        }
        NativeWebView view(bundle, &store);
        QCOMPARE(view.isInspectable(), inspectable);
        QCOMPARE(view.webView()->isMenuAllowed(), inspectable);
        QCOMPARE(view.openInspector(), inspectable);
        QVERIFY(m_lines->logged(inspectable ? "✅ 已启用 Web Inspector" : "✅ 已关闭 Web Inspector"));

        // A right click on the page opens a menu only while developer tools are allowed.
        QVERIFY(waitForLoad(view,
                            [&] { view.loadHTMLString("<body style='height:100%'>menu</body>"); }));
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QWidget* surface = view.webView()->focusProxy();
        QVERIFY(surface != nullptr);
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(20, 20));
        QTest::mouseRelease(surface, Qt::RightButton, {}, QPoint(20, 20));
        if (inspectable) {
            QTRY_VERIFY_WITH_TIMEOUT(view.webView()->findChild<QMenu*>() != nullptr, 10000);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(view.webView()->refusedMenuCount(), 1, 10000);
        }
        for (QMenu* menu : view.webView()->findChildren<QMenu*>()) {
            menu->close();
        }

        // The page's debug switch takes effect without a new view.
        store.set(inspectable ? "true" : "false", "close-webview-debug-mode");
        NotificationCenter::defaultCenter().post(NotificationNames::webViewDebugModeDidChange);
        QCOMPARE(view.isInspectable(), !inspectable && bundle);
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    NativeWebViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_NativeWebView.moc"
