// A key held on a real X server, pressed and released through XTEST as a keyboard would, the
// server repeating it while held: the device window reads it as one press. The test runs itself
// again on an X server of its own, with Qt's X platform.
#include "DeviceWindowTestSupport.h"
#include "DisplayServers.h"
#include "KeyMappingTestSupport.h"
#include "PlayingDevices.h"
#include "SwitchingPage.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/X11AutoRepeat.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <optional>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

constexpr qint64 kFirst = 7201;
constexpr qint64 kSecond = 7202;
const char* const kOnOwnDisplay = "KX_HELD_KEY_ON_OWN_DISPLAY";
constexpr xcb_keysym_t kKeysymW = 'w';

// The test's own connection to the X server, whose fake key events reach the window with the
// input focus as a keyboard's do.
class XKeyboard {
public:
    XKeyboard() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~XKeyboard() { xcb_disconnect(m_connection); }
    XKeyboard(const XKeyboard&) = delete;
    XKeyboard& operator=(const XKeyboard&) = delete;

    bool isOpen() const { return xcb_connection_has_error(m_connection) == 0; }

    // The server repeats held keys, at its own delay and rate.
    bool turnAutoRepeatOn() {
        const uint32_t on = XCB_AUTO_REPEAT_MODE_ON;
        xcb_generic_error_t* error = xcb_request_check(
            m_connection,
            xcb_change_keyboard_control_checked(m_connection, XCB_KB_AUTO_REPEAT_MODE, &on));
        std::free(error);
        return error == nullptr;
    }

    std::optional<xcb_keycode_t> keycodeOf(xcb_keysym_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
            m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count),
            nullptr);
        std::optional<xcb_keycode_t> found;
        if (mapping) {
            const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping);
            const int perKey = mapping->keysyms_per_keycode;
            for (int index = 0; index < count * perKey && !found; ++index) {
                if (symbols[index] == keysym) {
                    found = xcb_keycode_t(setup->min_keycode + index / perKey);
                }
            }
        }
        std::free(mapping);
        return found;
    }

    void press(xcb_keycode_t key) { fake(XCB_KEY_PRESS, key); }
    void release(xcb_keycode_t key) { fake(XCB_KEY_RELEASE, key); }

private:
    // Done once the server answers a request sent after it.
    void fake(uint8_t type, xcb_keycode_t key) {
        xcb_test_fake_input(m_connection, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    xcb_connection_t* m_connection;
};

// What a device received as touches and text: "touch:begin", "touch:end" and "text:…".
QStringList received(qint64 id) {
    simulated(id)->drain();
    QStringList records;
    for (const TouchRecord& touch : simulated(id)->touches()) {
        if (touch.phase == TouchPhase::begin) {
            records << QStringLiteral("touch:begin");
        } else if (touch.phase == TouchPhase::end) {
            records << QStringLiteral("touch:end");
        }
    }
    for (const DeviceControl& control : simulated(id)->controls()) {
        if (control.kind == DeviceControl::Kind::text) {
            records << QStringLiteral("text:") + control.text.value_or(QString());
        }
    }
    return records;
}

bool isActive(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitFor([window] { return window->isActiveWindow(); });
}

// The key events the device windows' keyboard focus received, repeats among them.
class KeyCounter : public QObject {
public:
    int presses = 0;
    int releases = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (qobject_cast<DeviceTextInput*>(watched)) {
            presses += event->type() == QEvent::KeyPress;
            releases += event->type() == QEvent::KeyRelease;
        }
        return false;
    }
};

}  // namespace

class HeldKeyOnXTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;
    std::unique_ptr<LineCapture> m_lines;
    std::unique_ptr<CloudphoneMessageHandler> m_handler;
    SwitchingPage m_page{{kFirst, kSecond}};
    XKeyboard m_keyboard;
    xcb_keycode_t m_w = 0;
    KeyCounter m_keys;

    static void applyMovePlan(AspectRatioWindowController* window) {
        applyPlan(window, {KeyMappingItem(KeyMappingType::move, QPointF(0.3, 0.7))});
    }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(X11AutoRepeat::repeatWithPressesOnly());
        QVERIFY(m_keyboard.isOpen());
        QVERIFY(m_keyboard.turnAutoRepeatOn());
        const std::optional<xcb_keycode_t> w = m_keyboard.keycodeOf(kKeysymW);
        QVERIFY(w);
        m_w = *w;
        m_lines = std::make_unique<LineCapture>();
        QVERIFY(m_devices.setUp());
        for (const qint64 id : {kFirst, kSecond}) {
            QVERIFY(PlayingDevices::add(id));
        }
        m_handler = std::make_unique<CloudphoneMessageHandler>(
            CloudphoneMessageHandler::Environment::shared());
        m_page.handler = m_handler.get();
        DeviceWindowPageLink::install(&m_page);
        qApp->installEventFilter(&m_keys);
    }

    void cleanup() {
        m_keyboard.release(m_w);
        PlayingDevices::closeAll();
        LineCapture::clear();
    }

    void cleanupTestCase() {
        qApp->removeEventFilter(&m_keys);
        DeviceWindowPageLink::install(nullptr);
        m_handler.reset();
        m_lines.reset();
        PlayingDevices::tearDown();
    }

    // W held 1.5 s while the server repeats it: a move contact goes down once and lifts once;
    // held through 下一台, nothing reaches the new device until W is pressed anew.
    void aHeldKeyIsOnePress_data() {
        QTest::addColumn<bool>("movePlan");
        QTest::addColumn<bool>("switchWhileHeld");
        QTest::newRow("W held, move plan in force") << true << false;
        QTest::newRow("W held through 下一台, no plan") << false << true;
        QTest::newRow("W held through 下一台, move plan in force") << true << true;
    }
    void aHeldKeyIsOnePress() {
        QFETCH(bool, movePlan);
        QFETCH(bool, switchWhileHeld);
        AspectRatioWindowController* window = PlayingDevices::open(kFirst);
        QVERIFY(window && isActive(window->window()));
        QTRY_VERIFY(window->window()->focusWidget() == window->input().deviceTextInput());
        if (movePlan) {
            applyMovePlan(window);
        }
        for (const qint64 id : {kFirst, kSecond}) {
            simulated(id)->drain();
            simulated(id)->clearRecords();
        }
        m_keys.presses = 0;
        m_keys.releases = 0;

        QElapsedTimer held;
        held.start();
        m_keyboard.press(m_w);
        if (switchWhileHeld) {
            // Past the server's repeat delay: the key repeats before and after the switch.
            QTest::qWait(800);
            window->controlButtonController().controlButton(ControlButtonID::next)->click();
            QTRY_COMPARE(window->deviceID(), kSecond);
            QVERIFY(PlayingDevices::waitForFirstFrame(window) && isActive(window->window()));
            if (movePlan) {
                applyMovePlan(window);
            }
        }
        // W stays down 1.5 s in all, the server repeating it meanwhile.
        QTest::qWait(int(std::max<qint64>(0, 1500 - held.elapsed())));
        m_keyboard.release(m_w);
        QTRY_COMPARE(m_keys.releases, 1);
        // The server repeated the key with presses alone.
        QVERIFY2(m_keys.presses >= 10,
                 qPrintable(QStringLiteral("%1 presses").arg(m_keys.presses)));

        if (!switchWhileHeld) {
            QTRY_COMPARE(received(kFirst), (QStringList{"touch:begin", "touch:end"}));
            return;
        }
        QCOMPARE(received(kSecond), QStringList());
        m_keyboard.press(m_w);
        m_keyboard.release(m_w);
        const QStringList anew = movePlan ? QStringList{"touch:begin", "touch:end"}
                                          : QStringList{QStringLiteral("text:w")};
        QTRY_COMPARE(received(kSecond), anew);
    }

    // J held during a key capture with the panel open: the slot becomes J once the delay has
    // passed since the press, while the server still repeats J, and no repeat draws the markers
    // again; K pressed then makes no J+K.
    void keyCaptureReadsAHeldKeyAsOnePress() {
        AspectRatioWindowController* window = PlayingDevices::open(kFirst);
        QVERIFY(window && isActive(window->window()));
        QTRY_VERIFY(window->window()->focusWidget() == window->input().deviceTextInput());
        KeyMappingItem tap(KeyMappingType::tap, QPointF(0.4, 0.6));
        tap.windowsKey = 'E';
        applyPlan(window, {tap});
        window->keyMappingPanelController().setKeyMappingPanelVisible(true);
        const std::optional<xcb_keycode_t> j = m_keyboard.keycodeOf('j');
        const std::optional<xcb_keycode_t> k = m_keyboard.keycodeOf('k');
        QVERIFY(j && k);
        KeyMappingViewModel& model = window->keyMappingViewModel();
        model.beginKeyCapture(tap.id, std::nullopt);
        m_keys.presses = 0;
        m_keys.releases = 0;
        const auto markerLines = [] {
            return LineCapture::console().filter(QStringLiteral("[KEYMAPPING] id=")).size();
        };

        QElapsedTimer held;
        held.start();
        m_keyboard.press(*j);
        // Past the server's repeat delay, J repeats.
        QTRY_VERIFY(m_keys.presses >= 2);
        const qsizetype linesBeforeRepeats = markerLines();
        QTRY_VERIFY_WITH_TIMEOUT(!model.pendingKeyCapture, 10000);
        const qint64 committedAfter = held.elapsed();
        const int pressesUntilCommit = m_keys.presses;
        m_keyboard.press(*k);
        m_keyboard.release(*k);
        m_keyboard.release(*j);
        QTRY_COMPARE(m_keys.releases, 2);
        QVERIFY2(pressesUntilCommit >= 10, qPrintable(QString::number(pressesUntilCommit)));
        QCOMPARE_GE(committedAfter, qint64(model.captureCommitDelay * 1000));
        QCOMPARE(model.keyMappings.first().markerTitle(), QStringLiteral("J"));
        // Drawn again for the commit alone.
        QCOMPARE(markerLines() - linesBeforeRepeats, 1);
    }
};

// On first start the test brings up its X server and runs itself again there.
int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet(kOnOwnDisplay)) {
        QCoreApplication application(argc, argv);
        const VirtualDisplay display;
        if (!display.name()) {
            qCritical("no X server of the test's own (is Xvfb installed?)");
            return 1;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kOnOwnDisplay), QStringLiteral("1"));
        environment.insert(QStringLiteral("DISPLAY"), *display.name());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess test;
        test.setProcessEnvironment(environment);
        test.setProcessChannelMode(QProcess::ForwardedChannels);
        test.start(QCoreApplication::applicationFilePath(), application.arguments().mid(1));
        if (!test.waitForFinished(-1) || test.exitStatus() != QProcess::NormalExit) {
            return 1;
        }
        return test.exitCode();
    }
    QApplication application(argc, argv);
    HeldKeyOnXTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_HeldKeyOnX.moc"
