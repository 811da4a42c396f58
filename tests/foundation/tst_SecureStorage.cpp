#include "foundation/SecureStorageManager.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kFile = QStringLiteral("user_data.encrypted");

struct Account {
    QString uid;
    std::optional<QString> phone;

    QJsonObject toJson() const {
        QJsonObject json{{"uid", uid}};
        if (phone) {
            json.insert("phone", *phone);
        }
        return json;
    }
    static Result<Account> fromJson(const QJsonValue& json) {
        if (!json.isObject() || !json.toObject().value("uid").isString()) {
            return Error{"Account", 1, "uid missing"};
        }
        Account account{json.toObject().value("uid").toString(), std::nullopt};
        if (json.toObject().value("phone").isString()) {
            account.phone = json.toObject().value("phone").toString();
        }
        return account;
    }
    bool operator==(const Account&) const = default;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

class SecureStorageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::shared_ptr<QStringList> m_lines;

    SecureStorageManager::Environment environment(
        std::optional<QString> identifier = QStringLiteral("com.example.tests")) {
        SecureStorageManager::Environment env;
        env.applicationSupportDirectory = m_root->path();
        env.bundleIdentifier = std::move(identifier);
        env.console = [lines = m_lines](const QString& line) { lines->append(line); };
        return env;
    }
    QStringList takeLines() { return std::exchange(*m_lines, {}); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        m_root = std::make_unique<QTemporaryDir>();
        m_lines = std::make_shared<QStringList>();
    }

    void roundTripKeepsTheFileLayout() {
        const SecureStorageManager store(environment());
        const QJsonObject value{{"uid", "42"}, {"name", QStringLiteral("张三")}, {"n", 7}};
        QVERIFY(store.saveEncrypted(value, kFile));
        QCOMPARE(store.loadEncryptedJson(kFile), QJsonValue(value));

        // 16-byte IV, then the ciphertext of the compact JSON text.
        const QByteArray bytes = readAll(QDir(store.storageDirectory()).filePath(kFile));
        const QByteArray json = QJsonDocument(value).toJson(QJsonDocument::Compact);
        QCOMPARE(bytes.size(), 16 + 16 * (json.size() / 16 + 1));
        QCOMPARE(CryptoHelper::aesDecrypt(bytes.mid(16), store.deriveStorageKey(), bytes.first(16)),
                 json);
        QVERIFY(takeLines().isEmpty());
    }

    void savesAreFreshlyEncrypted() {
        const SecureStorageManager store(environment());
        const QString path = QDir(store.storageDirectory()).filePath(kFile);
        QVERIFY(store.saveEncrypted(QJsonArray{1, 2, 3}, kFile));
        const QByteArray first = readAll(path);
        QVERIFY(store.saveEncrypted(QJsonArray{1, 2, 3}, kFile));
        QVERIFY(readAll(path) != first);
        QCOMPARE(store.loadEncryptedJson(kFile), QJsonValue(QJsonArray{1, 2, 3}));
    }

