#include "HelperTestSupport.h"

#include "foundation/logging/FileLogger.h"
#include "update/UpdateHelper.h"
#include "update/UpdateTask.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>

using namespace helpertest;

class TestUpdateHelper : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_sandbox;
    std::unique_ptr<HelperFixture> m_fixture;
    QStringList m_launches;
    QList<QByteArray> m_logLines;

    QString path(const QString& relative) const { return m_sandbox->filePath(relative); }
    QString target() const { return m_fixture->target(); }
    QString volume() const { return m_fixture->task.mountedVolumePath; }
    QString source() const { return m_fixture->task.sourceAppPath; }
    QString package() const { return m_fixture->task.packagePath; }

    // An installed 1.0.0, an unpacked 2.0.0 whose executable leaves a marker, and the task.
    QString prepare(const QString& executableName) {
        m_fixture = std::make_unique<HelperFixture>(m_sandbox->path(), executableName);
        return m_fixture->taskFile;
    }

    UpdateHelper::Environment recordingEnvironment() {
        UpdateHelper::Environment environment = UpdateHelper::Environment::system();
        environment.executableName = QStringLiteral("brisca-cloudphone");
        environment.updatesDirectory = m_fixture->updates;
        environment.launch = [this](const QString& program, const QString&) {
            m_launches.append(program);
        };
        return environment;
    }

    qsizetype logLinesContaining(const QString& text) const {
        return std::count_if(
            m_logLines.cbegin(), m_logLines.cend(),
            [&text](const QByteArray& line) { return QString::fromUtf8(line).contains(text); });
    }

