// Page → native → page round trips through the web bridge (the page's message handlers, the
// message processor, a handler and the native-to-page sender) against the same round trips over
// a bare web-channel object answering with a plain script call, in the same run.
#include "foundation/logging/FileLogger.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/PageBridgeScript.h"
#include "web/Web2NativeMessageProcessor.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>

namespace {

constexpr int kRoundTrips = 2000;
// The fastest run of each side: the one least disturbed by other work on the machine.
double g_referenceSeconds = 0;

bool waitFor(QWebEnginePage* page, const std::function<void()>& load) {
    QEventLoop loop;
    bool ok = false;
    QObject::connect(page, &QWebEnginePage::loadFinished, &loop, [&](bool finished) {
        ok = finished;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    load();
    loop.exec();
    return ok;
}

void settle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs until `done` is called or a minute has passed; the seconds it took, or a negative value.
double timeRun(const std::function<void()>& start, std::function<void()>& done) {
    QEventLoop loop;
    bool finished = false;
    done = [&] {
        finished = true;
        loop.quit();
    };
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    start();
    loop.exec();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    done = {};
    return finished ? seconds : -1;
}

void report(benchmark::State& state, double seconds) {
    state.SetIterationTime(seconds);
    state.counters["round_trip_us"] = seconds * 1e6 / kRoundTrips;
}

// Answers every post with the page's own data, as a handler answering a request does.
class EchoHandler : public Web2NativeMessageHandler {
public:
    std::function<void()> done;
    void handle(const Web2NativeMessage& message) override {
        if (message.data.toObject().value(QStringLiteral("n")).toInt() >= kRoundTrips) {
            if (done) {
                done();
            }
            return;
        }
        Native2WebMessageSender::shared().sendResponse(message.type, message.macrequestid,
                                                       message.data);
    }
};

const char* kBridgePage = R"(<!doctype html><script>
var n = 0;
function post() {
    window.webkit.messageHandlers.web2native.postMessage(
        {type: "current-page", macrequestid: String(n), data: {n: n}});
}
window.receiveNativeMessage = function (text) { n++; post(); };
window.startBench = function () { n = 0; post(); };
</script>)";

// The reference: one channel object; the answer is a script call with the reply's JSON text.
class BareEcho : public QObject {
    Q_OBJECT
public:
    QWebEnginePage* page = nullptr;
    std::function<void()> done;

    Q_INVOKABLE void post(const QString& text) {
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        const QJsonObject data = message.value(QStringLiteral("data")).toObject();
        if (data.value(QStringLiteral("n")).toInt() >= kRoundTrips) {
            if (done) {
                done();
            }
            return;
        }
        const QJsonObject reply{
            {QStringLiteral("type"), message.value(QStringLiteral("type"))},
            {QStringLiteral("macrequestid"), message.value(QStringLiteral("macrequestid"))},
            {QStringLiteral("data"),
             QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("data"), data}})
                                   .toJson(QJsonDocument::Compact))}};
        const QString json = QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
        page->runJavaScript(QStringLiteral("window.bareReceive('") +
                            Native2WebMessageSender::escapeForSingleQuotedString(json) +
                            QStringLiteral("');"));
    }
};

void BM_BareChannelReference(benchmark::State& state) {
    QWebEngineProfile profile;
    QWebEngineView view;
    auto* page = new QWebEnginePage(&profile, &view);
    view.setPage(page);
    QWebChannel channel;
    BareEcho echo;
    echo.page = page;
    channel.registerObject(QStringLiteral("echo"), &echo);
    page->setWebChannel(&channel);
    const QString html = QStringLiteral("<!doctype html><script>") +
                         PageBridgeScript::webChannelClientSource() + QStringLiteral(R"(
var n = 0, echo = null;
function post() {
    echo.post(JSON.stringify({type: "current-page", macrequestid: String(n), data: {n: n}}));
}
window.bareReceive = function (text) { n++; post(); };
new QWebChannel(qt.webChannelTransport, function (channel) { echo = channel.objects.echo; });
window.startBench = function () { n = 0; post(); };
</script>)");
    if (!waitFor(page, [&] { page->setHtml(html); })) {
        state.SkipWithError("the reference page did not load");
        return;
    }
    settle(300);
    for (auto _ : state) {
        const double seconds =
            timeRun([&] { page->runJavaScript(QStringLiteral("startBench()")); }, echo.done);
        if (seconds < 0) {
            state.SkipWithError("the round trips did not finish");
            break;
        }
        g_referenceSeconds =
            g_referenceSeconds > 0 ? std::min(g_referenceSeconds, seconds) : seconds;
        report(state, seconds);
    }
}

void BM_PageBridgeRoundTrips(benchmark::State& state) {
    static const auto handler = [] {
        auto echo = std::make_shared<EchoHandler>();
        Web2NativeMessageProcessor::shared().registerHandler(echo,
                                                             Web2NativeMessageType::currentPage);
        return echo;
    }();
    NativeWebView view;
    if (!waitFor(view.page(), [&] { view.loadHTMLString(QString::fromUtf8(kBridgePage)); })) {
        state.SkipWithError("the bridge page did not load");
        return;
    }
    settle(300);
    double fastest = 0;
    for (auto _ : state) {
        const double seconds = timeRun(
            [&] { view.page()->runJavaScript(QStringLiteral("startBench()")); }, handler->done);
        if (seconds < 0) {
            state.SkipWithError("the round trips did not finish");
            break;
        }
        report(state, seconds);
        fastest = fastest > 0 ? std::min(fastest, seconds) : seconds;
        if (g_referenceSeconds > 0) {
            state.counters["throughput_vs_bare"] = g_referenceSeconds / fastest;
        }
    }
}

}  // namespace

BENCHMARK(BM_BareChannelReference)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageBridgeRoundTrips)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The bridge's lines are formatted as always; only the terminal is spared them.
    FileLogger::shared().setConsoleSink([](const QByteArray&) {});
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "bench_PageBridge.moc"
