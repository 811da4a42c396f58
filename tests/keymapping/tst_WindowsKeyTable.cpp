#include "keymapping/KeyMappingConfigManager.h"

#include <QSet>
#include <QTest>

class WindowsKeyTableTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyRowIsUniqueBothWays() {
        QSet<int> windowsKeys;
        QSet<quint16> macKeys;
        QSet<int> withoutMacKey;
        for (const WindowsKeyTable::Row& row : WindowsKeyTable::rows()) {
            QVERIFY2(!windowsKeys.contains(row.windowsKey), qPrintable(row.name));
            windowsKeys.insert(row.windowsKey);
            if (!row.macKeyCode) {
                withoutMacKey.insert(row.windowsKey);
                continue;
            }
            QVERIFY2(!macKeys.contains(*row.macKeyCode), qPrintable(row.name));
            macKeys.insert(*row.macKeyCode);
            QCOMPARE(KeyMappingConfigManager::windowsKeyForMacKeyCode(*row.macKeyCode),
                     row.windowsKey);
        }
        QCOMPARE(windowsKeys.size(), 84);
        // Mouse buttons and the wheel can never be the answer for a macOS key.
        QCOMPARE(withoutMacKey, QSet<int>({1, 2, 5, 6, 154, 155}));
        QVERIFY(!KeyMappingConfigManager::windowsKeyForMacKeyCode(54));  // right Command
        QVERIFY(!KeyMappingConfigManager::windowsKeyForMacKeyCode(300));
    }

    void namesKeys_data() {
        QTest::addColumn<int>("windowsKey");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<int>("macKeyCode");  // -1: none
        QTest::newRow("space is no blank") << 32 << "␣" << 49;
        QTest::newRow("left button") << 1 << "鼠标左键" << -1;
        QTest::newRow("backslash") << 220 << "\\" << 42;
        QTest::newRow("command") << 91 << "Cmd" << 55;
        QTest::newRow("unknown") << 200 << "VK200" << -1;
        QTest::newRow("zero") << 0 << "VK0" << -1;
        QTest::newRow("negative") << -1 << "VK-1" << -1;
    }

    void namesKeys() {
        QFETCH(int, windowsKey);
        QFETCH(QString, displayName);
        QFETCH(int, macKeyCode);
        const WindowsKeyName found = KeyMappingConfigManager::windowsKeyName(windowsKey);
        QCOMPARE(found.name, displayName);
        QCOMPARE(found.macKeyCode ? int(*found.macKeyCode) : -1, macKeyCode);
        QCOMPARE(KeyMappingConfigManager::windowsKeyDisplayName(windowsKey), displayName);
    }
};

QTEST_GUILESS_MAIN(WindowsKeyTableTest)
#include "tst_WindowsKeyTable.moc"
