#include "../support/ContainmentRows.h"
#include "../support/PageScript.h"
#include "../support/TestHttpServer.h"
#include "WebTestSupport.h"

#include "foundation/settings/SettingsManager.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/PageTrust.h"
#include "web/TrustedPageOrigins.h"
#include "web/Web2NativeMessageProcessor.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A page of another site: it notes whether it found the bridge and, if so, asks for the token.
const QByteArray kForeignPage = R"(<!doctype html><title>foreign</title><script>
window.received = [];
window.receiveNativeMessage = function (text) { window.received.push(text); };
window.foundBridge = Boolean(window.webkit && window.webkit.messageHandlers);
if (window.foundBridge) {
    window.webkit.messageHandlers.nativeHandler.postMessage(JSON.stringify(
        {type: "get", data: {key: "account-user_token", requestid: "foreign"}}));
}
</script>)";

// The client's own page, speaking through the built-in page's bridge.
const QByteArray kOwnPage = R"(<!doctype html><script src="bridge.js"></script><script>
window.answers = [];
window.ask = function (key) {
    nativeBridge.getSetting(key).then(function (value) { window.answers.push(value); });
};
</script>)";

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TestHttpServer::Reply htmlReply(const QByteArray& body) {
    return {200, body, {{"Content-Type", "text/html; charset=utf-8"}}, 0};
}

bool waitForUrl(NativeWebView& view, const QString& prefix, const std::function<void()>& go) {
    QSignalSpy finished(view.page(), &QWebEnginePage::loadFinished);
    go();
    return QTest::qWaitFor(
        [&] { return !finished.isEmpty() && view.page()->url().toString().startsWith(prefix); },
        20000);
}

}  // namespace

// Only the client's own pages hold the page bridge; navigation itself stays free.
class TrustedPagesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_content;
    QString m_ownPage;
    std::unique_ptr<LineCapture> m_lines;

    static QString foreignUrl(const TestHttpServer& server) {
        return QStringLiteral("http://127.0.0.1:%1/foreign.html").arg(server.port());
    }

    void loadOwnPage(NativeWebView& view) {
        QSignalSpy finished(view.page(), &QWebEnginePage::loadFinished);
        view.loadLocalFile(m_ownPage);
        QVERIFY(finished.wait(20000));
    }

