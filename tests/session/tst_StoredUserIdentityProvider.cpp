#include "api/CDYUserTool.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/storage/SecureStorageManager.h"
#include "sdk/KXClient.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/StoredUserIdentityProvider.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class StoredUserIdentityProviderTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<SecureStorageManager> m_storage;
    NotificationCenter m_center;
    std::unique_ptr<CDYUserTool> m_users;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        m_root = std::make_unique<QTemporaryDir>();
        SecureStorageManager::Environment environment;
        environment.applicationSupportDirectory = m_root->path();
        environment.bundleIdentifier = QStringLiteral("com.example.session");
        environment.console = [](const QString&) {};
        m_storage = std::make_unique<SecureStorageManager>(environment);
        m_users = std::make_unique<CDYUserTool>(*m_storage, m_center, [](const QString&) {});
    }

    void identityFollowsTheStoredRecord_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QVariant>("sign");
        QTest::addColumn<bool>("loggedOut");
        QTest::addColumn<QString>("userID");
        QTest::addColumn<QString>("userToken");
        QTest::newRow("nobody signed in") << false << QVariant() << false << ""
                                          << "";
        QTest::newRow("record with sign") << true << QVariant("s1") << false << "42"
                                          << "s1";
        QTest::newRow("record without sign") << true << QVariant() << false << "42"
                                             << "";
        QTest::newRow("after logout") << true << QVariant("s1") << true << ""
                                      << "";
    }
    void identityFollowsTheStoredRecord() {
        QFETCH(bool, stored);
        QFETCH(QVariant, sign);
        QFETCH(bool, loggedOut);
        QFETCH(QString, userID);
        QFETCH(QString, userToken);
        const StoredUserIdentityProvider provider(*m_users);
        if (stored) {
            KXDomesticUser user(QStringLiteral("42"), QStringLiteral("token"));
            if (sign.isValid()) {
                user.sign = sign.toString();
            }
            QVERIFY(m_users->saveUserData(user));
        }
        if (loggedOut) {
            QCOMPARE(provider.userToken(), sign.toString());  // read before, gone after
            QVERIFY(m_users->logout());
        }
        QCOMPARE(provider.userID(), userID);
        QCOMPARE(provider.userToken(), userToken);
    }

    void sessionAsksTheServiceAsTheStoredUser() {
        KXDomesticUser user(QStringLiteral("42"), QStringLiteral("token"));
        user.sign = QStringLiteral("s1");
        QVERIFY(m_users->saveUserData(user));
        const auto cloud = std::make_shared<SimulatedCloud>();
        CloudPhoneCommunicator communicator(cloud);
        communicator.setupWithLogPath(m_root->filePath(QStringLiteral("videoLogs")));
        communicator.configClient({}, std::make_shared<StoredUserIdentityProvider>(*m_users));
        bool registered = false;
        communicator.add(QStringLiteral("5"), {}, {}, {}, [&](bool ok) { registered = ok; });
        QTRY_VERIFY(registered);
        QCOMPARE(cloud->paramsRequests().first().uid, QStringLiteral("42"));
        QCOMPARE(cloud->paramsRequests().first().token, QStringLiteral("s1"));
        communicator.destory();
    }
};

QTEST_GUILESS_MAIN(StoredUserIdentityProviderTest)
#include "tst_StoredUserIdentityProvider.moc"
