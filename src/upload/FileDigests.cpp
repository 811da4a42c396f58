#include "upload/FileDigests.h"

#include "foundation/storage/FileExtensions.h"

#include <QFile>

#include <openssl/evp.h>

#include <array>
#include <future>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr qint64 kPieceSize = 1048576;

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

Error digestError(const QString& message, int code = 0) {
    return Error{QStringLiteral("FileDigest"), code, message};
}

const EVP_MD* messageDigest(QCryptographicHash::Algorithm algorithm) {
    switch (algorithm) {
        case QCryptographicHash::Md5:
            return EVP_md5();
        case QCryptographicHash::Sha1:
            return EVP_sha1();
        case QCryptographicHash::Sha224:
            return EVP_sha224();
        case QCryptographicHash::Sha256:
            return EVP_sha256();
        case QCryptographicHash::Sha384:
            return EVP_sha384();
        case QCryptographicHash::Sha512:
            return EVP_sha512();
        default:
            return nullptr;
    }
}

// Feeds every piece of the file to each digest in turn, so the file is read once however many
// digests are wanted.
Result<std::vector<QByteArray>> digestsOfFile(const QString& filePath,
                                              std::span<const EVP_MD* const> digests) {
    std::vector<DigestContext> contexts;
    for (const EVP_MD* digest : digests) {
        DigestContext context(EVP_MD_CTX_new());
        if (!digest || !context || EVP_DigestInit_ex(context.get(), digest, nullptr) != 1) {
            return digestError(QStringLiteral("Unsupported digest"));
        }
        contexts.push_back(std::move(context));
    }

    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return digestError(file.errorString(), static_cast<int>(file.error()));
    }
    std::unique_ptr<char[]> piece(new char[kPieceSize]);
    for (;;) {
        const qint64 read = file.read(piece.get(), kPieceSize);
        if (read < 0) {
            Error error = digestError(file.errorString(), static_cast<int>(file.error()));
            closeQuietly(file);
            return error;
        }
        if (read == 0) {
            break;
        }
        for (DigestContext& context : contexts) {
            EVP_DigestUpdate(context.get(), piece.get(), static_cast<size_t>(read));
        }
    }
    closeQuietly(file);

    std::vector<QByteArray> results;
    for (DigestContext& context : contexts) {
        std::array<unsigned char, EVP_MAX_MD_SIZE> value{};
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(context.get(), value.data(), &length) != 1) {
            return digestError(QStringLiteral("Digest failed"));
        }
        results.emplace_back(reinterpret_cast<const char*>(value.data()),
                             static_cast<qsizetype>(length));
    }
    return results;
}

}  // namespace

Result<QByteArray> fileDigest(const QString& filePath, QCryptographicHash::Algorithm algorithm) {
    const std::array<const EVP_MD*, 1> digests{messageDigest(algorithm)};
    Result<std::vector<QByteArray>> results = digestsOfFile(filePath, digests);
    if (!results) {
        return results.error();
    }
    return results.value().front();
}

Result<QByteArray> fileMD5(const QString& filePath) {
    return fileDigest(filePath, QCryptographicHash::Md5);
}

Result<QByteArray> fileSHA256(const QString& filePath) {
    return fileDigest(filePath, QCryptographicHash::Sha256);
}

Result<FileMD5AndSHA256> fileMD5AndSHA256(const QString& filePath) {
    // MD5 runs on a thread of its own, beside SHA-256 on this one: the time is that of the slower
    // digest rather than of both.
    std::future<Result<QByteArray>> md5 =
        std::async(std::launch::async, [filePath] { return fileMD5(filePath); });
    const Result<QByteArray> sha256 = fileSHA256(filePath);
    const Result<QByteArray> md5Result = md5.get();
    if (!md5Result) {
        return md5Result.error();
    }
    if (!sha256) {
        return sha256.error();
    }
    return FileMD5AndSHA256{md5Result.value(), sha256.value()};
}

QString digestHex(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex());
}