private Q_SLOTS:
    void initTestCase() {
        m_content = m_home.filePath(QStringLiteral("KXVWebContent"));
        m_ownPage = m_content + QStringLiteral("/0.1/pc/index.html");
        writeFile(m_ownPage, kOwnPage);
        QFile bridge(QStringLiteral(KX_BUILT_IN_PAGE_DIR "/bridge.js"));
        QVERIFY(bridge.open(QIODevice::ReadOnly));
        writeFile(m_content + QStringLiteral("/0.1/pc/bridge.js"), bridge.readAll());
        TrustedPageOrigins::shared().setWebContentFolderProvider(
            [content = m_content] { return content; });
        SettingsManager::shared().set(QStringLiteral("token-of-the-user"),
                                      SettingKey::accountUserToken);
    }
    void init() { m_lines = std::make_unique<LineCapture>(); }
    void cleanup() { m_lines.reset(); }

    void pages_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("file in the built-in page") << "file:///opt/app/pc/index.html" << true;
        QTest::newRow("HTML text") << "data:text/html;charset=UTF-8,%3Cp%3Ex" << true;
        QTest::newRow("blank page") << "about:blank" << false;
        QTest::newRow("loopback by name") << "http://localhost:9988/web-content/a.html" << true;
        QTest::newRow("IPv6 loopback") << "http://[::1]:9988/" << true;
        QTest::newRow("loopback, other port") << "http://127.0.0.1:9989/" << false;
        QTest::newRow("loopback over https") << "https://localhost:9988/" << false;
        QTest::newRow("API host") << "https://api.example.com/app/#/login" << true;
        QTest::newRow("API host, any case, own port") << "https://API.Example.com:443/" << true;
        QTest::newRow("API host over http") << "http://api.example.com/" << false;
        QTest::newRow("resource host given over http") << "http://res.example.com/" << false;
        QTest::newRow("foreign site") << "https://evil.example/" << false;
    }
    void pages() {
        QFETCH(QString, url);
        QFETCH(bool, trusted);
        TrustedPageOrigins origins(
            {QUrl("https://api.example.com/api"), QUrl("http://res.example.com")}, "/opt/app/pc",
            {});
        origins.setLoopbackPort(9988);
        QCOMPARE(origins.isTrustedPage(QUrl(url)), trusted);
    }

    // A file page is the client's own only inside the web-content folder, where it really leads.
    void filePages_data() { containment::addRows(); }
    void filePages() {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QTemporaryDir tree;
        QVERIFY(containment::makeTree(tree.path(), "content"));
        const QString content = tree.filePath("content");
        TrustedPageOrigins origins({}, {}, [content] { return content; });
        const QUrl page = QUrl::fromLocalFile(containment::pathIn(content, path));
        QCOMPARE(page.toLocalFile(), containment::pathIn(content, path));
        QCOMPARE(origins.isTrustedPage(page), inside);
    }

    void chosenAddresses_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("named");  // empty: nothing was trusted
        QTest::addColumn<QString>("sameSite");
        QTest::addColumn<QString>("otherSite");
        QTest::newRow("web address") << "http://127.0.0.1:7000/a?x=1"
                                     << "http://127.0.0.1:7000"
                                     << "http://127.0.0.1:7000/b"
                                     << "http://127.0.0.1:7001/a";
        QTest::newRow("file") << "file:///srv/debug/a.html"
                              << "/srv/debug"
                              << "file:///srv/debug/b.html"
                              << "file:///srv/debugger/a.html";
        QTest::newRow("blank page") << "about:blank"
                                    << ""
                                    << "about:blank"
                                    << "about:blank";
    }
    void chosenAddresses() {
        QFETCH(QString, chosen);
        QFETCH(QString, named);
        QFETCH(QString, sameSite);
        QFETCH(QString, otherSite);
        TrustedPageOrigins origins({}, {}, {});
        QCOMPARE(origins.trustChosenAddress(QUrl(chosen)).value_or(QString()), named);
        QCOMPARE(origins.isTrustedPage(QUrl(sameSite)), !named.isEmpty());
        QVERIFY(!origins.isTrustedPage(QUrl(otherSite)));
    }

    // A page's answer is kept until it navigates or the trust changes; the folder its file lay in
    // is swapped for a link leading out meanwhile, which only a new decision sees.
    void pageKeepsItsAnswerUntilItNavigatesOrTheTrustChanges_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("nothing") << "" << true;
        QTest::newRow("navigation") << "navigated" << false;
        QTest::newRow("web-content folder named anew") << "folder" << false;
        QTest::newRow("loopback port") << "port" << false;
        QTest::newRow("another page asked about") << "other" << false;
    }
    void pageKeepsItsAnswerUntilItNavigatesOrTheTrustChanges() {
        QFETCH(QString, meanwhile);
        QFETCH(bool, trusted);
        QTemporaryDir dir;
        const QString content = dir.filePath("content");
        const QUrl page = QUrl::fromLocalFile(content + "/1.0/index.html");
        writeFile(page.toLocalFile(), "x");
        writeFile(dir.filePath("outside/index.html"), "x");
        TrustedPageOrigins origins({}, {}, [content] { return content; });
        PageTrust pageTrust(origins);
        QVERIFY(pageTrust.isTrusted(page));

        QVERIFY(QDir(content + "/1.0").removeRecursively());
        QVERIFY(QFile::link(dir.filePath("outside"), content + "/1.0"));
        if (meanwhile == "navigated") {
            pageTrust.navigated();
        } else if (meanwhile == "folder") {
            origins.setWebContentFolderProvider([content] { return content + "/"; });
        } else if (meanwhile == "port") {
            origins.setLoopbackPort(9988);
        } else if (meanwhile == "other") {
            QVERIFY(!pageTrust.isTrusted(QUrl("https://evil.example/")));
        }
        QCOMPARE(pageTrust.isTrusted(page), trusted);
        QVERIFY(!origins.isTrustedPage(page));
    }

    void foreignPageGetsNoBridgeAndLeavingItBringsItBack() {
        TestHttpServer foreign;
        foreign.setReplies({htmlReply(kForeignPage)});
        NativeWebView view;
        loadOwnPage(view);
        QCOMPARE(evaluate(view.page(), "typeof window.webkit.messageHandlers.nativeHandler"),
                 QVariant("object"));

        QVERIFY(waitForUrl(view, foreignUrl(foreign), [&] {
            view.page()->runJavaScript("location.href = '" + foreignUrl(foreign) + "'");
        }));
        QCOMPARE(evaluate(view.page(), "String(window.foundBridge)"), QVariant("false"));
        QCOMPARE(evaluate(view.page(), "typeof window.webkit + ' ' + typeof window.qt"),
                 QVariant("undefined undefined"));
        const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(foreign.port());
        QVERIFY2(
            m_lines->logged("⚠️ 页面来源不受信任，未开放原生桥接: " + origin),
            qPrintable(m_lines->log().join('\n')));
        std::optional<Error> refused;
        Native2WebMessageSender::shared().sendMacGetResponse("token-of-the-user", "foreign",
                                                             u"account-user_token");
        Native2WebMessageSender::shared().send(
            Native2WebMessage{"response-mac-get", std::nullopt, QJsonObject{}, std::nullopt},
            [&](const Result<QVariant>& result) { refused = result.error(); });
        QCOMPARE(refused, (Error{"Native2Web", -4, "页面来源不受信任"}));
        view.sendNative2Web("from-main-to-child", QJsonObject{{"a", 1}});
        // The way the handlers pass posts on, tried by hand: nobody listens on this page.
        evaluate(view.page(), R"(document.dispatchEvent(new CustomEvent("kx-native-post", {detail:
            JSON.stringify(["nativeHandler", JSON.stringify({type: "get", data:
                {key: "account-user_token", requestid: "foreign"}})])}));)");
        QTest::qWait(300);  // time for a post to cross the bridge: none may arrive
        QCOMPARE(evaluate(view.page(), "window.received.length"), QVariant(0));

        // Back as the page itself goes: the engine skips, for its own back button, entries left
        // without a user's gesture.
        QVERIFY(waitForUrl(view, "file:", [&] { view.page()->runJavaScript("history.back()"); }));
        evaluate(view.page(), "ask('account-user_token')");
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view.page(), "window.answers.join()"),
                                  QVariant("token-of-the-user"), 15000);
    }

    void addressChosenByTheOwnPageKeepsTheBridge() {
        TestHttpServer chosen;
        chosen.setReplies({htmlReply(kForeignPage)});
        NativeWebView view;
        loadOwnPage(view);
        QVERIFY(waitForUrl(view, foreignUrl(chosen), [&] {
            view.page()->runJavaScript("nativeBridge.post('debug-change-url', {url: ' " +
                                       foreignUrl(chosen) + " '})");
        }));
        QCOMPARE(evaluate(view.page(), "String(window.foundBridge)"), QVariant("true"));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view.page(), "window.received.length"), QVariant(1),
                                  15000);
        QVERIFY(evaluate(view.page(), "window.received[0]")
                    .toString()
                    .contains("\"value\":\"token-of-the-user\""));
        QVERIFY(m_lines->logged(
            QStringLiteral("⚠️ debug-change-url 指定的页面来源已设为受信任: "
                           "http://127.0.0.1:%1")
                .arg(chosen.port())));
    }

    void postMadeJustBeforeLeavingCountsForItsPage() {
        TestHttpServer foreign;
        foreign.setReplies({htmlReply(kForeignPage)});
        NativeWebView view;
        loadOwnPage(view);
        QVERIFY(waitForUrl(view, foreignUrl(foreign), [&] {
            view.page()->runJavaScript(
                "nativeBridge.post('set', {key: 'toolbar-order', value: 'left-behind'});"
                "location.href = '" +
                foreignUrl(foreign) + "'");
        }));
        QTRY_COMPARE_WITH_TIMEOUT(
            SettingsManager::shared().string(QStringLiteral("toolbar-order")).value_or(""),
            QStringLiteral("left-behind"), 15000);
    }

    void windowRequestForHtmlTextStaysRefused() {
        NativeWebView view;
        loadOwnPage(view);
        view.page()->runJavaScript(
            "window.open('data:text/html,<script>window.webkit.messageHandlers.nativeHandler"
            ".postMessage(1)</script>')");
        QTRY_VERIFY_WITH_TIMEOUT(
            m_lines->logged(
                QStringLiteral("⚠️ 已拒绝在本窗口打开页面请求的地址: data:")),
            15000);
        QVERIFY(view.page()->url().isLocalFile());
    }
};

QTEST_MAIN(TrustedPagesTest)
#include "tst_TrustedPages.moc"
