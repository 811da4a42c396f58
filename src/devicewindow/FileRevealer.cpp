#include "devicewindow/FileRevealer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

namespace FileRevealer {

namespace {

Handler& installedHandler() {
    static Handler handler;
    return handler;
}

void openFolder(const QUrl& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath()));
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
