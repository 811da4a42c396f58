#pragma once

#include "foundation/settings/SettingKey.h"
#include "foundation/settings/TypedSettings.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>

class QSettings;

// The client's string settings, by key, persisted per user. Nothing is cached here: every read
// goes to the store, and each caller applies its own default to an absent value. Safe to use
// from any thread.
class SettingsManager {
public:
    static SettingsManager& shared();

    // The standard store of this user and application.
    SettingsManager();
    // A store in the given file (INI), e.g. for tests or a second profile.
    explicit SettingsManager(const QString& filePath);
    ~SettingsManager();
    SettingsManager(const SettingsManager&) = delete;
    SettingsManager& operator=(const SettingsManager&) = delete;

    // A named suite beside the standard store; an empty name keeps the standard store.
    void setSuiteName(const std::optional<QString>& suiteName);
    std::optional<QString> suiteName() const;

    // An absent value removes the key.
    void set(const std::optional<QString>& value, SettingKey key);
    void set(const std::optional<QString>& value, const QString& key);

    std::optional<QString> string(SettingKey key) const;
    std::optional<QString> string(const QString& key) const;

    // A setting read by its rule (the rules are in TypedSettings).
    bool boolean(const BooleanSetting& setting) const;
    std::optional<double> number(const NumberSetting& setting) const;

    // Where the values live on disk.
    QString storagePath() const;

private:
    void store(const std::optional<QString>& value, const QString& key, bool logLocale);
    std::optional<QString> read(const QString& key) const;
    QSettings& activeStore() const;

    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_defaults;
    std::unique_ptr<QSettings> m_suite;
    std::optional<QString> m_suiteName;
    // The folder last made private for a store's file; QSettings would make it with the umask.
    QString m_preparedFolder;
};
