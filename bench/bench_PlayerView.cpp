// A simulated device streams 1920 x 1080 at 60 fps into a shown player view on the offscreen
// platform; a bare widget painting the same picture at the same rate is the reference. Both
// report frames delivered and painted and the GUI thread's processor time per painted frame.

#include "sdk/KXClient.h"
#include "sdk/KXDeviceVideoView.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "sdk/simulated/TestPicture.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneStreamProtocol.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

namespace {

constexpr QSize kFrameSize(1920, 1080);
constexpr int kFps = 60;
constexpr std::chrono::seconds kDuration(10);

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs the GUI thread's event loop for the duration; gives the processor time it used.
double runEventLoop(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    const double before = threadCpuSeconds();
    loop.exec();
    return threadCpuSeconds() - before;
}

class Silent : public CloudPhoneEventProtocol, public CloudPhoneStreamProtocol {
public:
    void didLoseControl(const QString&, TerminatedReason) override {}
    void didAdd(const QString&, bool) override {}
    void didEncounterError(const QString&, qint64) override {}
    void didUpdateConnection(const QString&, qint64, const std::optional<QString>&) override {}
    void didUpdateScreenSize(const QString&, qreal, qreal) override {}
    void didUpdateOrientation(const QString&, KXRotationObc) override {}
    void didUpdateKeyboardState(const QString&, const DeviceKeyboardState&) override {}
    void didCopyText(const QString&, const QString&) override {}
    void didReceivePushMessage(const QString&, const std::optional<QString>&) override {}
    void didStreamReady(const QString&, KXRotationObc) override {}
    void didReceiveFirstVideoFrame(const QString&, KXRotationObc) override {}
    void didTimeout(const QString&, DeviceTimeoutReason) override {}
    void didUpdateNetworkStatus(const QString&, const QVariantMap&) override {}
    void stallDueToPoorNetwork(const QString&) override {}
};

// The reference: nothing but a widget drawing one picture into its whole area.
class BareImageWidget : public QWidget {
public:
    explicit BareImageWidget(QImage image) : m_image(std::move(image)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    quint64 painted = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(rect(), m_image);
        ++painted;
    }

private:
    QImage m_image;
};

double g_referenceCpuPerFrame = 0;

void report(benchmark::State& state, double delivered, double painted, double cpuSeconds) {
    state.SetIterationTime(static_cast<double>(kDuration.count()));
    state.counters["frames_delivered"] = delivered;
    state.counters["frames_painted"] = painted;
    state.counters["gui_us_per_frame"] = painted > 0 ? cpuSeconds * 1e6 / painted : 0;
}

void BM_BareWidgetReference(benchmark::State& state) {
    TestPicture picture;
    picture.deviceID = QStringLiteral("reference");
    const QImage image = picture.render(kFrameSize);
    for (auto _ : state) {
        BareImageWidget widget(image);
        widget.resize(kFrameSize);
        widget.show();
        QTimer ticker;
        quint64 requested = 0;
        QObject::connect(&ticker, &QTimer::timeout, &widget, [&] {
            ++requested;
            widget.update();
        });
        ticker.start(1000 / kFps);
        widget.painted = 0;
        const double cpu = runEventLoop(kDuration);
        g_referenceCpuPerFrame = widget.painted > 0 ? cpu / static_cast<double>(widget.painted) : 0;
        report(state, static_cast<double>(requested), static_cast<double>(widget.painted), cpu);
    }
}

void BM_PlayerViewStream(benchmark::State& state) {
    for (auto _ : state) {
        QTemporaryDir logs;
        auto cloud = std::make_shared<SimulatedCloud>();
        CloudPhoneCommunicator communicator(cloud);
        communicator.setupWithLogPath(logs.path());
        communicator.configClient(ClientInitOptions{}, nullptr);
        bool added = false;
        communicator.add(QStringLiteral("1"), DeviceOptions{QStringLiteral("10.0.0.1"), 9000},
                         QStringLiteral("u"), QStringLiteral("t"), [&](bool ok) { added = ok; });
        if (!added) {
            state.SkipWithError("the device was not registered");
            break;
        }
        QWidget container;
        container.resize(kFrameSize);
        container.show();
        DeviceRealTimeOptions options;
        options.displaySize = QSizeF(kFrameSize);
        options.fps = kFps;
        options.muted = true;
        const auto handler = std::make_shared<Silent>();
        communicator.startRealTimePlay(QStringLiteral("1"), options, handler, handler, &container);
        const CloudPhonePlayerView* player = communicator.playerView(QStringLiteral("1"));
        const KXDeviceVideoView* video = player->renderView();

        const double cpu = runEventLoop(kDuration);
        const auto delivered = static_cast<double>(video->receivedFrameCount());
        const auto painted = static_cast<double>(video->paintedFrameCount());
        report(state, delivered, painted, cpu);
        if (g_referenceCpuPerFrame > 0 && painted > 0) {
            state.counters["ratio_to_reference"] = (cpu / painted) / g_referenceCpuPerFrame;
        }
        communicator.destory();
    }
}

}  // namespace

BENCHMARK(BM_BareWidgetReference)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PlayerViewStream)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
