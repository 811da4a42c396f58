#include "app/WebContentLocator.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace WebContentLocator {

namespace {

QString folderPath(const QString& documentsRoot) {
    return QDir::cleanPath(documentsRoot + QLatin1Char('/') + QLatin1String(kFolderName));
}

QString withSlash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

}  // namespace

std::optional<QString> servedFile(const QString& documentsRoot, const QString& relativePath) {
    if (documentsRoot.isEmpty() || relativePath.contains(QChar(u'\0'))) {
        return std::nullopt;
    }
    const QString root = folderPath(documentsRoot);
    const QString target = QDir::cleanPath(root + QLatin1Char('/') + relativePath);
    if (!target.startsWith(withSlash(root))) {
        return std::nullopt;
    }
    // Written paths can pass through links; only the resolved ones tell where a file really is.
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalTarget = QFileInfo(target).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalTarget.isEmpty()
        || !canonicalTarget.startsWith(withSlash(canonicalRoot))) {
        return std::nullopt;
    }
    return canonicalTarget;
}

std::optional<QString> servedPath(const QString& documentsRoot, const QString& filePath) {
    if (documentsRoot.isEmpty()) {
        return std::nullopt;
    }
    const QString root = withSlash(folderPath(documentsRoot));
    const QString file = QDir::cleanPath(filePath);
    if (!file.startsWith(root)) {
        return std::nullopt;
    }
    QStringList pieces = file.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (QString& piece : pieces) {
        piece = QString::fromLatin1(QUrl::toPercentEncoding(piece, "!$&'()*+,;=:@"));
    }
    return pieces.join(QLatin1Char('/'));
}

}  // namespace WebContentLocator
