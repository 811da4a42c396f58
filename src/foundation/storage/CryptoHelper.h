#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

// Stateless hashing and AES helpers; safe from any thread.
class CryptoHelper {
public:
    enum class Operation { encrypt, decrypt };

    static constexpr int kKeyLength = 32;
    static constexpr int kIVLength = 16;
    using IV = std::array<std::uint8_t, kIVLength>;

    // The 32-byte SHA-256 digest.
    static QByteArray sha256(const QByteArray& data);

    // AES-256-CBC with PKCS#7 padding. The key must hold 32 bytes and the IV at least 16 (only
    // the first 16 are used); anything else, a bad padding or a length that is not a whole
    // number of blocks yields nothing.
    static std::optional<QByteArray> aesEncrypt(const QByteArray& plaintext, const QByteArray& key,
                                                const QByteArray& iv);
    static std::optional<QByteArray> aesDecrypt(const QByteArray& ciphertext, const QByteArray& key,
                                                const QByteArray& iv);
    static std::optional<QByteArray> aesCrypt(Operation operation, const QByteArray& input,
                                              const QByteArray& key, const QByteArray& iv);

    // Fills `iv` from the secure random generator. 0 means success; the buffer is then random.
    static int makeRandomIV(IV& iv);
};
