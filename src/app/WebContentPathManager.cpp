#include "app/WebContentPathManager.h"

#include "foundation/logging/KXLog.h"
#include "foundation/storage/DocumentsRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

WebContentPathManager::WebContentPathManager()
    : sandboxDocumentsPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)) {}

QString WebContentPathManager::webDocumentsRoot() const {
    if (authorizedDocumentsPath) {
        return *authorizedDocumentsPath;
    }
    return documentsRootPath();
}

QString WebContentPathManager::webContentRootPath() const {
    return QDir(webDocumentsRoot()).filePath(webContentFolderName);
}

QString WebContentPathManager::sanitizeVersionCharacter(char32_t scalar) {
    const bool kept = QChar::isLetterOrNumber(scalar) || QChar::isMark(scalar) || scalar == U'.' ||
                      scalar == U'_' || scalar == U'-';
    return kept ? QString::fromUcs4(&scalar, 1) : QStringLiteral("_");
}

QString WebContentPathManager::sanitizeVersion(const QString& version) {
    QString sanitized;
    sanitized.reserve(version.size());
    for (const char32_t scalar : version.toUcs4()) {
        sanitized += sanitizeVersionCharacter(scalar);
    }
    return sanitized;
}

bool WebContentPathManager::isUsableVersionName(const QString& sanitizedVersion) {
    return std::any_of(sanitizedVersion.cbegin(), sanitizedVersion.cend(),
                       [](QChar c) { return c != QLatin1Char('.'); });
}

std::optional<QString> WebContentPathManager::versionFolderPath(const QString& version) const {
    const QString sanitized = sanitizeVersion(version);
    if (!isUsableVersionName(sanitized)) {
        return std::nullopt;
    }
    return QDir(webContentRootPath()).filePath(sanitized);
}

std::optional<QUrl> WebContentPathManager::webPathEntryFor(const QString& version) const {
    const std::optional<QString> folder = versionFolderPath(version);
    if (!folder) {
        return std::nullopt;
    }
    const QString entry = QDir(*folder).filePath(indexRelativePath);
    if (!QFileInfo::exists(entry)) {
        return std::nullopt;
    }
    LogInfo(logPrefix + QStringLiteral(" 命中入口文件: ") + entry, LogTag::web);
    return QUrl::fromLocalFile(entry);
}

QStringList WebContentPathManager::scanWebVersions() const {
    const QString root = webContentRootPath();
    const QDir folder(root);
    if (!folder.exists() || !QFileInfo(root).isReadable()) {
        LogWarning(logPrefix + QStringLiteral(" 无法读取 web 根目录或目录为空: ") + root,
                   LogTag::web);
        return {};
    }
    QStringList names = folder.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    // Plain code-point order: "0.10.0" sorts before "0.9.0".
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toUcs4() < b.toUcs4(); });
    QStringList quoted;
    for (const QString& name : names) {
        quoted << QLatin1Char('"') + name + QLatin1Char('"');
    }
    LogInfo(logPrefix + QStringLiteral(" 扫描到版本目录: [") + quoted.join(QStringLiteral(", ")) +
                QLatin1Char(']'),
            LogTag::web);
    return names;
}

std::optional<QString> WebContentPathManager::resolveVersion(
    const QString& preferredVersion) const {
    const QString sanitized = sanitizeVersion(preferredVersion);
    const std::optional<QUrl> preferredEntry = webPathEntryFor(sanitized);
    const auto describe = [](const std::optional<QUrl>& entry) -> QString {
        return (entry ? entry->toLocalFile() : QStringLiteral("-")) + QStringLiteral(", exists=") +
               (entry ? QStringLiteral("true") : QStringLiteral("false"));
    };
    LogInfo(logPrefix + QStringLiteral(" preferredVersion=") + preferredVersion +
                QStringLiteral(", sanitized=") + sanitized,
            LogTag::web);
    LogInfo(logPrefix + QStringLiteral(" webRootPath=") + webContentRootPath(), LogTag::web);
    LogInfo(logPrefix + QStringLiteral(" 检查首选入口: ") + describe(preferredEntry), LogTag::web);
    if (preferredEntry) {
        LogInfo(logPrefix + QStringLiteral(" 命中首选版本: ") + sanitized, LogTag::web);
        return sanitized;
    }

    const QStringList versions = scanWebVersions();
    for (auto name = versions.crbegin(); name != versions.crend(); ++name) {
        const std::optional<QUrl> entry = webPathEntryFor(*name);
        LogInfo(logPrefix + QStringLiteral(" 回退检查版本: ") + *name + QStringLiteral(", index=") +
                    describe(entry),
                LogTag::web);
        if (entry) {
            LogInfo(logPrefix + QStringLiteral(" 命中回退版本: ") + *name, LogTag::web);
            return *name;
        }
    }
    LogError(logPrefix + QStringLiteral(" 未找到任何可用 web 版本"), LogTag::web);
    return std::nullopt;
}
