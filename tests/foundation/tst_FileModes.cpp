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

    // What the client makes under umask 000 (or a stricter one, which it keeps), and what it
    // finds already made that wide.
    void explicitModesWhateverTheUmask_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<unsigned>("before");  // 0: nothing there yet
        QTest::addColumn<QString>("checked");  // the item whose mode is compared
        QTest::addColumn<unsigned>("after");
        QTest::newRow("new visible folder and its parents")
            << "folder standard a/b/c" << 0u << "a" << 0755u;
        QTest::newRow("new private folder and its parents")
            << "folder ownerOnly a/b/c" << 0u << "a/b" << 0700u;
        QTest::newRow("visible folder left wide") << "folder standard a" << 0777u << "a" << 0755u;
        QTest::newRow("visible folder kept narrower")
            << "folder standard a" << 0750u << "a" << 0750u;
        QTest::newRow("private folder left wide") << "folder ownerOnly a" << 0777u << "a" << 0700u;
        QTest::newRow("new file to write") << "open standard f" << 0u << "f" << 0644u;
        QTest::newRow("new private file to append") << "append ownerOnly f" << 0u << "f" << 0600u;
        QTest::newRow("file left wide, appended to")
            << "append standard f" << 0666u << "f" << 0644u;
        QTest::newRow("new file written whole") << "atomic standard f" << 0u << "f" << 0644u;
        QTest::newRow("wide file replaced whole") << "atomic standard f" << 0666u << "f" << 0644u;
        QTest::newRow("copied tree narrowed") << "tree standard a" << 0777u << "a/b/f" << 0644u;
        QTest::newRow("new visible folder, strict umask")
            << "folder standard a/b 077" << 0u << "a" << 0700u;
        QTest::newRow("new file written whole, strict umask")
            << "atomic standard f 077" << 0u << "f" << 0600u;
    }
    void explicitModesWhateverTheUmask() {
        QFETCH(QString, action);
        QFETCH(unsigned, before);
        QFETCH(QString, checked);
        QFETCH(unsigned, after);
        const QStringList parts = action.split(' ');
        const QString verb = parts.at(0);
        const FileAccess access =
            parts.at(1) == "ownerOnly" ? FileAccess::ownerOnly : FileAccess::standard;
        const QString target = path(parts.at(2));
        const auto chmodTo = [](const QString& item, mode_t mode) {
            return ::chmod(QFile::encodeName(item).constData(), mode) == 0;
        };
        if (verb == "tree") {
            QVERIFY(QDir().mkpath(target + "/b") && writeFileAtomically(target + "/b/f", "x"));
            QVERIFY(chmodTo(target + "/b/f", 0666) && chmodTo(target + "/b", before) &&
                    chmodTo(target, before));
        } else if (before != 0 && verb == "folder") {
            QVERIFY(QDir().mkpath(target) && chmodTo(target, before));
        } else if (before != 0) {
            QVERIFY(writeFileAtomically(target, "old") && chmodTo(target, before));
        }
        const mode_t previous = ::umask(parts.value(3, "0").toUInt(nullptr, 8));
        bool done = false;
        if (verb == "folder") {
            done = createFolder(target, access);
        } else if (verb == "open" || verb == "append") {
            QFile file(target);
            done = openForWriting(file, verb == "append" ? QIODevice::Append : QIODevice::WriteOnly,
                                  access) &&
                   file.write("new") == 3;
        } else if (verb == "atomic") {
            done = writeFileAtomically(target, "new", {}, access).ok();
        } else {
            removeGroupAndOtherWrite(target);
            done = true;
        }
        ::umask(previous);
        QVERIFY(done);
        QCOMPARE(modeOf(path(checked)), after);
        if (verb == "tree") {
            QCOMPARE(modeOf(target), 0755u);
        }
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
