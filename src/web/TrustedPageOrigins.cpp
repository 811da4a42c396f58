#include "web/TrustedPageOrigins.h"

#include "foundation/settings/ServiceEndpoints.h"
#include "foundation/storage/PathContainment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kHttp = QStringLiteral("http");
const QString kHttps = QStringLiteral("https");

bool isWebScheme(const QString& scheme) {
    return scheme == kHttp || scheme == kHttps;
}

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace

TrustedPageOrigins& TrustedPageOrigins::shared() {
    static TrustedPageOrigins origins;
    return origins;
}

TrustedPageOrigins::TrustedPageOrigins()
    : TrustedPageOrigins(
          {ServiceEndpoints::apiBaseUrl(), ServiceEndpoints::resourceBaseUrl()},
          QCoreApplication::instance() != nullptr
              ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pc"))
              : QString(),
          {}) {}

TrustedPageOrigins::TrustedPageOrigins(QList<QUrl> serviceBases, QString builtInFolder,
                                       FolderProvider webContentFolder)
    : m_builtInFolder(std::move(builtInFolder)), m_webContentFolder(std::move(webContentFolder)) {
    for (const QUrl& base : serviceBases) {
        // A service page reached over plain http could be anyone's on the way.
        if (base.scheme().toLower() == kHttps && !base.host().isEmpty()) {
            m_serviceOrigins.insert(originOf(base));
        }
    }
}

void TrustedPageOrigins::changedLocked() {
    m_generation.fetch_add(1, std::memory_order_acq_rel);
}

void TrustedPageOrigins::setWebContentFolderProvider(FolderProvider provider) {
    std::lock_guard lock(m_mutex);
    m_webContentFolder = std::move(provider);
    changedLocked();
}

void TrustedPageOrigins::setLoopbackPort(quint16 port) {
    std::lock_guard lock(m_mutex);
    m_loopbackPort = port;
    changedLocked();
}

std::optional<QString> TrustedPageOrigins::trustChosenAddress(const QUrl& address) {
    if (!address.isValid() || address.isRelative()) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    if (address.isLocalFile()) {
        const QString folder = QFileInfo(address.toLocalFile()).absolutePath();
        if (!m_chosenFolders.contains(folder)) {
            m_chosenFolders << folder;
            changedLocked();
        }
        return folder;
    }
    if (!isWebScheme(address.scheme().toLower()) || address.host().isEmpty()) {
        return std::nullopt;
    }
    const QString origin = originOf(address);
    if (!m_chosenOrigins.contains(origin)) {
        m_chosenOrigins.insert(origin);
        changedLocked();
    }
    return origin;
}

QString TrustedPageOrigins::originOf(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || !isWebScheme(scheme) || url.host().isEmpty()) {
        return QStringLiteral("null");
    }
    const QString host = url.host(QUrl::FullyEncoded).toLower();
    QString origin =
        scheme + QStringLiteral("://") +
        (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host);
    const int defaultPort = scheme == kHttps ? 443 : 80;
    if (url.port() != -1 && url.port() != defaultPort) {
        origin += QLatin1Char(':') + QString::number(url.port());
    }
    return origin;
}

QSet<QString> TrustedPageOrigins::originsLocked() const {
    QSet<QString> origins = m_serviceOrigins + m_chosenOrigins;
    if (m_loopbackPort != 0) {
        for (const QString& host :
             {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("[::1]")}) {
            origins.insert(QStringLiteral("http://") + host + QLatin1Char(':') +
                           QString::number(m_loopbackPort));
        }
    }
    return origins;
}

QStringList TrustedPageOrigins::trustedFolders() const {
    FolderProvider webContent;
    QStringList folders;
    {
        std::lock_guard lock(m_mutex);
        webContent = m_webContentFolder;
        folders = m_chosenFolders;
        folders << m_builtInFolder;
    }
    // The provider may ask the file system; it runs outside the lock.
    if (webContent) {
        folders << webContent();
    }
    folders.removeAll(QString());
    return folders;
}

bool TrustedPageOrigins::isTrustedPage(const QUrl& url) const {
    if (!url.isValid()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data")) {
        return true;
    }
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        const QStringList trusted = trustedFolders();
        return std::any_of(trusted.cbegin(), trusted.cend(), [&path](const QString& folder) {
            return PathContainment::isInside(path, folder);
        });
    }
    return isWebScheme(scheme) && isTrustedOrigin(originOf(url));
}

bool TrustedPageOrigins::isTrustedOrigin(const QString& origin) const {
    std::lock_guard lock(m_mutex);
    return originsLocked().contains(origin);
}

TrustedPageOrigins::Snapshot TrustedPageOrigins::snapshot() const {
    Snapshot snapshot;
    {
        std::lock_guard lock(m_mutex);
        snapshot.origins = originsLocked().values();
    }
    snapshot.origins.sort();
    for (const QString& folder : trustedFolders()) {
        // The page sees the path it was loaded by; the check here also follows links.
        const QString clean = withSlash(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        for (const QString& form : {clean, canonical.isEmpty() ? clean : withSlash(canonical)}) {
            if (!snapshot.folders.contains(form)) {
                snapshot.folders << form;
            }
        }
    }
    return snapshot;
}
