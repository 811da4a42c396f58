#include "upload/FileDigests.h"

#include "foundation/storage/FileExtensions.h"

#include <QFile>

#include <openssl/evp.h>

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
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

// Feeds a digest, a piece at a time, on a thread of its own, so that it runs beside the reading
// thread's digest over the same read of the file.
class PieceHasher {
public:
    explicit PieceHasher(EVP_MD_CTX* context) : m_context(context), m_thread([this] { run(); }) {}
    ~PieceHasher() {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    PieceHasher(const PieceHasher&) = delete;
    PieceHasher& operator=(const PieceHasher&) = delete;

    // Takes the piece once the previous one is hashed; the piece stays untouched until the next
    // `hash` or `finish` returns.
    void hash(const char* data, size_t size) {
        finish();
        {
            std::lock_guard lock(m_mutex);
            m_data = data;
            m_size = size;
        }
        m_changed.notify_all();
    }
    void finish() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_data == nullptr; });
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_data != nullptr || m_closing; });
            if (m_data == nullptr) {
                return;
            }
            const char* data = m_data;
            const size_t size = m_size;
            lock.unlock();
            EVP_DigestUpdate(m_context, data, size);
            lock.lock();
            m_data = nullptr;
            m_changed.notify_all();
        }
    }

    EVP_MD_CTX* const m_context;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const char* m_data = nullptr;
    size_t m_size = 0;
    bool m_closing = false;
    std::thread m_thread;
};

// Reads the file once. The first digest is fed on this thread between reads, every further one
// on a thread of its own; with two pieces in turn, the next read overlaps their hashing.
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
    const size_t pieceCount = contexts.size() > 1 ? 2 : 1;
    std::vector<std::unique_ptr<char[]>> pieces;
    for (size_t i = 0; i < pieceCount; ++i) {
        pieces.emplace_back(new char[kPieceSize]);
    }
    // Declared after the pieces, so they are done with them before the pieces go.
    std::vector<std::unique_ptr<PieceHasher>> hashers;
    for (size_t i = 1; i < contexts.size(); ++i) {
        hashers.push_back(std::make_unique<PieceHasher>(contexts[i].get()));
    }
    for (size_t turn = 0;; ++turn) {
        char* piece = pieces[turn % pieceCount].get();
        const qint64 read = file.read(piece, kPieceSize);
        if (read < 0) {
            Error error = digestError(file.errorString(), static_cast<int>(file.error()));
            closeQuietly(file);
            return error;
        }
        if (read == 0) {
            break;
        }
        for (const auto& hasher : hashers) {
            hasher->hash(piece, static_cast<size_t>(read));
        }
        EVP_DigestUpdate(contexts.front().get(), piece, static_cast<size_t>(read));
    }
    closeQuietly(file);
    for (const auto& hasher : hashers) {
        hasher->finish();
    }

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
    // MD5 is the slower of the two, so it gets the thread of its own.
    const std::array<const EVP_MD*, 2> digests{EVP_sha256(), EVP_md5()};
    Result<std::vector<QByteArray>> results = digestsOfFile(filePath, digests);
    if (!results) {
        return results.error();
    }
    return FileMD5AndSHA256{results.value()[1], results.value()[0]};
}

QString digestHex(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex());
}
