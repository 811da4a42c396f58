// Opens 8 streaming device windows on the simulated cloud, lets them play, closes them, a number
// of times over (five unless told), and prints the process's proportional set size (PSS,
// /proc/self/smaps_rollup) after each cycle. Memory that closed windows leave behind shows as
// growth from cycle to cycle; the last line gives the growth of the anonymous part after closing
// over each half of the run. The allocator is set up as the client sets it up.
//
//   QT_QPA_PLATFORM=offscreen build/bench/soak_device_window_memory [seconds of play] [cycles]

#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/ProcessMemory.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/FileLogger.h"
#include "sdk/KXClient.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/UserIdentityProviding.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

constexpr int kWindows = 8;
constexpr int kDefaultCycles = 5;
constexpr qint64 kFirstDeviceID = 7001;

class Identity : public UserIdentityProviding {
public:
    QString userID() const override { return QStringLiteral("u1"); }
    QString userToken() const override { return QStringLiteral("t1"); }
};

bool waitFor(const std::function<bool()>& condition, int milliseconds = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void runFor(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    waitFor([&] { return clock.elapsed() >= milliseconds; }, milliseconds + 1000);
}

// The process's proportional set size in kibibytes, whole and its anonymous part (heaps and
// thread arenas, where memory the allocator keeps shows). The rest is the process's share of
// mapped files such as libraries, which changes as other processes map and unmap the same
// libraries. -1 when the kernel does not say.
struct Memory {
    qint64 pss = -1;
    qint64 anonymous = -1;
};

Memory memory() {
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    if (!rollup.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString text = QString::fromLatin1(rollup.readAll());
    const auto field = [&text](const QString& name) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^%1:\\s+(\\d+) kB$").arg(name),
                               QRegularExpression::MultilineOption)
                .match(text);
        return match.hasMatch() ? match.captured(1).toLongLong() : qint64(-1);
    };
    return {field(QStringLiteral("Pss")), field(QStringLiteral("Pss_Anon"))};
}

double mebibytes(qint64 kibibytes) {
    return double(kibibytes) / 1024;
}

bool addDevice(qint64 id) {
    bool added = false;
    bool answered = false;
    CloudPhoneCommunicator::shared().add(QString::number(id), std::nullopt, QStringLiteral("u1"),
                                         QStringLiteral("t1"), [&](bool ok) {
                                             added = ok;
                                             answered = true;
                                         });
    return waitFor([&] { return answered; }) && added;
}

// Opens the windows and waits for each one's first picture.
bool openWindows() {
    QList<QPointer<AspectRatioWindowController>> windows;
    for (int i = 0; i < kWindows; ++i) {
        const qint64 id = kFirstDeviceID + i;
        windows << WindowManager::shared().openWindow(id, QStringLiteral("soak %1").arg(id));
    }
    for (const QPointer<AspectRatioWindowController>& window : windows) {
        if (!window || !waitFor([&] {
                return window &&
                       !window->cloudPhoneConnectionOverlay()->isVisibleTo(window->window());
            })) {
            return false;
        }
    }
    return true;
}

// As the user closes them: each through its own close button.
void closeWindows() {
    const QList<AspectRatioWindowController*> open = WindowManager::shared().windows();
    for (AspectRatioWindowController* window : open) {
        window->window()->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    waitFor([] { return WindowManager::shared().windows().isEmpty(); });
}

}  // namespace

int main(int argc, char** argv) {
    // As the client starts.
    ProcessMemory::limitAllocatorArenas();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int playMilliseconds = argc > 1 ? QByteArray(argv[1]).toInt() * 1000 : 3000;
    const int cycles = argc > 2 ? QByteArray(argv[2]).toInt() : kDefaultCycles;
    if (playMilliseconds < 0 || cycles < 1) {
        std::fprintf(stderr, "usage: soak_device_window_memory [seconds of play] [cycles]\n");
        return 2;
    }
    // Log lines are formatted as always; only the terminal is spared them.
    FileLogger::shared().setConsoleSink([](const QByteArray&) {});
    ConsoleOutput::setSinkForTesting([](const QString&) {});
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    QTemporaryDir logs;
    auto& communicator = CloudPhoneCommunicator::shared();
    communicator.setupWithLogPath(logs.filePath(QStringLiteral("videoLogs")));
    communicator.configClient(ClientInitOptions{}, std::make_shared<Identity>());
    for (int i = 0; i < kWindows; ++i) {
        if (!addDevice(kFirstDeviceID + i)) {
            std::fprintf(stderr, "soak: device %lld was not added\n", kFirstDeviceID + i);
            return 1;
        }
    }

    const Memory start = memory();
    std::printf("before the first cycle: PSS %.1f MiB, anonymous part %.1f MiB\n",
                mebibytes(start.pss), mebibytes(start.anonymous));
    std::optional<Memory> first;
    QList<qint64> closedAnonymous;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        if (!openWindows()) {
            std::fprintf(stderr, "soak: the windows did not start playing\n");
            return 1;
        }
        runFor(playMilliseconds);
        const Memory open = memory();
        closeWindows();
        // Closing stops the streams and deletes the views; let every queued step run.
        runFor(2000);
        const Memory closed = memory();
        if (!first) {
            first = closed;
        }
        closedAnonymous << closed.anonymous;
        std::printf(
            "cycle %d: PSS %.1f MiB with 8 windows open, %.1f MiB after closing them "
            "(%+.1f MiB since the first cycle); anonymous part %.1f MiB open, %.1f MiB closed "
            "(%+.1f MiB)\n",
            cycle, mebibytes(open.pss), mebibytes(closed.pss), mebibytes(closed.pss - first->pss),
            mebibytes(open.anonymous), mebibytes(closed.anonymous),
            mebibytes(closed.anonymous - first->anonymous));
        std::fflush(stdout);
    }
    // The middle cycle ends the first half and starts the second: 13 of 25.
    const int middle = (cycles + 1) / 2;
    const auto growth = [&closedAnonymous](int from, int to) {
        return mebibytes(closedAnonymous[to - 1] - closedAnonymous[from - 1]);
    };
    if (cycles > 2) {
        std::printf(
            "anonymous part after closing: %+.1f MiB from cycle 1 to %d (%+.2f MiB a cycle), "
            "%+.1f MiB from cycle %d to %d (%+.2f MiB a cycle)\n",
            growth(1, middle), middle, growth(1, middle) / (middle - 1), growth(middle, cycles),
            middle, cycles, growth(middle, cycles) / (cycles - middle));
    }

    ConsoleOutput::setSinkForTesting({});
    FileLogger::shared().setConsoleSink({});
    communicator.destory();
    KXClient::sdkCleanup();
    return 0;
}
