#include "foundation/CryptoHelper.h"
#include "foundation/KXEncryptionUtil.h"

#include <QCryptographicHash>
#include <QTest>

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray pattern(qsizetype length) {
    QByteArray bytes(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 31 + 7) & 0xff);
    }
    return bytes;
}

const QByteArray kKey = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray kIV = hex("000102030405060708090a0b0c0d0e0f");

}  // namespace

class CryptoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sha256KnownAnswers_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("empty") << QByteArray()
                               << hex("e3b0c44298fc1c149afbf4c8996fb924"
                                      "27ae41e4649b934ca495991b7852b855");
        QTest::newRow("abc") << QByteArray("abc")
                             << hex("ba7816bf8f01cfea414140de5dae2223"
                                    "b00361a396177a9cb410ff61f20015ad");
    }
    void sha256KnownAnswers() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, digest);
        QCOMPARE(CryptoHelper::sha256(input), digest);
    }

    void md5KnownAnswers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty") << QString() << "d41d8cd98f00b204e9800998ecf8427e";
        QTest::newRow("abc") << "abc"
                             << "900150983cd24fb0d6963f7d28e17f72";
        // UTF-8 bytes, not UTF-16: the digest of "é" is that of C3 A9.
        QTest::newRow("non-ascii")
            << QStringLiteral("\u00e9")
            << QString::fromLatin1(
                   QCryptographicHash::hash("\xc3\xa9", QCryptographicHash::Md5).toHex());
    }
    void md5KnownAnswers() {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        QCOMPARE(KXEncryptionUtil::md5Hex(text), digest);
    }

    // CBC-AES256 encryption vector of NIST SP 800-38A (F.2.5); with PKCS#7 one block of padding
    // follows the four vector blocks.
    void aesMatchesPublishedVector() {
        const QByteArray plaintext =
            hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
        const QByteArray expected =
            hex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
        const std::optional<QByteArray> ciphertext = CryptoHelper::aesEncrypt(plaintext, kKey, kIV);
        QVERIFY(ciphertext);
        QCOMPARE(ciphertext->size(), 80);
        QCOMPARE(ciphertext->first(64), expected);
        QCOMPARE(CryptoHelper::aesDecrypt(*ciphertext, kKey, kIV), plaintext);
    }

    void aesRoundTrip_data() {
        QTest::addColumn<qsizetype>("length");
        for (qsizetype length : {0, 15, 16, 17, 1024 * 1024}) {
            QTest::addRow("%lld bytes", static_cast<long long>(length)) << length;
        }
    }
    void aesRoundTrip() {
        QFETCH(qsizetype, length);
        const QByteArray plaintext = pattern(length);
        const std::optional<QByteArray> ciphertext = CryptoHelper::aesEncrypt(plaintext, kKey, kIV);
        QVERIFY(ciphertext);
        QCOMPARE(ciphertext->size(), 16 * (length / 16 + 1));
        QCOMPARE(CryptoHelper::aesDecrypt(*ciphertext, kKey, kIV), plaintext);
    }

    void aesRefusesBadInput_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("iv");
        const int decrypt = static_cast<int>(CryptoHelper::Operation::decrypt);
        const int encrypt = static_cast<int>(CryptoHelper::Operation::encrypt);
        QTest::newRow("partial block") << decrypt << pattern(17) << kKey << kIV;
        QTest::newRow("no block") << decrypt << QByteArray() << kKey << kIV;
        QTest::newRow("short key") << encrypt << pattern(16) << kKey.first(31) << kIV;
        QTest::newRow("long key") << encrypt << pattern(16) << kKey + 'x' << kIV;
        QTest::newRow("short iv") << encrypt << pattern(16) << kKey << kIV.first(15);
    }
    void aesRefusesBadInput() {
        QFETCH(int, operation);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, iv);
        QVERIFY(!CryptoHelper::aesCrypt(static_cast<CryptoHelper::Operation>(operation), input, key,
                                        iv));
    }

    void aesUsesOnlyFirstSixteenIVBytes() {
        const QByteArray plaintext = pattern(40);
        QCOMPARE(CryptoHelper::aesEncrypt(plaintext, kKey, kIV + "extra"),
                 CryptoHelper::aesEncrypt(plaintext, kKey, kIV));
    }

    void wrongKeyNeverGivesThePlaintext() {
        const QByteArray plaintext = pattern(48);
        const QByteArray ciphertext = *CryptoHelper::aesEncrypt(plaintext, kKey, kIV);
        QByteArray otherKey = kKey;
        otherKey[0] = static_cast<char>(otherKey[0] ^ 1);
        QVERIFY(CryptoHelper::aesDecrypt(ciphertext, otherKey, kIV) != plaintext);
    }

    void randomIVsDiffer() {
        CryptoHelper::IV first{};
        CryptoHelper::IV second{};
        QCOMPARE(CryptoHelper::makeRandomIV(first), 0);
        QCOMPARE(CryptoHelper::makeRandomIV(second), 0);
        QVERIFY(first != second);
    }
};

QTEST_GUILESS_MAIN(CryptoTest)
#include "tst_Crypto.moc"
