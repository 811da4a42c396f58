#include "foundation/storage/SecureStorageManager.h"

#include "foundation/AppInfo.h"
#include "foundation/logging/ConsoleOutput.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStandardPaths>

#include <cstdio>

namespace {

// Changing any of these makes every stored file unreadable.
constexpr char kKeyPrefix[] = "kx.secure-store.key::";
constexpr char kKeySuffix[] = "::aes256-cbc-v1.key";
constexpr char kFallbackService[] = "com.brisca.fallback";
static_assert(sizeof(kKeyPrefix) - 1 == 21 && sizeof(kKeySuffix) - 1 == 19 &&
              sizeof(kFallbackService) - 1 == 19);

const QString kFallbackFolder = QStringLiteral("AppData");

void writeLineToStandardOutput(const QString& line) {
    ConsoleOutput::print(line);
}

bool hasIdentifier(const std::optional<QString>& identifier) {
    return identifier && !identifier->isEmpty();
}

// QJsonDocument only takes objects and arrays at the top; a one-element array carries any value.
QByteArray jsonText(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

Result<QJsonValue> parseJson(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson('[' + text + ']', &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1) {
        return Error{QStringLiteral("SecureStorageManager"), static_cast<int>(error.error),
                     error.error != QJsonParseError::NoError
                         ? error.errorString()
                         : QStringLiteral("the data is not one JSON value")};
    }
    return document.array().first();
}

}  // namespace

SecureStorageManager& SecureStorageManager::shared() {
    static SecureStorageManager instance;
    return instance;
}

SecureStorageManager::SecureStorageManager()
    : SecureStorageManager(Environment{
          QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
          QString::fromUtf8(AppInfo::kBundleIdentifier),
          {},
          {},
          {},
      }) {}

SecureStorageManager::SecureStorageManager(Environment environment)
    : m_environment(std::move(environment)),
      m_keychainService(hasIdentifier(m_environment.bundleIdentifier)
                            ? *m_environment.bundleIdentifier
                            : QString::fromLatin1(kFallbackService)) {
    if (!m_environment.random) {
        m_environment.random = &CryptoHelper::makeRandomIV;
    }
    if (!m_environment.console) {
        m_environment.console = writeLineToStandardOutput;
    }
}

QString SecureStorageManager::storageDirectory() const {
    const QString folder = QDir(m_environment.applicationSupportDirectory)
                               .filePath(hasIdentifier(m_environment.bundleIdentifier)
                                             ? *m_environment.bundleIdentifier
                                             : kFallbackFolder);
    // Holds the encrypted user record and its kin: nobody else on the machine reads it.
    createFolder(folder, FileAccess::ownerOnly);
    return folder;
}

QByteArray SecureStorageManager::deriveStorageKey() const {
    return CryptoHelper::sha256(QByteArray(kKeyPrefix) + m_keychainService.toUtf8() +
                                QByteArray(kKeySuffix));
}

bool SecureStorageManager::saveEncrypted(const QJsonValue& value, const QString& fileName) const {
    if (value.isUndefined()) {
        print(QStringLiteral("保存加密数据失败: ") +
              QStringLiteral("the value has no JSON representation"));
        return false;
    }
    const QByteArray json = jsonText(value);
    const QByteArray key = deriveStorageKey();

    CryptoHelper::IV iv{};
    // A fixed IV would repeat the keystream prefix across saves; refuse instead.
    if (m_environment.random(iv) != 0) {
        print(QStringLiteral("加密数据失败"));
        return false;
    }
    const QByteArray ivBytes(reinterpret_cast<const char*>(iv.data()), CryptoHelper::kIVLength);
    const std::optional<QByteArray> ciphertext = CryptoHelper::aesEncrypt(json, key, ivBytes);
    if (!ciphertext) {
        print(QStringLiteral("加密数据失败"));
        return false;
    }

    const Result<void> written = writeFileAtomically(filePath(fileName), ivBytes + *ciphertext,
                                                     m_environment.writer, FileAccess::ownerOnly);
    if (!written.ok()) {
        print(QStringLiteral("保存加密数据失败: ") + written.error().message);
        return false;
    }
    return true;
}

std::optional<QJsonValue> SecureStorageManager::loadEncryptedJson(const QString& fileName) const {
    QFile file(filePath(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        reportReadFailure(file.errorString());
        return std::nullopt;
    }
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reportReadFailure(file.errorString());
        return std::nullopt;
    }
    if (contents.size() <= CryptoHelper::kIVLength) {
        return std::nullopt;
    }

    const std::optional<QByteArray> plaintext =
        CryptoHelper::aesDecrypt(contents.mid(CryptoHelper::kIVLength), deriveStorageKey(),
                                 contents.first(CryptoHelper::kIVLength));
    if (!plaintext) {
        print(QStringLiteral("解密数据失败"));
        return std::nullopt;
    }
    Result<QJsonValue> parsed = parseJson(*plaintext);
    if (!parsed.ok()) {
        reportReadFailure(parsed.error().message);
        return std::nullopt;
    }
    return std::move(parsed).value();
}

bool SecureStorageManager::deleteFile(const QString& fileName) const {
    QFile file(filePath(fileName));
    if (!file.remove()) {
        print(QStringLiteral("删除文件失败: ") + file.errorString());
        return false;
    }
    return true;
}

void SecureStorageManager::print(const QString& line) const {
    m_environment.console(line);
}

void SecureStorageManager::reportReadFailure(const QString& error) const {
    print(QStringLiteral("读取加密数据失败: ") + error);
}

QString SecureStorageManager::filePath(const QString& fileName) const {
    return QDir(storageDirectory()).filePath(fileName);
}
