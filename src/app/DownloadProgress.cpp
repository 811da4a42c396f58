#include "app/DownloadProgress.h"

QString downloadStepText(DownloadStep step) {
    switch (step) {
        case DownloadStep::idle:
            return QStringLiteral("准备就绪");
        case DownloadStep::downloading:
            return QStringLiteral("正在下载");
        case DownloadStep::downloaded:
            return QStringLiteral("下载完成");
        case DownloadStep::extracting:
            return QStringLiteral("正在解压");
        case DownloadStep::cleaning:
            return QStringLiteral("清理文件");
        case DownloadStep::completed:
            return QStringLiteral("全部完成");
        case DownloadStep::failed:
            return QStringLiteral("失败");
    }
    return {};
}

int downloadStepNumber(DownloadStep step) {
    switch (step) {
        case DownloadStep::idle:
            return 0;
        case DownloadStep::downloading:
            return 1;
        case DownloadStep::downloaded:
            return 2;
        case DownloadStep::extracting:
            return 3;
        case DownloadStep::cleaning:
            return 4;
        case DownloadStep::completed:
            return 5;
        case DownloadStep::failed:
            return -1;
    }
    return -1;
}

double overallProgressFor(DownloadStep step, double downloadFraction, double extractionFraction,
                          double previousOverall) {
    switch (step) {
        case DownloadStep::idle:
            return 0.0;
        case DownloadStep::downloading:
            return downloadFraction * 0.4;
        case DownloadStep::downloaded:
            return 0.4;
        case DownloadStep::extracting:
            return 0.4 + extractionFraction * 0.5;
        case DownloadStep::cleaning:
            return 0.95;
        case DownloadStep::completed:
            return 1.0;
        case DownloadStep::failed:
            return previousOverall;
    }
    return previousOverall;
}

QString progressLogLine(const DownloadProgress& progress) {
    return QStringLiteral("📦 [%1/5] %2 - %3% - %4")
        .arg(downloadStepNumber(progress.currentStep))
        .arg(downloadStepText(progress.currentStep))
        .arg(progress.overallProgress * 100.0, 0, 'f', 1)
        .arg(progress.statusMessage);
}
