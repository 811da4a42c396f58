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
const QString kFolderTakenLine =
    QStringLiteral("⚠️ 更新所需的目录不是更新创建的，未做任何更改: ");

QString entryName() {
    return QFileInfo(QStringLiteral(KX_UPDATE_HELPER_ENTRY)).fileName();
}

// Starts the helper on the fixture's hand-over and waits until it stops at `stage`.
bool pauseHelperAt(QProcess& helper, const HelperFixture& fixture, const QString& stage,
                   const QStringList& settings = {}) {
    fixture.startHelper(helper, settings + QStringList{UpdateHelper::kTestPauseVariable +
                                                       QStringLiteral("=") + stage});
    const QByteArray marker = (UpdateHelper::kTestPauseMarker + " " + stage).toUtf8();
    QByteArray output;
    const QDeadlineTimer deadline(20000);
    while (!output.contains(marker) && !deadline.hasExpired() &&
           helper.state() != QProcess::NotRunning) {
        helper.waitForReadyRead(100);
        output += helper.readAllStandardOutput();
    }
    if (!output.contains(marker)) {
        qWarning() << output;
    }
    return output.contains(marker);
}

// Whether the file system under `folder` exchanges two folders in one step.
bool exchangesFolders(const QString& folder) {
    const QString first = folder + "/exchange-probe-1";
    const QString second = folder + "/exchange-probe-2";
    const bool exchanged =
        QDir().mkdir(first) && QDir().mkdir(second) &&
        ApplicationFolder::exchange(first, second) == ApplicationFolder::Exchange::done;
    QDir().rmdir(first);
    QDir().rmdir(second);
    return exchanged;
}

}  // namespace

