#include "foundation/storage/SecureStorageManager.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kFile = QStringLiteral("user_data.encrypted");

// The shape a stored record takes: JSON out, JSON in with a reason on failure.
struct Account {
    QString uid;

    QJsonObject toJson() const { return {{"uid", uid}}; }
    static Result<Account> fromJson(const QJsonValue& json) {
        if (!json["uid"].isString()) {
            return Error{"Account", 1, "uid missing"};
        }
        return Account{json["uid"].toString()};
    }
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class SecureStorageTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QStringList m_lines;

    SecureStorageManager::Environment environment(
        std::optional<QString> identifier = QStringLiteral("com.example.tests")) {
        return {m_root.path(), std::move(identifier), {}, {}, [this](const QString& line) {
                    m_lines << line;
                }};
    }
    QString path(const SecureStorageManager& store) const {
        return QDir(store.storageDirectory()).filePath(kFile);
    }
    QStringList takeLines() { return std::exchange(m_lines, {}); }

private Q_SLOTS:
    void init() {
        QDir(m_root.path()).removeRecursively();
        takeLines();
    }

    void roundTripKeepsTheFileLayout() {
        const SecureStorageManager store(environment());
        const QJsonObject value{{"uid", "42"}, {"name", QStringLiteral("张三")}};
        QVERIFY(store.saveEncrypted(value, kFile));
        const QByteArray first = readAll(path(store));
        QVERIFY(store.saveEncrypted(value, kFile));
        QCOMPARE(store.loadEncryptedJson(kFile), QJsonValue(value));

        // A fresh IV each time, then the ciphertext of the compact JSON text.
        const QByteArray bytes = readAll(path(store));
        QVERIFY(bytes.first(16) != first.first(16));
        QCOMPARE(CryptoHelper::aesDecrypt(bytes.mid(16), store.deriveStorageKey(), bytes.first(16)),
                 QJsonDocument(value).toJson(QJsonDocument::Compact));
        QVERIFY(takeLines().isEmpty());
    }

    void typedValues() {
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(Account{"7"}, kFile));
        QCOMPARE(store.loadEncrypted<Account>(kFile).value_or(Account{}).uid, "7");
        QVERIFY(store.saveEncrypted(QJsonArray{"not an account"}, kFile));
        QVERIFY(!store.loadEncrypted<Account>(kFile));
        QCOMPARE(takeLines(), QStringList{"读取加密数据失败: uid missing"});
    }

    void damagedFilesLoadAsAbsent_data() {
        QTest::addColumn<int>("size");  // bytes kept; negative: cut from the end
        QTest::addColumn<bool>("tamper");
        QTest::addColumn<QStringList>("lines");
        const QStringList failed{"解密数据失败"};
        QTest::newRow("empty file") << 0 << false << QStringList();
        QTest::newRow("iv only") << 16 << false << QStringList();
        QTest::newRow("iv and one byte") << 17 << false << failed;
        QTest::newRow("cut mid-block") << -5 << false << failed;
        QTest::newRow("cut by one block") << -16 << false << failed;
        QTest::newRow("tampered") << 1000 << true << failed;
    }
    void damagedFilesLoadAsAbsent() {
        QFETCH(int, size);
        QFETCH(bool, tamper);
        QFETCH(QStringList, lines);
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "a fairly long user id text"}}, kFile));
        QByteArray bytes = readAll(path(store));
        bytes.truncate(size >= 0 ? size : bytes.size() + size);
        if (tamper) {
            // The previous block's last byte decides the padding byte.
            bytes[bytes.size() - 17] = static_cast<char>(bytes[bytes.size() - 17] ^ 0x80);
        }
        QFile file(path(store));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();

        QVERIFY(!store.loadEncryptedJson(kFile));
        QCOMPARE(takeLines(), lines);
    }

    void missingFiles() {
        const SecureStorageManager store(environment());
        QVERIFY(!store.loadEncryptedJson(kFile));
        QVERIFY(!store.deleteFile(kFile));
        QVERIFY(store.saveEncrypted(QJsonObject{}, kFile));
        QVERIFY(store.deleteFile(kFile));
        QCOMPARE(takeLines(), (QStringList{"读取加密数据失败: No such file or directory",
                                           "删除文件失败: No such file or directory"}));
    }

    void failedSavesKeepThePreviousFile_data() {
        QTest::addColumn<bool>("randomFails");
        QTest::addColumn<QString>("line");
        QTest::newRow("no random bytes") << true << "加密数据失败";
        QTest::newRow("write interrupted") << false << "保存加密数据失败: ";
    }
    void failedSavesKeepThePreviousFile() {
        QFETCH(bool, randomFails);
        QFETCH(QString, line);
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "old"}}, kFile));

        SecureStorageManager::Environment env = environment();
        if (randomFails) {
            env.random = [](CryptoHelper::IV&) { return -25300; };
        } else {
            env.writer = [](QIODevice& device, const QByteArray& bytes) -> qint64 {
                device.write(bytes.first(bytes.size() / 2));
                return -1;
            };
        }
        QVERIFY(!SecureStorageManager(env).saveEncrypted(QJsonObject{{"uid", "new"}}, kFile));
        const QStringList lines = takeLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(line), qPrintable(lines.first()));
        QCOMPARE(store.loadEncryptedJson(kFile), QJsonValue(QJsonObject{{"uid", "old"}}));
        QCOMPARE(QDir(store.storageDirectory()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{kFile});
    }

    void keyAndFolderFollowTheIdentifier_data() {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<QString>("folder");
        QTest::newRow("other") << std::optional<QString>("com.example.other")
                               << "com.example.other";
        QTest::newRow("none") << std::optional<QString>() << "AppData";
        QTest::newRow("empty") << std::optional<QString>("") << "AppData";
    }
    void keyAndFolderFollowTheIdentifier() {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(QString, folder);
        const SecureStorageManager store(environment(identifier));
        QCOMPARE(store.storageDirectory(), QDir(m_root.path()).filePath(folder));
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "x"}}, kFile));

        // Another installation's key cannot read this file.
        const SecureStorageManager mine(environment());
        QVERIFY(QFile::copy(path(store), path(mine)));
        QVERIFY(!mine.loadEncryptedJson(kFile));
        QCOMPARE(takeLines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(SecureStorageTest)
#include "tst_SecureStorage.moc"
