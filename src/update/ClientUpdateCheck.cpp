#include "update/ClientUpdateCheck.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/DeviceInfoManager.h"
#include "update/UpdateManager.h"
#include "update/UpdatesDirectory.h"
#include "update/VersionComparison.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The first source that holds a value.
template <typename T>
std::optional<T> firstOf(std::initializer_list<const std::optional<T>*> sources) {
    for (const std::optional<T>* source : sources) {
        if (source != nullptr && source->has_value()) {
            return *source;
        }
    }
    return std::nullopt;
}

const ForceInfo* newestEntry(const QList<ForceInfo>& entries) {
    const ForceInfo* best = nullptr;
    for (const ForceInfo& entry : entries) {
        const QString zero = QStringLiteral("0");
        if (best == nullptr || compareVersionsNumerically(best->pcClientVersion.value_or(zero),
                                                          entry.pcClientVersion.value_or(zero)) ==
                                   std::strong_ordering::less) {
            best = &entry;
        }
    }
    return best;
}

}  // namespace

ClientUpdateCheck::ClientUpdateCheck()
    : ClientUpdateCheck(Seams{
          DeviceInfoManager::shared().appVersion(),
          [](const UpdateInfo& offer) { UpdateManager::shared().presentUpdate(offer); },
          &ClientUpdateCheck::runUpdateAlert,
      }) {}

ClientUpdateCheck::ClientUpdateCheck(Seams seams) : m_seams(std::move(seams)) {}

void ClientUpdateCheck::handleClientVersionResult(
    const Result<VersionResponse, NetworkError>& result) const {
    if (!result) {
        const QString description = result.error().errorDescription();
        KXLog(QStringLiteral("重新获取客户端更新信息失败：") + description, LogTag::app,
              LogLevel::error);
        showUpdateAlert(QStringLiteral("检查更新失败"), description);
        return;
    }
    checkClientUpdate(result.value(), true);
}

void ClientUpdateCheck::checkClientUpdate(const VersionResponse& response, bool manual) const {
    const std::optional<UpdateInfo> offer = makeUpdateInfo(response, m_seams.runningVersion);
    if (!offer) {
        KXLog(QStringLiteral("当前已是最新客户端版本，或接口未返回有效的 DMG 更新参数"),
              LogTag::app, LogLevel::info);
        if (manual) {
            showUpdateAlert(QStringLiteral("暂无更新"), QStringLiteral("当前已经是最新版本"));
        }
        return;
    }
    MainQueue::async([present = m_seams.presentOffer, offer = *offer] {
        if (present) {
            present(offer);
        }
    });
}

void ClientUpdateCheck::showUpdateAlert(const QString& title, const QString& message) const {
    MainQueue::async([run = m_seams.runAlert, title, message] {
        if (run) {
            run(title, message);
        }
    });
}

std::optional<UpdateInfo> ClientUpdateCheck::makeUpdateInfo(const VersionResponse& response,
                                                            const QString& runningVersion) {
    const NewPCInfo* newPC = response.newPC ? &*response.newPC : nullptr;
    const QList<ForceInfo> candidates = newPC != nullptr && newPC->forceInfo
                                            ? *newPC->forceInfo
                                            : response.forceInfo.value_or(QList<ForceInfo>{});
    const ForceInfo* entry = newestEntry(candidates);

    const std::optional<QString> version =
        firstOf<QString>({entry ? &entry->pcClientVersion : nullptr,
                          newPC ? &newPC->pcClientVersion : nullptr, &response.pcClientVersion});
    const std::optional<QString> download =
        firstOf<QString>({entry ? &entry->pcClientDownload : nullptr,
                          newPC ? &newPC->pcClientDownload : nullptr, &response.pcClientDownload});
    const std::optional<QString> sha256 = firstOf<QString>(
        {entry ? &entry->pcClientSHA256 : nullptr, newPC ? &newPC->pcClientSHA256 : nullptr});
    const bool mandatory = firstOf<bool>({entry ? &entry->pcClientIsMandatory : nullptr,
                                          newPC ? &newPC->pcClientIsMandatory : nullptr})
                               .value_or(false);
    std::optional<QString> notes = firstOf<QString>(
        {entry ? &entry->pcClientUpdateContent : nullptr,
         newPC ? &newPC->pcClientUpdateContent : nullptr, &response.pcClientUpdateContent});

    if (!version || !isVersionNewer(*version, runningVersion)) {
        return std::nullopt;
    }
    if (!download || download->isEmpty()) {
        return std::nullopt;
    }
    const QUrl url(*download, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    const QString wantedSuffix = UpdatesDirectory::kPackageExtension.mid(1);
    if (QFileInfo(url.path()).suffix().toLower() != wantedSuffix) {
        return std::nullopt;
    }
    if (notes) {
        notes->replace(QStringLiteral("<br />"), QStringLiteral("\n"));
    }
    return UpdateInfo{*version, std::nullopt, url, sha256, mandatory, notes};
}

void ClientUpdateCheck::runUpdateAlert(const QString& title, const QString& message) {
    QMessageBox alert;
    alert.setText(title);
    alert.setInformativeText(message);
    alert.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    alert.exec();
}
