#include "upload/UploadMetricsTracker.h"

std::pair<QString, QString> UploadMetricsTracker::update(qint64 bytesSent, qint64 bytesExpected,
                                                         const Formatter& formatSpeed,
                                                         const Formatter& formatTime) {
    return update(bytesSent, bytesExpected, formatSpeed, formatTime, Clock::now());
}

std::pair<QString, QString> UploadMetricsTracker::update(qint64 bytesSent, qint64 bytesExpected,
                                                         const Formatter& formatSpeed,
                                                         const Formatter& formatTime,
                                                         Clock::time_point now) {
    if (!uploadStartTime) {
        uploadStartTime = now;
        lastProgressUpdateTime = now;
        lastUploadedBytes = bytesSent;
        return {kPlaceholder, kPlaceholder};
    }
    const double interval =
        lastProgressUpdateTime
            ? std::chrono::duration<double>(now - *lastProgressUpdateTime).count()
            : 0.0;
    if (interval < 0.5) {
        return {kPlaceholder, kPlaceholder};
    }
    const double speed = static_cast<double>(bytesSent - lastUploadedBytes) / interval;
    lastProgressUpdateTime = now;
    lastUploadedBytes = bytesSent;
    const QString remaining =
        speed > 0 ? formatTime(static_cast<double>(bytesExpected - bytesSent) / speed)
                  : kPlaceholder;
    return {formatSpeed(speed) + QStringLiteral("/s"), remaining};
}
