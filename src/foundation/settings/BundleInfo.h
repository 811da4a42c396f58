#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The application's information dictionary. The identifier, name, version and build are fixed
// when the client is built; a deployment may add further values, such as switches that must
// change without a rebuild, in "bundle-info.json" beside the executable. The file cannot replace
// the values the build fixed.
class BundleInfo {
public:
    static inline const QString kIdentifierKey = QStringLiteral("CFBundleIdentifier");
    static inline const QString kNameKey = QStringLiteral("CFBundleName");
    static inline const QString kShortVersionKey = QStringLiteral("CFBundleShortVersionString");
    static inline const QString kVersionKey = QStringLiteral("CFBundleVersion");
    static inline const QString kFileName = QStringLiteral("bundle-info.json");

    // Read once, on first use.
    static const BundleInfo& main();

    explicit BundleInfo(QVariantMap dictionary) : m_dictionary(std::move(dictionary)) {}

    // The build's values, with the entries of the JSON object in `infoFilePath` (if there is
    // one) that the build does not fix.
    static BundleInfo load(const QString& infoFilePath);

    const QVariantMap& dictionary() const { return m_dictionary; }
    // The value of `key` when it is present and a text.
    std::optional<QString> string(const QString& key) const;
    // The identifier when present and not empty.
    std::optional<QString> bundleIdentifier() const;

private:
    QVariantMap m_dictionary;
};
