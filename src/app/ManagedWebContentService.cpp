#include "app/ManagedWebContentService.h"

#include "app/WebContentManager.h"

ManagedWebContentService::ManagedWebContentService(WebContentManager& manager,
                                                   ForceInfoSource activeForceInfo)
    : m_manager(&manager), m_activeForceInfo(std::move(activeForceInfo)) {}

ManagedWebContentService::~ManagedWebContentService() {
    if (WebContentService::installed() == this) {
        WebContentService::install(nullptr);
    }
}

std::optional<ForceInfo> ManagedWebContentService::activeForceInfo() const {
    return m_activeForceInfo ? m_activeForceInfo() : std::nullopt;
}

std::optional<QString> ManagedWebContentService::activeEntryFilePath() {
    if (!m_manager) {
        return std::nullopt;
    }
    const std::optional<QString> version = m_manager->resolveActiveWebVersion();
    if (!version) {
        return std::nullopt;
    }
    const std::optional<QUrl> entry = m_manager->pathManager().webPathEntryFor(*version);
    if (!entry) {
        return std::nullopt;
    }
    return entry->toLocalFile();
}

bool ManagedWebContentService::setAuthorizedDocumentsFolder(const QString& folder) {
    return m_manager && m_manager->setAuthorizedDocumentsFolder(folder);
}

std::optional<QUrl> ManagedWebContentService::repairDownloadAddress() {
    if (m_manager && m_manager->downloadURL()) {
        return m_manager->downloadURL();
    }
    const std::optional<ForceInfo> info = activeForceInfo();
    if (!info || !info->pcClientWebDownload) {
        return std::nullopt;
    }
    const QUrl url(*info->pcClientWebDownload, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

QString ManagedWebContentService::repairWebVersion() {
    const std::optional<ForceInfo> info = activeForceInfo();
    return info && info->pcClientWebVersion ? *info->pcClientWebVersion
                                            : WebContentManager::builtInWebVersion;
}

void ManagedWebContentService::startWebPackageDownload(const QString& address,
                                                       const QString& version, DownloadDone done) {
    if (!m_manager) {
        done(QStringLiteral("Web 内容管理器不可用"));
        return;
    }
    DownloadCompletion completion;
    completion.onCompleted = [done](const QUrl&) { done(std::nullopt); };
    completion.onFailed = [done](const Error& error) { done(error.message); };
    m_manager->startWebPackageDownload(address, version, std::move(completion));
}

std::optional<QUrl> ManagedWebContentService::useBuiltInWebContent() {
    return m_manager ? m_manager->useBuiltInWebContent() : std::nullopt;
}
