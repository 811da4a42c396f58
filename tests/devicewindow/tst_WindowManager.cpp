#include "PlayingDevices.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/settings/SettingsManager.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QTest>

namespace {

WindowManager& manager() {
    return WindowManager::shared();
}

QList<qint64> listedDevices() {
    QList<qint64> ids;
    for (const AspectRatioWindowController* window : manager().windows()) {
        ids.append(window->deviceID());
    }
    return ids;
}

QRect screenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

}  // namespace

class WindowManagerTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;

private Q_SLOTS:
    void initTestCase() { m_devices.setUp(); }

    void cleanup() {
        PlayingDevices::closeAll();
        SettingsManager::shared().set(std::nullopt, SettingKey::cloudphonePositionCentre);
        SettingsManager::shared().set(std::nullopt, SettingKey::cloudphoneSize);
    }

    void cleanupTestCase() { PlayingDevices::tearDown(); }

    void closeOperations_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QList<qint64>>("argument");
        QTest::addColumn<QList<qint64>>("remaining");
        const QList<qint64> all{7101, 7102, 7103};
        QTest::newRow("all") << "all" << QList<qint64>{} << QList<qint64>{};
        QTest::newRow("others") << "others" << QList<qint64>{7102} << QList<qint64>{7102};
        QTest::newRow("others of an unknown id")
            << "others" << QList<qint64>{42} << QList<qint64>{};
        QTest::newRow("selection")
            << "selected" << QList<qint64>{7103, 42, 7101} << QList<qint64>{7102};
        QTest::newRow("empty selection") << "selected" << QList<qint64>{} << all;
    }
    void closeOperations() {
        QFETCH(QString, operation);
        QFETCH(QList<qint64>, argument);
        QFETCH(QList<qint64>, remaining);
        QHash<qint64, QPointer<AspectRatioWindowController>> windows;
        for (qint64 id : {7101, 7102, 7103}) {
            windows.insert(id, PlayingDevices::open(id));
            QVERIFY(windows.value(id));
        }

        if (operation == "all") {
            manager().closeAllWindows();
        } else if (operation == "others") {
            manager().closeOtherWindows(argument.first());
        } else {
            manager().closeWindows(argument);
        }

        QCOMPARE(listedDevices(), remaining);
        PlayingDevices::flushDeletes();
        for (qint64 id : {7101, 7102, 7103}) {
            const bool kept = remaining.contains(id);
            QCOMPARE(!windows.value(id).isNull(), kept);
            QTRY_COMPARE(PlayingDevices::isStreaming(id), kept);
            QVERIFY(communicator().isDeviceAdded(QString::number(id)));
        }
    }

    void hiddenWindowIsClosedAndTheNextOpenPlays() {
        AspectRatioWindowController* first = PlayingDevices::open(7201);
        QVERIFY(first);
        first->window()->showMinimized();
        QVERIFY(manager().bringWindowToFront(7201));
        QVERIFY(!first->window()->isMinimized());
        QVERIFY(!manager().bringWindowToFront(7202));
        const QPointer<AspectRatioWindowController> watch(first);
        first->window()->hide();

        QCOMPARE(manager().openWindow(7201, QStringLiteral("again")), first);
        QVERIFY(manager().windows().isEmpty());
        QVERIFY(!first->window()->isVisible());
        QVERIFY(communicator().isNotPlaying(QStringLiteral("7201")));
        QTRY_COMPARE(simulated(7201)->streamingSessionCount(), 0);
        PlayingDevices::flushDeletes();
        QVERIFY(watch.isNull());

        AspectRatioWindowController* second = PlayingDevices::open(7201);
        QVERIFY(second);
        QCOMPARE(listedDevices(), QList<qint64>{7201});
        QTRY_VERIFY(PlayingDevices::isStreaming(7201));
    }

    void placement_data() {
        QTest::addColumn<std::optional<QString>>("setting");
        QTest::addColumn<bool>("anchorVisible");
        QTest::addColumn<bool>("cascaded");
        QTest::newRow("off") << std::optional<QString>("off") << true << true;
        QTest::newRow("Off") << std::optional<QString>("Off") << true << true;
        QTest::newRow("off, no visible window") << std::optional<QString>("OFF") << false << false;
        QTest::newRow("absent") << std::optional<QString>() << true << false;
        QTest::newRow("on") << std::optional<QString>("on") << true << false;
    }
    void placement() {
        QFETCH(std::optional<QString>, setting);
        QFETCH(bool, anchorVisible);
        QFETCH(bool, cascaded);
        // Small enough for the test screen, so that no window is pushed back inside it.
        SettingsManager::shared().set(QStringLiteral("240"), SettingKey::cloudphoneSize);
        SettingsManager::shared().set(setting, SettingKey::cloudphonePositionCentre);
        AspectRatioWindowController* anchor = manager().openWindow(7401, QStringLiteral("a"));
        anchor->window()->move(100, 100);
        if (!anchorVisible) {
            anchor->window()->hide();
        }
        AspectRatioWindowController* next = manager().openWindow(7402, QStringLiteral("b"));
        const QRect frame = next->window()->frameGeometry();
        QCOMPARE(frame.size(), anchor->window()->frameGeometry().size());
        if (cascaded) {
            QCOMPARE(frame.topLeft(), QPoint(136, 156));
        } else {
            QVERIFY((frame.center() - screenArea().center()).manhattanLength() <= 2);
        }
    }

    void emptyWindowsAreCentredAndShareId0() {
        const int counter = manager().windowCounter();
        AspectRatioWindowController* a = manager().newWindow();
        AspectRatioWindowController* b = manager().newWindow();
        QCOMPARE(manager().windowCounter(), counter + 2);
        QCOMPARE(listedDevices(), (QList<qint64>{0, 0}));
        QCOMPARE(b->window()->windowTitle(), QStringLiteral("null"));
        QVERIFY(a->window()->isVisible() && b->window()->isVisible());
        QVERIFY((b->window()->frameGeometry().center() - screenArea().center()).manhattanLength() <=
                2);
        manager().closeWindows({0});
        QVERIFY(manager().windows().isEmpty());
    }

    void tiling() {
        const auto open = [](qint64 id, const char* size) {
            SettingsManager::shared().set(QString::fromLatin1(size), SettingKey::cloudphoneSize);
            return manager().openWindow(id, QStringLiteral("tile"));
        };
        AspectRatioWindowController* closed = open(7500, "240");
        AspectRatioWindowController* a = open(7501, "240");
        AspectRatioWindowController* b = open(7502, "300");
        AspectRatioWindowController* c = open(7503, "300");
        manager().closeWindows({7500});
        PlayingDevices::flushDeletes();

        manager().tileWindows({closed, a, b, c});
        const QRect area = screenArea();
        const QRect frameA = a->window()->frameGeometry();
        const QRect frameB = b->window()->frameGeometry();
        const QRect frameC = c->window()->frameGeometry();
        QVERIFY(frameA.height() < frameB.height());
        QVERIFY(frameA.width() + frameB.width() <= area.width());
        QVERIFY(frameA.width() + frameB.width() + frameC.width() > area.width());
        QCOMPARE(frameA.topLeft(), area.topLeft());
        QCOMPARE(frameB.topLeft(), area.topLeft() + QPoint(frameA.width(), 0));
        QCOMPARE(frameC.topLeft(), area.topLeft() + QPoint(0, frameB.height()));
    }
};

QTEST_MAIN(WindowManagerTest)
#include "tst_WindowManager.moc"
