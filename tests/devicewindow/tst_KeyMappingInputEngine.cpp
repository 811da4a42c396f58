#include "DeviceWindowTestSupport.h"
#include "devicewindow/KeyMappingInputEngine.h"
#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/WindowsKeyTable.h"

#include <QTest>
#include <QTimer>

namespace {

struct Contact {
    QString kind;  // tap, down, move, up, cancel
    QPointF point;
    int index = 0;
};

class FakeHost : public KeyMappingInputHost {
public:
    bool active = true;
    bool idle = false;
    bool ime = false;
    bool panel = false;
    std::optional<QSizeF> player = QSizeF(1000, 1000);
    QList<Contact> contacts;
    QList<bool> cursorCaptures;

    bool isActiveAndConnected() const override { return active && !idle; }
    bool isDisconnectedForIdle() const override { return idle; }
    bool isIMEInputActive() const override { return ime; }
    bool isKeyMappingPanelVisible() const override { return panel; }
    std::optional<QSizeF> playerSize() const override { return player; }
    void tap(const QPointF& point) override { contacts.append({QStringLiteral("tap"), point}); }
    void touchDown(const QPointF& point, int index) override {
        contacts.append({QStringLiteral("down"), point, index});
    }
    void touchMove(const QPointF& point, int index) override {
        contacts.append({QStringLiteral("move"), point, index});
    }
    void touchUp(const QPointF& point, int index) override {
        contacts.append({QStringLiteral("up"), point, index});
    }
    void cancelTouches() override { contacts.append({QStringLiteral("cancel"), {}}); }
    void setCursorCaptured(bool captured) override { cursorCaptures.append(captured); }
};

constexpr int kShift = 16;
constexpr int kLookKey = 'Q';

quint16 macKeyCode(int windowsKey) {
    return WindowsKeyTable::windowsKeyName(windowsKey).macKeyCode.value_or(0);
}

KeyEventRecord key(KeyEventRecord::Type type, int windowsKey, bool repeat = false) {
    return {type, macKeyCode(windowsKey), QString(QChar(windowsKey)).toLower(), 0, repeat};
}
KeyEventRecord down(int windowsKey, bool repeat = false) {
    return key(KeyEventRecord::Type::keyDown, windowsKey, repeat);
}
KeyEventRecord up(int windowsKey) {
    return key(KeyEventRecord::Type::keyUp, windowsKey);
}
KeyEventRecord shift(bool pressed) {
    return {KeyEventRecord::Type::flagsChanged, macKeyCode(kShift), QString(),
            pressed ? quint32(KeyEventRecord::shiftFlag) : 0, false};
}

KeyMappingItem tapItem(int windowsKey, QPointF point, std::optional<int> second = {}) {
    KeyMappingItem item(KeyMappingType::tap, point);
    item.windowsKey = windowsKey;
    item.keyCode = macKeyCode(windowsKey);
    item.keyDisplayName = WindowsKeyTable::windowsKeyDisplayName(windowsKey);
    item.secondWindowsKey = second;
    return item;
}

// A move item driven by one key as its "up" direction.
KeyMappingItem moveItem(int upKey, QPointF point) {
    KeyMappingItem item(KeyMappingType::move, point);
    item.directionBindings = {
        {KeyMappingDirection::up, KeyMappingKeyBinding{macKeyCode(upKey), upKey, {}, {}, {}}}};
    return item;
}

void comparePoint(const QPointF& actual, const QPointF& expected) {
    QVERIFY2(qAbs(actual.x() - expected.x()) < 0.002 && qAbs(actual.y() - expected.y()) < 0.002,
             qPrintable(QStringLiteral("(%1, %2) != (%3, %4)")
                            .arg(actual.x())
                            .arg(actual.y())
                            .arg(expected.x())
                            .arg(expected.y())));
}

}  // namespace

class KeyMappingInputEngineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<KeyMappingViewModel> m_model;
    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<KeyMappingInputEngine> m_engine;

    void useMouseLook(ImportedMouseConfiguration::DragMode mode) {
        ImportedMouseConfiguration::Drag drag;
        drag.windowsKey = kLookKey;
        drag.mode = mode;
        drag.normalizedPoint = QPointF(0.5, 0.5);
        m_model->appliedMouseConfiguration.drag = drag;
        m_model->appliedMouseConfiguration.triggerPoint = QPointF(0.8, 0.9);
    }

