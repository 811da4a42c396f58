#include "web/WebCryptoStore.h"

#include "foundation/storage/SecureStorageManager.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString kIsString = QStringLiteral("isString");
const QString kValue = QStringLiteral("value");

// The value as it is kept inside a token: texts as they are, anything else as its JSON text.
std::optional<QJsonObject> storedValueOf(const QJsonValue& value) {
    if (value.isString()) {
        return QJsonObject{{kIsString, true}, {kValue, value.toString()}};
    }
    if (value.isUndefined()) {
        return std::nullopt;
    }
    // A scalar has no document of its own: serialise it inside an array and drop the brackets.
    QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    json.chop(1);
    json.remove(0, 1);
    return QJsonObject{{kIsString, false}, {kValue, QString::fromUtf8(json)}};
}

std::optional<QJsonValue> valueOfStored(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject stored = document.object();
    const QJsonValue isString = stored.value(kIsString);
    const QJsonValue text = stored.value(kValue);
    if (!isString.isBool() || !text.isString()) {
        return std::nullopt;
    }
    if (isString.toBool()) {
        return text;
    }
    // Fragments allowed: the text is read as the one element of an array.
    const QByteArray fragment = QByteArray("[") + text.toString().toUtf8() + QByteArray("]");
    const QJsonDocument wrapped = QJsonDocument::fromJson(fragment, &error);
    if (error.error != QJsonParseError::NoError || !wrapped.isArray() ||
        wrapped.array().size() != 1) {
        return std::nullopt;
    }
    return wrapped.array().first();
}

QByteArray derivedKey() {
    return CryptoHelper::sha256(QByteArrayLiteral("qmv_ordel_tx_sun_harbors_50731"));
}

}  // namespace

WebCryptoStore& WebCryptoStore::shared() {
    static WebCryptoStore store(SecureStorageManager::shared());
    return store;
}

WebCryptoStore::WebCryptoStore(SecureStorageManager& storage, RandomSource random)
    : m_storage(storage),
      m_random(random ? std::move(random) : RandomSource(&CryptoHelper::makeRandomIV)),
      m_key(derivedKey()) {}

QJsonObject WebCryptoStore::loadTokens() const {
    const std::optional<QJsonValue> file = m_storage.loadEncryptedJson(kFileName);
    return file && file->isObject() ? file->toObject() : QJsonObject();
}

std::optional<QString> WebCryptoStore::encryptAndStore(const QJsonValue& value) {
    const std::optional<QJsonObject> stored = storedValueOf(value);
    if (!stored) {
        return std::nullopt;
    }
    const QByteArray json = QJsonDocument(*stored).toJson(QJsonDocument::Compact);
    CryptoHelper::IV iv{};
    // A predictable vector would make equal values give equal tokens: no token at all instead.
    if (m_random(iv) != 0) {
        return std::nullopt;
    }
    const QByteArray ivBytes(reinterpret_cast<const char*>(iv.data()), CryptoHelper::kIVLength);
    const std::optional<QByteArray> ciphertext = CryptoHelper::aesEncrypt(json, m_key, ivBytes);
    if (!ciphertext) {
        return std::nullopt;
    }
    const QByteArray tokenBytes = ivBytes + *ciphertext;
    const QString token = QString::fromLatin1(tokenBytes.toBase64());

    std::lock_guard lock(m_mutex);
    QJsonObject tokens = loadTokens();
    tokens.insert(token, QString::fromLatin1(json.toBase64()));
    if (!m_storage.saveEncrypted(QJsonValue(tokens), kFileName)) {
        return std::nullopt;
    }
    return token;
}

std::optional<QJsonValue> WebCryptoStore::loadValue(const QString& token) {
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(token.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    // toLatin1 would turn a character outside Latin-1 into "?", which is no base64 letter
    // anyway; the round trip check refuses whatever the decoder let through.
    if (!decoded || QString::fromLatin1(decoded.decoded.toBase64()) != token ||
        decoded.decoded.size() <= CryptoHelper::kIVLength) {
        return std::nullopt;
    }
    const QByteArray iv = decoded.decoded.left(CryptoHelper::kIVLength);
    const std::optional<QByteArray> plaintext =
        CryptoHelper::aesDecrypt(decoded.decoded.mid(CryptoHelper::kIVLength), m_key, iv);
    if (!plaintext) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    const QJsonObject tokens = loadTokens();
    if (tokens.isEmpty() || !tokens.contains(token)) {
        return std::nullopt;
    }
    return valueOfStored(*plaintext);
}
