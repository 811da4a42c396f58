#pragma once

#include "update/ApplicationFolder.h"

#include <QString>

#include <functional>

// Replaces the installed application folder so that at every instant a whole application either
// stands at the target or waits at "<target>.backup": the new folder is copied to
// "<target>.staging" and checked, then the old folder and the staged one change places by two
// renames, and the backup goes last. `recover` finishes what an interrupted swap left behind.
class ApplicationSwap {
public:
    static inline const QString kBackupSuffix = QStringLiteral(".backup");
    static inline const QString kStagingSuffix = QStringLiteral(".staging");

    enum class Stage { stagingCopy, betweenRenames, beforeBackupRemoval };
    // Called as each stage is reached (the staging copy: after every file).
    using StageObserver = std::function<void(Stage)>;

    // What to do about an interrupted swap, given what stands at the three places.
    struct RecoveryPlan {
        bool removeTarget = false;
        bool restoreBackup = false;
        bool removeBackup = false;
        bool removeStaging = false;
    };
    using Presence = ApplicationFolder::Presence;
    // A backup is restored only when it is whole and the target is not, and the backup and
    // staging folders are removed only when a whole application stands at the target.
    static RecoveryPlan planRecovery(Presence target, Presence backup, Presence staging);

    // "staging-copy", "between-renames", "before-backup-removal".
    static QString stageName(Stage stage);

    ApplicationSwap(QString targetPath, QString identifier, QString executableName);
    // The folder of the running executable, with the build's identifier.
    static ApplicationSwap running();

    const QString& targetPath() const { return m_targetPath; }
    QString backupPath() const { return m_targetPath + kBackupSuffix; }
    QString stagingPath() const { return m_targetPath + kStagingSuffix; }
    Presence presence(const QString& path) const;

    // Puts a whole backup back in place of a missing or broken target (logged) and clears what
    // an interrupted swap left beside a whole target. True when a whole application stands at
    // the target afterwards.
    bool recover() const;
    // `sourcePath` must be a whole application with the same identifier, and the target whole
    // or missing. False when the swap did not happen; the target is then as it was.
    bool swapIn(const QString& sourcePath, const StageObserver& observer = {}) const;

private:
    QString m_targetPath;
    QString m_identifier;
    QString m_executableName;
};
