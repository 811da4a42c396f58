#include "app/WebPackageInstaller.h"

#include "app/WebPackageUnpacker.h"
#include "foundation/logging/KXLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace WebPackageInstaller {
namespace {

constexpr int kMinimumEntryCount = 10;

Error fileSystemError(const std::error_code& code, const QString& path) {
    return Error{QStringLiteral("FileSystemError"), code.value(),
                 QString::fromLocal8Bit(code.message()) + QStringLiteral(": ") + path};
}

fs::path nativePath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

Result<void> replaceTemporaryZip(const QString& downloadedFile, const QString& zipPath) {
    std::error_code code;
    fs::remove(nativePath(zipPath), code);
    if (code) {
        return fileSystemError(code, zipPath);
    }
    fs::rename(nativePath(downloadedFile), nativePath(zipPath), code);
    if (code == std::errc::cross_device_link) {
        code.clear();
        fs::copy_file(nativePath(downloadedFile), nativePath(zipPath), code);
        if (!code) {
            fs::remove(nativePath(downloadedFile), code);
            code.clear();
        }
    }
    if (code) {
        return fileSystemError(code, zipPath);
    }
    return {};
}

QString escapedPreview(const QByteArray& head) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(head);
    if (decoder.hasError()) {
        return QStringLiteral("<non-utf8>");
    }
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return text;
}

void removeFolderQuietly(const QString& folder) {
    std::error_code ignored;
    fs::remove_all(nativePath(folder), ignored);
}

}  // namespace

void moveItem(const fs::path& from, const fs::path& to, std::error_code& code) {
    fs::rename(from, to, code);
    if (code == std::errc::cross_device_link) {
        code.clear();
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, code);
        if (!code) {
            fs::remove_all(from, code);
        }
    }
}

std::vector<fs::path> folderItems(const fs::path& folder, std::error_code& code) {
    std::vector<fs::path> items;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        items.push_back(it->path());
    }
    return items;
}

Result<void> validateDownloadedZip(const QString& filePath, int httpStatus, const QString& mimeType,
                                   const QString& logPrefix) {
    const QFileInfo info(filePath);
    const bool exists = info.exists();
    const qint64 size = exists ? info.size() : 0;
    QByteArray data;
    // Only the head is of interest; a huge download is not read whole.
    if (QFile file(filePath); file.open(QIODevice::ReadOnly)) {
        data = file.read(256);
    }
    QStringList magic;
    for (qsizetype i = 0; i < std::min<qsizetype>(4, data.size()); ++i) {
        magic << QStringLiteral("%1")
                     .arg(static_cast<uchar>(data[i]), 2, 16, QLatin1Char('0'))
                     .toUpper();
    }
    const QString status = QString::number(httpStatus);
    const QString type = mimeType.isEmpty() ? QStringLiteral("-") : mimeType;
    const QString preview = escapedPreview(data);
    LogInfo(logPrefix + QStringLiteral(" 下载结果校验: status=") + status +
                QStringLiteral(", mimeType=") + type + QStringLiteral(", path=") + filePath +
                QStringLiteral(", exists=") +
                (exists ? QStringLiteral("true") : QStringLiteral("false")) +
                QStringLiteral(", size=") + QString::number(size) + QStringLiteral(", magic=") +
                magic.join(QLatin1Char(' ')),
            LogTag::app);
    LogInfo(logPrefix + QStringLiteral(" 下载内容预览: ") + preview, LogTag::app);
    if (exists && size > 0 && data.startsWith("PK")) {
        return {};
    }
    return Error{QStringLiteral("WebContentManager"), -3,
                 QStringLiteral("下载内容不是有效 zip。status=") + status +
                     QStringLiteral(", mimeType=") + type + QStringLiteral(", size=") +
                     QString::number(size) + QStringLiteral(", preview=") + preview};
}

Result<void> ensureWritableFolder(const QString& folder) {
    const fs::path target = nativePath(folder);
    std::error_code code;
    fs::create_directories(target, code);
    if (!code && ::access(target.c_str(), W_OK | X_OK) != 0) {
        code = std::error_code(errno, std::generic_category());
    }
    return code ? Result<void>(fileSystemError(code, folder)) : Result<void>();
}

