// Page → native → page round trips through the web bridge (the page's message handlers, the
// message processor, a handler and the native-to-page sender) from two pages: a file page in the
// built-in page's folder, as the client shows its own pages, and HTML text (a "data:" page). Both
// against two references in the same run: a bare web-channel object that parses the message and
// answers with a plain script call, as the bridge answers, and the least a web-channel round trip
// costs, a method whose return value the channel hands back to a script callback.
//
// Also the pair of console lines each native message costs ("📤 发送消息到 Web: " and "✅
// 消息发送成功:
// ", masked as every line is), against the script the message is sent as, for a small notice and a
// typical reply.
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/storage/DocumentsRoot.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/PageBridgeScript.h"
#include "web/TrustedPageOrigins.h"
#include "web/Web2NativeMessageProcessor.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <ctime>
#include <map>
#include <string>

namespace {

constexpr int kRoundTrips = 2000;
// The fastest run of each side: the one least disturbed by other work on the machine.
double g_referenceSeconds = 0;
double g_minimalSeconds = 0;
double g_filePageSeconds = 0;
double g_dataPageSeconds = 0;

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

void keepFastest(double& fastest, double seconds) {
    fastest = fastest > 0 ? std::min(fastest, seconds) : seconds;
}

// A page of its own with one channel object under the name "echo"; `script` runs after the web
// channel's client and defines window.startBench.
class ChannelPage {
public:
    ChannelPage(QObject* echo, const QString& script)
        : m_page(new QWebEnginePage(&m_profile, &m_view)) {
        m_view.setPage(m_page);
        m_channel.registerObject(QStringLiteral("echo"), echo);
        m_page->setWebChannel(&m_channel);
        const QString html = QStringLiteral("<!doctype html><script>") +
                             PageBridgeScript::webChannelClientSource() + script +
                             QStringLiteral("</script>");
        m_loaded = waitFor(m_page, [&] { m_page->setHtml(html); });
        if (m_loaded) {
            settle(300);
        }
    }

    QWebEnginePage* page() const { return m_page; }
    bool isLoaded() const { return m_loaded; }

    // Times every iteration of `state`, keeping the fastest run in `fastest`.
    void run(benchmark::State& state, std::function<void()>& done, double& fastest) {
        for (auto _ : state) {
            const double seconds =
                timeRun([&] { m_page->runJavaScript(QStringLiteral("startBench()")); }, done);
            if (seconds < 0) {
                state.SkipWithError("the round trips did not finish");
                break;
            }
            keepFastest(fastest, seconds);
            report(state, seconds);
        }
    }

private:
    QWebEngineProfile m_profile;
    QWebEngineView m_view;
    QWebEnginePage* m_page;
    QWebChannel m_channel;
    bool m_loaded = false;
};

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
    BareEcho echo;
    ChannelPage page(&echo, QStringLiteral(R"(
var n = 0, echo = null;
function post() {
    echo.post(JSON.stringify({type: "current-page", macrequestid: String(n), data: {n: n}}));
}
window.bareReceive = function (text) { n++; post(); };
new QWebChannel(qt.webChannelTransport, function (channel) { echo = channel.objects.echo; });
window.startBench = function () { n = 0; post(); };
)"));
    if (!page.isLoaded()) {
        state.SkipWithError("the reference page did not load");
        return;
    }
    echo.page = page.page();
    page.run(state, echo.done, g_referenceSeconds);
}

// The least a round trip over the web channel costs: the number goes to native code and comes
// back as the method's return value, which the channel hands to the script's callback.
class MinimalEcho : public QObject {
    Q_OBJECT
public:
    std::function<void()> done;

