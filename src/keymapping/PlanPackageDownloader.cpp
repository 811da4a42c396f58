#include "keymapping/PlanPackageDownloader.h"

#include "foundation/storage/FileExtensions.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

#include <memory>

namespace {

Error downloadError(int code, const QString& message) {
    return Error{QStringLiteral("PlanPackageDownloader"), code, message};
}

}  // namespace

Result<void> PlanPackageDownloader::download(const QUrl& url, const QString& destinationPath,
                                             std::chrono::milliseconds timeout) {
    const bool replacing = QFileInfo::exists(destinationPath);
    QSaveFile file(destinationPath);
    if (!file.open(QIODevice::WriteOnly) ||
        !applyFileAccess(file, replacing, FileAccess::standard)) {
        return downloadError(-1, file.errorString());
    }

    // Made on the calling thread so that its replies are delivered to the loop below.
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    std::unique_ptr<QNetworkReply> reply(network.get(request));

    bool writeFailed = false;
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(), [&] {
        if (file.write(reply->readAll()) < 0) {
            writeFailed = true;
            reply->abort();
        }
    });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }

    if (writeFailed) {
        file.cancelWriting();
        return downloadError(-1, file.errorString());
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::OperationCanceledError) {
        // The transfer time-out aborts the reply; nothing else here cancels it.
        return downloadError(
            QNetworkReply::TimeoutError,
            QStringLiteral("no data from %1 for %2 ms").arg(url.host()).arg(timeout.count()));
    }
    // A reply with a status says more by its number than by the network layer's text.
    if (status != 0 && (status < 200 || status > 299)) {
        return downloadError(status, QStringLiteral("HTTP status %1").arg(status));
    }
    if (reply->error() != QNetworkReply::NoError || status == 0) {
        return downloadError(reply->error(), reply->errorString());
    }
    if (file.write(reply->readAll()) < 0 || !file.commit()) {
        return downloadError(-1, file.errorString());
    }
    return {};
}
