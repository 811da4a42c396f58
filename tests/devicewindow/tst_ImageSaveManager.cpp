#include "ProcessSettingsRestorer.h"
#include "devicewindow/ImageSaveManager.h"
#include "foundation/logging/FileLogger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <mutex>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Bytes a WebP encoder could produce, zero bytes and all.
QByteArray sampleImage(int size = 64) {
    QByteArray data("RIFF\0\0\0\0WEBPVP8 ", 16);
    for (int i = data.size(); i < size; ++i) {
        data.append(static_cast<char>((i * 37) & 0xff));
    }
    return data;
}

// While it lives, file permissions bind also a root user: the override is taken out of the
// effective capabilities and put back afterwards.
class PermissionOverrideOff {
public:
    PermissionOverrideOff() {
        if (syscall(SYS_capget, &m_header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[CAP_DAC_OVERRIDE / 32].effective &= ~(1U << (CAP_DAC_OVERRIDE % 32));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionOverrideOff() {
        if (m_active) {
            syscall(SYS_capset, &m_header, m_saved);
        }
    }
    PermissionOverrideOff(const PermissionOverrideOff&) = delete;
    PermissionOverrideOff& operator=(const PermissionOverrideOff&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

struct SaveOutcome {
    bool ok = false;
    QString path;
    QString error;
    int calls = 0;
};

SaveOutcome save(const QByteArray& data, const QString& name) {
    SaveOutcome outcome;
    ImageSaveManager::shared().saveWebPImage(
        data, name, [&outcome](const ImageSaveManager::SaveResult& result) {
            ++outcome.calls;
            outcome.ok = result.ok();
            if (result) {
                outcome.path = result.value().toLocalFile();
            } else {
                outcome.error = result.error().message;
            }
        });
    return outcome;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ImageSaveManagerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_downloads;
    // The home each test sets, put back after it.
    ProcessSettingsRestorer m_environment;
    std::shared_ptr<QStringList> m_log = std::make_shared<QStringList>();
    std::shared_ptr<std::mutex> m_logMutex = std::make_shared<std::mutex>();

    QStringList takeLog() {
        std::lock_guard lock(*m_logMutex);
        return std::exchange(*m_log, {});
    }
    QStringList entries() const {
        return QDir(m_downloads).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        m_environment.saveEnvironmentVariable("HOME");
        m_environment.saveEnvironmentVariable("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(m_home->path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(".config")));
        m_downloads = m_home->filePath("Downloads");
        QVERIFY(QDir().mkpath(m_downloads));
        FileLogger::shared().setConsoleSink(
            [log = m_log, mutex = m_logMutex](const QByteArray& line) {
                std::lock_guard lock(*mutex);
                log->append(QString::fromUtf8(line).trimmed());
            });
    }
    void cleanup() {
        FileLogger::shared().setConsoleSink({});
        QFile::setPermissions(m_downloads, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_home.reset();
        m_environment.restore();
    }

    void successiveNames_data() {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("device snapshot")
            << ImageSaveManager::snapshotFileName(12345)
            << QStringList{"12345截图.webp", "12345截图 (1).webp", "12345截图 (2).webp"};
        QTest::newRow("extension in capitals kept")
            << "shot.WebP" << QStringList{"shot.WebP", "shot (1).WebP"};
        QTest::newRow("another extension")
            << "a.png" << QStringList{"a.png.webp", "a.png (1).webp"};
        QTest::newRow("percent signs stay literal")
            << "%1%2" << QStringList{"%1%2.webp", "%1%2 (1).webp"};
        QTest::newRow("path separators stay in the folder")
            << "../escape" << QStringList{".._escape.webp", ".._escape (1).webp"};
    }
    void successiveNames() {
        QFETCH(QString, requested);
        QFETCH(QStringList, files);
        for (int index = 0; index < files.size(); ++index) {
            const QByteArray data = sampleImage(64 + index);
            const SaveOutcome outcome = save(data, requested);
            QCOMPARE(outcome.calls, 1);
            QVERIFY2(outcome.ok, qPrintable(outcome.error));
            QCOMPARE(outcome.path, QDir(m_downloads).filePath(files[index]));
            QCOMPARE(contents(outcome.path), data);
            QCOMPARE(takeLog().filter(QStringLiteral("✅ WebP 图片已保存: ") + outcome.path).size(),
                     1);
        }
        QCOMPARE(entries().size(), files.size());
        QVERIFY(!QFileInfo::exists(m_home->filePath("escape.webp")));
    }

    void missingDownloadsIsCreated() {
        QVERIFY(QDir(m_downloads).removeRecursively());
        const SaveOutcome outcome = save(sampleImage(), "first");
        QVERIFY2(outcome.ok, qPrintable(outcome.error));
        QCOMPARE(outcome.path, QDir(m_downloads).filePath("first.webp"));
        QCOMPARE(ImageSaveManager::downloadsDirectory().toLocalFile(), m_downloads);
    }

    void unwritableFolder_data() {
        QTest::addColumn<bool>("readOnly");  // else Downloads is a plain file
        QTest::newRow("read-only folder") << true;
        QTest::newRow("Downloads is a file") << false;
    }
    void unwritableFolder() {
        QFETCH(bool, readOnly);
        const PermissionOverrideOff permissionsBind;
        if (readOnly) {
            QVERIFY(QFile::setPermissions(m_downloads, QFile::ReadOwner | QFile::ExeOwner));
            QFile probe(QDir(m_downloads).filePath("probe"));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QSKIP("permissions do not bind this user");
            }
        } else {
            QVERIFY(QDir(m_downloads).removeRecursively());
            QFile file(m_downloads);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const SaveOutcome outcome = save(sampleImage(), "shot");
        QCOMPARE(outcome.calls, 1);
        QVERIFY(!outcome.ok);
        QVERIFY(!outcome.error.isEmpty());
        QCOMPARE(takeLog().filter(QStringLiteral("❌ 保存失败: ") + outcome.error).size(), 1);
        if (readOnly) {
            QVERIFY(entries().isEmpty());
        } else {
            QCOMPARE(QFileInfo(m_downloads).size(), 0);
        }
    }

    // A name taken after it was found free (here a link to nowhere, which the free-name test
    // does not see) is neither written through nor replaced.
    void nameTakenBeforeTheWriteIsKept() {
        const QString taken = QDir(m_downloads).filePath("shot.webp");
        const QString target = m_home->filePath("elsewhere.webp");
        QVERIFY(QFile::link(target, taken));
        QCOMPARE(ImageSaveManager::uniqueFileURL(QUrl::fromLocalFile(m_downloads), "shot.webp")
                     .toLocalFile(),
                 taken);

        const SaveOutcome outcome = save(sampleImage(), "shot");
        QVERIFY2(outcome.ok, qPrintable(outcome.error));
        QCOMPARE(outcome.path, QDir(m_downloads).filePath("shot (1).webp"));
        QVERIFY(QFileInfo(taken).isSymLink());
        QVERIFY(!QFileInfo::exists(target));
    }

    void failedWriteRemovesOnlyItsOwnFile() {
        const QString existing = QDir(m_downloads).filePath("big.webp");
        {
            QFile file(existing);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("kept");
        }
        // The file size limit makes the write fail part way, as a full disk would; the limit and
        // the signal it raises are the process's again before anything is checked.
        SaveOutcome outcome;
        {
            ProcessSettingsRestorer limitedFiles;
            limitedFiles.saveSignal(SIGXFSZ);
            limitedFiles.saveLimit(RLIMIT_FSIZE);
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limited{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &limited), 0);
            limited.rlim_cur = 4096;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            outcome = save(sampleImage(64 * 1024), "big");
        }

        QVERIFY(!outcome.ok);
        QCOMPARE(takeLog().filter(QStringLiteral("❌ 保存失败: ")).size(), 1);
        QCOMPARE(entries(), QStringList{"big.webp"});
        QCOMPARE(contents(existing), QByteArray("kept"));
    }
};

QTEST_GUILESS_MAIN(ImageSaveManagerTest)
#include "tst_ImageSaveManager.moc"
