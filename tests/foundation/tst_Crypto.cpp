#include "foundation/storage/CryptoHelper.h"
#include "foundation/storage/KXEncryptionUtil.h"

#include <QTest>

namespace {

const QByteArray kKey =
    QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray kIV = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");

QByteArray pattern(qsizetype length) {
    QByteArray bytes(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 31 + 7) & 0xff);
    }
    return bytes;
}

}  // namespace

class CryptoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void digests_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("sha256");
        QTest::addColumn<QString>("md5");
        QTest::newRow("empty") << QString()
                               << QByteArray(
                                      "e3b0c44298fc1c149afbf4c8996fb924"
                                      "27ae41e4649b934ca495991b7852b855")
                               << "d41d8cd98f00b204e9800998ecf8427e";
        QTest::newRow("abc") << "abc"
                             << QByteArray(
                                    "ba7816bf8f01cfea414140de5dae2223"
                                    "b00361a396177a9cb410ff61f20015ad")
                             << "900150983cd24fb0d6963f7d28e17f72";
    }
    void digests() {
        QFETCH(QString, input);
        QFETCH(QByteArray, sha256);
        QFETCH(QString, md5);
        QCOMPARE(CryptoHelper::sha256(input.toUtf8()).toHex(), sha256);
        QCOMPARE(KXEncryptionUtil::md5Hex(input), md5);
    }

    // CBC-AES256 encryption of NIST SP 800-38A (F.2.5); PKCS#7 adds one block after the four.
    void aesMatchesPublishedVector() {
        const QByteArray plaintext = QByteArray::fromHex(
            "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
        const QByteArray expected = QByteArray::fromHex(
            "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
            "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
        const QByteArray ciphertext = CryptoHelper::aesEncrypt(plaintext, kKey, kIV).value_or("");
        QCOMPARE(ciphertext.size(), 80);
        QCOMPARE(ciphertext.first(64), expected);
        QCOMPARE(CryptoHelper::aesDecrypt(ciphertext, kKey, kIV).value_or(""), plaintext);
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
        const QByteArray ciphertext = CryptoHelper::aesEncrypt(plaintext, kKey, kIV).value_or("");
        QCOMPARE(ciphertext.size(), 16 * (length / 16 + 1));
        QCOMPARE(CryptoHelper::aesDecrypt(ciphertext, kKey, kIV), plaintext);
    }

    void aesRefusesBadInput_data() {
        QTest::addColumn<bool>("decrypt");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("iv");
        QTest::newRow("partial block") << true << pattern(17) << kKey << kIV;
        QTest::newRow("no block") << true << QByteArray() << kKey << kIV;
        QTest::newRow("short key") << false << pattern(16) << kKey.first(31) << kIV;
        QTest::newRow("long key") << false << pattern(16) << kKey + 'x' << kIV;
        QTest::newRow("short iv") << false << pattern(16) << kKey << kIV.first(15);
    }
    void aesRefusesBadInput() {
        QFETCH(bool, decrypt);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, iv);
        QVERIFY(!CryptoHelper::aesCrypt(
            decrypt ? CryptoHelper::Operation::decrypt : CryptoHelper::Operation::encrypt, input,
            key, iv));
    }
};

QTEST_GUILESS_MAIN(CryptoTest)
#include "tst_Crypto.moc"
