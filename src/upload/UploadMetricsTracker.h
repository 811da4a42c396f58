#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

// Speed and remaining time of one upload, sampled at most every half second; callbacks in
// between (and the first one) carry the placeholder texts.
class UploadMetricsTracker {
public:
    using Clock = std::chrono::steady_clock;
    using Formatter = std::function<QString(double)>;

    static inline const QString kPlaceholder = QStringLiteral("计算中...");

    // (speed text, remaining-time text)
    std::pair<QString, QString> update(qint64 bytesSent, qint64 bytesExpected,
                                       const Formatter& formatSpeed, const Formatter& formatTime);
    std::pair<QString, QString> update(qint64 bytesSent, qint64 bytesExpected,
                                       const Formatter& formatSpeed, const Formatter& formatTime,
                                       Clock::time_point now);

    std::optional<Clock::time_point> uploadStartTime;
    std::optional<Clock::time_point> lastProgressUpdateTime;
    qint64 lastUploadedBytes = 0;
};
