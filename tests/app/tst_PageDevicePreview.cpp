#include "../support/BuiltInPageScripts.h"
#include "../support/PageScript.h"
#include "../support/ProcessSettingsRestorer.h"
#include "../support/TestHttpServer.h"
#include "AppTestSupport.h"

#include "app/LocalImageServer.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/ProcessSignals.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/DocumentsRoot.h"
#include "sdk/KXClient.h"
#include "sdk/KXDeviceVideoView.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/PreviewImageStore.h"
#include "web/TrustedPageOrigins.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
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

// The built-in page's files, copied into `folder`.
void copyBuiltInPage(const QString& folder) {
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    const QDir source(QStringLiteral(KX_BUILT_IN_PAGE_DIR));
    for (const QString& name : source.entryList(QDir::Files)) {
        QVERIFY(QFile::copy(source.filePath(name), QDir(folder).filePath(name)));
    }
}

bool loadInto(NativeWebView& view, const std::function<void()>& load) {
    QSignalSpy loaded(view.page(), &QWebEnginePage::loadFinished);
    load();
    return loaded.wait(20000);
}

// A frame of a foreign site that its sandbox makes an opaque origin ("null"): it reads the
// server's status and a screenshot by fetch, by XMLHttpRequest and through a canvas, then
// reads the probe, which lets anyone read, and tells its page what each read came to.
const QString kSandboxedFramePage = QStringLiteral(R"(<!doctype html><title>foreign</title>
<script>window.results = '';
window.addEventListener('message', function (event) { window.results = event.data; });</script>
<iframe sandbox="allow-scripts" srcdoc="<script>
const server = 'http://localhost:%1';
function read(url) { return fetch(url).then(r => r.text()).then(() => 'read', () => 'refused'); }
function request(url) {
  return new Promise(done => { const x = new XMLHttpRequest(); x.open('GET', url);
    x.onload = () => done('read'); x.onerror = () => done('refused'); x.send(); });
}
function pixels(url) {
  return new Promise(done => { const image = new Image(); image.crossOrigin = 'anonymous';
    image.onload = () => { const canvas = document.createElement('canvas');
      const context = canvas.getContext('2d'); context.drawImage(image, 0, 0);
      try { context.getImageData(0, 0, 1, 1); done('read'); } catch (e) { done('refused'); } };
    image.onerror = () => done('refused'); image.src = url; });
}
Promise.all([read(server + '/status'), read(server + '/screenshot?deviceId=77'),
             request(server + '/status'), pixels(server + '/screenshot?deviceId=77'),
             read('%2')]).then(results => parent.postMessage(results.join(' '), '*'));
</script>"></iframe>)");

}  // namespace

// The whole road: the page registers and opens a device, its window streams, the page asks for
// a preview and fetches the picture from the loopback server; the client's own pages show every
// preview, and a foreign site's frame reads nothing from the server.
class PageDevicePreviewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<LocalImageServer> m_server;
    // Lets anyone read it, and notes the Origin each page sends.
    TestHttpServer m_probe;
    ProcessSettingsRestorer m_processSettings;

    QString probeURL() const {
        return QStringLiteral("http://127.0.0.1:%1/probe").arg(m_probe.port());
    }