private Q_SLOTS:
    void init() {
        m_sandbox = std::make_unique<QTemporaryDir>();
        m_launches.clear();
        m_logLines.clear();
        FileLogger::shared().setConsoleSink([this](const QByteArray& line) { m_logLines << line; });
    }
    void cleanup() { FileLogger::shared().setConsoleSink({}); }

    void processIds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");  // 0: refused
        QTest::newRow("leading plus") << "+4242" << 4242;
        QTest::newRow("letter inside") << "12a" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("too large") << "2147483648" << 0;
        // These would probe process groups, and the wait would never end.
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-1" << 0;
    }
    void processIds() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(UpdateHelper::parseProcessId(text).value_or(0), expected);
    }

    void unusableCommandLinesStartNormally_data() {
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("no switch") << QStringList{"task", "1"};
        QTest::newRow("no process id") << QStringList{"--kx-update-helper", "task"};
        QTest::newRow("missing task file") << QStringList{"--kx-update-helper", "absent", "1"};
        QTest::newRow("bad process id") << QStringList{"--kx-update-helper", "task", "12a"};
    }
    void unusableCommandLinesStartNormally() {
        QFETCH(QStringList, tail);
        const QString task = prepare(QStringLiteral("brisca-cloudphone"));
        QFile::copy(task, path("task"));
        QStringList arguments{"/opt/brisca-cloudphone/brisca-cloudphone"};
        for (const QString& item : tail) {
            arguments << (item == "task" || item == "absent" ? path(item) : item);
        }
        QVERIFY(!UpdateHelper::runUpdateHelperIfNeeded(arguments, recordingEnvironment()));
        QCOMPARE(versionAt(target()), "1.0.0");
        QVERIFY(m_launches.isEmpty());
    }

    void swapsAfterTheOldProcessEnded() {
        const QString task = prepare(QStringLiteral("brisca-cloudphone"));
        // Left by an earlier swap, so it carries the swap's mark.
        writeFile(target() + ".backup/" + ApplicationSwap::kMarkFileName, "{}");
        writeFile(target() + ".backup/stale", "left from an earlier run");
        qint64 pid = 0;
        QVERIFY(QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("1")}, {}, &pid));

        UpdateHelper::Environment environment = UpdateHelper::Environment::system();
        environment.executableName = QStringLiteral("brisca-cloudphone");
        environment.updatesDirectory = m_fixture->updates;
        QVERIFY(UpdateHelper::runUpdateHelperIfNeeded(
            {"/x/brisca-cloudphone", "--kx-update-helper", task, "+" + QString::number(pid)},
            environment));
        QVERIFY(!environment.isProcessRunning(pid));

        QCOMPARE(versionAt(target()), "2.0.0");
        QVERIFY(QFileInfo(target() + "/brisca-cloudphone").isExecutable());
        QCOMPARE(QFileInfo(target() + "/pc/entry.html").symLinkTarget(),
                 target() + "/pc/index.html");
        QVERIFY(!QFileInfo::exists(target() + ".backup"));
        QVERIFY(!QFileInfo::exists(target() + ".staging"));
        QVERIFY(!QFileInfo::exists(volume()));
        QVERIFY(!QFileInfo::exists(package()));
        QVERIFY(QFileInfo::exists(task));
        QTRY_COMPARE(readFile(m_fixture->marker()).trimmed(), target().toUtf8());
    }

    void failedCopyPutsTheOldApplicationBack() {
        const QString task = prepare(QStringLiteral("brisca-cloudphone"));
        // Nothing but folders, files and links is copied, so this stops the copy part-way.
        QVERIFY(::mkfifo(QFile::encodeName(source() + "/pipe").constData(), 0600) == 0);

        QVERIFY(UpdateHelper::runUpdateHelperIfNeeded({"x", "--kx-update-helper", task, "999999"},
                                                      recordingEnvironment()));
        QCOMPARE(versionAt(target()), "1.0.0");
        QVERIFY(!QFileInfo::exists(target() + "/pc"));
        QVERIFY(!QFileInfo::exists(target() + ".backup"));
        QVERIFY(!QFileInfo::exists(target() + ".staging"));
        QVERIFY(m_launches.isEmpty());
        QVERIFY(QFileInfo::exists(package()));
        QVERIFY(QFileInfo::exists(source()));
    }

    // A hand-over that names anything but the manager's own items: the swap still happens when
    // both applications are sound, and what lies elsewhere is kept; otherwise nothing changes
    // and the client starts normally.
    void hostileHandOvers_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("swaps");
        QTest::addColumn<bool>("volumeKept");
        QTest::addColumn<bool>("packageKept");
        QTest::newRow("volume outside the updates folder")
            << "volume outside" << true << true << false;
        QTest::newRow("package outside the updates folder")
            << "package outside" << true << false << true;
        QTest::newRow("package reached by ..") << "package up" << true << false << true;
        QTest::newRow("volume under another name") << "volume renamed" << true << true << false;
        QTest::newRow("volume is the updates folder") << "volume is folder" << true << true << true;
        QTest::newRow("no installed application yet") << "no target" << true << false << false;
        QTest::newRow("target without bundle-info.json") << "target info" << false << true << true;
        QTest::newRow("target with another identifier") << "target id" << false << true << true;
        QTest::newRow("target is a file") << "target file" << false << true << true;
        QTest::newRow("source without bundle-info.json") << "source info" << false << true << true;
        QTest::newRow("source with another identifier") << "source id" << false << true << true;
        QTest::newRow("source without the executable") << "source exe" << false << true << true;
    }
    void hostileHandOvers() {
        QFETCH(QString, change);
        QFETCH(bool, swaps);
        QFETCH(bool, volumeKept);
        QFETCH(bool, packageKept);
        prepare(QStringLiteral("brisca-cloudphone"));
        UpdateTask& task = m_fixture->task;
        const QString outside = path("elsewhere");
        const auto moveTo = [](QString& item, const QString& place) {
            QDir().mkpath(QFileInfo(place).path());
            QVERIFY(QDir().rename(item, place));
            item = place;
        };
        if (change == "volume outside") {
            moveTo(task.mountedVolumePath, outside + "/" + QFileInfo(volume()).fileName());
            task.sourceAppPath = task.mountedVolumePath + "/brisca-cloudphone";
        } else if (change == "package outside") {
            moveTo(task.packagePath, outside + "/" + QFileInfo(package()).fileName());
        } else if (change == "package up") {
            const QString name = QFileInfo(package()).fileName();
            moveTo(task.packagePath, m_fixture->updates.path() + "/../" + name);
        } else if (change == "volume renamed") {
            moveTo(task.mountedVolumePath, m_fixture->updates.path() + "/unpacked");
            task.sourceAppPath = task.mountedVolumePath + "/brisca-cloudphone";
        } else if (change == "volume is folder") {
            task.mountedVolumePath = m_fixture->updates.path();
            task.packagePath = path("data");
        } else if (change == "no target") {
            QVERIFY(QDir(target()).removeRecursively());
        } else if (change == "target info") {
            QVERIFY(QFile::remove(target() + "/bundle-info.json"));
        } else if (change == "target id") {
            writeFile(target() + "/bundle-info.json", bundleInfo("com.other.app", "1.0.0"));
        } else if (change == "target file") {
            QVERIFY(QDir(target()).removeRecursively());
            writeFile(target(), "a document");
        } else if (change == "source info") {
            QVERIFY(QFile::remove(source() + "/bundle-info.json"));
        } else if (change == "source id") {
            writeFile(source() + "/bundle-info.json", bundleInfo("com.other.app", "2.0.0"));
        } else if (change == "source exe") {
            QVERIFY(QFile::remove(source() + "/brisca-cloudphone"));
        }
        m_fixture->writeTask();
        const QStringList targetBefore = treeOf(target());
        const QStringList sourceBefore = treeOf(source());

        const bool ran = UpdateHelper::runUpdateHelperIfNeeded(
            {"x", "--kx-update-helper", m_fixture->taskFile, "999999"}, recordingEnvironment());

        QCOMPARE(ran, swaps);
        if (swaps) {
            QCOMPARE(versionAt(target()), "2.0.0");
        } else {
            QCOMPARE(treeOf(target()), targetBefore);
            QCOMPARE(treeOf(source()), sourceBefore);
        }
        QCOMPARE(m_launches.size(), swaps ? 1 : 0);
        QCOMPARE(QFileInfo::exists(task.mountedVolumePath), volumeKept);
        QCOMPARE(QFileInfo::exists(task.packagePath), packageKept);
        QVERIFY(!QFileInfo::exists(target() + ".backup"));
        QVERIFY(!QFileInfo::exists(target() + ".staging"));
        QVERIFY(QFileInfo::exists(m_fixture->taskFile));
        // Each item kept after a swap is named in a warning.
        QCOMPARE(logLinesContaining("已保留"), swaps ? int(volumeKept) + int(packageKept) : 0);
        QCOMPARE(logLinesContaining("未做任何更改"), swaps ? 0 : 1);
    }

    void executableRunsTheHelperBeforeAnythingElse_data() {
        QTest::addColumn<bool>("goodTask");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("usable task") << true << 0;
        QTest::newRow("unreadable task") << false << 3;
    }
    void executableRunsTheHelperBeforeAnythingElse() {
        QFETCH(bool, goodTask);
        QFETCH(int, exitCode);
        prepare(QFileInfo(QStringLiteral(KX_UPDATE_HELPER_ENTRY)).fileName());
        if (!goodTask) {
            QVERIFY(QFile::remove(m_fixture->taskFile));
        }
        QProcess process;
        m_fixture->startHelper(process);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(process.readAllStandardOutput().contains("normal start"), !goodTask);
        QCOMPARE(versionAt(target()), goodTask ? "2.0.0" : "1.0.0");
        QCOMPARE(QFileInfo::exists(package()), !goodTask);
        if (goodTask) {
            QTRY_COMPARE(readFile(m_fixture->marker()).trimmed(), target().toUtf8());
        }
    }

    // Two helpers on one hand-over at once (a double start): the second waits for the first
    // and finds its work done, so each round ends with one whole version at the target.
    void twoHelpersAtOnce() {
        for (int round = 0; round < 10; ++round) {
            init();
            prepare(QFileInfo(QStringLiteral(KX_UPDATE_HELPER_ENTRY)).fileName());
            for (int file = 0; file < 300; ++file) {
                writeFile(QStringLiteral("%1/pc/assets/%2.js").arg(source()).arg(file),
                          QByteArray(file * 7 % 2048, char('a' + file % 26)));
            }
            const QStringList oldVersion = treeOf(target());
            const QStringList newVersion = treeOf(source());
            QProcess first;
            QProcess second;
            m_fixture->startHelper(first);
            m_fixture->startHelper(second);
            for (QProcess* helper : {&first, &second}) {
                QVERIFY(helper->waitForFinished(20000));
                // Neither went on as a second client of the old version.
                QCOMPARE(helper->exitCode(), 0);
            }
            const QStringList installed = treeOf(target());
            QVERIFY2(installed == newVersion || installed == oldVersion,
                     qPrintable(QStringLiteral("round %1: %2 entries at the target")
                                    .arg(round)
                                    .arg(installed.size())));
            QVERIFY(!QFileInfo::exists(target() + ".staging"));
            QVERIFY(!QFileInfo::exists(target() + ".backup"));
            if (installed == newVersion) {
                // The new client writes into the sandbox; let it finish first.
                QTRY_VERIFY(QFileInfo::exists(m_fixture->marker()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdateHelper)
#include "tst_UpdateHelper.moc"
