#include "api/CDYUserTool.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/storage/SecureStorageManager.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

KXDomesticUser userFrom(const char* json) {
    return KXDomesticUser::fromJson(QJsonDocument::fromJson(json).object()).value();
}

}  // namespace

class UserStoreTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    std::shared_ptr<QStringList> m_lines;
    std::unique_ptr<SecureStorageManager> m_storage;
    std::unique_ptr<NotificationCenter> m_center;
    std::unique_ptr<CDYUserTool> m_users;
    QStringList m_posted;  // notification name, and whether the file existed when it arrived

    QString userFilePath() const {
        return QDir(m_storage->storageDirectory()).filePath(QStringLiteral("user_data.encrypted"));
    }
    QStringList takeLines() { return std::exchange(*m_lines, {}); }

    void makeStore(DeviceWriter writer = {}) {
        SecureStorageManager::Environment env;
        env.applicationSupportDirectory = m_root->path();
        env.bundleIdentifier = QStringLiteral("com.example.users");
        env.writer = std::move(writer);
        env.console = [lines = m_lines](const QString& line) { lines->append(line); };
        m_storage = std::make_unique<SecureStorageManager>(env);
        m_users = std::make_unique<CDYUserTool>(
            *m_storage, *m_center, [lines = m_lines](const QString& line) { lines->append(line); });
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        m_root = std::make_unique<QTemporaryDir>();
        m_lines = std::make_shared<QStringList>();
        m_center = std::make_unique<NotificationCenter>();
        m_posted.clear();
        for (const QString& name : {NotificationNames::userLogin, NotificationNames::userLogout}) {
            m_center->addObserver(nullptr, name, [this](const Notification& note) {
                QVERIFY(note.object == nullptr && note.userInfo.isEmpty());
                m_posted << note.name + (QFile::exists(userFilePath()) ? QStringLiteral(" file")
                                                                       : QStringLiteral(" none"));
            });
        }
        makeStore();
    }

    void saveAnnouncesLoginOnceTheFileExists() {
        const KXDomesticUser user = userFrom(
            R"({"uid":"42","token":"t","sign":"s1","username":"张三","isbindwxqq":2,)"
            R"("thirdAccountList":[{"thirdAccountType":"QQ","thirdAccountNickName":"q"}]})");
        QVERIFY(m_users->saveUserData(user));
        QCOMPARE(m_posted, QStringList{QStringLiteral("user_login file")});
        QCOMPARE(takeLines(), QStringList{QStringLiteral("用户数据保存成功")});
        QVERIFY(m_users->loadUser() == user);
        // The file holds the record's own keys, readable by any store with the same identity.
        const SecureStorageManager other({m_root->path(), QStringLiteral("com.example.users")});
        const std::optional<QJsonValue> stored = other.loadEncryptedJson(m_users->userDataFile);
        QCOMPARE(stored->toObject(), user.toJson());
    }

    void logoutOnlyOnce() {
        QVERIFY(m_users->saveUserData(userFrom(R"({"uid":"1","token":"t"})")));
        m_posted.clear();
        takeLines();
        QVERIFY(m_users->logout());
        QCOMPARE(m_posted, QStringList{QStringLiteral("user_logout none")});
        QCOMPARE(takeLines(), QStringList{QStringLiteral("用户登出成功")});
        QVERIFY(!m_users->logout());
        QCOMPARE(m_posted.size(), 1);
        const QStringList lines = takeLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].startsWith(QStringLiteral("删除文件失败: ")));
        QCOMPARE(lines[1], QStringLiteral("用户登出失败"));
    }

    void failedSaveKeepsTheSignedInUser() {
        QVERIFY(m_users->saveUserData(userFrom(R"({"uid":"old","token":"t","sign":"s"})")));
        m_posted.clear();
        takeLines();
        makeStore([](QIODevice& device, const QByteArray& bytes) {
            device.write(bytes.first(bytes.size() / 2));
            return qint64(-1);
        });
        QVERIFY(!m_users->saveUserData(userFrom(R"({"uid":"new","token":"t"})")));
        QVERIFY(m_posted.isEmpty());
        const QStringList lines = takeLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].startsWith(QStringLiteral("保存加密数据失败: ")));
        QCOMPARE(lines[1], QStringLiteral("用户数据保存失败"));
        QCOMPARE(m_users->currentUserID(), QStringLiteral("old"));
    }

    void readersOfTheRecord_data() {
        QTest::addColumn<QByteArray>("fileContents");  // empty: save `record` instead
        QTest::addColumn<QByteArray>("record");        // empty with empty contents: no file
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("sign");
        QTest::newRow("no file") << QByteArray() << QByteArray() << ""
                                 << "";
        QTest::newRow("record without sign")
            << QByteArray() << QByteArray(R"({"uid":"7","token":"tok"})") << "7"
            << "";
        QTest::newRow("record with sign")
            << QByteArray() << QByteArray(R"({"uid":"7","token":"tok","sign":"sg"})") << "7"
            << "sg";
        QTest::newRow("corrupted file") << QByteArray(64, 'x') << QByteArray() << ""
                                        << "";
        QTest::newRow("too short file") << QByteArray(16, 'x') << QByteArray() << ""
                                        << "";
    }
    void readersOfTheRecord() {
        QFETCH(QByteArray, fileContents);
        QFETCH(QByteArray, record);
        QFETCH(QString, uid);
        QFETCH(QString, sign);
        if (!record.isEmpty()) {
            QVERIFY(m_users->saveUserData(userFrom(record.constData())));
        } else if (!fileContents.isEmpty()) {
            QFile file(userFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(fileContents);
        }
        QCOMPARE(m_users->currentUserID(), uid);
        QCOMPARE(m_users->currentUserSign(), sign);
        QCOMPARE(m_users->currentCredentials(), (UserCredentials{uid, sign}));
        QCOMPARE(m_users->loadUser().has_value(), !uid.isEmpty());
        // Whatever was there, the next save replaces it.
        QVERIFY(m_users->saveUserData(userFrom(R"({"uid":"9","token":"t","sign":"n"})")));
        QCOMPARE(m_users->currentCredentials(), (UserCredentials{"9", "n"}));
    }
};

QTEST_GUILESS_MAIN(UserStoreTest)
#include "tst_UserStore.moc"