private Q_SLOTS:
    void initTestCase() {
        // As the client does, for the loopback server started here (which may also raise the
        // descriptor limit); both are the process's own again once it stops.
        m_processSettings.saveSignal(SIGPIPE);
        m_processSettings.saveLimit(RLIMIT_NOFILE);
        ProcessSignals::ignoreBrokenPipe();
        CloudPhoneCommunicator& communicator = CloudPhoneCommunicator::shared();
        communicator.setupWithLogPath(m_dir.filePath(QStringLiteral("videoLogs")));
        communicator.configClient(ClientInitOptions{}, std::make_shared<Identity>());
        // The page reads the port from the shared settings.
        m_server = std::make_unique<LocalImageServer>(SettingsManager::shared());
        m_server->start();
        QVERIFY(m_server->isRunning());
        PreviewImageStore::install(m_server.get());
        m_probe.setReplies({{200, "probed", {{"Access-Control-Allow-Origin", "*"}}, 0}});
    }

    void cleanupTestCase() {
        PreviewImageStore::install(nullptr);
        m_server->stop();
        CloudPhoneCommunicator::shared().destory();
        SimulatedCloud::shared()->device(QStringLiteral("12"))->drain();
        KXClient::sdkCleanup();
        m_processSettings.restore();
    }

    void pageOpensADeviceAndFetchesItsPreview() {
        CloudPhoneCommunicator& communicator = CloudPhoneCommunicator::shared();
        NativeWebView view;
        QVERIFY(loadInto(view, [&view] {
            view.loadHTMLString(QStringLiteral(R"(<!doctype html><script>
window.received = [];
window.receiveNativeMessage = function (text) { window.received.push(JSON.parse(text)); };
function post(type, data) { window.webkit.messageHandlers.web2native.postMessage({type: type, data: data}); }
</script>)"));
        }));

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

        const HttpExchange reply = curl(
            {QStringLiteral("http://localhost:%1/screenshot?deviceId=12").arg(m_server->port())});
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(reply.headers.value("content-type"), QByteArray("image/webp"));
        QCOMPARE(reply.body.mid(8, 4), QByteArray("WEBP"));

        WindowManager::shared().closeAllWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void ownPagesShowEveryPreview_data() {
        QTest::addColumn<QString>("folder");
        // Where the client keeps it: beside the executable.
        QTest::newRow("built-in page")
            << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pc"));
        QTest::newRow("web-content page")
            << documentsRootPath() + QStringLiteral("/KXVWebContent/0.6.87/pc");
    }

    void ownPagesShowEveryPreview() {
        QFETCH(QString, folder);
        copyBuiltInPage(folder);
        TrustedPageOrigins::shared().setWebContentFolderProvider(
            [] { return documentsRootPath() + QStringLiteral("/KXVWebContent"); });
        NativeWebView view;
        // Shown, so that it draws frames.
        view.resize(800, 600);
        view.show();
        QVERIFY(
            loadInto(view, [&] { view.loadLocalFile(folder + QStringLiteral("/index.html")); }));
        QVERIFY(view.showsTrustedPage());
        evaluate(view.page(), whenPreviewsShown(QStringLiteral("window.previewsShown = true")));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view.page(), "window.previewsShown === true"),
                                  QVariant(true), 20000);
        QCOMPARE(evaluate(view.page(), "document.querySelectorAll('.preview img').length"),
                 QVariant(4));

        // What a file page sends as its origin: not "null", and not one the server names.
        const qsizetype probed = m_probe.requests().size();
        evaluate(view.page(), "fetch('" + probeURL() + "')");
        QTRY_COMPARE_WITH_TIMEOUT(m_probe.requests().size(), probed + 1, 10000);
        QCOMPARE(m_probe.requests().last().headers.value("origin"), QByteArray("file://"));
    }

    void sandboxedFrameOfAForeignPageReadsNothing() {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QVERIFY(picture.save(&png, "PNG"));
        m_server->storeImage(png.data(), QStringLiteral("77"));
        TestHttpServer foreign;
        foreign.setReplies({{200,
                             kSandboxedFramePage.arg(m_server->port()).arg(probeURL()).toUtf8(),
                             {{"Content-Type", "text/html; charset=utf-8"}},
                             0}});
        NativeWebView view;
        QVERIFY(loadInto(view, [&] {
            view.loadURL(QStringLiteral("http://127.0.0.1:%1/foreign.html").arg(foreign.port()));
        }));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view.page(), "window.results"),
                                  QVariant("refused refused refused refused read"), 15000);
        QCOMPARE(m_probe.requests().last().headers.value("origin"), QByteArray("null"));
    }
};

QTEST_MAIN(PageDevicePreviewTest)
#include "tst_PageDevicePreview.moc"