class TestUpdateSwap : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recoveryPlans_data() {
        QTest::addColumn<Presence>("target");
        // Of the swap's own (marked) folders; the user's count as missing.
        QTest::addColumn<Presence>("backup");
        QTest::addColumn<Presence>("staging");
        // Restore backup, remove backup, remove staging.
        QTest::addColumn<QList<bool>>("plan");
        const Presence whole = Presence::whole;
        const Presence partial = Presence::partial;
        const Presence missing = Presence::missing;
        using Plan = QList<bool>;
        QTest::newRow("clean install") << whole << missing << missing << Plan{0, 0, 0};
        QTest::newRow("killed before the backup went")
            << whole << whole << missing << Plan{0, 1, 0};
        QTest::newRow("killed during the staging copy")
            << whole << missing << partial << Plan{0, 0, 1};
        QTest::newRow("killed after the exchange") << whole << missing << whole << Plan{0, 0, 1};
        QTest::newRow("killed between the renames") << missing << whole << whole << Plan{1, 0, 1};
        // The swap never leaves a broken target, so it is not the swap's to replace.
        QTest::newRow("broken target") << partial << whole << missing << Plan{0, 0, 0};
        QTest::newRow("stale broken backup") << whole << partial << partial << Plan{0, 1, 1};
        // Without a whole target, a leftover may be the last copy of an application.
        QTest::newRow("only the staged copy is whole")
            << missing << partial << whole << Plan{0, 0, 0};
        QTest::newRow("no application at all") << missing << missing << partial << Plan{0, 0, 0};
    }
    void recoveryPlans() {
        QFETCH(Presence, target);
        QFETCH(Presence, backup);
        QFETCH(Presence, staging);
        QFETCH(QList<bool>, plan);
        const ApplicationSwap::RecoveryPlan got =
            ApplicationSwap::planRecovery(target, backup, staging);
        QCOMPARE((QList<bool>{got.restoreBackup, got.removeBackup, got.removeStaging}), plan);
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

    // Folders of the user's own at the two names the swap uses: neither the client's recovery
    // nor the helper removes, restores or renames them, and the installed client starts as is.
    void userFoldersBesideTheApplication_data() {
        QTest::addColumn<bool>("applicationCopy");  // the user's ".backup" is a whole application
        QTest::addColumn<bool>("staging");          // the user also has a ".staging" folder
        QTest::addColumn<QString>("named");         // the folder the helper names
        QTest::newRow("photos and notes") << false << true << ".staging";
        QTest::newRow("a copy of the application") << true << false << ".backup";
    }
    void userFoldersBesideTheApplication() {
        QFETCH(bool, applicationCopy);
        QFETCH(bool, staging);
        QFETCH(QString, named);
        QTemporaryDir sandbox;
        const HelperFixture fixture(sandbox.path(), entryName());
        const ApplicationSwap swap(fixture.target(), kIdentifier, fixture.executableName);
        if (applicationCopy) {
            fixture.writeApplication(swap.backupPath(), "0.9.0", "#!/bin/sh\n");
        }
        writeFile(swap.backupPath() + "/photos/thesis.txt", "chapter one");
        if (staging) {
            writeFile(swap.stagingPath() + "/notes/list.txt", "milk, eggs");
        }
        const auto trees = [&swap] {
            return QList<QStringList>{treeOf(swap.targetPath()), treeOf(swap.backupPath()),
                                      treeOf(swap.stagingPath())};
        };
        const QList<QStringList> before = trees();

        QVERIFY(UpdateHelper::recoverUnlessUpdating(swap, fixture.updates));
        QCOMPARE(trees(), before);
        QProcess helper;
        fixture.startHelper(helper);
        QVERIFY(helper.waitForFinished(20000));
        const QStringList output = QString::fromUtf8(helper.readAllStandardOutput()).split('\n');

        // The helper changed nothing and the process went on as the installed client.
        QCOMPARE(helper.exitCode(), 3);
        QVERIFY(output.contains("normal start"));
        QCOMPARE(trees(), before);
        QVERIFY(QFileInfo::exists(fixture.task.packagePath));
        QCOMPARE(QProcess::execute(swap.targetPath() + "/" + fixture.executableName, {}), 0);
        // One console line and one log line name the folder.
        const QString line = kFolderTakenLine + fixture.target() + named;
        QVERIFY(output.contains(line));
        QCOMPARE(output.filter(line).size(), 2);
    }

    // A staged copy that differs from its source in its files, their sizes or their modes is
    // never put in place: the staging folder goes and the installed application stays.
    void stagedCopyMustMatchItsSource_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("a staged file went missing") << "remove";
        QTest::newRow("a staged file changed size") << "resize";
        QTest::newRow("a staged script lost its executable mode") << "mode";
    }
    void stagedCopyMustMatchItsSource() {
        QFETCH(QString, change);
        QTemporaryDir sandbox;
        const HelperFixture fixture(sandbox.path(), "run");
        const ApplicationSwap swap(fixture.target(), kIdentifier, fixture.executableName);
        const QString source = fixture.task.sourceAppPath;
        writeFile(source + "/pc/tool.sh", "#!/bin/sh\n", kExecutable);
        const QStringList installed = treeOf(fixture.target());
        // After each staged file; the last call leaves the change in place.
        const auto meddle = [&](ApplicationSwap::Stage) {
            const QString staged = swap.stagingPath() + "/pc/";
            if (change == "remove") {
                QFile::remove(staged + "index.html");
            } else if (change == "resize" && QFileInfo::exists(staged + "index.html")) {
                writeFile(staged + "index.html", "<html>changed</html>");
            } else if (change == "mode" && QFileInfo::exists(staged + "tool.sh")) {
                QFile::setPermissions(staged + "tool.sh", QFile::ReadOwner | QFile::WriteOwner);
            }
        };

        QVERIFY(!swap.swapIn(source, fixture.taskFile, meddle));
        QCOMPARE(treeOf(fixture.target()), installed);
        QVERIFY(!QFileInfo::exists(swap.stagingPath()));
        QVERIFY(!QFileInfo::exists(swap.backupPath()));
    }

    // While a helper holds the update lock, the client's start-up leaves everything to it.
    void startUpRecoveryWaitsForARunningUpdate() {
        QTemporaryDir sandbox;
        const HelperFixture fixture(sandbox.path(), entryName());
        const ApplicationSwap swap(fixture.target(), kIdentifier, fixture.executableName);
        QProcess helper;
        QVERIFY(pauseHelperAt(helper, fixture, "staged"));

        QVERIFY(!UpdateHelper::recoverUnlessUpdating(swap, fixture.updates));
        QCOMPARE(swap.presence(swap.stagingPath()), Presence::whole);
        QVERIFY(QFileInfo::exists(swap.targetPath() + "/" + ApplicationSwap::kMarkFileName));
        helper.kill();
        QVERIFY(helper.waitForFinished(10000));
        QVERIFY(UpdateHelper::recoverUnlessUpdating(swap, fixture.updates));
        QVERIFY(!QFileInfo::exists(swap.stagingPath()));
        QVERIFY(!QFileInfo::exists(swap.targetPath() + "/" + ApplicationSwap::kMarkFileName));
        QCOMPARE(versionAt(swap.targetPath()), "1.0.0");
    }

    // The real helper is killed with SIGKILL at each stage of the swap; then either the same
    // task runs again or the client starts. At every stage where the folders are exchanged, the
    // executable stands at the target; after either ending, a whole application does and nothing
    // of the swap is left.
    void killedAtEachStage_data() {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<bool>("exchange");                // else two renames
        QTest::addColumn<QList<Presence>>("killedState");  // target, backup, staging
        QTest::addColumn<bool>("helperAgain");             // else the client's start-up
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("restores");
        const Presence whole = Presence::whole;
        const Presence partial = Presence::partial;
        const Presence missing = Presence::missing;
        const QList<Presence> copying{whole, missing, partial};
        // Staged: both folders whole; exchanged: the old one now at the staging name.
        const QList<Presence> besideTheTarget{whole, missing, whole};
        const QList<Presence> betweenRenames{missing, whole, whole};
        const QList<Presence> renamed{whole, whole, missing};
        QTest::newRow("staging copy, helper again")
            << "staging-copy" << true << copying << true << "2.0.0" << false;
        QTest::newRow("staging copy, start-up")
            << "staging-copy" << true << copying << false << "1.0.0" << false;
        QTest::newRow("staged, helper again")
            << "staged" << true << besideTheTarget << true << "2.0.0" << false;
        QTest::newRow("staged, start-up")
            << "staged" << true << besideTheTarget << false << "1.0.0" << false;
        QTest::newRow("exchanged, helper again")
            << "before-backup-removal" << true << besideTheTarget << true << "2.0.0" << false;
        QTest::newRow("exchanged, start-up")
            << "before-backup-removal" << true << besideTheTarget << false << "2.0.0" << false;
        QTest::newRow("no exchange: between renames, helper again")
            << "between-renames" << false << betweenRenames << true << "2.0.0" << true;
        QTest::newRow("no exchange: between renames, start-up")
            << "between-renames" << false << betweenRenames << false << "1.0.0" << true;
        QTest::newRow("no exchange: before backup removal, start-up")
            << "before-backup-removal" << false << renamed << false << "2.0.0" << false;
    }
    void killedAtEachStage() {
        QFETCH(QString, stage);
        QFETCH(bool, exchange);
        QFETCH(QList<Presence>, killedState);
        QFETCH(bool, helperAgain);
        QFETCH(QString, version);
        QFETCH(bool, restores);
        QTemporaryDir sandbox;
        if (exchange && !exchangesFolders(sandbox.path())) {
            QSKIP(qPrintable("the file system under " + sandbox.path() +
                             " refuses to exchange two folders; only the rows without the "
                             "exchange run here"));
        }
        const HelperFixture fixture(sandbox.path(), entryName());
        const ApplicationSwap swap(fixture.target(), kIdentifier, fixture.executableName);
        const QStringList renaming =
            exchange ? QStringList()
                     : QStringList{UpdateHelper::kTestNoExchangeVariable + QStringLiteral("=1")};

        QProcess helper;
        QVERIFY(pauseHelperAt(helper, fixture, stage, renaming));
        helper.kill();
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(
            (QList<Presence>{swap.presence(swap.targetPath()), swap.presence(swap.backupPath()),
                             swap.presence(swap.stagingPath())}),
            killedState);
        if (exchange) {
            QVERIFY(QFileInfo(swap.targetPath() + "/" + fixture.executableName).isExecutable());
        }
        for (const QString& leftover : {swap.backupPath(), swap.stagingPath()}) {
            QVERIFY(!QFileInfo::exists(leftover) ||
                    QFileInfo::exists(leftover + "/" + ApplicationSwap::kMarkFileName));
        }

        QString recoveryOutput;
        if (helperAgain) {
            QProcess again;
            fixture.startHelper(again, renaming);
            QVERIFY(again.waitForFinished(20000));
            QCOMPARE(again.exitCode(), 0);
            recoveryOutput = QString::fromUtf8(again.readAllStandardOutput());
            QVERIFY(!QFileInfo::exists(fixture.task.packagePath));
            // The new client it started writes into the sandbox; let it finish first.
            QTRY_COMPARE(readFile(fixture.marker()).trimmed(), fixture.target().toUtf8());
        } else {
            FileLogger::shared().setConsoleSink(
                [&recoveryOutput](const QByteArray& line) { recoveryOutput += line; });
            const bool recovered = UpdateHelper::recoverUnlessUpdating(swap, fixture.updates);
            FileLogger::shared().setConsoleSink({});
            QVERIFY(recovered);
        }

        QCOMPARE(recoveryOutput.count(kRestoredLine), restores ? 1 : 0);
        QCOMPARE(swap.presence(swap.targetPath()), Presence::whole);
        QCOMPARE(versionAt(swap.targetPath()), version);
        QVERIFY(!QFileInfo::exists(swap.targetPath() + "/" + ApplicationSwap::kMarkFileName));
        QVERIFY(!QFileInfo::exists(swap.stagingPath()));
        QVERIFY(!QFileInfo::exists(swap.backupPath()));
        QVERIFY(QFileInfo::exists(fixture.taskFile));
    }
};

QTEST_GUILESS_MAIN(TestUpdateSwap)
#include "tst_UpdateSwap.moc"
