#pragma once

#include "api/ForceInfo.h"
#include "web/WebContentService.h"

#include <QPointer>

#include <functional>
#include <optional>

class WebContentManager;

// The page's view of the web content manager: the entry file popups load and the steps of a
// repair. The running client's release entry (for the repair's address and version) comes from
// the version record read at start-up, through `activeForceInfo`.
class ManagedWebContentService : public WebContentService {
public:
    using ForceInfoSource = std::function<std::optional<ForceInfo>()>;

    explicit ManagedWebContentService(WebContentManager& manager,
                                      ForceInfoSource activeForceInfo = {});
    ~ManagedWebContentService() override;

    std::optional<QString> activeEntryFilePath() override;
    bool setAuthorizedDocumentsFolder(const QString& folder) override;
    std::optional<QUrl> repairDownloadAddress() override;
    QString repairWebVersion() override;
    void startWebPackageDownload(const QString& address, const QString& version,
                                 DownloadDone done) override;
    std::optional<QUrl> useBuiltInWebContent() override;

private:
    std::optional<ForceInfo> activeForceInfo() const;

    QPointer<WebContentManager> m_manager;
    ForceInfoSource m_activeForceInfo;
};
