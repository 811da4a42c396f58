// Console lines of the session, the plan store and the uploader all reach the one console
// output, where a single capture sees them.

#include "foundation/ConsoleOutput.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "session/CloudPhoneCommunicator.h"
#include "upload/FileUploader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

}  // namespace

class ConsoleLinesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everySubsystemPrintsThroughTheOneOutput() {
        ConsoleCapture capture;
        ConsoleCapture::clear();

        CloudPhoneCommunicator communicator;
        communicator.remove(QStringLiteral("9"));

        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("Brisca/keymapping/"));
        QVERIFY(writeFile(root + QStringLiteral("package_configs_1005/dir_kmps.dir"),
                          R"({"kmps":[]})"));
        QVERIFY(writeFile(root + QStringLiteral("custom/com.example.game_bad.kmp"),
                          R"({"keyboardMappings":7})"));
        KeyMappingConfigManager::Configuration configuration;
        configuration.applicationSupportFolder = dir.path();
        KeyMappingConfigManager store(configuration);
        std::optional<bool> loaded;
        store.loadPlans(QStringLiteral("com.example.game"),
                        [&loaded](Result<QList<ImportedKeyMappingPlan>> plans) {
                            loaded = static_cast<bool>(plans);
                        });
        QTRY_VERIFY(loaded.has_value());

        FileUploader uploader;
        std::optional<Error> uploadError;
        uploader.uploadFile(QStringLiteral("a.png"), dir.filePath(QStringLiteral("a.png")), {},
                            [&uploadError](const QString&, const std::optional<Error>& error,
                                           const QString&, bool) { uploadError = error; });
        QTRY_VERIFY(uploadError.has_value());

        const QStringList lines = ConsoleCapture::lines();
        QVERIFY2(lines.contains(
                     QStringLiteral("CloudPhoneCommunicator.remove(deviceID:),设备9不存在。")),
                 qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(lines.contains(
            QStringLiteral("[keymapping] skip invalid custom plan package=com.example.game "
                           "file=com.example.game_bad.kmp "
                           "error=KMPFile: value of \"keyboardMappings\" has the wrong type")));
        QVERIFY(lines.contains(
            QStringLiteral("FileUploader.uploadFile fail, credential config is null")));
    }
};

QTEST_MAIN(ConsoleLinesTest)
#include "tst_ConsoleLines.moc"
