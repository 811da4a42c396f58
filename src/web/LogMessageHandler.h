#pragma once

#include "web/Web2NativeMessageHandler.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class FileUploader;
class Native2WebMessageSender;

// The page's daily log ("write-local-log") and the upload of every local log file
// ("request-upload-log"). The log folder is shared with the device SDK, so the clean-up and the
// upload cover its files too. "open-log" is served and does nothing.
class LogMessageHandler : public Web2NativeMessageHandler {
public:
    struct Environment {
        // Asked for only when an upload starts.
        std::function<FileUploader*()> uploader;
        Native2WebMessageSender* sender = nullptr;

        static Environment shared();
    };

    // Files last modified longer ago than this are removed.
    static constexpr qint64 kMaximumAgeSeconds = 259200;

    explicit LogMessageHandler(Environment environment = Environment::shared());
    ~LogMessageHandler() override;

    void handle(const Web2NativeMessage& message) override;

    // <documents root>/videoLogs
    static QString logFolderPath();
    // "web-<yyyy-MM-dd>.log" for the local date of `now`.
    static QString dailyFileName(const QDateTime& now);
    // The UTC time stamp, a blank, the text (shown as every line is: masked, one line) and a line
    // feed.
    static QByteArray logLine(const QString& text, const QDateTime& now);

    // Removes every regular file of the log folder last modified before now minus the maximum
    // age; folders stay. Run at start-up and on the application's clean-up timer too.
    static void cleanOldLogFiles();
    static void cleanOldLogFiles(const QString& folder, const QDateTime& now);
    // Appends one line to today's file; a failure is logged and the line is lost.
    static void appendLocalLog(const QString& text);
    // The same for a text that took LogRedaction::maskedLine already.
    static void appendMaskedLocalLog(const QString& maskedText);

    void uploadLogFiles(const Web2NativeMessage& message);
    void sendUploadLogResult(const QStringList& files, int index);

private:
    void sendUploadState(const QString& state);

    Environment m_environment;
    // Upload chains hold this weakly and stop when the handler is gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
