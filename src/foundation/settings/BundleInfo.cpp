#include "foundation/settings/BundleInfo.h"

#include "foundation/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QVariantMap buildValues() {
    return {
        {BundleInfo::kIdentifierKey, QString::fromUtf8(AppInfo::kBundleIdentifier)},
        {BundleInfo::kNameKey, QString::fromUtf8(AppInfo::kDisplayName)},
        {BundleInfo::kShortVersionKey, QString::fromUtf8(AppInfo::kVersion)},
        {BundleInfo::kVersionKey, QString::fromUtf8(AppInfo::kBuildNumber)},
    };
}

}  // namespace

const BundleInfo& BundleInfo::main() {
    static const BundleInfo info = [] {
        if (QCoreApplication::instance() == nullptr) {
            return BundleInfo(buildValues());
        }
        return load(QDir(QCoreApplication::applicationDirPath()).filePath(kFileName));
    }();
    return info;
}

BundleInfo BundleInfo::load(const QString& infoFilePath) {
    QVariantMap values;
    QFile file(infoFilePath);
    if (file.open(QIODevice::ReadOnly)) {
        values = QJsonDocument::fromJson(file.readAll()).object().toVariantMap();
    }
    values.insert(buildValues());
    return BundleInfo(std::move(values));
}

std::optional<QString> BundleInfo::string(const QString& key) const {
    const auto found = m_dictionary.constFind(key);
    if (found == m_dictionary.cend() || found->typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return found->toString();
}

std::optional<QString> BundleInfo::bundleIdentifier() const {
    std::optional<QString> identifier = string(kIdentifierKey);
    if (identifier && identifier->isEmpty()) {
        return std::nullopt;
    }
    return identifier;
}