    Q_INVOKABLE int post(int n) {
        if (n >= kRoundTrips && done) {
            done();
        }
        return n;
    }
};

void BM_MinimalChannelReference(benchmark::State& state) {
    MinimalEcho echo;
    ChannelPage page(&echo, QStringLiteral(R"(
var echo = null;
function post(n) {
    echo.post(n, function (r) { if (r < %1) post(r + 1); });
}
new QWebChannel(qt.webChannelTransport, function (channel) { echo = channel.objects.echo; });
window.startBench = function () { post(0); };
)")
                                .arg(kRoundTrips));
    if (!page.isLoaded()) {
        state.SkipWithError("the minimal reference page did not load");
        return;
    }
    page.run(state, echo.done, g_minimalSeconds);
}

// The bridge's round trips on the page `load` shows, keeping the fastest run in `fastest`.
void bridgeRoundTrips(benchmark::State& state, const std::function<void(NativeWebView&)>& load,
                      double& fastest) {
    static const auto handler = [] {
        auto echo = std::make_shared<EchoHandler>();
        Web2NativeMessageProcessor::shared().registerHandler(echo,
                                                             Web2NativeMessageType::currentPage);
        return echo;
    }();
    NativeWebView view;
    if (!waitFor(view.page(), [&] { load(view); })) {
        state.SkipWithError("the bridge page did not load");
        return;
    }
    settle(300);
    for (auto _ : state) {
        const double seconds = timeRun(
            [&] { view.page()->runJavaScript(QStringLiteral("startBench()")); }, handler->done);
        if (seconds < 0) {
            state.SkipWithError("the round trips did not finish");
            break;
        }
        report(state, seconds);
        keepFastest(fastest, seconds);
        if (g_referenceSeconds > 0) {
            state.counters["throughput_vs_bare"] = g_referenceSeconds / fastest;
        }
        if (g_minimalSeconds > 0) {
            state.counters["throughput_vs_minimal"] = g_minimalSeconds / fastest;
        }
    }
}

// The built-in page's folder beside the executable, which the client trusts as its own.
QString builtInPageFile() {
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("pc/bench-page-bridge.html"));
}

void BM_PageBridgeFilePage(benchmark::State& state) {
    const QString file = builtInPageFile();
    QDir().mkpath(QFileInfo(file).path());
    QFile page(file);
    if (!page.open(QIODevice::WriteOnly) || page.write(kBridgePage) < 0) {
        state.SkipWithError("the bridge page could not be written");
        return;
    }
    page.close();
    bridgeRoundTrips(
        state, [&file](NativeWebView& view) { view.loadLocalFile(file); }, g_filePageSeconds);
    QFile::remove(file);
}

void BM_PageBridgeDataPage(benchmark::State& state) {
    bridgeRoundTrips(
        state, [](NativeWebView& view) { view.loadHTMLString(QString::fromUtf8(kBridgePage)); },
        g_dataPageSeconds);
}

// The sent script's cost and the line pair's, by message: the least processor time per iteration
// over the repetitions.
std::map<std::string, double> g_lineNanoseconds;

// A notice such as the page gets whenever input sync changes.
Native2WebMessage smallMessage() {
    return Native2WebMessage{QStringLiteral("batch-control-status"), std::nullopt,
                             QJsonObject{{QStringLiteral("status"), 1}}, std::nullopt};
}

// A reply as `sendResponse` makes it: the JSON text of {"data": …}, here eight devices.
Native2WebMessage typicalMessage() {
    QJsonArray devices;
    for (int i = 0; i < 8; ++i) {
        devices.append(QJsonObject{
            {QStringLiteral("deviceId"), 7100 + i},
            {QStringLiteral("deviceName"), QStringLiteral("云手机-%1").arg(i + 1)},
            {QStringLiteral("status"), 1},
            {QStringLiteral("expireTime"), QStringLiteral("2026-03-01 12:00:00")},
            {QStringLiteral("group"), QStringLiteral("默认分组")},
            {QStringLiteral("screenshot"),
             QStringLiteral("http://localhost:8080/screenshot?deviceId=%1").arg(7100 + i)},
            {QStringLiteral("rotation"), 0},
            {QStringLiteral("inputSync"), false}});
    }
    const QJsonObject reply{
        {QStringLiteral("data"), QJsonObject{{QStringLiteral("list"), devices},
                                             {QStringLiteral("total"), devices.size()}}}};
    return Native2WebMessage{QStringLiteral("request-device-list"), QStringLiteral("req-7"),
                             QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)),
                             std::nullopt};
}

