#include "foundation/storage/CryptoHelper.h"

#include <QCryptographicHash>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

namespace {

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

const unsigned char* bytes(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

}  // namespace

QByteArray CryptoHelper::sha256(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

std::optional<QByteArray> CryptoHelper::aesEncrypt(const QByteArray& plaintext,
                                                   const QByteArray& key, const QByteArray& iv) {
    return aesCrypt(Operation::encrypt, plaintext, key, iv);
}

std::optional<QByteArray> CryptoHelper::aesDecrypt(const QByteArray& ciphertext,
                                                   const QByteArray& key, const QByteArray& iv) {
    return aesCrypt(Operation::decrypt, ciphertext, key, iv);
}

std::optional<QByteArray> CryptoHelper::aesCrypt(Operation operation, const QByteArray& input,
                                                 const QByteArray& key, const QByteArray& iv) {
    if (key.size() != kKeyLength || iv.size() < kIVLength) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, bytes(key),
                                      bytes(iv), operation == Operation::encrypt ? 1 : 0) != 1) {
        return std::nullopt;
    }

    QByteArray output(input.size() + kIVLength, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    qsizetype produced = 0;
    // EVP takes int lengths; feed larger inputs in pieces.
    constexpr qsizetype kChunk = INT_MAX / 2;
    for (qsizetype offset = 0; offset < input.size(); offset += kChunk) {
        const int length = static_cast<int>(qMin(kChunk, input.size() - offset));
        int written = 0;
        if (EVP_CipherUpdate(context.get(), out + produced, &written, bytes(input) + offset,
                             length) != 1) {
            return std::nullopt;
        }
        produced += written;
    }
    int finalLength = 0;
    if (EVP_CipherFinal_ex(context.get(), out + produced, &finalLength) != 1) {
        return std::nullopt;
    }
    output.truncate(produced + finalLength);
    return output;
}

int CryptoHelper::makeRandomIV(IV& iv) {
    return RAND_bytes(iv.data(), static_cast<int>(iv.size())) == 1 ? 0 : -1;
}
