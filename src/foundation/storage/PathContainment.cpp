#include "foundation/storage/PathContainment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace PathContainment {

namespace {

// As many links as the system follows in one lookup before it gives up.
constexpr int kMaxLinksFollowed = 40;

// The path with every link resolved by the C library, or nothing when the system cannot resolve
// it. Not through QFileInfo, whose canonical path is the path itself, links and all, where the
// system gives up on it (a name too long for the file system, for one).
std::optional<QString> realPath(const QString& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(QFile::encodeName(path).constData(), nullptr), &std::free);
    return real ? std::optional<QString>(QFile::decodeName(real.get())) : std::nullopt;
}

// Where a link leads, as written in it; nothing when the path is not a link.
std::optional<QString> linkTarget(const QByteArray& path) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(path.constData(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
        return std::nullopt;
    }
    return QFile::decodeName(QByteArray(buffer, length));
}

}  // namespace

std::optional<QString> resolvedPath(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(u'\0'))) {
        return std::nullopt;
    }
    QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (int followed = 0;;) {
        if (const std::optional<QString> real = realPath(absolute)) {
            return real;
        }
        // From the whole path up: the longest part that resolves decides, unless a link to
        // something missing (or caught in a loop) comes first; that one is followed by hand.
        // Parts longer than the system takes in one name neither resolve nor are links, so the
        // walk starts below them.
        std::optional<QString> next;
        for (qsizetype cut = absolute.size() < PATH_MAX
                                 ? absolute.size()
                                 : absolute.lastIndexOf(QLatin1Char('/'), PATH_MAX - 1);
             cut > 0 && !next; cut = absolute.lastIndexOf(QLatin1Char('/'), cut - 1)) {
            const QString head = absolute.left(cut);
            if (cut < absolute.size()) {
                if (const std::optional<QString> real = realPath(head)) {
                    return QDir::cleanPath(*real + absolute.sliced(cut));
                }
            }
            if (const std::optional<QString> target = linkTarget(QFile::encodeName(head))) {
                const QString base =
                    target->startsWith(QLatin1Char('/'))
                        ? *target
                        : head.left(head.lastIndexOf(QLatin1Char('/')) + 1) + *target;
                next = base + absolute.sliced(cut);
            }
        }
        if (!next) {
            return QDir::cleanPath(absolute);
        }
        if (++followed > kMaxLinksFollowed) {
            return std::nullopt;
        }
        absolute = *next;
    }
}

std::optional<QString> resolvedPathOf(int fd) {
    return linkTarget("/proc/self/fd/" + QByteArray::number(fd));
}

bool liesWithin(const QString& resolvedPath, const QString& resolvedFolder) {
    if (resolvedPath.isEmpty() || resolvedFolder.isEmpty()) {
        return false;
    }
    if (resolvedPath == resolvedFolder) {
        return true;
    }
    return resolvedPath.startsWith(resolvedFolder.endsWith(QLatin1Char('/'))
                                       ? resolvedFolder
                                       : resolvedFolder + QLatin1Char('/'));
}

bool isInside(const QString& path, const QString& folder) {
    const std::optional<QString> file = resolvedPath(path);
    const std::optional<QString> root = file ? resolvedPath(folder) : std::nullopt;
    return root && liesWithin(*file, *root);
}

}  // namespace PathContainment
