#include "UpdateTestSupport.h"

#include "update/UpdateManager.h"
#include "update/UpdateProgressWindowController.h"
#include "update/UpdateTask.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace {

using testarchive::tree;

const QString kIdentifier = QStringLiteral("com.brisca.test");

QByteArray package(const QByteArray& identifier = "com.brisca.test",
                   const QByteArray& version = "2.0.0") {
    return zipOf(applicationEntries("brisca-cloudphone", bundleInfoJson(identifier, version)));
}

}  // namespace

class TestUpdateManager : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_sandbox;
    std::unique_ptr<TestTlsServer> m_server;
    std::unique_ptr<UpdateManager> m_manager;
    QList<UpdateState> m_states;
    QList<QStringList> m_launches;
    int m_terminations = 0;
    TestCertificate m_certificate;

    QString dataFolder() const { return m_sandbox->filePath(QStringLiteral("data")); }
    QString updatesFolder() const { return m_manager->updatesDirectory().path(); }

    void makeManager(const QSslConfiguration& ssl) {
        UpdateManager::Environment environment;
        environment.updatesDirectory = UpdatesDirectory(dataFolder(), kIdentifier);
        environment.bundleIdentifier = kIdentifier;
        environment.shortVersion = QStringLiteral("1.0.0");
        environment.applicationPath = m_sandbox->filePath(QStringLiteral("app/brisca-cloudphone"));
        environment.executablePath = environment.applicationPath + "/brisca-cloudphone";
        environment.processId = 4242;
        environment.sslConfiguration = ssl;
        environment.startDetached = [this](const QString& program, const QStringList& arguments) {
            m_launches.append(QStringList{program} + arguments);
            return Result<void>();
        };
        environment.terminate = [this] { ++m_terminations; };
        m_manager = std::make_unique<UpdateManager>(environment);
        m_manager->setStateHandler([this](const UpdateState& state) { m_states.append(state); });
    }

    UpdateInfo offer(const QByteArray& package, const QString& version = QStringLiteral("2.0.0"),
                     std::optional<QString> sha256 = std::nullopt) {
        m_server->setReply({package});
        return UpdateInfo{version, std::nullopt, m_server->url(QStringLiteral("pkg/update.zip")),
                          sha256,  false,        std::nullopt};
    }

    // Runs an accepted offer to its end and returns the last state.
    UpdateState runToEnd(const UpdateInfo& info) {
        const qsizetype start = m_states.size();
        m_manager->presentUpdate(info);
        m_manager->startDownload(*m_manager->takePendingUpdate());
        const auto ended = [this, start] {
            if (m_states.size() <= start) {
                return false;
            }
            const UpdateState::Case last = m_states.last().stateCase();
            return last == UpdateState::Case::failed || last == UpdateState::Case::restarting;
        };
        if (!QTest::qWaitFor(ended, 20000)) {
            return UpdateState::idle();
        }
        QTest::qWait(50);  // anything set late would show up here
        return m_states.last();
    }

    QStringList entriesOfUpdates(const QString& pattern) const {
        return QDir(updatesFolder()).entryList({pattern}, QDir::AllEntries | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void initTestCase() { m_certificate = makeTestCertificate(); }

    void init() {
        m_sandbox = std::make_unique<QTemporaryDir>();
        m_server = std::make_unique<TestTlsServer>(m_certificate);
        m_states.clear();
        m_launches.clear();
        m_terminations = 0;
        makeManager(m_server->clientConfiguration());
    }
    void cleanup() { m_manager.reset(); }

    void plainHttpOfferFailsBeforeAnythingIsWritten() {
        UpdateInfo info = offer(package());
        info.downloadURL.setScheme(QStringLiteral("http"));
        const UpdateState last = runToEnd(info);
        QCOMPARE(last.stateCase(), UpdateState::Case::failed);
        QCOMPARE(last.error()->message, QStringLiteral("更新地址必须使用 HTTPS"));
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(!QFileInfo::exists(dataFolder()));
        QVERIFY(!m_manager->isRunning());
        QCOMPARE(m_manager->progressWindow().window()->findChild<QLabel*>("statusLabel")->text(),
                 QStringLiteral("更新失败"));
    }

    void acceptedPackageIsHandedToTheHelper() {
        // Big enough for several progress reports.
        QByteArray filler(3 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < filler.size(); ++i) {
            filler[i] = char((i * 7919) >> 3);
        }
        const QByteArray zip = zipOf(
            applicationEntries("brisca-cloudphone", bundleInfoJson("com.brisca.test", "2.0.0")) +
            QList<PackageEntry>{{PackageEntry::file, "brisca-cloudphone/pc/data.bin", filler}});
        const QString digest = QString::fromLatin1(
            QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex().toUpper());

        const UpdateState last = runToEnd(offer(zip, QStringLiteral("2.0.0"), digest));
        QCOMPARE(last.stateCase(), UpdateState::Case::restarting);

        QList<UpdateState::Case> cases;
        for (const UpdateState& state : m_states) {
            if (cases.isEmpty() || cases.last() != state.stateCase()) {
                cases.append(state.stateCase());
            }
        }
        using Case = UpdateState::Case;
        QCOMPARE(cases, (QList<Case>{Case::available, Case::downloading, Case::verifying,
                                     Case::mounting, Case::restarting}));
        QCOMPARE(m_states[1], UpdateState::downloading(0));
        QCOMPARE(m_states[m_states.size() - 4], UpdateState::downloading(1));

        const QStringList packages = entriesOfUpdates(QStringLiteral("update-*.zip"));
        const QStringList tasks = entriesOfUpdates(QStringLiteral("task-*.json"));
        QCOMPARE(packages.size(), 1);
        QCOMPARE(tasks.size(), 1);
        const QString taskPath = QDir(updatesFolder()).filePath(tasks.first());
        const UpdateTask task = UpdateTask::readFromFile(taskPath).value();
        QCOMPARE(task.targetAppPath, m_sandbox->filePath(QStringLiteral("app/brisca-cloudphone")));
        QCOMPARE(task.packagePath, QDir(updatesFolder()).filePath(packages.first()));
        QCOMPARE(task.sourceAppPath, task.mountedVolumePath + "/brisca-cloudphone");
        QCOMPARE(task.targetVersion, QStringLiteral("2.0.0"));
        QVERIFY(QFileInfo(task.sourceAppPath + "/brisca-cloudphone").isExecutable());
        const QStringList launch{m_sandbox->filePath("app/brisca-cloudphone/brisca-cloudphone"),
                                 "--kx-update-helper", taskPath, "4242"};
        QCOMPARE(m_launches, QList<QStringList>{launch});
        QTRY_COMPARE(m_terminations, 1);
        QVERIFY(!m_manager->isRunning());
    }

    void rejectedPackages_data() {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QString>("offeredVersion");
        QTest::addColumn<QString>("sha256");
        QTest::addColumn<QString>("message");  // empty: the unpacking's own text

        QTest::newRow("wrong checksum") << package() << "2.0.0" << QString(64, QLatin1Char('a'))
                                        << QStringLiteral("安装包校验失败");
        QTest::newRow("other version inside")
            << package("com.brisca.test", "2.0.1") << "2.0.0" << QString()
            << QStringLiteral("DMG 版本与服务端版本不一致");
        QTest::newRow("other identifier")
            << package("com.other") << "2.0.0" << QString()
            << QStringLiteral("Bundle ID 不匹配：当前 com.brisca.test，安装包 com.other");
        QTest::newRow("not newer than the running one")
            << package("com.brisca.test", "1.0.0") << "1.0.0" << QString()
            << QStringLiteral("目标版本不高于当前版本");
        QTest::newRow("no application folder")
            << zipOf({{PackageEntry::file, "readme.txt", "hello"},
                      {PackageEntry::file, "nested/app/bundle-info.json", "{}"}})
            << "2.0.0" << QString() << QStringLiteral("DMG 根目录中未找到 .app 应用");
        QTest::newRow("application without the executable")
            << zipOf(applicationEntries("brisca-cloudphone",
                                        bundleInfoJson("com.brisca.test", "2.0.0"))
                         .mid(0, 2))
            << "2.0.0" << QString() << QStringLiteral("DMG 根目录中未找到 .app 应用");
        QTest::newRow("entry climbing out")
            << zipOf(applicationEntries("app", bundleInfoJson("com.brisca.test", "2.0.0")) +
                     QList<PackageEntry>{{PackageEntry::file, "../x", "escaped"}})
            << "2.0.0" << QString() << QString();
        QTest::newRow("link out, then written through")
            << zipOf(applicationEntries("app", bundleInfoJson("com.brisca.test", "2.0.0")) +
                     QList<PackageEntry>{{PackageEntry::symlink, "app/out", "../../../.."},
                                         {PackageEntry::file, "app/out/x", "escaped"}})
            << "2.0.0" << QString() << QString();
        QTest::newRow("not an archive")
            << QByteArray("no zip here") << "2.0.0" << QString() << QString();
    }
    void rejectedPackages() {
        QFETCH(QByteArray, package);
        QFETCH(QString, offeredVersion);
        QFETCH(QString, sha256);
        QFETCH(QString, message);
        const QStringList before = tree(m_sandbox->path());

        const UpdateState last = runToEnd(offer(
            package, offeredVersion, sha256.isEmpty() ? std::nullopt : std::optional(sha256)));
        QCOMPARE(last.stateCase(), UpdateState::Case::failed);
        if (message.isEmpty()) {
            QCOMPARE(last.error()->domain, UpdateError::kDomain);
            QCOMPARE(last.error()->code, int(UpdateError::Case::commandFailed));
            QVERIFY(!last.error()->message.isEmpty());
        } else {
            QCOMPARE(last.error()->message, message);
        }
        // The downloaded package stays; nothing unpacked remains and nothing else was written.
        QCOMPARE(entriesOfUpdates(QStringLiteral("update-*.zip")).size(), 1);
        const QString packageFile =
            QDir(m_sandbox->path())
                .relativeFilePath(
                    QDir(updatesFolder()).filePath(entriesOfUpdates("update-*.zip").first()));
        QStringList expected = before + QStringList{"data", "data/com.brisca.test",
                                                    "data/com.brisca.test/Updates", packageFile};
        expected.sort();
        QCOMPARE(tree(m_sandbox->path()), expected);
        QVERIFY(m_launches.isEmpty());
        QCOMPARE(m_terminations, 0);
        QVERIFY(!m_manager->isRunning());
    }

    void downloadWithoutLengthStaysAtZero() {
        UpdateInfo info = offer({});
        m_server->setReply({package(), false});
        QCOMPARE(runToEnd(info).stateCase(), UpdateState::Case::restarting);
        for (const UpdateState& state : m_states) {
            if (state.fraction()) {
                QCOMPARE(*state.fraction(), 0.0);
            }
        }
    }

    void certificateNobodyTrustsFails() {
        makeManager(QSslConfiguration::defaultConfiguration());
        QCOMPARE(runToEnd(offer(package())).stateCase(), UpdateState::Case::failed);
        QVERIFY(!QFileInfo::exists(dataFolder()));
        QVERIFY(!m_manager->isRunning());
    }

    void cancellingStopsTheDownload() {
        UpdateInfo info = offer({});
        m_server->setReply({QByteArray(8 * 1024 * 1024, 'x'), true, 256 * 1024});
        m_manager->presentUpdate(info);
        m_manager->startDownload(*m_manager->takePendingUpdate());
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(m_states.cbegin(), m_states.cend(),
                        [](const UpdateState& s) { return s.fraction().value_or(0) > 0; }),
            20000);

        // A second offer while the download runs is refused and changes nothing.
        m_manager->presentUpdate(info);
        QVERIFY(!m_manager->pendingUpdate());
        QTRY_COMPARE(m_states.last(), UpdateState::failed(UpdateError::alreadyRunning()));

        const qsizetype before = m_states.size();
        m_manager->cancel();
        QTRY_COMPARE(m_states.size(), before + 2);
        QCOMPARE(m_states[before], UpdateState::cancelled());
        QCOMPARE(m_states[before + 1].stateCase(), UpdateState::Case::failed);
        QTest::qWait(50);  // no state follows the failure
        QCOMPARE(m_states.size(), before + 2);
        QVERIFY(!m_manager->isRunning());
        QVERIFY(!QFileInfo::exists(dataFolder()));

        // A new offer can be accepted after the cancellation.
        m_server->setReply({package()});
        QCOMPARE(runToEnd(info).stateCase(), UpdateState::Case::restarting);
    }
};

QTEST_MAIN(TestUpdateManager)
#include "tst_UpdateManager.moc"
