// Showing a saved file where no file manager answers on the session bus: the folder is handed to
// the desktop only when xdg-open is there and xdg-mime names a program for folders; otherwise the
// console names the folder, and Qt's own English warning never appears.
#include "ProcessSettingsRestorer.h"
#include "devicewindow/FileRevealer.h"
#include "foundation/logging/ConsoleOutput.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeScript(const QString& path, const QByteArray& body) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body);
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
}

// Where the desktop services would have opened a file URL.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

}  // namespace

class FileRevealerTest : public QObject {
    Q_OBJECT

    OpenedUrls m_opened;
    // The session bus, for the whole test case.
    ProcessSettingsRestorer m_bus;
    // The programs found, for one test.
    ProcessSettingsRestorer m_path;

private Q_SLOTS:
    void initTestCase() {
        // No file manager to ask: the folder is opened instead.
        m_bus.saveEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "open");
    }
    void init() { m_path.saveEnvironmentVariable("PATH"); }
    void cleanup() {
        m_path.restore();
        m_opened.urls.clear();
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        m_bus.restore();
    }

    void opensTheFolderOnlyWithAProgramForFolders_data() {
        QTest::addColumn<bool>("withXdgOpen");
        QTest::addColumn<QByteArray>("folderProgram");  // what xdg-mime names
        QTest::addColumn<bool>("opened");
        QTest::newRow("no xdg-open") << false << QByteArray("files.desktop") << false;
        QTest::newRow("no program for folders") << true << QByteArray() << false;
        QTest::newRow("a program for folders") << true << QByteArray("files.desktop") << true;
    }
    void opensTheFolderOnlyWithAProgramForFolders() {
        QFETCH(bool, withXdgOpen);
        QFETCH(QByteArray, folderProgram);
        QFETCH(bool, opened);
        QTemporaryDir dir;
        const QString bin = dir.filePath("bin");
        QVERIFY(QDir().mkpath(bin));
        writeScript(bin + "/xdg-mime", "echo " + folderProgram + "\n");
        if (withXdgOpen) {
            writeScript(bin + "/xdg-open", "exit 0\n");
        }
        qputenv("PATH", QFile::encodeName(bin));
        const QString folder = dir.filePath("Downloads");
        ConsoleCapture console;
        ConsoleCapture::clear();

        FileRevealer::reveal(QUrl::fromLocalFile(folder + "/snapshot.webp"));
        if (opened) {
            QTRY_COMPARE(m_opened.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
            QCOMPARE(ConsoleCapture::lines(), QStringList{});
        } else {
            QTRY_COMPARE(
                ConsoleCapture::lines(),
                QStringList{"⚠️ 没有可打开文件夹的程序，文件保存在: " +
                            folder});
            QCOMPARE(m_opened.urls, QList<QUrl>{});
        }
    }
};

QTEST_MAIN(FileRevealerTest)

#include "tst_FileRevealer.moc"
