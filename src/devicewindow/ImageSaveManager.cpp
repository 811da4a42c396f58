#include "devicewindow/ImageSaveManager.h"

#include "foundation/logging/KXLog.h"
#include "foundation/storage/FileExtensions.h"
#include "foundation/storage/FileNameSanitizer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kWebPExtension = QStringLiteral(".webp");

// Gives up on a folder where names keep being taken under our feet.
constexpr int kMaximumTakenNames = 1000;

// "a.png.webp" is "a.png" and "webp"; a name without a dot, or with only a leading one, has no
// extension.
struct NameParts {
    QString base;
    QString extension;
    bool hasExtension = false;

    explicit NameParts(const QString& fileName) {
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        hasExtension = dot > 0;
        base = hasExtension ? fileName.left(dot) : fileName;
        extension = hasExtension ? fileName.mid(dot + 1) : QString();
    }

    QString withCounter(int counter) const {
        QString name =
            counter == 0 ? base : QStringLiteral("%1 (%2)").arg(base, QString::number(counter));
        if (hasExtension) {
            name += QLatin1Char('.') + extension;
        }
        return name;
    }
};

QString candidatePath(const QString& folder, const NameParts& parts, int counter) {
    return QDir(folder).filePath(parts.withCounter(counter));
}

int firstFreeCounter(const QString& folder, const NameParts& parts, int from) {
    int counter = from;
    while (QFileInfo::exists(candidatePath(folder, parts, counter))) {
        ++counter;
    }
    return counter;
}

// Also true for a link that points nowhere, which the existence test above does not see.
bool isTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

Error fileError(const QFile& file) {
    return {QStringLiteral("ImageSaveManager"), static_cast<int>(file.error()), file.errorString()};
}

void reportFailure(const Error& error, const ImageSaveManager::Completion& completion) {
    KXLog(QStringLiteral("❌ 保存失败: ") + error.message, LogTag::file, LogLevel::error);
    completion(ImageSaveManager::SaveResult(error));
}

}  // namespace

ImageSaveManager& ImageSaveManager::shared() {
    static ImageSaveManager instance;
    return instance;
}

void ImageSaveManager::saveWebPImage(const QByteArray& data, const QString& fileName,
                                     const Completion& completion) {
    const QString folder = downloadsDirectory().toLocalFile();
    // The name never reaches another folder, whatever the caller passes.
    QString name = sanitizedFileName(fileName);
    if (!name.toLower().endsWith(kWebPExtension)) {
        name += kWebPExtension;
    }
    const NameParts parts(name);

    int counter = firstFreeCounter(folder, parts, 0);
    for (int attempt = 0; attempt < kMaximumTakenNames; ++attempt) {
        const QString path = candidatePath(folder, parts, counter);
        QFile file(path);
        if (!openForWriting(file, QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (isTaken(path)) {
                counter = firstFreeCounter(folder, parts, counter + 1);
                continue;
            }
            reportFailure(fileError(file), completion);
            return;
        }
        const bool written = file.write(data) == data.size();
        if (!written) {
            const Error error = fileError(file);
            file.remove();
            reportFailure(error, completion);
            return;
        }
        file.close();
        KXLog(QStringLiteral("✅ WebP 图片已保存: ") + path, LogTag::file, LogLevel::info);
        completion(SaveResult(QUrl::fromLocalFile(path)));
        return;
    }
    reportFailure({QStringLiteral("ImageSaveManager"), static_cast<int>(QFileDevice::OpenError),
                   QStringLiteral("No free file name for %1").arg(name)},
                  completion);
}

QUrl ImageSaveManager::downloadsDirectory() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty()) {
        folder = QDir::home().filePath(QStringLiteral("Downloads"));
    }
    if (!QFileInfo::exists(folder)) {
        // A folder that cannot be made shows up as the failure of the write.
        createFolder(folder);
    }
    return QUrl::fromLocalFile(folder);
}

QUrl ImageSaveManager::uniqueFileURL(const QUrl& folder, const QString& fileName) {
    const QString folderPath = folder.toLocalFile();
    const NameParts parts(fileName);
    return QUrl::fromLocalFile(
        candidatePath(folderPath, parts, firstFreeCounter(folderPath, parts, 0)));
}

QString ImageSaveManager::snapshotFileName(int deviceID) {
    return QString::number(deviceID) + QStringLiteral("截图");
}

QString ImageSaveManager::sanitizedFileName(const QString& name) {
    return ::sanitizedFileName(name);
}
