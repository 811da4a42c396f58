#include "foundation/crashreporting/LocalCrashReportClient.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/FileExtensions.h"
#include "foundation/storage/SecureStorageManager.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// The mode bits as the system reports them, without the file type.
unsigned modeOf(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777
                                                                     : 01000000;
}

}  // namespace

// Files that hold secrets are the user's alone, whatever the umask the client starts with.
class FileModesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    mode_t m_previousUmask = 0;

    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void initTestCase() { m_previousUmask = ::umask(022); }
    void cleanupTestCase() { ::umask(m_previousUmask); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void encryptedStoreIsPrivate() {
        // A folder left by an older client with the umask's mode is narrowed too.
        QVERIFY(QDir().mkpath(path("support/com.example.tests")));
        QCOMPARE(modeOf(path("support/com.example.tests")), 0755u);
        const SecureStorageManager store(
            {path("support"), QStringLiteral("com.example.tests"), {}, {}, [](const QString&) {}});

        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "u1"}}, "user_data.encrypted"));
        const QString file = path("support/com.example.tests/user_data.encrypted");
        QCOMPARE(modeOf(path("support/com.example.tests")), 0700u);
        QCOMPARE(modeOf(file), 0600u);

        // Replacing the file keeps it private, also when someone widened it meanwhile.
        QVERIFY(QFile::setPermissions(
            file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        QVERIFY(store.saveEncrypted(QJsonObject{{"uid", "u2"}}, "user_data.encrypted"));
        QCOMPARE(modeOf(file), 0600u);
    }

    void atomicReplacementKeepsTheMode_data() {
        QTest::addColumn<int>("access");
        QTest::addColumn<unsigned>("before");  // 0: no file yet
        QTest::addColumn<unsigned>("after");
        QTest::newRow("new private file") << int(FileAccess::ownerOnly) << 0u << 0600u;
        QTest::newRow("private replaces wide") << int(FileAccess::ownerOnly) << 0644u << 0600u;
        QTest::newRow("new standard file") << int(FileAccess::standard) << 0u << 0644u;
        QTest::newRow("standard keeps private") << int(FileAccess::standard) << 0600u << 0600u;
    }
    void atomicReplacementKeepsTheMode() {
        QFETCH(int, access);
        QFETCH(unsigned, before);
        QFETCH(unsigned, after);
        const QString file = path("record");
        if (before != 0) {
            QVERIFY(writeFileAtomically(file, "old"));
            QCOMPARE(::chmod(QFile::encodeName(file).constData(), before), 0);
        }
        QVERIFY(writeFileAtomically(file, "new", {}, FileAccess(access)));
        QCOMPARE(modeOf(file), after);
    }

    void settingsFileIsPrivate() {
        SettingsManager settings(path("config/settings.ini"));
        settings.set(QStringLiteral("t"), SettingKey::loginUsertoken);
        QCOMPARE(modeOf(path("config/settings.ini")), 0600u);
        settings.set(QStringLiteral("u"), SettingKey::loginUsertoken);
        QCOMPARE(modeOf(path("config/settings.ini")), 0600u);
    }

    void logFileIsPrivate() {
        FileLogger logger([](const QByteArray&) {});
        LoggerConfig config;
        config.enableFileLogging = true;
        config.logFilePath = path("cache/mac_brisca_cn.log");
        logger.setup(config);
        logger.info(QStringLiteral("line"), LogTag::app);
        QCOMPARE(modeOf(path("cache/mac_brisca_cn.log")), 0600u);
    }

    void crashReportSpoolIsPrivate() {
        LocalCrashReportClient client({path("cache/crash-reports")});
        client.start(CrashReportOptions{});
        client.captureMessage(QStringLiteral("probe"), CrashReportLevel::info);
        QCOMPARE(modeOf(path("cache/crash-reports")), 0700u);
        const QStringList reports = QDir(path("cache/crash-reports")).entryList(QDir::Files);
        QVERIFY(!reports.isEmpty());
        QCOMPARE(modeOf(path("cache/crash-reports/") + reports.first()), 0600u);
    }
};

QTEST_GUILESS_MAIN(FileModesTest)
#include "tst_FileModes.moc"
