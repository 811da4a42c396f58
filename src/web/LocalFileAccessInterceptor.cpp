#include "web/LocalFileAccessInterceptor.h"

#include "foundation/logging/KXLog.h"
#include "foundation/storage/PathContainment.h"

#include <QUrl>

void LocalFileAccessInterceptor::setReadableFolder(const std::optional<QString>& folder) {
    QMutexLocker lock(&m_mutex);
    m_folder = folder ? PathContainment::resolvedPath(*folder) : std::nullopt;
}

std::optional<QString> LocalFileAccessInterceptor::readableFolder() const {
    QMutexLocker lock(&m_mutex);
    return m_folder;
}

void LocalFileAccessInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    if (!url.isLocalFile()) {
        return;
    }
    const std::optional<QString> folder = readableFolder();
    if (folder && PathContainment::isInside(url.toLocalFile(), *folder)) {
        return;
    }
    info.block(true);
    KXLog(QStringLiteral("⚠️ 拒绝读取页面目录之外的文件: ") + url.toLocalFile(),
          LogTag::web, LogLevel::warning);
}
