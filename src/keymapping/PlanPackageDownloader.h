#pragma once

#include "foundation/json/Result.h"

#include <QString>
#include <QUrl>

#include <chrono>

// Fetches one file over HTTP(S) while the calling thread waits, for work queues that must not
// go on before the file is there. The file appears at `destinationPath` only when the whole body
// of a 2xx reply has arrived; on any failure nothing is left behind. The time-out counts from
// the last data received, so a slow but steady transfer is not cut off.
class PlanPackageDownloader {
public:
    static Result<void> download(const QUrl& url, const QString& destinationPath,
                                 std::chrono::milliseconds timeout);
};
