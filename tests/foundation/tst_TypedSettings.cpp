#include "foundation/settings/SettingsManager.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(BooleanSetting)
Q_DECLARE_METATYPE(NumberSetting)

namespace {

const QVariant kAbsent;

}  // namespace

// Each typed setting against the texts the page or an earlier client may have stored.
class TypedSettingsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsManager> m_settings;

    void store(SettingKey key, const QVariant& text) {
        m_settings->set(text.isValid() ? std::optional(text.toString()) : std::nullopt, key);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        m_settings = std::make_unique<SettingsManager>(m_dir.filePath(QStringLiteral("s.ini")));
    }

    void yesOrNo_data() {
        QTest::addColumn<BooleanSetting>("setting");
        QTest::addColumn<QVariant>("stored");  // invalid: nothing stored
        QTest::addColumn<bool>("expected");
        using namespace TypedSettings;
        QTest::newRow("muted when absent") << streamMuted << kAbsent << true;
        QTest::newRow("sound on exactly off") << streamMuted << QVariant("off") << false;
        QTest::newRow("muted on Off") << streamMuted << QVariant("Off") << true;
        QTest::newRow("muted on off with a blank") << streamMuted << QVariant("off ") << true;
        QTest::newRow("bit rate off when absent") << reduceBitrateMode << kAbsent << false;
        QTest::newRow("bit rate TRUE between blanks")
            << reduceBitrateMode << QVariant(" TRUE\n") << true;
        QTest::newRow("bit rate 1") << reduceBitrateMode << QVariant("1") << true;
        QTest::newRow("bit rate yes") << reduceBitrateMode << QVariant("yes") << false;
        QTest::newRow("bit rate empty") << reduceBitrateMode << QVariant("") << false;
        QTest::newRow("centred when absent") << centreNewWindows << kAbsent << true;
        QTest::newRow("cascaded on OFF") << centreNewWindows << QVariant("OFF") << false;
        QTest::newRow("centred on off untrimmed") << centreNewWindows << QVariant(" off") << true;
        QTest::newRow("others closed when absent") << closeOtherDevicesOnSync << kAbsent << true;
        QTest::newRow("others kept on On") << closeOtherDevicesOnSync << QVariant("On") << false;
        QTest::newRow("others kept on empty") << closeOtherDevicesOnSync << QVariant("") << false;
        QTest::newRow("arranged when absent") << arrangeBatchOpenedWindows << kAbsent << true;
        QTest::newRow("arranged on True") << arrangeBatchOpenedWindows << QVariant("True") << true;
        QTest::newRow("not arranged on true untrimmed")
            << arrangeBatchOpenedWindows << QVariant("true ") << false;
        QTest::newRow("quits when absent") << minimiseOnClose << kAbsent << false;
        QTest::newRow("minimises on MIN") << minimiseOnClose << QVariant("MIN") << true;
        QTest::newRow("quits on max") << minimiseOnClose << QVariant("max") << false;
    }
    void yesOrNo() {
        QFETCH(BooleanSetting, setting);
        QFETCH(QVariant, stored);
        QFETCH(bool, expected);
        store(setting.key, stored);
        QCOMPARE(m_settings->boolean(setting), expected);
    }

    void numbers_data() {
        QTest::addColumn<NumberSetting>("setting");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("expected");  // invalid: no number
        using namespace TypedSettings;
        QTest::newRow("delay absent") << syncDelaySeconds << kAbsent << kAbsent;
        QTest::newRow("delay between blanks")
            << syncDelaySeconds << QVariant(" 2.5 ") << QVariant(2.5);
        QTest::newRow("delay exponent") << syncDelaySeconds << QVariant("1e2") << QVariant(100.0);
        QTest::newRow("delay letters") << syncDelaySeconds << QVariant("2s") << kAbsent;
        QTest::newRow("delay nan") << syncDelaySeconds << QVariant("nan") << kAbsent;
        QTest::newRow("delay negative") << syncDelaySeconds << QVariant("-3") << QVariant(0.0);
        QTest::newRow("delay too long") << syncDelaySeconds << QVariant("5000") << QVariant(1000.0);
        QTest::newRow("delay infinite") << syncDelaySeconds << QVariant("inf") << QVariant(1000.0);
        QTest::newRow("size") << windowSize << QVariant("720") << QVariant(720.0);
        QTest::newRow("size fraction") << windowSize << QVariant("1.5") << QVariant(1.5);
        QTest::newRow("size least above zero")
            << windowSize << QVariant("4.9e-324") << QVariant(4.9e-324);
        QTest::newRow("size leading blank") << windowSize << QVariant(" 720") << kAbsent;
        QTest::newRow("size zero") << windowSize << QVariant("0") << kAbsent;
        QTest::newRow("size negative") << windowSize << QVariant("-1") << kAbsent;
        QTest::newRow("size infinite") << windowSize << QVariant("inf") << kAbsent;
        QTest::newRow("size empty") << windowSize << QVariant("") << kAbsent;
    }
    void numbers() {
        QFETCH(NumberSetting, setting);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, expected);
        store(setting.key, stored);
        const std::optional<double> read = m_settings->number(setting);
        QCOMPARE(read.has_value(), expected.isValid());
        if (read) {
            QCOMPARE(*read, expected.toDouble());
        }
    }
};

QTEST_GUILESS_MAIN(TypedSettingsTest)
#include "tst_TypedSettings.moc"