    void valuesOfEveryJsonKind_data() {
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("text") << QJsonValue(QStringLiteral("令牌"));
        QTest::newRow("number") << QJsonValue(12.5);
        QTest::newRow("null") << QJsonValue(QJsonValue::Null);
        QTest::newRow("empty object") << QJsonValue(QJsonObject{});
    }
    void valuesOfEveryJsonKind() {
        QFETCH(QJsonValue, value);
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(value, kFile));
        QCOMPARE(store.loadEncryptedJson(kFile), value);
    }

    void typedValuesRoundTrip() {
        const SecureStorageManager store(environment());
        const Account account{"7", QStringLiteral("13800000000")};
        QVERIFY(store.saveEncrypted(account, kFile));
        QCOMPARE(store.loadEncrypted<Account>(kFile), account);

        QVERIFY(store.saveEncrypted(QJsonArray{"not an account"}, kFile));
        QVERIFY(!store.loadEncrypted<Account>(kFile));
        QCOMPARE(takeLines(), QStringList{"读取加密数据失败: uid missing"});
    }

    void damagedFilesLoadAsAbsent_data() {
        QTest::addColumn<int>("keep");  // bytes kept from the front; -1 keeps all
        QTest::addColumn<int>("flip");  // offset from the end of a byte to change; 0 for none
        QTest::addColumn<QStringList>("lines");
        const QStringList silent;
        const QStringList failed{"解密数据失败"};
        QTest::newRow("empty file") << 0 << 0 << silent;
        QTest::newRow("iv only") << 16 << 0 << silent;
        QTest::newRow("iv and one byte") << 17 << 0 << failed;
        QTest::newRow("cut mid-block") << -5 << 0 << failed;
        QTest::newRow("cut by one block") << -16 << 0 << failed;
        // The last byte of the previous block decides the padding byte.
        QTest::newRow("tampered padding") << -1 << 17 << failed;
    }
    void damagedFilesLoadAsAbsent() {
        QFETCH(int, keep);
        QFETCH(int, flip);
        QFETCH(QStringList, lines);
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "a fairly long user id text"}}, kFile));
        const QString path = QDir(store.storageDirectory()).filePath(kFile);
        QByteArray bytes = readAll(path);
        QVERIFY(bytes.size() > 48);
        if (keep >= 0) {
            bytes.truncate(keep);
        } else if (keep < -1) {
            bytes.chop(-keep);
        }
        if (flip > 0) {
            bytes[bytes.size() - flip] = static_cast<char>(bytes[bytes.size() - flip] ^ 0x80);
        }
        writeAll(path, bytes);

        QVERIFY(!store.loadEncryptedJson(kFile));
        QCOMPARE(takeLines(), lines);
    }

    void missingFiles() {
        const SecureStorageManager store(environment());
        QVERIFY(!store.loadEncryptedJson(kFile));
        QVERIFY(!store.deleteFile(kFile));
        QCOMPARE(takeLines(), (QStringList{"读取加密数据失败: No such file or directory",
                                           "删除文件失败: No such file or directory"}));
    }

    void deleteRemovesTheFile() {
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(QJsonObject{}, kFile));
        QVERIFY(store.deleteFile(kFile));
        QVERIFY(!QFile::exists(QDir(store.storageDirectory()).filePath(kFile)));
        QVERIFY(takeLines().isEmpty());
    }

    void failedRandomRefusesToSave() {
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "old"}}, kFile));

        SecureStorageManager::Environment env = environment();
        env.random = [](CryptoHelper::IV&) { return -25300; };
        const SecureStorageManager broken(env);
        QVERIFY(!broken.saveEncrypted(QJsonObject{{"uid", "new"}}, kFile));
        QVERIFY(!broken.saveEncrypted(QJsonObject{{"uid", "new"}}, "other"));
        QCOMPARE(takeLines(), (QStringList{"加密数据失败", "加密数据失败"}));
        QCOMPARE(store.loadEncryptedJson(kFile), QJsonValue(QJsonObject{{"uid", "old"}}));
        QVERIFY(!QFile::exists(QDir(store.storageDirectory()).filePath("other")));
    }

    void interruptedWriteKeepsThePreviousFile() {
        const SecureStorageManager store(environment());
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "old"}}, kFile));

        SecureStorageManager::Environment env = environment();
        env.writer = [](QIODevice& device, const QByteArray& bytes) -> qint64 {
            device.write(bytes.first(bytes.size() / 2));
            return -1;
        };
        const SecureStorageManager crashing(env);
        QVERIFY(!crashing.saveEncrypted(QJsonObject{{"uid", "new"}}, kFile));
        const QStringList lines = takeLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith("保存加密数据失败: "), qPrintable(lines.first()));

        QCOMPARE(store.loadEncryptedJson(kFile), QJsonValue(QJsonObject{{"uid", "old"}}));
        QCOMPARE(QDir(store.storageDirectory()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{kFile});
    }

    void keyAndFolderFollowTheIdentifier_data() {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<QString>("folder");
        QTest::newRow("identifier")
            << std::optional<QString>("com.example.other") << "com.example.other";
        QTest::newRow("none") << std::optional<QString>() << "AppData";
        QTest::newRow("empty") << std::optional<QString>("") << "AppData";
    }
    void keyAndFolderFollowTheIdentifier() {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(QString, folder);
        const SecureStorageManager store(environment(identifier));
        QCOMPARE(store.storageDirectory(), QDir(m_root->path()).filePath(folder));
        QVERIFY(QFileInfo(store.storageDirectory()).isDir());
        QCOMPARE(store.deriveStorageKey().size(), 32);

        // Another installation's key cannot read this one's file.
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "x"}}, kFile));
        QFile::copy(QDir(store.storageDirectory()).filePath(kFile),
                    QDir(m_root->path()).filePath("com.example.tests/" + kFile));
        const SecureStorageManager mine(environment());
        QVERIFY(mine.deriveStorageKey() != store.deriveStorageKey());
        QVERIFY(!mine.loadEncryptedJson(kFile));
        QCOMPARE(takeLines().size(), 1);
    }

    void sharedStoreUsesThePrivateFolder() {
        const QString expected =
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                .filePath(SecureStorageManager::shared().keychainService());
        QCOMPARE(SecureStorageManager::shared().storageDirectory(), expected);
    }
};

QTEST_GUILESS_MAIN(SecureStorageTest)
#include "tst_SecureStorage.moc"
