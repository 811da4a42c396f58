#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/settings/ColorExtensions.h"
#include "foundation/settings/LanguageManager.h"
#include "foundation/settings/LocaleExtensions.h"
#include "foundation/storage/FileExtensions.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class LanguageAndExtensionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everySetPostsLanguageDidChange() {
        LanguageManager manager;
        QObject observer;
        QStringList seen;
        NotificationCenter::defaultCenter().addObserver(
            &observer, NotificationNames::languageDidChange, [&](const Notification& n) {
                QCOMPARE(manager.currentLanguage(), LanguageManager::Language::simplifiedChinese);
                seen << n.name;
            });
        QSignalSpy willChange(&manager, &LanguageManager::currentLanguageWillChange);

        manager.setLanguage(LanguageManager::Language::simplifiedChinese);
        manager.setLanguage(LanguageManager::Language::simplifiedChinese);
        QCOMPARE(seen, QStringList(2, QStringLiteral("languageDidChange")));
        QCOMPARE(willChange.count(), 2);
    }

    void languageRawValues() {
        QCOMPARE(LanguageManager::rawValue(LanguageManager::Language::simplifiedChinese),
                 QStringLiteral("zh"));
        QCOMPARE(LanguageManager::languageFromRawValue(QStringLiteral("zh")),
                 std::optional(LanguageManager::Language::simplifiedChinese));
        QCOMPARE(LanguageManager::languageFromRawValue(QStringLiteral("ZH")), std::nullopt);
        QCOMPARE(LanguageManager::languageFromRawValue(QStringLiteral("en")), std::nullopt);
    }

    void untranslatedTextsLookUpAsThemselves() {
        const TextBundle& bundle = LanguageManager::shared().bundle();
        QCOMPARE(bundle.localizedString(QStringLiteral("断开连接")), QStringLiteral("断开连接"));
        QCOMPARE(bundle.localizedString(QStringLiteral("key"), QStringLiteral("默认")),
                 QStringLiteral("默认"));
        const TextBundle translated({{QStringLiteral("断开连接"), QStringLiteral("Disconnect")}});
        QCOMPARE(translated.localizedString(QStringLiteral("断开连接")),
                 QStringLiteral("Disconnect"));
    }

    void colorFromHex_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("alpha");
        QTest::addColumn<QColor>("expected");
        const auto rgb = [](int r, int g, int b, double a) {
            return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f, static_cast<float>(a));
        };
        const QColor transparent = QColor::fromRgbF(0, 0, 0, 0);
        QTest::newRow("six digits take alpha") << "#FF8000" << 0.5 << rgb(255, 128, 0, 0.5);
        QTest::newRow("eight digits carry alpha") << "#80FF0000" << 1.0 << rgb(128, 255, 0, 0.0);
        QTest::newRow("three digits double") << "abc" << 1.0 << rgb(0xAA, 0xBB, 0xCC, 1.0);
        QTest::newRow("four digits double") << "F0A8" << 1.0 << rgb(0xFF, 0x00, 0xAA, 0x88 / 255.0);
        QTest::newRow("blanks around") << "  #ffffff \n" << 1.0 << rgb(255, 255, 255, 1.0);
        QTest::newRow("short white") << "#FFF" << 1.0 << rgb(255, 255, 255, 1.0);
        QTest::newRow("0x prefix any case") << "0XFF0000" << 1.0 << rgb(255, 0, 0, 1.0);
        QTest::newRow("five digits") << "#12345" << 1.0 << transparent;
        QTest::newRow("seven characters") << "#1234567" << 1.0 << transparent;
        QTest::newRow("only prefixes") << "#0x0x" << 1.0 << transparent;
        QTest::newRow("empty") << "" << 1.0 << transparent;
        QTest::newRow("no hex digit at all") << "zzzzzz" << 1.0 << transparent;
        QTest::newRow("scan stops at non-hex") << "12zz56" << 1.0 << rgb(0, 0, 0x12, 1.0);
    }

    void colorFromHex() {
        QFETCH(QString, text);
        QFETCH(double, alpha);
        QFETCH(QColor, expected);
        const QColor color = ::colorFromHex(text, alpha);
        QCOMPARE(color.redF(), expected.redF());
        QCOMPARE(color.greenF(), expected.greenF());
        QCOMPARE(color.blueF(), expected.blueF());
        QCOMPARE(color.alphaF(), expected.alphaF());
    }

    void preferredLanguageAndRegion_data() {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("region");  // empty: absent
        QTest::newRow("script and region") << QStringList{"zh-Hans-CN", "en-US"} << "zh"
                                           << "CN";
        QTest::newRow("language and region") << QStringList{"en-US"} << "en"
                                             << "US";
        QTest::newRow("language alone") << QStringList{"en"} << "en"
                                        << "";
        QTest::newRow("script alone") << QStringList{"zh-Hant"} << "zh"
                                      << "";
        QTest::newRow("numeric region") << QStringList{"es-419"} << "es"
                                        << "419";
        QTest::newRow("underscore form") << QStringList{"pt_BR"} << "pt"
                                         << "BR";
        QTest::newRow("empty list") << QStringList{} << "en"
                                    << "";
        QTest::newRow("no language code") << QStringList{"*"} << "en"
                                          << "";
    }

    void preferredLanguageAndRegion() {
        QFETCH(QStringList, languages);
        QFETCH(QString, language);
        QFETCH(QString, region);
        QCOMPARE(preferredLanguageCode(languages), language);
        QCOMPARE(preferredRegionCode(languages),
                 region.isEmpty() ? std::nullopt : std::optional(region));
        QVERIFY(!preferredLanguageCode().isEmpty());
    }

    void fileSizes() {
        QTemporaryDir dir;
        QCOMPARE(fileSizeAtPath(dir.filePath(QStringLiteral("missing"))), 0);
        QCOMPARE(fileSizeAtPath(QString()), 0);
        QFile file(dir.filePath(QStringLiteral("five")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("12345");
        closeQuietly(file);
        closeQuietly(file);
        QVERIFY(!file.isOpen());
        QCOMPARE(fileSizeAtPath(file.fileName()), 5);
    }
};

QTEST_GUILESS_MAIN(LanguageAndExtensionsTest)
#include "tst_LanguageAndExtensions.moc"
