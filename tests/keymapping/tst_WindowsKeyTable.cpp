#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/WindowsKeyTable.h"

#include <QSet>
#include <QTest>

class WindowsKeyTableTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyRowIsUniqueBothWays() {
        const QList<WindowsKeyTable::Row>& rows = WindowsKeyTable::rows();
        QCOMPARE(rows.size(), 84);
        QSet<int> windowsKeys;
        QSet<quint16> macKeys;
        int withoutMacKey = 0;
        for (const WindowsKeyTable::Row& row : rows) {
            QVERIFY2(!windowsKeys.contains(row.windowsKey), qPrintable(row.name));
            windowsKeys.insert(row.windowsKey);
            if (!row.macKeyCode) {
                ++withoutMacKey;
                continue;
            }
            QVERIFY2(!macKeys.contains(*row.macKeyCode), qPrintable(row.name));
            macKeys.insert(*row.macKeyCode);
            QCOMPARE(WindowsKeyTable::windowsKeyForMacKeyCode(*row.macKeyCode), row.windowsKey);
        }
        QCOMPARE(withoutMacKey, 6);
    }

    void namesKeys_data() {
        QTest::addColumn<int>("windowsKey");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<int>("macKeyCode");  // -1: none
        QTest::newRow("space is no blank") << 32 << "␣"
                                           << "␣" << 49;
        QTest::newRow("left button") << 1 << "鼠标左键"
                                     << "鼠标左键" << -1;
        QTest::newRow("wheel up") << 155 << "滚轮上"
                                  << "滚轮上" << -1;
        QTest::newRow("letter") << 87 << "W"
                                << "W" << 13;
        QTest::newRow("backslash") << 220 << "\\"
                                   << "\\" << 42;
        QTest::newRow("command") << 91 << "Cmd"
                                 << "Cmd" << 55;
        QTest::newRow("unknown") << 200 << "VK200"
                                 << "VK200" << -1;
        QTest::newRow("zero") << 0 << "VK0"
                              << "VK0" << -1;
        QTest::newRow("negative") << -1 << "VK-1"
                                  << "VK-1" << -1;
    }

    void namesKeys() {
        QFETCH(int, windowsKey);
        QFETCH(QString, name);
        QFETCH(QString, displayName);
        QFETCH(int, macKeyCode);
        const WindowsKeyName found = KeyMappingConfigManager::windowsKeyName(windowsKey);
        QCOMPARE(found.name, name);
        QCOMPARE(found.macKeyCode.has_value(), macKeyCode >= 0);
        if (found.macKeyCode) {
            QCOMPARE(int(*found.macKeyCode), macKeyCode);
        }
        QCOMPARE(KeyMappingConfigManager::windowsKeyDisplayName(windowsKey), displayName);
    }

    void findsWindowsKeysForMacKeys_data() {
        QTest::addColumn<int>("macKeyCode");
        QTest::addColumn<int>("windowsKey");  // -1: none
        QTest::newRow("A") << 0 << 65;
        QTest::newRow("space") << 49 << 32;
        QTest::newRow("left shift") << 56 << 16;
        QTest::newRow("right command") << 54 << -1;
        QTest::newRow("unknown") << 300 << -1;
    }

    void findsWindowsKeysForMacKeys() {
        QFETCH(int, macKeyCode);
        QFETCH(int, windowsKey);
        const std::optional<int> found =
            KeyMappingConfigManager::windowsKeyForMacKeyCode(quint16(macKeyCode));
        QCOMPARE(found.value_or(-1), windowsKey);
    }

    void mouseKeysAreNeverTheAnswer() {
        const QSet<int> mouseKeys{1, 2, 5, 6, 154, 155};
        for (int code = 0; code <= 0xFFFF; ++code) {
            const auto found = WindowsKeyTable::windowsKeyForMacKeyCode(quint16(code));
            QVERIFY(!found || !mouseKeys.contains(*found));
        }
    }
};

QTEST_GUILESS_MAIN(WindowsKeyTableTest)
#include "tst_WindowsKeyTable.moc"
