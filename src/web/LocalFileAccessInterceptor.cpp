#include "web/LocalFileAccessInterceptor.h"

#include "foundation/logging/KXLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstdlib>
#include <memory>

namespace {

// The path with every link resolved, or nothing when the path does not resolve. Not through
// QFileInfo, whose canonical path is the path itself, links and all, where the system gives up
// on it (a name too long for the file system, for one).
std::optional<QString> realPath(const QString& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(QFile::encodeName(path).constData(), nullptr), &std::free);
    return real ? std::optional<QString>(QFile::decodeName(real.get())) : std::nullopt;
}

// The path with its links resolved. A path that does not resolve resolves through its longest
// existing ancestor, so that naming a missing file behind a link does not step over the link.
QString resolved(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (const std::optional<QString> real = realPath(absolute)) {
        return *real;
    }
    qsizetype cut = absolute.size();
    while ((cut = absolute.lastIndexOf(QLatin1Char('/'), cut - 1)) > 0) {
        if (const std::optional<QString> ancestor = realPath(absolute.left(cut))) {
            return QDir::cleanPath(*ancestor + absolute.sliced(cut));
        }
    }
    return QDir::cleanPath(absolute);
}

}  // namespace

void LocalFileAccessInterceptor::setReadableFolder(const std::optional<QString>& folder) {
    QMutexLocker lock(&m_mutex);
    m_folder = folder ? std::optional<QString>(resolved(*folder)) : std::nullopt;
}

std::optional<QString> LocalFileAccessInterceptor::readableFolder() const {
    QMutexLocker lock(&m_mutex);
    return m_folder;
}

bool LocalFileAccessInterceptor::isInside(const QString& filePath, const QString& folder) {
    // No file has such a name; Qt would hand the path back unresolved, its ".." still in it.
    if (filePath.contains(QChar(u'\0')) || folder.contains(QChar(u'\0'))) {
        return false;
    }
    const QString file = resolved(filePath);
    const QString root = resolved(folder);
    if (file == root) {
        return true;
    }
    return file.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

void LocalFileAccessInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    if (!url.isLocalFile()) {
        return;
    }
    const std::optional<QString> folder = readableFolder();
    if (folder && isInside(url.toLocalFile(), *folder)) {
        return;
    }
    info.block(true);
    KXLog(QStringLiteral("⚠️ 拒绝读取页面目录之外的文件: ") + url.toLocalFile(),
          LogTag::web, LogLevel::warning);
}
