#include "upload/FileDigests.h"

#include "foundation/storage/FileExtensions.h"
#include "upload/PieceRing.h"

#include <QFile>

#include <openssl/evp.h>

#include <array>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr qint64 kPieceSize = 1048576;
// Pieces a digest thread may fall behind the reading thread by before the reading waits.
constexpr std::size_t kRingPieces = 4;

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

// Reads the file once. The first digest is fed on this thread between reads, every further one
// on a thread of its own from a ring of pieces, so the slowest digest sets the time.
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
    std::vector<PieceRing::Consumer> others;
    for (std::size_t i = 1; i < contexts.size(); ++i) {
        others.emplace_back([context = contexts[i].get()](const char* data, std::size_t size) {
            EVP_DigestUpdate(context, data, size);
        });
    }
    const std::size_t pieceCount = others.empty() ? 1 : kRingPieces;
    PieceRing ring(static_cast<std::size_t>(kPieceSize), pieceCount, std::move(others));
    for (;;) {
        char* piece = ring.nextPiece();
        const qint64 read = file.read(piece, kPieceSize);
        if (read < 0) {
            Error error = digestError(file.errorString(), static_cast<int>(file.error()));
            closeQuietly(file);
            return error;
        }
        if (read == 0) {
            break;
        }
        ring.handOver(static_cast<std::size_t>(read));
        EVP_DigestUpdate(contexts.front().get(), piece, static_cast<std::size_t>(read));
    }
    closeQuietly(file);
    ring.finish();

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
    // The slower digest goes with the reading, which then never waits for the other: with the
    // processor's SHA instructions, MD5 is the slower one.
    const std::array<const EVP_MD*, 2> digests{EVP_md5(), EVP_sha256()};
    Result<std::vector<QByteArray>> results = digestsOfFile(filePath, digests);
    if (!results) {
        return results.error();
    }
    return FileMD5AndSHA256{results.value()[0], results.value()[1]};
}

QString digestHex(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex());
}
