#include "app/WebContentLocator.h"

#include "foundation/storage/PathContainment.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

namespace WebContentLocator {

namespace {

QString folderPath(const QString& documentsRoot) {
    return QDir::cleanPath(documentsRoot + QLatin1Char('/') + QLatin1String(kFolderName));
}

QString withSlash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

// Whether a resolved path lies inside the folder `root` really is; the folder itself is never
// served. The folder's own resolution is kept between requests of the server's thread; a path
// that seems to lie outside is judged again against a fresh one, so a folder moved or replaced
// since is never held against the files now in it.
bool liesInside(const QString& resolved, const QString& root) {
    thread_local QString cachedRoot;
    thread_local std::optional<QString> cachedRealRoot;
    const auto within = [&resolved] {
        return cachedRealRoot && resolved != *cachedRealRoot &&
               PathContainment::liesWithin(resolved, *cachedRealRoot);
    };
    if (cachedRoot == root && within()) {
        return true;
    }
    cachedRoot = root;
    cachedRealRoot = PathContainment::resolvedPath(root);
    return within();
}

}  // namespace

ServedFile openServedFile(const QString& documentsRoot, const QString& relativePath) {
    using Outcome = ServedFile::Outcome;
    if (documentsRoot.isEmpty() || relativePath.contains(QChar(u'\0'))) {
        return {};
    }
    const QString root = folderPath(documentsRoot);
    const QString target = QDir::cleanPath(root + QLatin1Char('/') + relativePath);
    if (!target.startsWith(withSlash(root))) {
        return {};
    }
    // Non-blocking, so that a pipe placed in the folder cannot stall the server.
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A name too long for the file system names no file either.
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG) {
            return {};
        }
        const std::optional<QString> resolved = PathContainment::resolvedPath(target);
        return {resolved && liesInside(*resolved, root) ? Outcome::unreadable : Outcome::notFound};
    }
    auto file = std::make_unique<QFile>();
    file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    const std::optional<QString> resolved = PathContainment::resolvedPathOf(fd);
    if (!resolved || !liesInside(*resolved, root)) {
        return {};
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return {Outcome::unreadable};
    }
    return {Outcome::contents, std::move(file), static_cast<qint64>(status.st_size)};
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
