#include "AppTestSupport.h"
#include "ShellTestSupport.h"
#include "WebContentTestSupport.h"

#include "../support/TestHttpServer.h"
#include "app/LaunchViewController.h"
#include "app/ManagedPopupWindowOpener.h"
#include "app/WebContentManager.h"
#include "app/WebErrorPage.h"
#include "app/WebViewController.h"
#include "app/WebViewPopupManager.h"
#include "devicewindow/ConnectionSpinner.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"

#include <QApplication>
#include <QJsonArray>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

using namespace webtest;

namespace {

RecordingWebView* recorded(NativeWebView* view) {
    return static_cast<RecordingWebView*>(view);
}

QVariantMap pageMessage(const QString& type, const QVariant& data) {
    return {{QStringLiteral("type"), type}, {QStringLiteral("data"), data}};
}

void saveGrab(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS");
    if (!folder.isEmpty() && QDir().mkpath(folder)) {
        widget->grab().save(QDir(folder).filePath(name));
    }
}

}  // namespace

class ShellWebViewsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QDir(webRoot()).removeRecursively(); }

    void errorPageTextsAreEscapedOnce_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("tag and ampersand") << "<b>&"
                                           << "&lt;b&gt;&amp;";
        QTest::newRow("entity stays literal") << "&amp;"
                                              << "&amp;amp;";
        QTest::newRow("quotes") << "\"x\" 'y'"
                                << "&quot;x&quot; &#39;y&#39;";
    }
    void errorPageTextsAreEscapedOnce() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        const QString page = WebErrorPage::html(text, text, text);
        QCOMPARE(page.count(shown), 3);
        QVERIFY(!page.contains("<b>&"));
        QVERIFY(page.contains(R"({ type: 'repair-web-content', data: {} })"));
    }

    void manualDownloadAddress_data() {
        QTest::addColumn<QString>("lastDownload");
        QTest::addColumn<QString>("recordDownload");
        QTest::addColumn<QString>("address");
        QTest::newRow("nothing known") << ""
                                       << ""
                                       << "请联系工作人员获取 Web 包";
        QTest::newRow("the record's address") << ""
                                              << "https://r/pc.zip"
                                              << "https://r/pc.zip";
        QTest::newRow("the last download first") << "https://d/a b.zip"
                                                 << "https://r/pc.zip"
                                                 << "https://d/a%20b.zip";
    }
    void manualDownloadAddress() {
        QFETCH(QString, lastDownload);
        QFETCH(QString, recordDownload);
        QFETCH(QString, address);
        std::optional<ForceInfo> record;
        if (!recordDownload.isEmpty()) {
            record = ForceInfo{};
            record->pcClientWebDownload = recordDownload;
        }
        const std::optional<QUrl> last =
            lastDownload.isEmpty() ? std::nullopt : std::optional<QUrl>(QUrl(lastDownload));
        QCOMPARE(WebErrorPage::manualDownloadAddress(last, record), address);
    }

    void mainPageLoadsEntryOrErrorPageAndReloadsAfterRepair() {
        Sandbox sandbox;
        WebContentManager manager({QStringLiteral("/nonexistent/pc"), QString(),
                                   sandbox.temporaryFolder(), std::chrono::milliseconds(1),
                                   sandbox.settings.get()});
        WebViewController controller([](QWidget* parent) { return new RecordingWebView(parent); },
                                     &manager);
        RecordingWebView* view = recorded(controller.webView());
        QVERIFY(controller.loadingIndicator()->isAnimating());

        QTRY_COMPARE(view->loadedHTML.size(), 1);
        QVERIFY(view->loadedHTML.first().contains("未找到 Web 入口文件 web/index.html"));
        QVERIFY(view->loadedHTML.first().contains("请联系工作人员获取 Web 包"));

        // The saved version names its folder sanitised.
        installVersion(QStringLiteral("1.0_beta"));
        sandbox.settings->set(QStringLiteral("1.0 beta"), SettingKey::webVersion);
        NotificationCenter::defaultCenter().post(NotificationNames::webContentDidRepair);
        QTRY_COMPARE(view->loadedFiles.size(), 1);
        QVERIFY(view->loadedFiles.first().endsWith("/1.0_beta/pc/index.html"));
        QVERIFY(QFileInfo::exists(view->loadedFiles.first()));
    }

    // A documents folder the client cannot write ends the attempt before anything is fetched,
    // and the error page gives that folder and the system's error as the reason.
    void errorPageGivesTheUnwritableDocumentsFolder_data() {
        QTest::addColumn<bool>("fileInItsPlace");
        QTest::addColumn<int>("systemError");
        QTest::newRow("read-only folder") << false << EACCES;
        QTest::newRow("a file in the folder's place") << true << ENOTDIR;
    }
    void errorPageGivesTheUnwritableDocumentsFolder() {
        QFETCH(bool, fileInItsPlace);
        QFETCH(int, systemError);
        Sandbox sandbox;
        TestHttpServer server;
        server.setReplies({{404, "missing"}});
        const QString documents = documentsRootPath();
        const auto restore = qScopeGuard([documents] {
            QFile::remove(documents);
            QDir().mkpath(documents);
            ::chmod(QFile::encodeName(documents).constData(), 0700);
        });
        if (fileInItsPlace) {
            QVERIFY(QDir(documents).removeRecursively());
            QVERIFY(writeFile(documents, "not a folder"));
        } else {
            QCOMPARE(::chmod(QFile::encodeName(documents).constData(), 0500), 0);
            if (::access(QFile::encodeName(documents).constData(), W_OK) == 0) {
                QSKIP("the root user writes into a read-only folder; the other row stands in");
            }
        }
        WebContentManager manager(sandbox.options());
        std::optional<Error> failure;
        DownloadCompletion completion;
        completion.onFailed = [&failure](const Error& error) { failure = error; };
        manager.startWebPackageDownload(server.baseUrl().toString() + QStringLiteral("/pc.zip"),
                                        QStringLiteral("9.9.9"), completion);
        QTRY_VERIFY(failure);
        QVERIFY(server.requests().isEmpty());

        WebViewController controller([](QWidget* parent) { return new RecordingWebView(parent); },
                                     &manager);
        RecordingWebView* view = recorded(controller.webView());
        QTRY_COMPARE(view->loadedHTML.size(), 1);
        const QString reason =
            QString::fromStdString(std::generic_category().message(systemError)) +
            QStringLiteral(": ") + webRoot();
        QVERIFY2(view->loadedHTML.first().contains(QStringLiteral("失败原因：") + reason + "</p>"),
                 qPrintable(view->loadedHTML.first()));
        QVERIFY(view->loadedHTML.first().contains("Web 资源没有下载成功"));
    }

    void popupMessagesReachTheMainPage_data() {
        QTest::addColumn<QVariantMap>("userInfo");
        QTest::addColumn<bool>("relayed");
        QTest::addColumn<QJsonObject>("data");
        QTest::newRow("object data")
            << pageMessage("refresh", QVariantMap{{"a", 1}}) << true << QJsonObject{{"a", 1}};
        QTest::newRow("list data becomes an empty object")
            << pageMessage("refresh", QVariantList{1, 2}) << true << QJsonObject();
        QTest::newRow("no type") << QVariantMap{{"data", QVariantMap()}} << false << QJsonObject();
        QTest::newRow("empty") << QVariantMap() << false << QJsonObject();
    }
    void popupMessagesReachTheMainPage() {
        QFETCH(QVariantMap, userInfo);
        QFETCH(bool, relayed);
        QFETCH(QJsonObject, data);
        Sandbox sandbox;
        WebContentManager manager({QStringLiteral("/nonexistent/pc"), QString(),
                                   sandbox.temporaryFolder(), std::chrono::milliseconds(1),
                                   sandbox.settings.get()});
        WebViewController controller([](QWidget* parent) { return new RecordingWebView(parent); },
                                     &manager);

        NotificationCenter::defaultCenter().post(NotificationNames::childToMainMessage, nullptr,
                                                 userInfo);

        RecordingWebView* view = recorded(controller.webView());
        QCOMPARE(view->sent.size(), relayed ? 1 : 0);
        if (relayed) {
            QCOMPARE(view->sent.first().first, QStringLiteral("refresh"));
            QCOMPARE(view->sent.first().second, data);
        }
    }

    void popupsOnePerRouteAndRelayToEach() {
        WebViewPopupManager& popups = WebViewPopupManager::shared();
        popups.setWebViewFactory([](QWidget* parent) { return new RecordingWebView(parent); });
        WebViewPopupConfig config;
        config.title = QStringLiteral("first");
        config.htmlString = QStringLiteral("<p>popup</p>");
        config.url = QStringLiteral("http://127.0.0.1:9/page");
        int closed = 0;

        WebViewPopupController* first =
            popups.openPopup("#/a", "/x#/a", config, [&closed] { ++closed; });
        WebViewPopupConfig other = config;
        other.title = QStringLiteral("second");
        other.width = 300;
        QCOMPARE(popups.openPopup("#/a", "/y#/a", other), first);
        QCOMPARE(first->window()->windowTitle(), QStringLiteral("first"));
        QCOMPARE(first->window()->width(), 800);
        // The url wins over the HTML text.
        QCOMPARE(recorded(first->webView())->loadedURLs, QStringList{"http://127.0.0.1:9/page"});
        QCOMPARE(recorded(first->webView())->loadedHTML.size(), 0);
        WebViewPopupController* second = popups.openPopup("#/b", "/x#/b", config);
        QTRY_VERIFY(first->window()->isVisible() && second->window()->isVisible());

        NotificationCenter::defaultCenter().post(NotificationNames::mainToChildMessage, nullptr,
                                                 pageMessage("hello", QVariantMap{{"n", 1}}));
        QCOMPARE(recorded(first->webView())->sent.size(), 1);
        QCOMPARE(recorded(second->webView())->sent.size(), 1);
        saveGrab(first->window(), QStringLiteral("popup-window.png"));

        QPointer<WebViewPopupController> closing = first;
        first->window()->close();
        QCOMPARE(closed, 1);
        QCOMPARE(popups.popup("#/a"), nullptr);
        QTRY_VERIFY(closing.isNull());
        WebViewPopupController* reopened = popups.openPopup("#/a", "/x#/a", config);
        QVERIFY(reopened != nullptr);
        QCOMPARE(popups.popupCount(), 2);
        popups.closeAll();
        QCOMPARE(popups.popupCount(), 0);
    }

    void popupOpenerOneWindowPerRoute_data() {
        QTest::addColumn<QStringList>("routes");
        QTest::addColumn<int>("windows");
        QTest::newRow("one route asked twice") << QStringList{"/a", "/a"} << 1;
        QTest::newRow("two routes, one again") << QStringList{"/a", "/b", "/a"} << 2;
    }

    void popupOpenerOneWindowPerRoute() {
        QFETCH(QStringList, routes);
        QFETCH(int, windows);
        WebViewPopupManager& popups = WebViewPopupManager::shared();
        popups.setWebViewFactory([](QWidget* parent) { return new RecordingWebView(parent); });
        ManagedPopupWindowOpener opener(popups);
        for (const QString& route : routes) {
            PopupWindowRequest request;
            request.title = QStringLiteral("弹窗 ") + route;
            request.width = 420;
            request.height = 310;
            request.localFilePath = QStringLiteral("/web/index.html#") + route;
            opener.openOrFocusPopup(route, request);
        }
        QCOMPARE(popups.popupCount(), windows);
        WebViewPopupController* first = popups.popup(routes.first());
        QVERIFY(first != nullptr);
        QCOMPARE(first->window()->windowTitle(), QStringLiteral("弹窗 ") + routes.first());
        QCOMPARE(first->window()->size(), QSize(420, 310));
        popups.closeAll();
    }

    void launchScreenWhenEverythingFails() {
        Sandbox sandbox;
        TestHttpServer server;
        server.setReplies({{404, "missing"}});
        WebContentManager manager({QStringLiteral("/nonexistent/pc"), QString(),
                                   sandbox.temporaryFolder(), std::chrono::milliseconds(1),
                                   sandbox.settings.get()});
        LaunchViewController screen(&manager);
        int completions = 0;
        screen.completionHandler = [&completions] { ++completions; };
        screen.urlString = server.baseUrl().toString() + QStringLiteral("/pc.zip");
        screen.webVersion = QStringLiteral("9.9.9");
        screen.show();
        saveGrab(&screen, QStringLiteral("launch-screen.png"));
        QCOMPARE(screen.titleText(), QStringLiteral("Corvane"));

        QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 10000);
        QTRY_VERIFY2(screen.statusText().startsWith("Web 资源下载失败："),
                     qPrintable(screen.statusText()));
        QVERIFY(screen.statusText().contains("404"));
        QCOMPARE(screen.progressValue(), 0.0);
        QVERIFY(!screen.isSpinning());
        QVERIFY(!screen.didFinishLoading());
        // A late report after the failure does not complete the screen again.
        screen.finishLoading(false);
        QTest::qWait(700);  // past the 500 ms completion delay
        QCOMPARE(completions, 1);
        saveGrab(&screen, QStringLiteral("launch-screen-failed.png"));
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    ShellWebViewsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ShellWebViews.moc"
