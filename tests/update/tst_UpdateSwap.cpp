#include "HelperTestSupport.h"

#include "foundation/logging/FileLogger.h"
#include "update/ApplicationSwap.h"
#include "update/UpdateHelper.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace helpertest;
using Presence = ApplicationFolder::Presence;

Q_DECLARE_METATYPE(Presence)

namespace {

const QString kRestoredLine = QStringLiteral("已从备份恢复应用");

}  // namespace

class TestUpdateSwap : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recoveryPlans_data() {
        QTest::addColumn<Presence>("target");
        QTest::addColumn<Presence>("backup");
        QTest::addColumn<Presence>("staging");
        // Remove target, restore backup, remove backup, remove staging.
        QTest::addColumn<QList<bool>>("plan");
        const Presence whole = Presence::whole;
        const Presence partial = Presence::partial;
        const Presence missing = Presence::missing;
        using Plan = QList<bool>;
        QTest::newRow("clean install") << whole << missing << missing << Plan{0, 0, 0, 0};
        QTest::newRow("killed before the backup went")
            << whole << whole << missing << Plan{0, 0, 1, 0};
        QTest::newRow("killed during the staging copy")
            << whole << missing << partial << Plan{0, 0, 0, 1};
        QTest::newRow("killed between the renames")
            << missing << whole << whole << Plan{0, 1, 0, 1};
        QTest::newRow("target broken by an in-place copy")
            << partial << whole << missing << Plan{1, 1, 0, 0};
        QTest::newRow("stale broken backup") << whole << partial << partial << Plan{0, 0, 1, 1};
        // Without a whole target, a leftover may be the last copy of an application.
        QTest::newRow("only the staged copy is whole")
            << missing << partial << whole << Plan{0, 0, 0, 0};
        QTest::newRow("nothing whole anywhere")
            << partial << partial << partial << Plan{0, 0, 0, 0};
        QTest::newRow("no application at all") << missing << missing << partial << Plan{0, 0, 0, 0};
    }
    void recoveryPlans() {
        QFETCH(Presence, target);
        QFETCH(Presence, backup);
        QFETCH(Presence, staging);
        QFETCH(QList<bool>, plan);
        const ApplicationSwap::RecoveryPlan got =
            ApplicationSwap::planRecovery(target, backup, staging);
        QCOMPARE(
            (QList<bool>{got.removeTarget, got.restoreBackup, got.removeBackup, got.removeStaging}),
            plan);
    }

    // Beyond the hand-over cases the helper test covers: links and malformed contents.
    void applicationFolders_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<Presence>("presence");
        QTest::newRow("whole") << "" << Presence::whole;
        QTest::newRow("nothing") << "remove" << Presence::missing;
        QTest::newRow("dangling link") << "dangling link" << Presence::partial;
        QTest::newRow("link to a whole folder") << "link" << Presence::partial;
        QTest::newRow("bundle-info.json is a link") << "info link" << Presence::partial;
        QTest::newRow("bundle-info.json not JSON") << "info text" << Presence::partial;
        QTest::newRow("identifier not text") << "info number" << Presence::partial;
        QTest::newRow("executable without its mode") << "exe mode" << Presence::partial;
        QTest::newRow("executable is a folder") << "exe folder" << Presence::partial;
    }
    void applicationFolders() {
        QFETCH(QString, change);
        QFETCH(Presence, presence);
        QTemporaryDir sandbox;
        const QString whole = sandbox.filePath("whole");
        const QString folder = sandbox.filePath("app");
        const HelperFixture fixture(sandbox.path(), "run");
        fixture.writeApplication(whole, "1.0.0", "#!/bin/sh\n");
        fixture.writeApplication(folder, "1.0.0", "#!/bin/sh\n");
        const QString info = folder + "/bundle-info.json";
        if (change == "remove" || change == "dangling link" || change == "link") {
            QVERIFY(QDir(folder).removeRecursively());
        }
        if (change == "dangling link") {
            QVERIFY(QFile::link(sandbox.filePath("absent"), folder));
        } else if (change == "link") {
            QVERIFY(QFile::link(whole, folder));
        } else if (change == "info link") {
            QVERIFY(QFile::remove(info));
            QVERIFY(QFile::link(whole + "/bundle-info.json", info));
        } else if (change == "info text") {
            writeFile(info, "CFBundleIdentifier=" + kIdentifier.toUtf8());
        } else if (change == "info number") {
            writeFile(info, R"({"CFBundleIdentifier":7})");
        } else if (change == "exe mode") {
            QVERIFY(QFile::setPermissions(folder + "/run", QFile::ReadOwner | QFile::WriteOwner));
        } else if (change == "exe folder") {
            QVERIFY(QFile::remove(folder + "/run"));
            QVERIFY(QDir().mkpath(folder + "/run"));
        }
        QCOMPARE(ApplicationFolder::presence(folder, kIdentifier, "run"), presence);
    }

    // The real helper is killed with SIGKILL at each stage of the swap; then either the same
    // task runs again or the client starts. Either way a whole application stands at the target
    // and the staging folder is gone.
    void killedAtEachStage_data() {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QList<Presence>>("killedState");  // target, backup, staging
        QTest::addColumn<bool>("helperAgain");             // else the client's start-up
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("restores");
        const Presence whole = Presence::whole;
        const Presence partial = Presence::partial;
        const Presence missing = Presence::missing;
        const QList<Presence> copying{whole, missing, partial};
        const QList<Presence> betweenRenames{missing, whole, whole};
        const QList<Presence> beforeRemoval{whole, whole, missing};
        QTest::newRow("staging copy, helper again")
            << "staging-copy" << copying << true << "2.0.0" << false;
        QTest::newRow("staging copy, start-up")
            << "staging-copy" << copying << false << "1.0.0" << false;
        QTest::newRow("between renames, helper again")
            << "between-renames" << betweenRenames << true << "2.0.0" << true;
        QTest::newRow("between renames, start-up")
            << "between-renames" << betweenRenames << false << "1.0.0" << true;
        QTest::newRow("before backup removal, helper again")
            << "before-backup-removal" << beforeRemoval << true << "2.0.0" << false;
        QTest::newRow("before backup removal, start-up")
            << "before-backup-removal" << beforeRemoval << false << "2.0.0" << false;
    }
    void killedAtEachStage() {
        QFETCH(QString, stage);
        QFETCH(QList<Presence>, killedState);
        QFETCH(bool, helperAgain);
        QFETCH(QString, version);
        QFETCH(bool, restores);
        QTemporaryDir sandbox;
        const QString entry = QStringLiteral(KX_UPDATE_HELPER_ENTRY);
        const HelperFixture fixture(sandbox.path(), QFileInfo(entry).fileName());
        const ApplicationSwap swap(fixture.target(), kIdentifier, fixture.executableName);
        // A process that has already ended stands in for the client that quit.
        qint64 ended = 0;
        QVERIFY(QProcess::startDetached(QStringLiteral("true"), {}, {}, &ended));
        const QStringList arguments{UpdateHelper::kSwitch, fixture.taskFile,
                                    QString::number(ended)};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", sandbox.filePath("data"));

        QProcess helper;
        QProcessEnvironment pausing = environment;
        pausing.insert(UpdateHelper::kTestPauseVariable, stage);
        helper.setProcessEnvironment(pausing);
        helper.start(entry, arguments);
        const QByteArray marker = (UpdateHelper::kTestPauseMarker + " " + stage).toUtf8();
        QByteArray output;
        const QDeadlineTimer deadline(20000);
        while (!output.contains(marker) && !deadline.hasExpired() &&
               helper.state() != QProcess::NotRunning) {
            helper.waitForReadyRead(100);
            output += helper.readAllStandardOutput();
        }
        QVERIFY2(output.contains(marker), output.constData());
        helper.kill();
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(
            (QList<Presence>{swap.presence(swap.targetPath()), swap.presence(swap.backupPath()),
                             swap.presence(swap.stagingPath())}),
            killedState);

        QString recoveryOutput;
        if (helperAgain) {
            QProcess again;
            again.setProcessEnvironment(environment);
            again.start(entry, arguments);
            QVERIFY(again.waitForFinished(20000));
            QCOMPARE(again.exitCode(), 0);
            recoveryOutput = QString::fromUtf8(again.readAllStandardOutput());
            QVERIFY(!QFileInfo::exists(fixture.task.packagePath));
            // The new client it started writes into the sandbox; let it finish first.
            QTRY_COMPARE(readFile(fixture.marker()).trimmed(), fixture.target().toUtf8());
        } else {
            FileLogger::shared().setConsoleSink(
                [&recoveryOutput](const QByteArray& line) { recoveryOutput += line; });
            const bool recovered = swap.recover();
            FileLogger::shared().setConsoleSink({});
            QVERIFY(recovered);
        }

        QCOMPARE(recoveryOutput.count(kRestoredLine), restores ? 1 : 0);
        QCOMPARE(swap.presence(swap.targetPath()), Presence::whole);
        QCOMPARE(versionAt(swap.targetPath()), version);
        QVERIFY(!QFileInfo::exists(swap.stagingPath()));
        QVERIFY(!QFileInfo::exists(swap.backupPath()));
        QVERIFY(QFileInfo::exists(fixture.taskFile));
    }
};

QTEST_GUILESS_MAIN(TestUpdateSwap)
#include "tst_UpdateSwap.moc"