Result<void> prepareExtractionTarget(const QString& folder) {
    const fs::path target = nativePath(folder);
    std::error_code code;
    const fs::file_status status = fs::symlink_status(target, code);
    // remove_all takes a link itself away, never what it leads to.
    if (fs::exists(status)) {
        fs::remove_all(target, code);
        if (code) {
            return fileSystemError(code, folder);
        }
    }
    fs::create_directories(target.parent_path(), code);
    return code ? Result<void>(fileSystemError(code, folder)) : Result<void>();
}

Result<int> countZipEntries(const QString& zipPath, const QString& logPrefix) {
    Result<int> counted = WebPackageUnpacker::countEntries(zipPath);
    if (!counted) {
        LogError(logPrefix + QStringLiteral(" unzip -l 失败: ") + counted.error().message,
                 LogTag::app);
        return counted.error();
    }
    return std::max(counted.value(), kMinimumEntryCount);
}

Result<void> dittoExtract(const QString& zipPath, const QString& destination,
                          const QString& logPrefix) {
    LogInfo(logPrefix + QStringLiteral(" 开始解压: source=") + zipPath +
                QStringLiteral(" destination=") + destination,
            LogTag::app);
    Result<void> extracted = WebPackageUnpacker::extract(zipPath, destination);
    if (!extracted) {
        LogError(logPrefix + QStringLiteral(" ditto 解压失败: ") + extracted.error().message,
                 LogTag::app);
    }
    return extracted;
}

Result<void, Failure> run(const Job& job, const Reporter& reporter) {
    const auto fail = [](FailureStage stage, Error error) {
        return Result<void, Failure>(Failure{stage, std::move(error)});
    };
    if (job.downloadedFile) {
        if (Result<void> moved = replaceTemporaryZip(*job.downloadedFile, job.zipPath); !moved) {
            return fail(FailureStage::handlingDownload, moved.error());
        }
        if (Result<void> valid =
                validateDownloadedZip(job.zipPath, job.httpStatus, job.mimeType, job.logPrefix);
            !valid) {
            return fail(FailureStage::handlingDownload, valid.error());
        }
    }

    reporter.publish(DownloadStep::extracting, std::nullopt, QStringLiteral("准备解压文件..."));
    const QFileInfo zip(job.zipPath);
    const bool exists = zip.exists();
    const qint64 size = exists ? zip.size() : 0;
    LogInfo(job.logPrefix + QStringLiteral(" 准备解压 zip: ") + job.zipPath +
                QStringLiteral(", exists=") +
                (exists ? QStringLiteral("true") : QStringLiteral("false")) +
                QStringLiteral(", size=") + QString::number(size),
            LogTag::app);
    if (!exists || size == 0) {
        return fail(FailureStage::extracting, Error{QStringLiteral("WebContentManager"), -2,
                                                    QStringLiteral("下载的 zip 文件不存在或为空")});
    }

    reporter.publish(DownloadStep::extracting, 0.1, QStringLiteral("清理旧文件..."));
    if (Result<void> prepared = prepareExtractionTarget(job.targetFolder); !prepared) {
        return fail(FailureStage::extracting, prepared.error());
    }
    // From here on a failure leaves no half-filled version folder behind.
    const auto failAndDrop = [&](Error error) {
        removeFolderQuietly(job.targetFolder);
        return fail(FailureStage::extracting, std::move(error));
    };

    reporter.publish(DownloadStep::extracting, 0.2, QStringLiteral("分析压缩包..."));
    const Result<int> count = countZipEntries(job.zipPath, job.logPrefix);
    if (!count) {
        return failAndDrop(count.error());
    }
    reporter.counted(count.value());

    reporter.publish(DownloadStep::extracting, 0.3,
                     QStringLiteral("正在解压文件... (0/%1)").arg(count.value()));
    if (Result<void> extracted = dittoExtract(job.zipPath, job.targetFolder, job.logPrefix);
        !extracted) {
        return failAndDrop(extracted.error());
    }
    // Checked before anything is pruned: a package without its entry must not replace the others.
    if (!QFileInfo(QDir(job.targetFolder).filePath(QStringLiteral("pc/index.html"))).isFile()) {
        return failAndDrop(Error{QStringLiteral("WebContentManager"), -5,
                                 QStringLiteral("Web 包中缺少 pc/index.html")});
    }

    reporter.publish(DownloadStep::cleaning, 1.0, QStringLiteral("清理临时文件..."));
    QFile::remove(job.zipPath);
    return {};
}

}  // namespace WebPackageInstaller
