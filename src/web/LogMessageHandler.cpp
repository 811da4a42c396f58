#include "web/LogMessageHandler.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/logging/KXLog.h"
#include "foundation/logging/LogRedaction.h"
#include "foundation/storage/DocumentsRoot.h"
#include "foundation/storage/FileExtensions.h"
#include "upload/FileUploader.h"
#include "web/JsonDescription.h"
#include "web/Native2WebMessageSender.h"
#include "web/Native2WebMessageType.h"
#include "web/Web2NativeMessageType.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace {

void logWriteFailure(const QString& description) {
    KXLog(QStringLiteral("❌ 写入日志失败: ") + description, LogTag::web, LogLevel::error);
}

// Regular files of the folder, hidden entries skipped; nothing when it cannot be listed.
QStringList regularFiles(const QString& folder) {
    QStringList files;
    QDirIterator entries(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        const QFileInfo info(entries.next());
        if (!info.isSymLink() && info.isFile()) {
            files << info.absoluteFilePath();
        }
    }
    return files;
}

// The UTC time stamp, a blank, the text and a line feed.
QByteArray stampedLine(const QString& shownText, const QDateTime& now) {
    return (now.toUTC().toString(Qt::ISODate) + QLatin1Char(' ') + shownText + QLatin1Char('\n'))
        .toUtf8();
}

}  // namespace

LogMessageHandler::Environment LogMessageHandler::Environment::shared() {
    return Environment{[] { return &FileUploader::shared(); }, &Native2WebMessageSender::shared()};
}

LogMessageHandler::LogMessageHandler(Environment environment) : m_environment(environment) {}

LogMessageHandler::~LogMessageHandler() = default;

QString LogMessageHandler::logFolderPath() {
    return QDir(documentsRootPath()).filePath(QStringLiteral("videoLogs"));
}

QString LogMessageHandler::dailyFileName(const QDateTime& now) {
    return QStringLiteral("web-") +
           now.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

QByteArray LogMessageHandler::logLine(const QString& text, const QDateTime& now) {
    // The file is uploaded with the client's logs: the page's text is shown as every line is.
    return stampedLine(LogRedaction::shownLine(text), now);
}

void LogMessageHandler::handle(const Web2NativeMessage& message) {
    if (message.type == web2NativeMessageTypeText(Web2NativeMessageType::writeLocalLog)) {
        const QJsonValue text = message.data.toObject().value(QStringLiteral("msg"));
        if (!text.isString()) {
            return;
        }
        // Masked once for the log and the page's file.
        const QString masked = LogRedaction::maskedLine(text.toString());
        FileLogger::shared().writeMasked(LogLevel::info, LogTag::web,
                                         QStringLiteral("📝 写入日志: ") + masked);
        appendMaskedLocalLog(masked);
    } else if (message.type == web2NativeMessageTypeText(Web2NativeMessageType::requestUploadLog)) {
        uploadLogFiles(message);
    }
}

void LogMessageHandler::cleanOldLogFiles() {
    cleanOldLogFiles(logFolderPath(), QDateTime::currentDateTimeUtc());
}

void LogMessageHandler::cleanOldLogFiles(const QString& folder, const QDateTime& now) {
    const QDateTime cutoff = now.addSecs(-kMaximumAgeSeconds);
    QDirIterator entries(folder, QDir::Files | QDir::NoDotAndDotDot | QDir::System);
    while (entries.hasNext()) {
        const QFileInfo info(entries.next());
        // A link is judged by itself, never by what it points to, and only the link goes.
        if (!info.isFile() && !info.isSymLink()) {
            continue;
        }
        const QDateTime modified = info.fileTime(QFileDevice::FileModificationTime);
        if (modified.isValid() && modified < cutoff) {
            QFile::remove(info.absoluteFilePath());
        }
    }
}

void LogMessageHandler::appendLocalLog(const QString& text) {
    appendMaskedLocalLog(LogRedaction::maskedLine(text));
}

void LogMessageHandler::appendMaskedLocalLog(const QString& maskedText) {
    const QDateTime now = QDateTime::currentDateTime();
    const QString folder = logFolderPath();
    const QString path = QDir(folder).filePath(dailyFileName(now));
    cleanOldLogFiles();
    if (!createFolder(folder)) {
        return logWriteFailure(QStringLiteral("无法创建文件夹 ") + folder);
    }
    // Only a file of our own: the line never follows a link out of the folder.
    if (QFileInfo(path).isSymLink()) {
        return logWriteFailure(QStringLiteral("不是普通文件 ") + path);
    }
    QFile file(path);
    if (!openForWriting(file, QIODevice::Append, FileAccess::ownerOnly)) {
        return logWriteFailure(file.errorString());
    }
    const QByteArray line = stampedLine(LogRedaction::singleLine(maskedText), now);
    if (file.write(line) != line.size() || !file.flush()) {
        logWriteFailure(file.errorString());
    }
}

void LogMessageHandler::uploadLogFiles(const Web2NativeMessage& message) {
    KXLog(QStringLiteral("requestUploadLog: ") + describeMessage(message), LogTag::web,
          LogLevel::info);
    cleanOldLogFiles();
    const QStringList files = regularFiles(logFolderPath());
    if (files.isEmpty()) {
        KXLog(QStringLiteral("⚠️ 没有可上传的日志文件"), LogTag::web,
              LogLevel::warning);
        return;
    }
    sendUploadState(QStringLiteral("ready"));
    const std::weak_ptr<int> alive = m_alive;
    m_environment.uploader()->updateAuthCredentialIfNeeded([this, alive, files] {
        if (!alive.expired()) {
            sendUploadLogResult(files, 0);
        }
    });
}

void LogMessageHandler::sendUploadLogResult(const QStringList& files, int index) {
    if (index >= files.size()) {
        sendUploadState(QStringLiteral("complete"));
        return;
    }
    const QString path = files.at(index);
    const std::weak_ptr<int> alive = m_alive;
    m_environment.uploader()->uploadLogFile(
        QFileInfo(path).fileName(), path,
        // Already on the GUI thread, with the newest report only.
        [this, alive](float, const QString&, const QString&) {
            if (!alive.expired()) {
                sendUploadState(QStringLiteral("uploading"));
            }
        },
        [this, alive, files, index](const std::optional<Error>& error, const QString&, bool) {
            if (error) {
                KXLog(QStringLiteral("requestUploadLog: ") + error->message, LogTag::web,
                      LogLevel::error);
            }
            // Queued behind the progress reports, and never deeper on the stack per file.
            MainQueue::async([this, alive, files, index] {
                if (!alive.expired()) {
                    sendUploadLogResult(files, index + 1);
                }
            });
        });
}

void LogMessageHandler::sendUploadState(const QString& state) {
    m_environment.sender->send(
        Native2WebMessage{native2WebMessageTypeText(Native2WebMessageType::uploadLog), std::nullopt,
                          QJsonObject{{QStringLiteral("state"), state}}, std::nullopt});
}
