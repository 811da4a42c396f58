// The page's repair of its web package and its popups, against the real web content manager, and
// its update request through the real version request.

#include "RecordingSender.h"
#include "TestHttpServer.h"
#include "WebContentTestSupport.h"

#include "api/KXNetworkManager.h"
#include "app/ManagedWebContentService.h"
#include "app/ManualUpdateCheckRequester.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "update/ClientUpdateCheck.h"
#include "web/ClientUpdateRequester.h"
#include "web/PopupWindowOpener.h"
#include "web/WindowMessageHandler.h"

#include <QTest>

using namespace webtest;

namespace {

class RecordingPopups : public PopupWindowOpener {
public:
    QStringList paths;
    void openOrFocusPopup(const QString&, const PopupWindowRequest& request) override {
        paths << request.localFilePath;
    }
};

}  // namespace

class PageRepairTest : public QObject {
    Q_OBJECT

    RecordingSender m_sender;
    NotificationCenter m_center;

    WindowMessageHandler::Environment environment(const QString& folder) {
        WindowMessageHandler::Environment environment;
        environment.sender = &m_sender;
        environment.notifications = &m_center;
        environment.chooseDocumentsFolder = [folder] { return std::optional<QString>(folder); };
        return environment;
    }

private Q_SLOTS:
    void init() { m_sender.clear(); }

    void failedDownloadFallsBackToTheBuiltInPackage_data() {
        QTest::addColumn<bool>("withBuiltIn");
        QTest::addColumn<bool>("withAddress");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("reloads");
        QTest::newRow("download fails, built-in used")
            << true << true << R"({"message":"已使用内置 Web 包","title":"修复成功"})" << 1;
        QTest::newRow("no address, no built-in")
            << false << false << R"({"message":"未找到可用 Web 包","title":"修复失败"})" << 0;
    }
    void failedDownloadFallsBackToTheBuiltInPackage() {
        QFETCH(bool, withBuiltIn);
        QFETCH(bool, withAddress);
        QFETCH(QString, box);
        QFETCH(int, reloads);
        Sandbox sandbox;
        WebContentManager::Options options = sandbox.options();
        if (!withBuiltIn) {
            options.builtInPackageFolder = sandbox.scratch.filePath("no-bundle/pc");
        }
        TestHttpServer server;
        server.setReplies({TestHttpServer::Reply{404, "missing", {}, 0}});
        WebContentManager manager(options);
        ForceInfo release;
        release.pcClientWebVersion = "0.9.1";
        release.pcClientWebDownload =
            QStringLiteral("http://127.0.0.1:%1/web.zip").arg(server.port());
        ManagedWebContentService service(manager, [&]() -> std::optional<ForceInfo> {
            return withAddress ? std::optional<ForceInfo>(release) : std::nullopt;
        });
        WebContentService::install(&service);
        const QString granted = sandbox.scratch.filePath("home with blank/Documents");
        QVERIFY(QDir().mkpath(granted));
        int reloaded = 0;
        QObject owner;
        m_center.addObserver(&owner, NotificationNames::webContentDidRepair,
                             [&reloaded](const Notification&) { ++reloaded; });

        WindowMessageHandler handler(environment(granted));
        handler.handle(Web2NativeMessage{"repair-web-content", std::nullopt, QJsonObject{}});
        QTRY_COMPARE_WITH_TIMEOUT(m_sender.messages().size(), 1, 20000);
        QCOMPARE(m_sender.dataTexts("response-show-message-box"), QStringList{box});
        QCOMPARE(reloaded, reloads);
        QCOMPARE(server.requests().size(), withAddress ? 3 : 0);
        if (withBuiltIn) {
            // Popups now load from the granted folder, by plain path.
            RecordingPopups popups;
            PopupWindowOpener::install(&popups);
            handler.handle(Web2NativeMessage{"request-open-new-window", std::nullopt,
                                             QJsonObject{{"urlSuffix", "#/tools?x=1"}}});
            PopupWindowOpener::install(nullptr);
            QCOMPARE(popups.paths,
                     QStringList{granted + "/KXVWebContent/0.6.87/pc/index.html#/tools?x=1"});
        }
        WebContentService::install(nullptr);
    }

    void updateRequestsEndInTheManualCheck_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("alert");
        QTest::newRow("up to date") << "start-update" << 200
                                    << R"({"code":0,"msg":"ok","data":{"pcClientVersion":"0.0.1"}})"
                                    << "暂无更新|当前已经是最新版本";
        QTest::newRow("request fails") << "download-update" << 400 << "{}"
                                       << "检查更新失败|";
    }
    void updateRequestsEndInTheManualCheck() {
        QFETCH(QString, type);
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(QString, alert);
        TestHttpServer server;
        server.setReplies({TestHttpServer::Reply{status, body.toUtf8(), {}, 0}});
        KXNetworkManager::Configuration api;
        api.apiBaseUrl = server.baseUrl();
        api.retryDelay = std::chrono::milliseconds(1);
        KXNetworkManager network(api, [] { return UserCredentials{"u1", "t1"}; });
        QStringList alerts;
        const ClientUpdateCheck check(
            ClientUpdateCheck::Seams{"1.0.0", [](const UpdateInfo&) {},
                                     [&alerts](const QString& title, const QString& message) {
                                         alerts << title + "|" + message;
                                     }});
        ManualUpdateCheckRequester requester(network, check);
        ClientUpdateRequester::install(&requester);
        WindowMessageHandler handler(environment(QString()));
        handler.handle(Web2NativeMessage{type, std::nullopt, QJsonObject{}});
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), 1, 15000);
        QVERIFY2(alerts.first().startsWith(alert), qPrintable(alerts.first()));
        QVERIFY(server.requests().first().target.contains("/rest/sys/version-json"));
    }
};

QTEST_MAIN(PageRepairTest)
#include "tst_PageRepair.moc"
