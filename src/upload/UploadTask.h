#pragma once

#include "api/FileType.h"

#include <QString>
#include <QUrl>

#include <optional>

enum class FileUploadStatus : int { waiting = 0, uploading = 1, success = 2, failed = 3 };

// One queued file as the page sees it. Shared between the queue and its observers; written on
// the GUI thread only.
struct UploadTask {
    QString id;
    QUrl fileURL;
    std::optional<QString> md5;
    qint64 fileSize = 0;
    FileType fileType = FileType::all;
    FileUploadStatus status = FileUploadStatus::waiting;
    double progress = 0;
    QString speed;
    QString remainingTime;
    std::optional<QString> errorMessage;
    std::optional<QString> uploadedURL;

    bool isFinished() const {
        return status == FileUploadStatus::success || status == FileUploadStatus::failed;
    }
    QString fileName() const { return fileURL.fileName(); }
};
