#include "update/ApplicationSwap.h"

#include "foundation/AppInfo.h"
#include "foundation/logging/KXLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr QDir::Filters kEveryEntry =
    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QString markPath(const QString& folder) {
    return QDir(folder).filePath(ApplicationSwap::kMarkFileName);
}

bool removeMark(const QString& folder) {
    return !ApplicationFolder::standsAt(markPath(folder)) || QFile::remove(markPath(folder));
}

// Names the target and the hand-over; only its presence counts when a folder is judged.
bool writeMark(const QString& folder, const QString& target, const QString& task) {
    const QByteArray mark =
        QJsonDocument(QJsonObject{{QStringLiteral("swap"), target}, {QStringLiteral("task"), task}})
            .toJson(QJsonDocument::Compact);
    QFile file(markPath(folder));
    return removeMark(folder) && file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
           file.write(mark) == mark.size() && file.flush();
}

// The mark goes last, so that a folder whose removal stops part-way is still the swap's own.
bool removeOwnFolder(const QString& path) {
    if (!ApplicationFolder::standsAt(path)) {
        return true;
    }
    if (!ApplicationSwap::isOwnFolder(path)) {
        return false;
    }
    bool removed = true;
    QDirIterator entries(path, kEveryEntry);
    while (entries.hasNext()) {
        entries.next();
        if (entries.fileName() != ApplicationSwap::kMarkFileName) {
            removed = ApplicationFolder::remove(entries.filePath()) && removed;
        }
    }
    return removed && removeMark(path) && QDir().rmdir(path);
}

// Gives up a swap before anything at the target changed: the installed folder loses its mark and
// the staged copy goes.
bool abandon(const QString& target, const QString& staging) {
    removeMark(target);
    removeOwnFolder(staging);
    return false;
}

void notify(const ApplicationSwap::StageObserver& observer, ApplicationSwap::Stage stage) {
    if (observer) {
        observer(stage);
    }
}

}  // namespace

ApplicationSwap::RecoveryPlan ApplicationSwap::planRecovery(Presence target, Presence ownBackup,
                                                            Presence ownStaging) {
    RecoveryPlan plan;
    plan.restoreBackup = target == Presence::missing && ownBackup == Presence::whole;
    // Beside a target that is not whole, a leftover may be the last copy of an application.
    const bool wholeTarget = target == Presence::whole || plan.restoreBackup;
    plan.removeBackup = target == Presence::whole && ownBackup != Presence::missing;
    plan.removeStaging = wholeTarget && ownStaging != Presence::missing;
    return plan;
}

QString ApplicationSwap::stageName(Stage stage) {
    switch (stage) {
        case Stage::stagingCopy:
            return QStringLiteral("staging-copy");
        case Stage::staged:
            return QStringLiteral("staged");
        case Stage::betweenRenames:
            return QStringLiteral("between-renames");
        case Stage::beforeBackupRemoval:
            return QStringLiteral("before-backup-removal");
    }
    return {};
}

ApplicationSwap::ApplicationSwap(QString targetPath, QString identifier, QString executableName)
    : m_targetPath(std::move(targetPath)),
      m_identifier(std::move(identifier)),
      m_executableName(std::move(executableName)) {}

ApplicationSwap ApplicationSwap::running() {
    return ApplicationSwap(QCoreApplication::applicationDirPath(),
                           QString::fromUtf8(AppInfo::kBundleIdentifier),
                           QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

ApplicationSwap::Presence ApplicationSwap::presence(const QString& path) const {
    return ApplicationFolder::presence(path, m_identifier, m_executableName);
}

bool ApplicationSwap::isOwnFolder(const QString& path) {
    const QFileInfo info(path);
    const QFileInfo mark(markPath(path));
    return info.isDir() && !info.isSymLink() &&
           ((mark.isFile() && !mark.isSymLink()) || QDir(path).isEmpty(kEveryEntry));
}

QString ApplicationSwap::foreignFolderInTheWay() const {
    for (const QString& path : {stagingPath(), backupPath()}) {
        if (ApplicationFolder::standsAt(path) && !isOwnFolder(path)) {
            return path;
        }
    }
    return {};
}

bool ApplicationSwap::recover() const {
    const auto own = [this](const QString& path) {
        return isOwnFolder(path) ? presence(path) : Presence::missing;
    };
    const Presence target = presence(m_targetPath);
    const RecoveryPlan plan = planRecovery(target, own(backupPath()), own(stagingPath()));
    if (plan.restoreBackup) {
        if (!ApplicationFolder::renameToFreeName(backupPath(), m_targetPath)) {
            return false;
        }
        LogWarning(QStringLiteral("♻️ 上次更新未完成，已从备份恢复应用: ") +
                       m_targetPath,
                   LogTag::app);
    }
    if (target == Presence::whole || plan.restoreBackup) {
        removeMark(m_targetPath);
    }
    if (plan.removeBackup) {
        removeOwnFolder(backupPath());
    }
    if (plan.removeStaging) {
        removeOwnFolder(stagingPath());
    }
    return presence(m_targetPath) == Presence::whole;
}

bool ApplicationSwap::swapIn(const QString& sourcePath, const QString& task,
                             const StageObserver& observer) const {
    const Presence target = presence(m_targetPath);
    // What an earlier run left at the two names goes, and only that.
    if (target == Presence::partial || !foreignFolderInTheWay().isEmpty() ||
        !removeOwnFolder(stagingPath()) ||
        (target == Presence::whole && !removeOwnFolder(backupPath()))) {
        return false;
    }
    // Marked before anything else goes in; checked against the source before it is used.
    const bool staged =
        QDir().mkdir(stagingPath()) && writeMark(stagingPath(), m_targetPath, task) &&
        ApplicationFolder::copy(sourcePath, stagingPath(),
                                [&observer] { notify(observer, Stage::stagingCopy); }) &&
        presence(stagingPath()) == Presence::whole &&
        ApplicationFolder::listing(stagingPath(), kMarkFileName) ==
            ApplicationFolder::listing(sourcePath);
    // The installed folder is marked just before it may be moved aside.
    if (!staged || (target == Presence::whole && !writeMark(m_targetPath, m_targetPath, task))) {
        return abandon(m_targetPath, stagingPath());
    }
    notify(observer, Stage::staged);
    if (target == Presence::missing) {
        // Nothing to move aside: the staged copy takes the free name.
        if (!ApplicationFolder::renameToFreeName(stagingPath(), m_targetPath)) {
            return abandon(m_targetPath, stagingPath());
        }
        removeMark(m_targetPath);
        return true;
    }
    return putInPlace(observer);
}

bool ApplicationSwap::putInPlace(const StageObserver& observer) const {
    QString oldPath = stagingPath();
    const ApplicationFolder::Exchange exchanged =
        m_usesExchange ? ApplicationFolder::exchange(stagingPath(), m_targetPath)
                       : ApplicationFolder::Exchange::refused;
    if (exchanged == ApplicationFolder::Exchange::refused) {
        oldPath = backupPath();
        if (!ApplicationFolder::renameToFreeName(m_targetPath, backupPath())) {
            return abandon(m_targetPath, stagingPath());
        }
        notify(observer, Stage::betweenRenames);
        if (!ApplicationFolder::renameToFreeName(stagingPath(), m_targetPath)) {
            // Puts the backup back and clears the staging folder.
            recover();
            return false;
        }
    } else if (exchanged == ApplicationFolder::Exchange::failed) {
        return abandon(m_targetPath, stagingPath());
    }
    notify(observer, Stage::beforeBackupRemoval);
    removeMark(m_targetPath);
    removeOwnFolder(oldPath);
    return true;
}
