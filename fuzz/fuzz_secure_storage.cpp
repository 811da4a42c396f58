// The encrypted store reading files someone has tampered with: raw bytes, and valid
// encryptions of arbitrary plaintext with one byte flipped.
#include "FuzzSupport.h"

#include "foundation/CryptoHelper.h"
#include "foundation/SecureStorageManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kFile = QStringLiteral("user_data.encrypted");

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir folder;
    static const SecureStorageManager store(SecureStorageManager::Environment{
        folder.path(), QStringLiteral("com.example.fuzz"), {}, {}, [](const QString&) {}});
    const QByteArray input = fuzz::bytes(data, size);
    QByteArray contents = input;
    if (!input.isEmpty() && (input[0] & 1)) {
        const QByteArray iv(CryptoHelper::kIVLength, '\x5a');
        const auto sealed = CryptoHelper::aesEncrypt(input.mid(3), store.deriveStorageKey(), iv);
        contents = iv + sealed.value_or(QByteArray());
        if (input.size() >= 3 && (input[0] & 2)) {
            contents[quint8(input[1]) % contents.size()] ^= input[2];
        }
    }
    QFile file(QDir(store.storageDirectory()).filePath(kFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(contents) != contents.size()) {
        fuzz::violated("cannot write the tampered file");
    }
    file.close();
    (void)store.loadEncryptedJson(kFile);
    return 0;
}
