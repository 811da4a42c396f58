#pragma once

#include <QFile>
#include <QString>

#include <memory>
#include <optional>

// Maps between the web-content folder on disk (<documents root>/"KXVWebContent") and the
// loopback server's "/web-content/" paths, keeping every served file strictly inside it.
namespace WebContentLocator {

inline constexpr char kFolderName[] = "KXVWebContent";

struct ServedFile {
    enum class Outcome {
        contents,    // `file` is open for reading, `size` bytes long
        notFound,    // missing, or outside the folder (the folder itself included)
        unreadable,  // inside the folder but not a readable regular file (a version folder, say)
    };
    Outcome outcome = Outcome::notFound;
    std::unique_ptr<QFile> file;
    qint64 size = 0;
};

// Opens the file a decoded relative path names. Where it lies is judged by the file actually
// opened, with every link resolved, so a link inside the folder that leads out of it counts as
// outside.
ServedFile openServedFile(const QString& documentsRoot, const QString& relativePath);

// The percent-encoded path under "/web-content/" of a file inside the folder (compared by its
// written path, links not followed), or nothing when the file lies elsewhere.
std::optional<QString> servedPath(const QString& documentsRoot, const QString& filePath);

}  // namespace WebContentLocator
