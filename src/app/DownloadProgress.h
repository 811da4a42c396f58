#pragma once

#include "foundation/Result.h"

#include <QMetaType>
#include <QString>
#include <QUrl>

#include <array>
#include <functional>
#include <optional>

// The stages of fetching and installing a web package, in order.
enum class DownloadStep {
    idle,
    downloading,
    downloaded,
    extracting,
    cleaning,
    completed,
    failed,
};

inline constexpr std::array<DownloadStep, 7> kAllDownloadSteps = {
    DownloadStep::idle,       DownloadStep::downloading, DownloadStep::downloaded,
    DownloadStep::extracting, DownloadStep::cleaning,    DownloadStep::completed,
    DownloadStep::failed,
};

// "准备就绪", "正在下载", … as shown to the user.
QString downloadStepText(DownloadStep step);

// 0 to 5 along the way, -1 for `failed`; used in the progress log line.
int downloadStepNumber(DownloadStep step);

struct DownloadProgress {
    DownloadStep currentStep = DownloadStep::idle;
    double downloadProgress = 0.0;
    double extractionProgress = 0.0;
    double overallProgress = 0.0;
    QString statusMessage;
    std::optional<Error> error;

    bool operator==(const DownloadProgress&) const = default;
};

// The overall fraction while in `step`: the download is the first 40 %, unpacking the next 50 %.
// `failed` has none of its own, so the previous overall value is returned.
double overallProgressFor(DownloadStep step, double downloadFraction, double extractionFraction,
                          double previousOverall);

// "📦 [3/5] 正在解压 - 65.0% - <status>"
QString progressLogLine(const DownloadProgress& progress);

// What the caller of a download hears. Every callback is optional and runs on the GUI thread.
struct DownloadCompletion {
    std::function<void(const DownloadProgress&)> onProgress;
    std::function<void(DownloadStep)> onStepChanged;
    std::function<void(const QUrl& entryFile)> onCompleted;
    std::function<void(const Error&)> onFailed;
};

Q_DECLARE_METATYPE(DownloadProgress)
