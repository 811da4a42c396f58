#include "foundation/settings/SettingsManager.h"

#include "foundation/AppInfo.h"
#include "foundation/logging/KXLog.h"
#include "foundation/storage/FileExtensions.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {

const QString kLocaleKey = QStringLiteral("frontend-sys-locale");
const QString kStoreName = QStringLiteral("settings");

std::unique_ptr<QSettings> makeUserStore(const QString& organisation) {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, organisation,
                                       kStoreName);
}

// QSettings reads "/" as a group separator and drops empty groups, so "x//y", "x/y" and "/x/y"
// would be one key. Keys with a "/" (or the escape "%") are percent-escaped instead; keys without
// either are stored as given, which keeps every listed key and all older keys where they were.
// An escaped key always holds "%xx" and a plain one never holds "%", so no two keys meet.
QString storedKey(const QString& key) {
    if (key.isEmpty()) {
        return QStringLiteral("%");
    }
    if (!key.contains(QLatin1Char('/')) && !key.contains(QLatin1Char('%'))) {
        return key;
    }
    QString escaped;
    escaped.reserve(key.size() + 8);
    for (const QChar character : key) {
        if (character == QLatin1Char('%')) {
            escaped += QStringLiteral("%25");
        } else if (character == QLatin1Char('/')) {
            escaped += QStringLiteral("%2F");
        } else {
            escaped += character;
        }
    }
    return escaped;
}

}  // namespace

SettingsManager& SettingsManager::shared() {
    static SettingsManager instance;
    return instance;
}

SettingsManager::SettingsManager()
    : m_defaults(makeUserStore(QString::fromUtf8(AppInfo::kBundleIdentifier))) {}

SettingsManager::SettingsManager(const QString& filePath)
    : m_defaults(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

SettingsManager::~SettingsManager() = default;

void SettingsManager::setSuiteName(const std::optional<QString>& suiteName) {
    std::lock_guard lock(m_mutex);
    m_suiteName = suiteName;
    // A suite that cannot be opened falls back to the standard store.
    m_suite = suiteName && !suiteName->trimmed().isEmpty() ? makeUserStore(*suiteName) : nullptr;
}

std::optional<QString> SettingsManager::suiteName() const {
    std::lock_guard lock(m_mutex);
    return m_suiteName;
}

void SettingsManager::set(const std::optional<QString>& value, SettingKey key) {
    store(value, settingKeyText(key), false);
}

void SettingsManager::set(const std::optional<QString>& value, const QString& key) {
    store(value, key, key == kLocaleKey);
}

std::optional<QString> SettingsManager::string(SettingKey key) const {
    std::lock_guard lock(m_mutex);
    return read(settingKeyText(key));
}

std::optional<QString> SettingsManager::string(const QString& key) const {
    if (key == kLocaleKey) {
        const std::optional<QString> current = [&] {
            std::lock_guard lock(m_mutex);
            return read(key);
        }();
        KXLog(QStringLiteral("多语言Get ") + current.value_or(QStringLiteral("-")),
              LogTag::settings, LogLevel::info);
    }
    std::lock_guard lock(m_mutex);
    return read(key);
}

bool SettingsManager::boolean(const BooleanSetting& setting) const {
    const std::optional<QString> stored = string(setting.key);
    if (!stored) {
        return setting.whenAbsent;
    }
    QString text = *stored;
    if (setting.match == TextMatch::trimmedLowerCased) {
        text = text.trimmed();
    }
    if (setting.match != TextMatch::exact) {
        text = text.toLower();
    }
    const bool matches = std::any_of(setting.texts.begin(), setting.texts.end(),
                                     [&](QLatin1StringView listed) { return text == listed; });
    return matches ? setting.matchMeans : !setting.matchMeans;
}

std::optional<double> SettingsManager::number(const NumberSetting& setting) const {
    const std::optional<QString> text = string(setting.key);
    if (!text || (!setting.ignoresSpaceAround && text->trimmed() != *text)) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = text->toDouble(&ok);
    if (!ok || std::isnan(value)) {
        return std::nullopt;
    }
    if (setting.clampsIntoRange) {
        return std::clamp(value, setting.minimum, setting.maximum);
    }
    if (value < setting.minimum || value > setting.maximum) {
        return std::nullopt;
    }
    return value;
}

QString SettingsManager::storagePath() const {
    std::lock_guard lock(m_mutex);
    return activeStore().fileName();
}

void SettingsManager::store(const std::optional<QString>& value, const QString& key,
                            bool logLocale) {
    {
        std::lock_guard lock(m_mutex);
        if (value) {
            activeStore().setValue(storedKey(key), *value);
        } else {
            activeStore().remove(storedKey(key));
        }
    }
    if (logLocale) {
        KXLog(QStringLiteral("多语言Set ") + value.value_or(QStringLiteral("-")), LogTag::settings,
              LogLevel::info);
    }
    std::lock_guard lock(m_mutex);
    const QString path = activeStore().fileName();
    if (const QString folder = QFileInfo(path).absolutePath(); folder != m_preparedFolder) {
        createFolder(folder, FileAccess::ownerOnly);
        m_preparedFolder = folder;
    }
    activeStore().sync();
    // The store keeps sign-in details; a new file would otherwise follow the umask.
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (QFile::exists(path) && QFile::permissions(path) != ownerOnly) {
        QFile::setPermissions(path, ownerOnly);
    }
}

std::optional<QString> SettingsManager::read(const QString& key) const {
    const QVariant stored = activeStore().value(storedKey(key));
    if (!stored.isValid() || stored.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return stored.toString();
}

QSettings& SettingsManager::activeStore() const {
    return m_suite ? *m_suite : *m_defaults;
}
