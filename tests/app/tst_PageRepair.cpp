// The page's repair of its web package and its popups, against the real web content manager.

#include "RecordingSender.h"
#include "TestHttpServer.h"
#include "WebContentTestSupport.h"

#include "app/ManagedWebContentService.h"
#include "foundation/NotificationCenter.h"
#include "foundation/NotificationNames.h"
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
};

QTEST_MAIN(PageRepairTest)
#include "tst_PageRepair.moc"
