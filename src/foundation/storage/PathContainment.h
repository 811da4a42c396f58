#pragma once

#include <QString>

#include <optional>

// Whether a path lies inside a folder, judged where the path really leads. The one rule for the
// files a page may read, the web files the loopback server hands out and the links an archive
// may leave behind.
//
// "." and ".." steps are taken from the written path first, as an address or the server's own
// path rule takes them; then every link is followed. A path that does not resolve all the way
// (a missing file, a name too long for the file system, a link to nothing) is judged where the
// part that exists leads, the links met on the way followed too, so naming something missing
// behind a link never steps over the link.
namespace PathContainment {

// The absolute, clean path with every link resolved as far as the path exists, the rest
// appended. Nothing for a path holding a NUL byte (no file has such a name, and the system would
// cut the name short) or caught in a loop of links.
std::optional<QString> resolvedPath(const QString& path);

// Where an open file lies, every link resolved, as the system tells; nothing when it cannot.
// Judging the file actually opened leaves no time for a link to be swapped in between.
std::optional<QString> resolvedPathOf(int fd);

// Whether an already resolved path is the resolved folder or lies beneath it.
bool liesWithin(const QString& resolvedPath, const QString& resolvedFolder);

// Whether `path` is `folder` or lies beneath it, both resolved first. An empty path or folder
// is never inside.
bool isInside(const QString& path, const QString& folder);

}  // namespace PathContainment
