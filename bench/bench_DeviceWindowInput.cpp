// A tap key pressed in a device window, from the Qt key event to the touch list reaching the
// simulated device (and, further down, a key's release to its contact's lift): the Linux key layer,
// the matcher, the input engine, the touch view, input sync and the SDK's device link, on a plan of
// 40 tap items. The goal is that a press costs a negligible part of a 60 Hz frame; the key matcher
// alone on the same plan, measured in the same run, shows how much the window's path adds.

#include "RatioReporter.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowManager.h"
#include "foundation/logging/ConsoleOutput.h"
#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/KeyMatcher.h"
#include "keymapping/WindowsKeyTable.h"
#include "sdk/KXClient.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/UserIdentityProviding.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMainWindow>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace {

constexpr qint64 kDeviceID = 4242;

class Identity : public UserIdentityProviding {
public:
    QString userID() const override { return QStringLiteral("u1"); }
    QString userToken() const override { return QStringLiteral("t1"); }
};

// 40 single keys; F12, the last, walks the whole plan.
QList<KeyMappingItem> fortyTapPlan() {
    QList<KeyMappingItem> items;
    const QList<int> keys = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N',
                             'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 48,  49,
                             50,  51,  52,  53,  54,  55,  56,  57,  112, 113, 114, 123};
    for (const int key : keys) {
        KeyMappingItem item(KeyMappingType::tap, QPointF(0.1 + 0.02 * items.size(), 0.5));
        item.windowsKey = key;
        item.keyCode = WindowsKeyTable::windowsKeyName(key).macKeyCode;
        item.keyDisplayName = WindowsKeyTable::windowsKeyDisplayName(key);
        items.append(item);
    }
    return items;
}

AspectRatioWindowController* s_window = nullptr;

void keyEventToMatch(benchmark::State& state) {
    const QList<KeyMappingItem> plan = fortyTapPlan();
    QHash<quint16, CapturedKey> pressed;
    QHash<quint16, CapturedKey> deferred;
    QSet<quint16> consumed;
    KeyMatcher matcher{plan, {pressed, deferred, consumed}};
    const KeyEventRecord event{KeyEventRecord::Type::keyDown, 111, QString(), 0, false};
    for (auto _ : state) {
        KeyMappingKeyDownResult result = matcher.keyDown(event);
        benchmark::DoNotOptimize(result);
    }
}

// The device keeps only its newest touch lists, so they are counted and cleared in batches
// small enough to be kept whole.
constexpr qint64 kPressesPerCount = SimulatedDevice::kKeptRecords / 3 / 2;

void qtKeyEventToDeviceTouches(benchmark::State& state) {
    const auto device = SimulatedCloud::shared()->device(QString::number(kDeviceID));
    DeviceTextInput* input = s_window ? s_window->input().deviceTextInput() : nullptr;
    if (!device || !input) {
        state.SkipWithError("no playing device window");
        return;
    }
    device->drain();
    device->clearRecords();
    qint64 presses = 0;
    qint64 touches = 0;
    const auto countTouches = [&device, &touches] {
        device->drain();
        touches += device->touches().size();
        device->clearRecords();
    };
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F12, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F12, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &release);
        if (++presses % kPressesPerCount == 0) {
            state.PauseTiming();
            countTouches();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            state.ResumeTiming();
        }
    }
    countTouches();
    // Begin, one move and end per tap.
    if (touches != presses * 3) {
        state.SkipWithError("a press did not reach the device as one tap");
    }
}

// How long a move key's release takes to lift the device's contact, each release timed on its
// own: one without an instant, handed on at once as every release was before held keys were told
// apart (the reference), and one with an instant, which waits in case a press of the same instant
// makes it half of a repeat.
struct ReleaseLatency {
    double medianMs = 0;
    double worstMs = 0;
};
std::map<bool, ReleaseLatency> s_releaseLatency;

