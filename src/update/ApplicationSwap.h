#pragma once

#include "update/ApplicationFolder.h"

#include <QString>

#include <functional>

// Replaces the installed application folder so that at every instant a whole application stands
// at the target: the new folder is copied to "<target>.staging" and checked against its source,
// then the two folders change places in one exchange, and the old one, now at the staging name,
// goes last. Where the file system cannot exchange folders, two renames through
// "<target>.backup" do it instead, and for that moment the old application waits whole in the
// backup. Each folder the swap makes or moves aside carries a mark file; a folder at either name
// without it is the user's and is never removed, restored or renamed over. Callers hold the
// update lock. `recover` finishes what an interrupted swap left behind.
class ApplicationSwap {
public:
    static inline const QString kBackupSuffix = QStringLiteral(".backup");
    static inline const QString kStagingSuffix = QStringLiteral(".staging");
    // Written first into the staging folder, and into the installed folder just before it is
    // moved aside; removed from the installed folder once it stands at the target again.
    static inline const QString kMarkFileName = QStringLiteral(".kx-update-swap");

    enum class Stage {
        // After every file of the staging copy.
        stagingCopy,
        // The copy is checked and both folders are marked; nothing at the target has changed.
        staged,
        // Without the exchange: the old folder is the backup and nothing stands at the target.
        betweenRenames,
        // The new folder stands at the target; the old one is still beside it.
        beforeBackupRemoval,
    };
    // Called as each stage is reached.
    using StageObserver = std::function<void(Stage)>;

    // What to do about an interrupted swap, given what stands at the target and which of the
    // swap's own folders (marked) stand at the backup and staging names.
    struct RecoveryPlan {
        bool restoreBackup = false;
        bool removeBackup = false;
        bool removeStaging = false;
    };
    using Presence = ApplicationFolder::Presence;
    // A backup is restored only into a free target, and the swap's folders are removed only when
    // a whole application stands at the target.
    static RecoveryPlan planRecovery(Presence target, Presence ownBackup, Presence ownStaging);

    // "staging-copy", "staged", "between-renames", "before-backup-removal".
    static QString stageName(Stage stage);

    ApplicationSwap(QString targetPath, QString identifier, QString executableName);
    // The folder of the running executable, with the build's identifier.
    static ApplicationSwap running();

    const QString& targetPath() const { return m_targetPath; }
    QString backupPath() const { return m_targetPath + kBackupSuffix; }
    QString stagingPath() const { return m_targetPath + kStagingSuffix; }
    Presence presence(const QString& path) const;
    // A real folder holding the mark, or an empty one (what a stop between making the staging
    // folder and marking it leaves; removing it cannot lose anything).
    static bool isOwnFolder(const QString& path);
    // The first of the backup and staging names that holds something the swap did not make;
    // empty when the swap may use both.
    QString foreignFolderInTheWay() const;

    // False: always two renames (file systems without the exchange, and tests).
    void setUsesExchange(bool usesExchange) { m_usesExchange = usesExchange; }

    // Puts the swap's whole backup back into a free target (logged), takes the mark out of a
    // whole target, and clears the swap's folders beside it. True when a whole application
    // stands at the target afterwards.
    bool recover() const;
    // `sourcePath` must be a whole application with the same identifier, the target whole or
    // missing, and `task` names the hand-over in the marks. False when the swap did not happen;
    // the target is then as it was.
    bool swapIn(const QString& sourcePath, const QString& task,
                const StageObserver& observer = {}) const;

private:
    // Puts the staged folder at the target, the old one beside it, then removes the old one.
    bool putInPlace(const StageObserver& observer) const;

    QString m_targetPath;
    QString m_identifier;
    QString m_executableName;
    bool m_usesExchange = true;
};
