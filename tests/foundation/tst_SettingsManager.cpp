#include "foundation/logging/FileLogger.h"
#include "foundation/settings/SettingsManager.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

Q_DECLARE_METATYPE(SettingKey)

class SettingsManagerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_console;
    std::mutex m_consoleMutex;

    QString storeFile() const { return m_dir.filePath(QStringLiteral("settings.ini")); }
    QStringList takeConsole() {
        std::lock_guard lock(m_consoleMutex);
        return std::exchange(m_console, {});
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        FileLogger::shared().setConsoleSink([this](const QByteArray& line) {
            std::lock_guard lock(m_consoleMutex);
            m_console << QString::fromUtf8(line).trimmed();
        });
    }
    void cleanupTestCase() { FileLogger::shared().setConsoleSink({}); }
    void init() {
        QFile::remove(storeFile());
        takeConsole();
    }

    // Texts that stored settings files and other parts of the client already use, spelling
    // slips included; changing one loses the stored value.
    void persistedKeyTextsStayFixed_data() {
        QTest::addColumn<SettingKey>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("input sync delay") << SettingKey::syncTime << "sync-time";
        QTest::newRow("screenshot port") << SettingKey::screenshotHttpPort << "screenshotHttpPort";
        QTest::newRow("screenshot folder") << SettingKey::saveShootDir << "save-shoot-dir";
        QTest::newRow("login token") << SettingKey::loginUsertoken << "login-usertoken";
        QTest::newRow("account token") << SettingKey::accountUserToken << "account-user_token";
        QTest::newRow("page locale") << SettingKey::frontendSysLocale << "frontend-sys-locale";
        QTest::newRow("misspelt device")
            << SettingKey::usedDeviceApplication << "used-deivce-application";
        QTest::newRow("misspelt phone")
            << SettingKey::cloudphonePositionCentre << "cloundphone-position-centre";
    }
    void persistedKeyTextsStayFixed() {
        QFETCH(SettingKey, key);
        QFETCH(QString, text);
        QCOMPARE(settingKeyText(key), text);
        QCOMPARE(settingKeyFromText(text), std::optional(key));
        SettingsManager settings(storeFile());
        settings.set(QStringLiteral("stored"), key);
        QCOMPARE(settings.string(text), std::optional(QStringLiteral("stored")));
    }

    void everyKeyHasATextOfItsOwn() {
        QSet<QString> texts;
        SettingsManager settings(storeFile());
        for (SettingKey key : allSettingKeys()) {
            const QString text = settingKeyText(key);
            QVERIFY(!text.isEmpty());
            QVERIFY2(!texts.contains(text), qPrintable(text));
            QCOMPARE(settingKeyFromText(text), key);
            texts.insert(text);
            settings.set(QStringLiteral("v-") + text, key);
        }
        QCOMPARE(allSettingKeys().size(), std::size_t(50));
        QCOMPARE(settingKeyFromText(QStringLiteral("Sync-time")), std::nullopt);
        QCOMPARE(settingKeyFromText(QStringLiteral("sync-time ")), std::nullopt);
        QCOMPARE(texts.size(), 50);
        for (const QString& text : std::as_const(texts)) {
            QCOMPARE(settings.string(text), std::optional(QStringLiteral("v-") + text));
        }
    }

    void valuesRoundTripUnchanged_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("on");
        QTest::newRow("empty") << QString(QLatin1String(""));
        QTest::newRow("boolean text") << QStringLiteral("true");
        QTest::newRow("number text") << QStringLiteral("0.5");
        QTest::newRow("json with commas") << QStringLiteral(R"({"a":[1,2,3],"b":"x, y"})");
        QTest::newRow("blanks kept") << QStringLiteral("  padded  ");
        QTest::newRow("chinese") << QStringLiteral("简体中文 ✅");
        QTest::newRow("ini markers") << QStringLiteral("@Invalid() ; # = [x] \\ \" '");
        QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree");
    }

    void valuesRoundTripUnchanged() {
        QFETCH(QString, value);
        {
            SettingsManager settings(storeFile());
            settings.set(value, SettingKey::toolbarOrder);
            QCOMPARE(settings.string(SettingKey::toolbarOrder), std::optional(value));
        }
        // A fresh store on the same file, as after a restart.
        SettingsManager reopened(storeFile());
        QCOMPARE(reopened.string(QStringLiteral("toolbar-order")), std::optional(value));
    }

    void bothFormsShareKeysAndAbsentRemoves() {
        SettingsManager settings(storeFile());
        settings.set(QStringLiteral("3"), SettingKey::syncTime);
        QCOMPARE(settings.string(QStringLiteral("sync-time")), std::optional(QStringLiteral("3")));
        settings.set(QStringLiteral("x"), QStringLiteral("page-only-key/with-slash"));
        QCOMPARE(settings.string(QStringLiteral("page-only-key/with-slash")),
                 std::optional(QStringLiteral("x")));
        settings.set(QStringLiteral("off"), QStringLiteral("reduce-bitrate-mode"));
        QCOMPARE(settings.string(SettingKey::reduceBitrateMode),
                 std::optional(QStringLiteral("off")));

        settings.set(std::nullopt, QStringLiteral("sync-time"));
        QCOMPARE(settings.string(SettingKey::syncTime), std::nullopt);
        settings.set(std::nullopt, SettingKey::reduceBitrateMode);
        QCOMPARE(settings.string(QStringLiteral("reduce-bitrate-mode")), std::nullopt);
        QCOMPARE(settings.string(QStringLiteral("never-written")), std::nullopt);

        QFile file(storeFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray onDisk = file.readAll();
        QVERIFY(onDisk.contains("with-slash"));
        QVERIFY(!onDisk.contains("sync-time"));
    }

    // The page may store any key; QSettings would fold these pairs into one.
    void distinctKeysStayDistinct_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("doubled slash") << "x//y"
                                       << "x/y";
        QTest::newRow("leading slash") << "/x"
                                       << "x";
        QTest::newRow("trailing slash") << "x/"
                                        << "x";
        QTest::newRow("slash alone") << "/"
                                     << "";
        QTest::newRow("escape lookalike") << "a%2Fb"
                                          << "a/b";
        QTest::newRow("escaped escape") << "a%252Fb"
                                        << "a%2Fb";
        QTest::newRow("backslash") << "a\\b"
                                   << "a/b";
        QTest::newRow("group and key") << "x"
                                       << "x/y";
    }
    void distinctKeysStayDistinct() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        {
            SettingsManager settings(storeFile());
            settings.set(QStringLiteral("1"), first);
            settings.set(QStringLiteral("2"), second);
        }
        SettingsManager reopened(storeFile());
        QCOMPARE(reopened.string(first), std::optional<QString>("1"));
        QCOMPARE(reopened.string(second), std::optional<QString>("2"));
        reopened.set(std::nullopt, second);
        QCOMPARE(reopened.string(first), std::optional<QString>("1"));
        QCOMPARE(reopened.string(second), std::optional<QString>());
    }

    void listedKeysKeepTheirStoredForm() {
        {
            SettingsManager settings(storeFile());
            for (const SettingKey key : allSettingKeys()) {
                settings.set(settingKeyText(key), key);
            }
        }
        // What an earlier client wrote is read where it always was.
        QSettings raw(storeFile(), QSettings::IniFormat);
        QCOMPARE(raw.allKeys().size(), qsizetype(50));
        for (const SettingKey key : allSettingKeys()) {
            QCOMPARE(raw.value(settingKeyText(key)).toString(), settingKeyText(key));
        }
    }

    void onlyTheLocaleTextKeyLogs() {
        SettingsManager settings(storeFile());
        settings.set(QStringLiteral("zh"), QStringLiteral("frontend-sys-locale"));
        settings.set(std::nullopt, QStringLiteral("frontend-sys-locale"));
        QCOMPARE(settings.string(QStringLiteral("frontend-sys-locale")), std::nullopt);
        const QStringList lines = takeConsole();
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].contains(QStringLiteral("[INFO][SETTINGS]")), qPrintable(lines[0]));
        QVERIFY(lines[0].endsWith(QStringLiteral(" 多语言Set zh")));
        QVERIFY(lines[1].endsWith(QStringLiteral(" 多语言Set -")));
        QVERIFY(lines[2].endsWith(QStringLiteral(" 多语言Get -")));

        settings.set(QStringLiteral("en"), SettingKey::frontendSysLocale);
        QCOMPARE(settings.string(SettingKey::frontendSysLocale),
                 std::optional(QStringLiteral("en")));
        settings.set(QStringLiteral("zh"), QStringLiteral("Frontend-Sys-Locale"));
        QCOMPARE(settings.string(QStringLiteral("Frontend-Sys-Locale")),
                 std::optional(QStringLiteral("zh")));
        QVERIFY(takeConsole().isEmpty());

        QCOMPARE(settings.string(QStringLiteral("frontend-sys-locale")),
                 std::optional(QStringLiteral("en")));
        QVERIFY(takeConsole().value(0).endsWith(QStringLiteral(" 多语言Get en")));
    }

    void suiteKeepsItsOwnValues() {
        SettingsManager settings(storeFile());
        settings.set(QStringLiteral("standard"), SettingKey::pcId);
        settings.setSuiteName(QStringLiteral("test-suite"));
        settings.set(QStringLiteral("suite"), SettingKey::pcId);
        QCOMPARE(settings.string(SettingKey::pcId), std::optional(QStringLiteral("suite")));
        settings.set(std::nullopt, SettingKey::pcId);
        QCOMPARE(settings.string(SettingKey::pcId), std::nullopt);
        QVERIFY(settings.storagePath().startsWith(QDir::homePath()));
        settings.setSuiteName(QString());
        QCOMPARE(settings.string(SettingKey::pcId), std::optional(QStringLiteral("standard")));
    }

    void standardStoreLivesUnderTheUserConfigFolder() {
        SettingsManager settings;
        QVERIFY(settings.storagePath().startsWith(QDir::homePath()));
        QVERIFY(settings.storagePath().contains(QStringLiteral("com.brisca")));
    }
};

QTEST_GUILESS_MAIN(SettingsManagerTest)
#include "tst_SettingsManager.moc"
