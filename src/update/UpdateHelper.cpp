#include "update/UpdateHelper.h"

#include "foundation/AppInfo.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/BundleInfo.h"
#include "update/ApplicationFolder.h"
#include "update/UpdateLock.h"
#include "update/UpdateTask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <limits>
#include <thread>

#include <unistd.h>

namespace UpdateHelper {
namespace {

bool isZombie(qint64 processId) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    // "pid (name) S ...": the name may hold spaces and parentheses, the state follows the last ")".
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 2, 1) == "Z";
}

// Only what the manager itself put into the updates folder is removed after the swap.
void removeIfOwned(const QString& path, bool owned, const QString& warning) {
    if (owned) {
        ApplicationFolder::remove(path);
    } else {
        LogWarning(warning + path, LogTag::app);
    }
}

const QString kFolderTakenText =
    QStringLiteral("⚠️ 更新所需的目录不是更新创建的，未做任何更改: ");

// Not through the application's information, which must wait for the application object.
UpdatesDirectory buildUpdatesDirectory() {
    return UpdatesDirectory(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                            QString::fromUtf8(AppInfo::kBundleIdentifier));
}

// A helper that ran the same hand-over before this one removed the unpacked application after
// putting it in place.
bool doneBefore(const ApplicationSwap& swap, const UpdateTask& task) {
    if (swap.presence(task.sourceAppPath) == ApplicationFolder::Presence::whole ||
        swap.presence(task.targetAppPath) != ApplicationFolder::Presence::whole) {
        return false;
    }
    const Result<QJsonObject> info = ApplicationFolder::readBundleInfo(task.targetAppPath);
    return info &&
           info.value().value(BundleInfo::kShortVersionKey).toString() == task.targetVersion;
}

}  // namespace

Environment Environment::system() {
    Environment environment;
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    environment.executableName = QFileInfo(executable).fileName();
    environment.bundleIdentifier = QString::fromUtf8(AppInfo::kBundleIdentifier);
    environment.updatesDirectory = buildUpdatesDirectory();
    environment.isProcessRunning = [](qint64 processId) {
        // A process that ended but was not reaped yet still answers the probe.
        return ::kill(static_cast<pid_t>(processId), 0) == 0 && !isZombie(processId);
    };
    environment.pause = [] { std::this_thread::sleep_for(std::chrono::microseconds(200000)); };
    environment.launch = [](const QString& program, const QString& workingDirectory) {
        QProcess::startDetached(program, {}, workingDirectory);
    };
    const QString pauseAt = qEnvironmentVariable(kTestPauseVariable);
    if (!pauseAt.isEmpty()) {
        environment.reachedStage = [pauseAt](ApplicationSwap::Stage stage) {
            if (ApplicationSwap::stageName(stage) == pauseAt) {
                ConsoleOutput::print(kTestPauseMarker + QLatin1Char(' ') + pauseAt);
                for (;;) {
                    ::pause();
                }
            }
        };
    }
    environment.exchangeFolders = qEnvironmentVariableIsEmpty(kTestNoExchangeVariable);
    return environment;
}

bool recoverAtStartUp() {
    return recoverUnlessUpdating(ApplicationSwap::running(), buildUpdatesDirectory());
}

bool recoverUnlessUpdating(const ApplicationSwap& swap, const UpdatesDirectory& updates) {
    // Every hand-over lies in the updates folder, so without it no update can be under way.
    std::optional<UpdateLock> lock;
    if (QFileInfo(updates.path()).isDir()) {
        lock = UpdateLock::take(updates.lockPath(), UpdateLock::Wait::no);
        if (!lock) {
            LogInfo(QStringLiteral("⏳ 更新正在进行，本次启动不做恢复"), LogTag::app);
            return false;
        }
    }
    return swap.recover();
}

std::optional<qint32> parseProcessId(const QString& text) {
    QStringView digits(text);
    if (digits.startsWith(QLatin1Char('+'))) {
        digits = digits.mid(1);
    }
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::numeric_limits<qint32>::max()) {
            return std::nullopt;
        }
    }
    // 0 and negative ids would probe whole process groups, and the wait would never end.
    if (value == 0) {
        return std::nullopt;
    }
    return static_cast<qint32>(value);
}

bool runUpdateHelperIfNeeded(const QStringList& arguments, const Environment& environment) {
    const qsizetype position = arguments.indexOf(kSwitch);
    if (position < 0 || arguments.size() - position - 1 < 2) {
        return false;
    }
    const Result<UpdateTask> read = UpdateTask::readFromFile(arguments[position + 1]);
    if (!read) {
        return false;
    }
    const std::optional<qint32> processId = parseProcessId(arguments[position + 2]);
    if (!processId) {
        return false;
    }
    const UpdateTask& task = read.value();

    while (environment.isProcessRunning(*processId)) {
        environment.pause();
    }

    const UpdatesDirectory& updates = environment.updatesDirectory;
    // One helper or start-up recovery at a time: a second helper waits here for the first.
    const std::optional<UpdateLock> lock =
        updates.create() ? UpdateLock::take(updates.lockPath(), UpdateLock::Wait::untilFree)
                         : std::nullopt;
    if (!lock) {
        LogWarning(QStringLiteral("⚠️ 无法锁定更新目录，未做任何更改: ") +
                       updates.lockPath(),
                   LogTag::app);
        return false;
    }
    ApplicationSwap swap(task.targetAppPath, environment.bundleIdentifier,
                         environment.executableName);
    swap.setUsesExchange(environment.exchangeFolders);
    swap.recover();
    if (doneBefore(swap, task)) {
        // That helper has started the new client already.
        LogInfo(
            QStringLiteral("ℹ️ 更新已由另一个更新进程完成: ") + task.targetAppPath,
            LogTag::app);
        return true;
    }
    if (swap.presence(task.targetAppPath) == ApplicationFolder::Presence::partial ||
        swap.presence(task.sourceAppPath) != ApplicationFolder::Presence::whole) {
        LogWarning(
            QStringLiteral("⚠️ 更新任务中的应用目录无效，未做任何更改: ") +
                task.targetAppPath,
            LogTag::app);
        return false;
    }
    if (const QString taken = swap.foreignFolderInTheWay(); !taken.isEmpty()) {
        const QString line = kFolderTakenText + taken;
        ConsoleOutput::print(line);
        LogWarning(line, LogTag::app);
        return false;
    }
    if (!swap.swapIn(task.sourceAppPath, arguments[position + 1], environment.reachedStage)) {
        // The previous version stays and is not reopened.
        return true;
    }

    removeIfOwned(task.mountedVolumePath, updates.holdsVolumePath(task.mountedVolumePath),
                  QStringLiteral("⚠️ 不是更新目录中的解压目录，已保留: "));
    environment.launch(QDir(task.targetAppPath).filePath(environment.executableName),
                       task.targetAppPath);
    removeIfOwned(task.packagePath, updates.holdsPackagePath(task.packagePath),
                  QStringLiteral("⚠️ 不是更新目录中的安装包，已保留: "));
    return true;
}

bool runIfRequested(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (!arguments.contains(kSwitch)) {
        return false;
    }
    return runUpdateHelperIfNeeded(arguments, Environment::system());
}

}  // namespace UpdateHelper
