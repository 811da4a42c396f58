#pragma once

#include "foundation/storage/CryptoHelper.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

class SecureStorageManager;

// Values the page hands the client to keep protected. A token is the value itself, encrypted
// under a fixed key; every token given out is also remembered in an encrypted value file, so
// only tokens this client issued on this machine are accepted back.
class WebCryptoStore {
public:
    using RandomSource = std::function<int(CryptoHelper::IV& iv)>;

    static inline const QString kFileName = QStringLiteral("web-crypto-values.json");

    static WebCryptoStore& shared();

    // `random` follows CryptoHelper::makeRandomIV: 0 means the vector is filled.
    explicit WebCryptoStore(SecureStorageManager& storage, RandomSource random = {});

    // The value's token, or nothing when the value cannot be carried, the random source fails
    // or the value file cannot be saved. Safe from any thread.
    std::optional<QString> encryptAndStore(const QJsonValue& value);
    // The value inside a token this store issued, or nothing. Safe from any thread.
    std::optional<QJsonValue> loadValue(const QString& token);

private:
    QJsonObject loadTokens() const;

    SecureStorageManager& m_storage;
    RandomSource m_random;
    const QByteArray m_key;
    std::mutex m_mutex;
};
