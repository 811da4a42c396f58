#pragma once

#include "foundation/json/Result.h"
#include "update/UpdateTask.h"

#include <QString>

#include <optional>

// The folder that holds downloaded update packages and the hand-over files for the helper. Every
// file gets a fresh UUID in its name, so nothing in the folder is ever overwritten.
class UpdatesDirectory {
public:
    static inline const QString kFallbackIdentifier = QStringLiteral("mac_brisca_cn");
    static inline const QString kFolderName = QStringLiteral("Updates");
    // The package is an archive that is unpacked into a folder, not a mountable image.
    static inline const QString kPackageExtension = QStringLiteral(".zip");

    // The user's application-data folder and the application's identifier.
    UpdatesDirectory();
    // An absent or empty identifier uses the fallback folder name.
    UpdatesDirectory(const QString& applicationSupportDirectory,
                     const std::optional<QString>& bundleIdentifier);

    const QString& path() const { return m_path; }
    // "update-<UUID>" plus the package extension; the folder is not created.
    QString newPackagePath() const;
    // "task-<UUID>.json"; the folder is not created.
    QString newTaskPath() const;
    // "volume-<UUID>", the folder a package is unpacked into; not created.
    QString newVolumePath() const;
    // Whether `path` lies directly in this folder under a name `newVolumePath` or
    // `newPackagePath` gives; only such items are ever removed after an update.
    bool holdsVolumePath(const QString& path) const;
    bool holdsPackagePath(const QString& path) const;
    // "swap.lock", the file the update lock is taken on (see UpdateLock).
    QString lockPath() const;
    // With its parents; an existing folder is fine.
    Result<void> create() const;
    // Writes the task atomically to a new task file and returns its path.
    Result<QString> writeTask(const UpdateTask& task) const;

private:
    QString newFilePath(const QString& prefix, const QString& extension) const;
    bool holdsPath(const QString& path, const QString& prefix, const QString& extension) const;

    QString m_path;
};
