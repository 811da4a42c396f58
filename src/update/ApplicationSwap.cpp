#include "update/ApplicationSwap.h"

#include "foundation/AppInfo.h"
#include "foundation/logging/KXLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

ApplicationSwap::RecoveryPlan ApplicationSwap::planRecovery(Presence target, Presence backup,
                                                            Presence staging) {
    RecoveryPlan plan;
    plan.restoreBackup = target != Presence::whole && backup == Presence::whole;
    plan.removeTarget = plan.restoreBackup && target == Presence::partial;
    // Beside a target that is not whole, a leftover may be the last copy of an application.
    const bool wholeTarget = target == Presence::whole || plan.restoreBackup;
    plan.removeBackup = target == Presence::whole && backup != Presence::missing;
    plan.removeStaging = wholeTarget && staging != Presence::missing;
    return plan;
}

QString ApplicationSwap::stageName(Stage stage) {
    switch (stage) {
        case Stage::stagingCopy:
            return QStringLiteral("staging-copy");
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

bool ApplicationSwap::recover() const {
    const RecoveryPlan plan =
        planRecovery(presence(m_targetPath), presence(backupPath()), presence(stagingPath()));
    if (plan.restoreBackup) {
        if (plan.removeTarget && !ApplicationFolder::remove(m_targetPath)) {
            return false;
        }
        if (!QDir().rename(backupPath(), m_targetPath)) {
            return false;
        }
        LogWarning(QStringLiteral("♻️ 上次更新未完成，已从备份恢复应用: ") +
                       m_targetPath,
                   LogTag::app);
    }
    if (plan.removeBackup) {
        ApplicationFolder::remove(backupPath());
    }
    if (plan.removeStaging) {
        ApplicationFolder::remove(stagingPath());
    }
    return presence(m_targetPath) == Presence::whole;
}

bool ApplicationSwap::swapIn(const QString& sourcePath, const StageObserver& observer) const {
    const auto reached = [&observer](Stage stage) {
        if (observer) {
            observer(stage);
        }
    };
    const Presence target = presence(m_targetPath);
    if (target == Presence::partial || !ApplicationFolder::remove(stagingPath())) {
        return false;
    }
    const bool copied = ApplicationFolder::copy(sourcePath, stagingPath(),
                                                [&reached] { reached(Stage::stagingCopy); });
    if (!copied || presence(stagingPath()) != Presence::whole) {
        ApplicationFolder::remove(stagingPath());
        return false;
    }
    // The target is whole here, so an older backup may go; the rename needs its place.
    if (target == Presence::whole &&
        (!ApplicationFolder::remove(backupPath()) || !QDir().rename(m_targetPath, backupPath()))) {
        ApplicationFolder::remove(stagingPath());
        return false;
    }
    reached(Stage::betweenRenames);
    if (!QDir().rename(stagingPath(), m_targetPath)) {
        recover();
        ApplicationFolder::remove(stagingPath());
        return false;
    }
    reached(Stage::beforeBackupRemoval);
    ApplicationFolder::remove(backupPath());
    return true;
}
