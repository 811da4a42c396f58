#pragma once

#include "update/ApplicationSwap.h"
#include "update/UpdatesDirectory.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The helper mode of the executable. The update manager starts a second copy of the running
// client as "<executable> --kx-update-helper <task file> <pid>" and quits; that copy waits for
// the first process to end, replaces the application folder with the unpacked one, removes the
// unpacked package, starts the new client and ends.
namespace UpdateHelper {

inline const QString kSwitch = QStringLiteral("--kx-update-helper");
// Names a swap stage at which the helper prints "<marker> <stage>" and stops for good, so that
// tests can kill it there. Read by the helper mode only.
inline const char kTestPauseVariable[] = "KX_UPDATE_HELPER_TEST_PAUSE";
inline const QString kTestPauseMarker = QStringLiteral("KX_UPDATE_HELPER_PAUSED");
// Set to anything, makes the helper swap with two renames as where the file system cannot
// exchange two folders. Read by the helper mode only, for tests.
inline const char kTestNoExchangeVariable[] = "KX_UPDATE_HELPER_TEST_NO_EXCHANGE";

struct Environment {
    // The file started inside the application folder after the swap.
    QString executableName;
    // The client's identifier, which both application folders must name.
    QString bundleIdentifier;
    // Where the unpacked package and the package file must lie to be removed.
    UpdatesDirectory updatesDirectory{QString(), std::nullopt};
    // Whether the awaited process still runs.
    std::function<bool(qint64 processId)> isProcessRunning;
    // Between two probes of the awaited process.
    std::function<void()> pause;
    // Starts a program without waiting for it; its failure is of no interest.
    std::function<void(const QString& program, const QString& workingDirectory)> launch;
    // Each stage the swap reaches.
    ApplicationSwap::StageObserver reachedStage;
    // Whether the swap tries the one-step exchange before two renames.
    bool exchangeFolders = true;

    // This executable's own name, the build's identifier and its updates folder, a signal-0
    // probe that counts a zombie as ended, 0.2 s pauses, and the test settings when asked for.
    static Environment system();
};

// For main(), before any application object exists: true means the helper mode ran (successful
// or not) and the process must exit; false means start normally.
bool runIfRequested(int argc, char** argv);

// `arguments` as the process got them, the executable's path first.
bool runUpdateHelperIfNeeded(const QStringList& arguments, const Environment& environment);

// The client's start-up: recovers what an interrupted swap left at the running application's
// folder, unless an update holds the lock at this moment. True when a whole application stands
// there afterwards.
bool recoverAtStartUp();
bool recoverUnlessUpdating(const ApplicationSwap& swap, const UpdatesDirectory& updates);

// A positive 32-bit decimal process id with an optional leading "+".
std::optional<qint32> parseProcessId(const QString& text);

}  // namespace UpdateHelper