void keyReleaseToDeviceTouchUp(benchmark::State& state) {
    const bool mayPair = state.range(0) != 0;
    const auto device = SimulatedCloud::shared()->device(QString::number(kDeviceID));
    DeviceTextInput* input = s_window ? s_window->input().deviceTextInput() : nullptr;
    if (!device || !input) {
        state.SkipWithError("no playing device window");
        return;
    }
    KeyMappingViewModel& model = s_window->keyMappingViewModel();
    const QList<KeyMappingItem> plan = model.appliedKeyMappings;
    model.appliedKeyMappings = {KeyMappingItem(KeyMappingType::move, QPointF(0.3, 0.7))};
    const auto lifted = [&device] { return device->activeContacts().isEmpty(); };
    const auto send = [input](QEvent::Type type, quint64 instant) {
        QKeyEvent event(type, Qt::Key_W, Qt::NoModifier, QStringLiteral("w"));
        event.setTimestamp(instant);
        QCoreApplication::sendEvent(input, &event);
    };
    std::vector<double> samples;
    quint64 instant = 1000;
    for (auto _ : state) {
        send(QEvent::KeyPress, instant += 100);
        if (lifted()) {
            state.SkipWithError("the press put no contact down");
            break;
        }
        QElapsedTimer clock;
        clock.start();
        send(QEvent::KeyRelease, mayPair ? instant += 100 : 0);
        while (!lifted() && clock.elapsed() < 1000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1000);
    }
    model.appliedKeyMappings = plan;
    if (samples.empty()) {
        return;
    }
    std::sort(samples.begin(), samples.end());
    const ReleaseLatency latency{samples[samples.size() / 2], samples.back()};
    s_releaseLatency[mayPair] = latency;
    state.counters["median_ms"] = latency.medianMs;
    state.counters["worst_ms"] = latency.worstMs;
}

BENCHMARK(keyEventToMatch);
BENCHMARK(qtKeyEventToDeviceTouches);
BENCHMARK(keyReleaseToDeviceTouchUp)
    ->ArgName("mayPair")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

AspectRatioWindowController* openPlayingWindow() {
    auto& communicator = CloudPhoneCommunicator::shared();
    bool added = false;
    communicator.add(QString::number(kDeviceID), std::nullopt, QStringLiteral("u1"),
                     QStringLiteral("t1"), [&](bool) { added = true; });
    if (!waitFor([&] { return added; })) {
        return nullptr;
    }
    AspectRatioWindowController* window =
        WindowManager::shared().openWindow(kDeviceID, QStringLiteral("bench"));
    if (!waitFor([&] {
            return !window->cloudPhoneConnectionOverlay()->isVisibleTo(window->window());
        })) {
        return nullptr;
    }
    WindowActiveManager::shared().setActiveDevice(kDeviceID);
    KeyMappingViewModel& model = window->keyMappingViewModel();
    model.appliedKeyMappings = fortyTapPlan();
    return window;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir logs;
    auto& communicator = CloudPhoneCommunicator::shared();
    communicator.setupWithLogPath(logs.filePath(QStringLiteral("videoLogs")));
    communicator.configClient(ClientInitOptions{}, std::make_shared<Identity>());
    s_window = openPlayingWindow();
    // Each press writes a diagnostic line; the terminal's speed is not the window's.
    ConsoleOutput::setSinkForTesting([](const QString&) {});

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    ConsoleOutput::setSinkForTesting({});

    constexpr double kFrameNanoseconds = 1e9 / 60;
    const auto match = reporter.nanoseconds.find("keyEventToMatch");
    const auto touches = reporter.nanoseconds.find("qtKeyEventToDeviceTouches");
    if (match != reporter.nanoseconds.end() && touches != reporter.nanoseconds.end()) {
        ConsoleOutput::print(
            QStringLiteral("\nper press, 40-item plan: %1 ns, %2 of a 60 Hz frame (16.67 ms), "
                           "%3x the key matcher alone (%4 ns)")
                .arg(touches->second, 0, 'f', 0)
                .arg(touches->second / kFrameNanoseconds, 0, 'e', 2)
                .arg(touches->second / match->second, 0, 'f', 0)
                .arg(match->second, 0, 'f', 1));
    }
    if (s_releaseLatency.size() == 2) {
        const ReleaseLatency& atOnce = s_releaseLatency[false];
        const ReleaseLatency& mayPair = s_releaseLatency[true];
        ConsoleOutput::print(
            QStringLiteral("key release to the device's touch up: median %1 ms, worst %2 ms; "
                           "handed on at once %3 ms and %4 ms; %5 ms and %6 ms later")
                .arg(mayPair.medianMs, 0, 'f', 2)
                .arg(mayPair.worstMs, 0, 'f', 2)
                .arg(atOnce.medianMs, 0, 'f', 3)
                .arg(atOnce.worstMs, 0, 'f', 3)
                .arg(mayPair.medianMs - atOnce.medianMs, 0, 'f', 2)
                .arg(mayPair.worstMs - atOnce.worstMs, 0, 'f', 2));
    }
    if (s_window) {
        s_window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    communicator.destory();
    KXClient::sdkCleanup();
    benchmark::Shutdown();
    return 0;
}