Native2WebMessage lineMessage(benchmark::State& state) {
    return state.range(0) == 0 ? smallMessage() : typicalMessage();
}

// The calling thread's processor time: the lines cost what they cost, whatever else the machine
// runs meanwhile.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void keepFastestIteration(benchmark::State& state, const std::string& name, double seconds) {
    const double nanoseconds = seconds * 1e9 / static_cast<double>(state.iterations());
    auto [entry, inserted] = g_lineNanoseconds.emplace(name, nanoseconds);
    if (!inserted) {
        entry->second = std::min(entry->second, nanoseconds);
    }
}

void BM_SentScript(benchmark::State& state) {
    const Native2WebMessage message = lineMessage(state);
    const double start = threadSeconds();
    for (auto _ : state) {
        std::optional<QString> script = Native2WebMessageSender::pageScript(message);
        benchmark::DoNotOptimize(script);
    }
    keepFastestIteration(state, "script" + std::to_string(state.range(0)), threadSeconds() - start);
}

// Both lines as `send` writes them, through the console (to a sink that drops them).
void BM_OutboundLinePair(benchmark::State& state) {
    const Native2WebMessage message = lineMessage(state);
    const QString script = Native2WebMessageSender::pageScript(message).value_or(QString());
    ConsoleOutput::setSinkForTesting([](const QString&) {});
    const double start = threadSeconds();
    for (auto _ : state) {
        ConsoleOutput::printLines(Native2WebMessageSender::sentLine(message, script));
        ConsoleFormat::print(Native2WebMessageSender::deliveredLine(message));
    }
    keepFastestIteration(state, "lines" + std::to_string(state.range(0)), threadSeconds() - start);
    ConsoleOutput::setSinkForTesting({});
}

// "outbound line pair, small message: 0.62x the sent script's own cost".
void printLineRatios() {
    for (const auto& [kind, name] : {std::pair{0, "small message"}, {1, "typical message"}}) {
        const auto script = g_lineNanoseconds.find("script" + std::to_string(kind));
        const auto lines = g_lineNanoseconds.find("lines" + std::to_string(kind));
        if (script != g_lineNanoseconds.end() && lines != g_lineNanoseconds.end()) {
            ConsoleOutput::print(
                QStringLiteral("outbound line pair, %1: %2 ns, %3x the sent script's own cost "
                               "(%4 ns)")
                    .arg(QLatin1String(name))
                    .arg(lines->second, 0, 'f', 0)
                    .arg(lines->second / script->second, 0, 'f', 2)
                    .arg(script->second, 0, 'f', 0));
        }
    }
}

// "<page>: 0.70x the bare channel's throughput, 0.41x the minimal round trip's".
void printRatios(const QString& page, double seconds) {
    if (seconds <= 0 || g_referenceSeconds <= 0 || g_minimalSeconds <= 0) {
        return;
    }
    ConsoleOutput::print(
        QStringLiteral("%1: %2x the bare channel's throughput, %3x the minimal round trip's")
            .arg(page)
            .arg(g_referenceSeconds / seconds, 0, 'f', 2)
            .arg(g_minimalSeconds / seconds, 0, 'f', 2));
}

}  // namespace

BENCHMARK(BM_SentScript)->Arg(0)->Arg(1)->Repetitions(5);
BENCHMARK(BM_OutboundLinePair)->Arg(0)->Arg(1)->Repetitions(5);
BENCHMARK(BM_MinimalChannelReference)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareChannelReference)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageBridgeFilePage)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageBridgeDataPage)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

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
    // As the client has it: pages of the web-content folder under the documents root are its own
    // too, so a file page's trust is weighed against both folders.
    TrustedPageOrigins::shared().setWebContentFolderProvider(
        [] { return QDir(documentsRootPath()).filePath(QStringLiteral("KXVWebContent")); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    printRatios(QStringLiteral("file page in the built-in folder"), g_filePageSeconds);
    printRatios(QStringLiteral("data: page"), g_dataPageSeconds);
    printLineRatios();
    benchmark::Shutdown();
    return 0;
}

#include "bench_PageBridge.moc"
