#include "update/UpdateHelper.h"
#include "update/UpdateTask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           file.setPermissions(permissions);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestUpdateHelper : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_sandbox;
    QStringList m_launches;

    QString path(const QString& relative) const { return m_sandbox->filePath(relative); }
    QString target() const { return path(QStringLiteral("opt/brisca-cloudphone")); }
    QString volume() const { return path(QStringLiteral("Updates/volume-1")); }
    QString source() const { return volume() + QStringLiteral("/brisca-cloudphone"); }
    QString package() const { return path(QStringLiteral("Updates/update-1.zip")); }

    // An installed 1.0.0, an unpacked 2.0.0 whose executable leaves a marker, and the task.
    QString prepare(const QString& executableName) {
        const auto executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        writeFile(target() + "/bundle-info.json", R"({"CFBundleShortVersionString":"1.0.0"})");
        writeFile(target() + "/" + executableName, "#!/bin/sh\nexit 0\n", executable);
        writeFile(source() + "/bundle-info.json", R"({"CFBundleShortVersionString":"2.0.0"})");
        writeFile(source() + "/pc/index.html", "<html></html>");
        writeFile(source() + "/" + executableName,
                  "#!/bin/sh\necho \"$PWD\" > '" + path("marker").toUtf8() + "'\n", executable);
        QFile::link(QStringLiteral("index.html"), source() + "/pc/entry.html");
        writeFile(package(), "zip");
        const UpdateTask task{source(), target(), volume(), package(), "2.0.0"};
        writeFile(path("Updates/task-1.json"), task.toJson());
        return path("Updates/task-1.json");
    }

    UpdateHelper::Environment recordingEnvironment() {
        UpdateHelper::Environment environment = UpdateHelper::Environment::system();
        environment.executableName = QStringLiteral("brisca-cloudphone");
        environment.launch = [this](const QString& program, const QString&) {
            m_launches.append(program);
        };
        return environment;
    }

private Q_SLOTS:
    void init() {
        m_sandbox = std::make_unique<QTemporaryDir>();
        m_launches.clear();
    }

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
        QCOMPARE(readFile(target() + "/bundle-info.json"),
                 QByteArray(R"({"CFBundleShortVersionString":"1.0.0"})"));
        QVERIFY(m_launches.isEmpty());
    }

    void swapsAfterTheOldProcessEnded() {
        const QString task = prepare(QStringLiteral("brisca-cloudphone"));
        writeFile(target() + ".backup/stale", "left from an earlier run");
        qint64 pid = 0;
        QVERIFY(QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("1")}, {}, &pid));

        UpdateHelper::Environment environment = UpdateHelper::Environment::system();
        environment.executableName = QStringLiteral("brisca-cloudphone");
        QVERIFY(UpdateHelper::runUpdateHelperIfNeeded(
            {"/x/brisca-cloudphone", "--kx-update-helper", task, "+" + QString::number(pid)},
            environment));
        QVERIFY(!environment.isProcessRunning(pid));

        QCOMPARE(readFile(target() + "/bundle-info.json"),
                 QByteArray(R"({"CFBundleShortVersionString":"2.0.0"})"));
        QVERIFY(QFileInfo(target() + "/brisca-cloudphone").isExecutable());
        QCOMPARE(QFileInfo(target() + "/pc/entry.html").symLinkTarget(),
                 target() + "/pc/index.html");
        QVERIFY(!QFileInfo::exists(target() + ".backup"));
        QVERIFY(!QFileInfo::exists(volume()));
        QVERIFY(!QFileInfo::exists(package()));
        QVERIFY(QFileInfo::exists(task));
        QTRY_COMPARE(readFile(path("marker")).trimmed(), target().toUtf8());
    }

    void failedCopyPutsTheOldApplicationBack() {
        const QString task = prepare(QStringLiteral("brisca-cloudphone"));
        // Nothing but folders, files and links is copied, so this stops the copy part-way.
        QVERIFY(::mkfifo(QFile::encodeName(source() + "/pipe").constData(), 0600) == 0);

        QVERIFY(UpdateHelper::runUpdateHelperIfNeeded({"x", "--kx-update-helper", task, "999999"},
                                                      recordingEnvironment()));
        QCOMPARE(readFile(target() + "/bundle-info.json"),
                 QByteArray(R"({"CFBundleShortVersionString":"1.0.0"})"));
        QVERIFY(!QFileInfo::exists(target() + "/pc"));
        QVERIFY(!QFileInfo::exists(target() + ".backup"));
        QVERIFY(m_launches.isEmpty());
        QVERIFY(QFileInfo::exists(package()));
        QVERIFY(QFileInfo::exists(source()));
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
        const QString entry = QStringLiteral(KX_UPDATE_HELPER_ENTRY);
        const QString task = prepare(QFileInfo(entry).fileName());
        // A process that has already ended stands in for the client that quit.
        qint64 ended = 0;
        QVERIFY(QProcess::startDetached(QStringLiteral("true"), {}, {}, &ended));
        QProcess process;
        process.start(entry, {"--kx-update-helper", goodTask ? task : path("absent"),
                              QString::number(ended)});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(process.readAllStandardOutput().contains("normal start"), !goodTask);
        const QByteArray version = goodTask ? "2.0.0" : "1.0.0";
        QCOMPARE(readFile(target() + "/bundle-info.json"),
                 R"({"CFBundleShortVersionString":")" + version + R"("})");
        if (goodTask) {
            QTRY_COMPARE(readFile(path("marker")).trimmed(), target().toUtf8());
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdateHelper)
#include "tst_UpdateHelper.moc"
