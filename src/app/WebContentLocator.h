#pragma once

#include <QString>

#include <optional>

// Maps between the web-content folder on disk (<documents root>/"KXVWebContent") and the
// loopback server's "/web-content/" paths, keeping every served file strictly inside it.
namespace WebContentLocator {

inline constexpr char kFolderName[] = "KXVWebContent";

// The file a decoded relative path names, resolved through every link, or nothing when it does
// not exist or lies outside the folder (the folder itself included). A link inside the folder
// that leads out of it counts as outside.
std::optional<QString> servedFile(const QString& documentsRoot, const QString& relativePath);

// The percent-encoded path under "/web-content/" of a file inside the folder (compared by its
// written path, links not followed), or nothing when the file lies elsewhere.
std::optional<QString> servedPath(const QString& documentsRoot, const QString& filePath);

}  // namespace WebContentLocator
