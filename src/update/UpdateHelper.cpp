#include "update/UpdateHelper.h"

#include "update/UpdateTask.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <limits>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace UpdateHelper {
namespace {

// Removes a file, a link (never what it points to) or a whole folder.
bool removeItem(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;
    }
    if (info.isDir() && !info.isSymLink()) {
        return QDir(path).removeRecursively();
    }
    return QFile::remove(path);
}

bool copyLink(const QString& source, const QString& target) {
    QByteArray linkTarget(4096, '\0');
    const ssize_t length =
        ::readlink(QFile::encodeName(source).constData(), linkTarget.data(), linkTarget.size());
    if (length <= 0 || length >= linkTarget.size()) {
        return false;
    }
    linkTarget.resize(length);
    return ::symlink(linkTarget.constData(), QFile::encodeName(target).constData()) == 0;
}

// Folders and regular files with their modes (never writable by group or others for a folder),
// links as links; anything else fails the copy.
bool copyTree(const QString& source, const QString& target) {
    const QFileInfo root(source);
    if (!root.isDir() || root.isSymLink() || !QDir().mkdir(target) ||
        !QFile::setPermissions(
            target, root.permissions() & ~(QFileDevice::WriteGroup | QFileDevice::WriteOther))) {
        return false;
    }
    QDirIterator entries(source,
                         QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        const QString destination = QDir(target).filePath(entry.fileName());
        bool copied = false;
        if (entry.isSymLink()) {
            copied = copyLink(entry.filePath(), destination);
        } else if (entry.isDir()) {
            copied = copyTree(entry.filePath(), destination);
        } else if (entry.isFile()) {
            copied = QFile::copy(entry.filePath(), destination);
        }
        if (!copied) {
            return false;
        }
    }
    return true;
}

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

}  // namespace

Environment Environment::system() {
    Environment environment;
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    environment.executableName = QFileInfo(executable).fileName();
    environment.isProcessRunning = [](qint64 processId) {
        // A process that ended but was not reaped yet still answers the probe.
        return ::kill(static_cast<pid_t>(processId), 0) == 0 && !isZombie(processId);
    };
    environment.pause = [] { std::this_thread::sleep_for(std::chrono::microseconds(200000)); };
    environment.launch = [](const QString& program, const QString& workingDirectory) {
        QProcess::startDetached(program, {}, workingDirectory);
    };
    return environment;
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

    const QString backup = task.targetAppPath + QStringLiteral(".backup");
    removeItem(backup);
    const bool hadTarget =
        QFileInfo::exists(task.targetAppPath) || QFileInfo(task.targetAppPath).isSymLink();
    if (hadTarget && !QDir().rename(task.targetAppPath, backup)) {
        // The installed application is the only copy left: it stays as it is.
        return true;
    }
    if (!copyTree(task.sourceAppPath, task.targetAppPath)) {
        removeItem(task.targetAppPath);
        if (hadTarget && QFileInfo::exists(backup)) {
            QDir().rename(backup, task.targetAppPath);
        }
        return true;
    }
    removeItem(backup);

    const QFileInfo unpacked(task.mountedVolumePath);
    if (unpacked.isDir() && !unpacked.isSymLink()) {
        QDir(task.mountedVolumePath).removeRecursively();
    }
    environment.launch(QDir(task.targetAppPath).filePath(environment.executableName),
                       task.targetAppPath);
    QFile::remove(task.packagePath);
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