private Q_SLOTS:
    void init() {
        m_model = std::make_unique<KeyMappingViewModel>([](const QString&, const auto&) {});
        m_host = std::make_unique<FakeHost>();
        m_engine = std::make_unique<KeyMappingInputEngine>(*m_model, *m_host);
    }
    void cleanup() {
        m_engine.reset();
        m_host.reset();
        m_model.reset();
    }

    void moveTarget_data() {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QList<int>>("held");  // KeyMappingDirection values
        QTest::addColumn<QPointF>("target");
        const int up = int(KeyMappingDirection::up), left = int(KeyMappingDirection::left);
        const int down = int(KeyMappingDirection::down), right = int(KeyMappingDirection::right);
        QTest::newRow("none") << QPointF(0.3, 0.7) << QList<int>{} << QPointF(0.3, 0.7);
        QTest::newRow("left and right cancel")
            << QPointF(0.3, 0.7) << QList<int>{left, right} << QPointF(0.3, 0.7);
        QTest::newRow("all four") << QPointF(0.3, 0.7) << QList<int>{up, left, down, right}
                                  << QPointF(0.3, 0.7);
        QTest::newRow("diagonal keeps the radius")
            << QPointF(0.3, 0.7) << QList<int>{down, left}
            << QPointF(0.3 - 0.12 / M_SQRT2, 0.7 + 0.12 / M_SQRT2);
        QTest::newRow("clamped at the edge")
            << QPointF(0.95, 0.05) << QList<int>{up, right} << QPointF(1.0, 0.0);
    }
    void moveTarget() {
        QFETCH(QPointF, point);
        QFETCH(QList<int>, held);
        QFETCH(QPointF, target);
        KeyMappingDirections directions;
        for (const int direction : held) {
            directions.insert(KeyMappingDirection(direction));
        }
        comparePoint(KeyMappingInputEngine::normalizedMoveTarget(
                         KeyMappingItem(KeyMappingType::move, point), directions),
                     target);
    }

    void tapRepeatsWhileHeld() {
        const KeyMappingItem item = tapItem('F', QPointF(0.2, 0.4));
        m_model->appliedKeyMappings = {item};
        QVERIFY(m_engine->handleKeyDown(down('F')));
        QCOMPARE(m_host->contacts.size(), 1);
        QCOMPARE(m_engine->activeTapKeyMappingTimers().size(), 1);
        QCOMPARE(m_engine->activeTapKeyMappingTimers().first()->interval(), 120);
        QVERIFY(m_engine->handleKeyDown(down('F', true)));
        QCOMPARE(m_host->contacts.size(), 1);
        QCOMPARE(m_engine->activeTapKeyMappingTimers().size(), 1);
        QTRY_VERIFY(m_host->contacts.size() >= 3);
        QVERIFY(m_engine->handleKeyUp(up('F')));
        QVERIFY(m_engine->activeTapKeyMappingTimers().isEmpty());
        const qsizetype taps = m_host->contacts.size();
        // Proves that no repeat comes after the release.
        QTest::qWait(300);
        QCOMPARE(m_host->contacts.size(), taps);
    }

    void tapTimerEndsWhenTheWindowStopsBeingActive() {
        m_model->appliedKeyMappings = {tapItem('F', QPointF(0.2, 0.4))};
        QVERIFY(m_engine->handleKeyDown(down('F')));
        m_host->active = false;
        QTRY_VERIFY(m_engine->activeTapKeyMappingTimers().isEmpty());
        QCOMPARE(m_host->contacts.size(), 1);
    }

    void tappedModifierTapsOnce() {
        // Shift alone and Shift+1: Shift waits for the combination, then taps on release.
        m_model->appliedKeyMappings = {tapItem(kShift, QPointF(0.1, 0.1)),
                                       tapItem(kShift, QPointF(0.9, 0.9), '1')};
        QVERIFY(!m_engine->handleFlagsChanged(shift(true)));
        QVERIFY(m_host->contacts.isEmpty());
        QVERIFY(m_engine->handleFlagsChanged(shift(false)));
        QCOMPARE(m_host->contacts.size(), 1);
        comparePoint(m_host->contacts.first().point, QPointF(0.1, 0.1));
        QVERIFY(m_engine->activeTapKeyMappingTimers().isEmpty());
    }

    void tenthMoveGetsNoContact() {
        QList<KeyMappingItem> items;
        for (int index = 0; index < 10; ++index) {
            items.append(moveItem('A' + index, QPointF(0.05 * index, 0.5)));
        }
        m_model->appliedKeyMappings = items;
        for (int index = 0; index < 10; ++index) {
            m_engine->handleKeyDown(down('A' + index));
        }
        QCOMPARE(m_engine->activeMoveKeyMappingTouches().size(), 9);
        QList<int> indices = m_engine->activeMoveKeyMappingTouches().values();
        std::ranges::sort(indices);
        QCOMPARE(indices, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        QVERIFY(!m_engine->activeMoveKeyMappingTouches().contains(items.last().id));
        // Releasing one frees its index for the next press.
        m_engine->handleKeyUp(up('C'));
        m_engine->handleKeyUp(up('J'));
        m_engine->handleKeyDown(down('J'));
        QCOMPARE(m_engine->activeMoveKeyMappingTouches().value(items.last().id), 3);
        m_engine->releaseAllMoveKeyMappings();
        QVERIFY(m_engine->activeMoveKeyMappingTouches().isEmpty());
        QCOMPARE(m_host->contacts.last().kind, QStringLiteral("cancel"));
    }

    void wheel_data() {
        QTest::addColumn<bool>("move");
        QTest::addColumn<QStringList>("kinds");
        QTest::newRow("tap mapping") << false << QStringList{"tap"};
        QTest::newRow("move mapping") << true << QStringList{"down", "move", "up"};
    }
    void wheel() {
        QFETCH(bool, move);
        QFETCH(QStringList, kinds);
        KeyMappingItem item = move ? moveItem(KeyMappingInputEngine::kWheelUpKey, QPointF(0.5, 0.5))
                                   : tapItem(KeyMappingInputEngine::kWheelUpKey, QPointF(0.5, 0.5));
        m_model->appliedKeyMappings = {item};
        for (int event = 0; event < 2; ++event) {
            m_host->contacts.clear();
            QVERIFY(m_engine->handleWheel(120));
            QStringList seen;
            for (const Contact& contact : m_host->contacts) {
                seen << contact.kind;
            }
            QCOMPARE(seen, kinds);
            QVERIFY(m_engine->activeMoveKeyMappingTouches().isEmpty());
        }
        QVERIFY(!m_engine->handleWheel(-120));  // key 154 is not bound
        QVERIFY(!m_engine->handleWheel(0));
    }

    void mouseLookKey_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<bool>>("presses");  // true press, false release
        QTest::addColumn<QList<bool>>("activeAfter");
        const int sight = int(ImportedMouseConfiguration::DragMode::sight);
        const int view = int(ImportedMouseConfiguration::DragMode::view);
        QTest::newRow("sight toggles on presses") << sight << QList<bool>{true, false, true, false}
                                                  << QList<bool>{true, true, false, false};
        QTest::newRow("view holds")
            << view << QList<bool>{true, false, true} << QList<bool>{true, false, true};
    }
    void mouseLookKey() {
        QFETCH(int, mode);
        QFETCH(QList<bool>, presses);
        QFETCH(QList<bool>, activeAfter);
        useMouseLook(ImportedMouseConfiguration::DragMode(mode));
        for (qsizetype step = 0; step < presses.size(); ++step) {
            QVERIFY(presses.at(step) ? m_engine->handleKeyDown(down(kLookKey))
                                     : m_engine->handleKeyUp(up(kLookKey)));
            QCOMPARE(m_engine->isMouseLookActive(), activeAfter.at(step));
            QCOMPARE(m_engine->activeMouseLookTouchIndex().has_value(), activeAfter.at(step));
        }
    }

    void mouseLookMovementAndReturn() {
        useMouseLook(ImportedMouseConfiguration::DragMode::sight);
        QVERIFY(!m_engine->handleMouseLookMove(QPointF(10, 0)));
        QVERIFY(!m_engine->handleMouseButton(Qt::LeftButton, true));  // no trigger outside
        QVERIFY(m_engine->handleKeyDown(down(kLookKey)));
        QCOMPARE(m_host->cursorCaptures, QList<bool>{true});
        m_host->contacts.clear();

        QVERIFY(m_engine->handleMouseLookMove(QPointF(0, 100)));  // mouse down, contact up
        comparePoint(m_host->contacts.last().point, QPointF(0.5, 0.4));
        QVERIFY(m_engine->handleMouseLookMove(QPointF(460, 0)));  // x would be 0.96
        QCOMPARE(m_host->contacts.size(), 1);
        comparePoint(*m_engine->mouseLookPoint(), QPointF(0.5, 0.5));
        QVERIFY(m_engine->handleMouseLookMove(QPointF(100, 0)));
        comparePoint(m_host->contacts.last().point, QPointF(0.6, 0.5));

        QVERIFY(m_engine->handleMouseButton(Qt::LeftButton, true));
        QCOMPARE(m_engine->activeMouseTriggerTouchIndex(), std::optional<int>(2));
        comparePoint(m_host->contacts.last().point, QPointF(0.8, 0.9));
        m_engine->exitMouseLook();
        QStringList ends;
        for (const Contact& contact : m_host->contacts.mid(m_host->contacts.size() - 2)) {
            ends << contact.kind + QString::number(contact.index);
        }
        QCOMPARE(ends, (QStringList{"up2", "up1"}));
        QCOMPARE(m_host->cursorCaptures, (QList<bool>{true, false}));
        QVERIFY(!m_engine->handleMouseButton(Qt::LeftButton, true));
    }

    void guardsDeclineEveryEntryPoint_data() {
        QTest::addColumn<QString>("state");
        QTest::newRow("panel open") << QStringLiteral("panel");
        QTest::newRow("device input method") << QStringLiteral("ime");
        QTest::newRow("idle") << QStringLiteral("idle");
    }
    void guardsDeclineEveryEntryPoint() {
        QFETCH(QString, state);
        m_model->appliedKeyMappings = {tapItem('F', QPointF(0.5, 0.5)),
                                       tapItem(kShift, QPointF(0.5, 0.5)),
                                       tapItem(KeyMappingInputEngine::kRightButtonKey, {})};
        m_host->panel = state == QStringLiteral("panel");
        m_host->ime = state == QStringLiteral("ime");
        m_host->idle = state == QStringLiteral("idle");
        QVERIFY(!m_engine->handleKeyDown(down('F')));
        QVERIFY(!m_engine->handleKeyUp(up('F')));
        QVERIFY(!m_engine->handleFlagsChanged(shift(true)));
        QVERIFY(!m_engine->acceptsMouseInput());
        QVERIFY(m_host->contacts.isEmpty());
    }

    void pendingCaptureTakesKeysWithThePanelOpen() {
        KeyMappingItem item = tapItem('F', QPointF(0.5, 0.5));
        m_model->keyMappings = {item};
        m_model->beginKeyCapture(item.id, std::nullopt);
        m_host->panel = true;
        QVERIFY(m_engine->handleKeyDown(down('G')));
        QVERIFY(m_host->contacts.isEmpty());
    }

    // A mapped key is a game control and keeps its name; any other key, one that types text or
    // one that types nothing, shows neither its characters nor its codes.
    void keyLines() {
        LineCapture lines;
        m_model->appliedKeyMappings = {tapItem('F', QPointF(0.5, 0.5))};
        m_engine->handleKeyDown(down('F'));
        m_engine->handleKeyUp(up('F'));
        m_engine->handleKeyDown(down('G'));
        constexpr int kF1 = 112;
        m_engine->handleKeyDown(
            {KeyEventRecord::Type::keyDown, macKeyCode(kF1), QString(), 0, false});
        const QString f = QString::number(macKeyCode('F'));
        QCOMPARE(
            LineCapture::console(),
            (QStringList{QStringLiteral("[KEYMAPPING] keyEvent characters=f eventKeyCode=") + f +
                             QStringLiteral(" eventWindowsKey=70 matched=true "
                                            "mappingKey=F mappingMacKeyCode=") +
                             f +
                             QStringLiteral(" mappingWindowsKey=70 "
                                            "mappingSecondWindowsKey=nil"),
                         QStringLiteral("[KEYMAPPING] keyEvent characters=*** "
                                        "eventKeyCode=*** eventWindowsKey=*** matched=false"),
                         QStringLiteral("[KEYMAPPING] keyEvent characters=*** "
                                        "eventKeyCode=*** eventWindowsKey=*** matched=false")}));
    }
};

QTEST_MAIN(KeyMappingInputEngineTest)
#include "tst_KeyMappingInputEngine.moc"
