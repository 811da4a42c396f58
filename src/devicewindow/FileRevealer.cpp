#include "devicewindow/FileRevealer.h"

#include "foundation/logging/ConsoleOutput.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace FileRevealer {

namespace {

Handler& installedHandler() {
    static Handler handler;
    return handler;
}

// Calls back on the GUI thread with whether the desktop has a program that opens folders: the
// one Qt would start, xdg-open, and a default application for folders that xdg-mime names.
void askForFolderHandler(std::function<void(bool)> answer) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty() || xdgMime.isEmpty()) {
        answer(false);
        return;
    }
    auto* query = new QProcess(QCoreApplication::instance());
    QObject::connect(query, &QProcess::finished, query, [query, answer] {
        answer(query->exitStatus() == QProcess::NormalExit && query->exitCode() == 0 &&
               !query->readAllStandardOutput().trimmed().isEmpty());
        query->deleteLater();
    });
    QObject::connect(query, &QProcess::errorOccurred, query,
                     [query, answer](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             answer(false);
                             query->deleteLater();
                         }
                     });
    query->start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                           QStringLiteral("inode/directory")});
}

// Without a program for folders Qt would only warn in English; the console says where the file is.
void openFolder(const QUrl& file) {
    const QString folder = QFileInfo(file.toLocalFile()).absolutePath();
    askForFolderHandler([folder](bool available) {
        if (available) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        } else {
            ConsoleOutput::print(
                QStringLiteral("⚠️ 没有可打开文件夹的程序，文件保存在: ") +
                folder);
        }
    });
}

void showInFileManager(const QUrl& file) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [file](QDBusPendingCallWatcher* finished) {
                         if (QDBusPendingReply<> reply = *finished; reply.isError()) {
                             // No file manager offers the interface.
                             openFolder(file);
                         }
                         finished->deleteLater();
                     });
}

}  // namespace

void reveal(const QUrl& file) {
    if (const Handler& handler = installedHandler()) {
        handler(file);
        return;
    }
    showInFileManager(file);
}

void setHandler(Handler handler) {
    installedHandler() = std::move(handler);
}

}  // namespace FileRevealer
