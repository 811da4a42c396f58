#include "../support/PageScript.h"
#include "AppTestSupport.h"

#include "app/LocalImageServer.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/settings/SettingsManager.h"
#include "sdk/KXClient.h"
#include "sdk/KXDeviceVideoView.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/PreviewImageStore.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

namespace {

struct Identity : UserIdentityProviding {
    QString userID() const override { return QStringLiteral("u1"); }
    QString userToken() const override { return QStringLiteral("t1"); }
};

}  // namespace

// The whole road: the page registers and opens a device, its window streams, the page asks for
// a preview and fetches the picture from the loopback server.
class PageDevicePreviewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void pageOpensADeviceAndFetchesItsPreview() {
        CloudPhoneCommunicator& communicator = CloudPhoneCommunicator::shared();
        communicator.setupWithLogPath(m_dir.filePath(QStringLiteral("videoLogs")));
        communicator.configClient(ClientInitOptions{}, std::make_shared<Identity>());
        SettingsManager settings(m_dir.filePath(QStringLiteral("settings.ini")));
        LocalImageServer server(settings);
        server.start();
        QVERIFY(server.isRunning());
        PreviewImageStore::install(&server);

        NativeWebView view;
        QSignalSpy loaded(view.page(), &QWebEnginePage::loadFinished);
        view.loadHTMLString(QStringLiteral(R"(<!doctype html><script>
window.received = [];
window.receiveNativeMessage = function (text) { window.received.push(JSON.parse(text)); };
function post(type, data) { window.webkit.messageHandlers.web2native.postMessage({type: type, data: data}); }
</script>)"));
        QVERIFY(loaded.wait(20000));

        evaluate(view.page(), R"(post("add-cloundphone",
            {userInfo: {uid: "u1", token: "t1"}, deviceArr: [{deviceid: 12}]}))");
        QTRY_VERIFY_WITH_TIMEOUT(communicator.isDeviceAdded(QStringLiteral("12")), 10000);
        evaluate(view.page(), R"(post("cloudphone-open", {deviceId: 12, devicename: "P12"}))");
        QTRY_COMPARE_WITH_TIMEOUT(WindowManager::shared().windows().size(), 1, 10000);
        AspectRatioWindowController* window = WindowManager::shared().windows().first();
        QCOMPARE(window->deviceID(), 12);
        QTRY_VERIFY_WITH_TIMEOUT(
            !window->cloudPhoneConnectionOverlay()->isVisibleTo(window->window()), 10000);
        QTRY_VERIFY(SimulatedCloud::shared()->device(QStringLiteral("12"))->renderedFrameCount() >
                    2);
        const KXDeviceVideoView* video = window->window()->findChild<KXDeviceVideoView*>();
        QVERIFY(video);
        QTRY_VERIFY(video->paintedFrameCount() > 0);
        const QString artifacts = qEnvironmentVariable("KX_TEST_ARTIFACTS", QDir::tempPath());
        QDir().mkpath(artifacts);
        QVERIFY(window->window()->grab().save(
            QDir(artifacts).filePath(QStringLiteral("page_opened_device_12.png"))));

        evaluate(view.page(),
                 R"(post("batch-request-preview", {quality: 80, deviceArr: [{deviceId: 12}]}))");
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view.page(), "window.received.length").toInt(), 1,
                                  10000);
        const QJsonObject answer =
            QJsonObject::fromVariantMap(evaluate(view.page(), "window.received[0]").toMap());
        QCOMPARE(answer.value("type").toString(), QStringLiteral("batch-response-preview"));
        const QJsonObject data = answer.value("data").toObject();
        QCOMPARE(data.value("deviceId").toInteger(), 12);
        QVERIFY(data.contains("rotation"));

        const HttpExchange reply =
            curl({QStringLiteral("http://localhost:%1/screenshot?deviceId=12").arg(server.port())});
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(reply.headers.value("content-type"), QByteArray("image/webp"));
        QCOMPARE(reply.body.mid(8, 4), QByteArray("WEBP"));

        WindowManager::shared().closeAllWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PreviewImageStore::install(nullptr);
        server.stop();
        communicator.destory();
        SimulatedCloud::shared()->device(QStringLiteral("12"))->drain();
        KXClient::sdkCleanup();
    }
};

QTEST_MAIN(PageDevicePreviewTest)
#include "tst_PageDevicePreview.moc"
