#pragma once

#include "foundation/json/Result.h"
#include "foundation/storage/CryptoHelper.h"
#include "foundation/storage/FileExtensions.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <concepts>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// A value the store can write: it gives its JSON form.
template <typename T>
concept JsonEncodable = requires(const T& value) {
    { value.toJson() } -> std::convertible_to<QJsonValue>;
};

// A value the store can read back: it decodes itself from JSON or says why not.
template <typename T>
concept JsonDecodable = requires(const QJsonValue& json) {
    { T::fromJson(json) } -> std::same_as<Result<T>>;
};

// Small values kept encrypted in the application's private folder. A file holds a fresh 16-byte
// IV, then the AES-256-CBC (PKCS#7) ciphertext of the value's JSON text under a key derived from
// the bundle identifier. No cache, no index: every call finds the folder, derives the key and
// touches one file. Failures print one line to standard output and come back as false or
// nothing.
class SecureStorageManager {
public:
    using ConsoleSink = std::function<void(const QString& line)>;
    using RandomSource = std::function<int(CryptoHelper::IV& iv)>;

    struct Environment {
        // The user's application-support folder; the private folder is made inside it.
        QString applicationSupportDirectory;
        // Absent or empty: the folder is "AppData" and the key comes from a fixed fallback.
        std::optional<QString> bundleIdentifier;
        RandomSource random;  // default: CryptoHelper::makeRandomIV
        DeviceWriter writer;  // default: a plain write to the file
        ConsoleSink console;  // default: standard output
    };

    static SecureStorageManager& shared();

    // The application's own folder and identifier.
    SecureStorageManager();
    explicit SecureStorageManager(Environment environment);

    const QString& keychainService() const { return m_keychainService; }
    // Created, with its parents, on every call; a failure to create it shows up on use.
    QString storageDirectory() const;
    QByteArray deriveStorageKey() const;

    bool saveEncrypted(const QJsonValue& value, const QString& fileName) const;
    template <JsonEncodable T>
    bool saveEncrypted(const T& value, const QString& fileName) const {
        return saveEncrypted(QJsonValue(value.toJson()), fileName);
    }

    std::optional<QJsonValue> loadEncryptedJson(const QString& fileName) const;
    template <typename T, typename Decoder>
    requires std::same_as<std::invoke_result_t<Decoder, const QJsonValue&>, Result<T>>
        std::optional<T> loadEncrypted(const QString& fileName, Decoder&& decode)
    const {
        const std::optional<QJsonValue> json = loadEncryptedJson(fileName);
        if (!json) {
            return std::nullopt;
        }
        Result<T> decoded = std::invoke(std::forward<Decoder>(decode), *json);
        if (!decoded.ok()) {
            reportReadFailure(decoded.error().message);
            return std::nullopt;
        }
        return std::move(decoded).value();
    }
    template <JsonDecodable T>
    std::optional<T> loadEncrypted(const QString& fileName) const {
        return loadEncrypted<T>(fileName, [](const QJsonValue& json) { return T::fromJson(json); });
    }

    bool deleteFile(const QString& fileName) const;

private:
    void print(const QString& line) const;
    void reportReadFailure(const QString& error) const;
    QString filePath(const QString& fileName) const;

    Environment m_environment;
    QString m_keychainService;
};
