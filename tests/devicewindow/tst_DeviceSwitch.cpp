// A device window switched to another device, from its strip (下一台, which the page answers
// with "cloudphone-open-at-exist" as the built-in page does) or by the page on its own: every way
// the window acts on a device reaches the new device and none reaches the old one, and key
// mapping turns exactly the keys of the markers shown into touches.
#include "DeviceWindowTestSupport.h"
#include "HeldKey.h"
#include "KeyMappingTestSupport.h"
#include "PlayingDevices.h"
#include "SwitchingPage.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/FileRevealer.h"
#include "devicewindow/KeyMappingMarkerView.h"
#include "devicewindow/KeyMappingOverlayController.h"
#include "devicewindow/MouseLookCursor.h"
#include "devicewindow/WindowToolbarController.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"
#include "session/DeviceTouchName.h"
#include "web/CloudphoneMessageHandler.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QJsonObject>
#include <QMenu>
#include <QStandardPaths>
#include <QToolButton>

#include <thread>

namespace {

constexpr qint64 kOld = 7101;
constexpr qint64 kNew = 7102;
constexpr qint64 kFollower = 7103;
const QString kRace = QStringLiteral("com.example.race");
const QString kShooter = QStringLiteral("com.example.shooter");

QString phase(TouchPhase phase) {
    switch (phase) {
        case TouchPhase::begin:
            return QStringLiteral("touch:begin");
        case TouchPhase::move:
            return QStringLiteral("touch:move");
        case TouchPhase::end:
            return QStringLiteral("touch:end");
    }
    return {};
}

// What the device received, in order within each kind: touches, then keys, texts and
// settings, then snapshots.
QStringList received(qint64 id) {
    simulated(id)->drain();
    QStringList records;
    for (const TouchRecord& touch : simulated(id)->touches()) {
        records << phase(touch.phase);
    }
    for (const DeviceControl& control : simulated(id)->controls()) {
        switch (control.kind) {
            case DeviceControl::Kind::functionKey:
                records << QStringLiteral("key:%1").arg(control.value);
                break;
            case DeviceControl::Kind::text:
                records << QStringLiteral("text:") + control.text.value_or(QString());
                break;
            case DeviceControl::Kind::clipboard:
                records << QStringLiteral("clipboard:") + control.text.value_or(QString());
                break;
            case DeviceControl::Kind::videoQuality:
                records << QStringLiteral("quality:%1").arg(control.value);
                break;
            default:
                records << QStringLiteral("control:%1").arg(int(control.kind));
                break;
        }
    }
    for (qsizetype i = 0; i < simulated(id)->previewRequests().size(); ++i) {
        records << QStringLiteral("snapshot");
    }
    return records;
}

QString key(DeviceTouchName name) {
    return QStringLiteral("key:%1").arg(sdkCode(name));
}

const QStringList kTap{"touch:begin", "touch:move", "touch:end"};

// The lines that name a device as the one input goes to or the keyboard focus belongs to.
QStringList linesNaming(qint64 id) {
    const QString to = QStringLiteral("到设备:%1").arg(id);
    const QString responder = QStringLiteral("Responder 设备 %1 ").arg(id);
    QStringList found;
    for (const QString& line : LineCapture::console() + LineCapture::log()) {
        if (line.contains(to) || line.contains(responder)) {
            found << line;
        }
    }
    return found;
}

QStringList responderLines(qint64 id) {
    QStringList found;
    for (const QString& line : LineCapture::console() + LineCapture::log()) {
        const qsizetype at = line.indexOf(QStringLiteral("🟢Responder 设备 %1 - ").arg(id));
        if (at >= 0) {
            found << line.mid(at);
        }
    }
    // Console and log lines come apart, so their order between them is not kept.
    found.sort();
    return found;
}

DeviceTextInput* focusOf(AspectRatioWindowController* window) {
    return qobject_cast<DeviceTextInput*>(window->window()->focusWidget());
}

void typeKey(AspectRatioWindowController* window, Qt::Key key,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(focusOf(window), key, modifiers);
}

KeyMappingItem tapOn(int windowsKey) {
    KeyMappingItem item(KeyMappingType::tap, QPointF(0.4, 0.6));
    item.windowsKey = windowsKey;
    return item;
}

void click(AspectRatioWindowController* window, ControlButtonID id) {
    window->controlButtonController().controlButton(id)->click();
}

// The markers the user sees: the layer is shown and lies over the device's picture.
QStringList shownMarkers(AspectRatioWindowController* window) {
    const QWidget* overlay = window->keyMappingOverlayController().keyMappingOverlayContainer();
    const QWidget* player = communicator().playerView(window->deviceKey());
    const QObjectList& layers = window->mainView()->children();
    if (!overlay || !overlay->isVisibleTo(window->window()) ||
        (player && layers.indexOf(overlay) < layers.indexOf(player))) {
        return {};
    }
    QStringList titles;
    for (const KeyMappingMarkerView* marker :
         window->keyMappingOverlayController().keyMappingOverlayContainer()->markers()) {
        titles << marker->displayTitle();
    }
    titles.sort();
    return titles;
}

// Of the keys of both games' plans, those that put a touch on the window's device.
QStringList keysThatTouch(AspectRatioWindowController* window) {
    QStringList keys;
    for (const Qt::Key key : {Qt::Key_E, Qt::Key_Q, Qt::Key_R}) {
        simulated(window->deviceID())->clearRecords();
        typeKey(window, key);
        if (received(window->deviceID()).contains(QStringLiteral("touch:begin"))) {
            keys << QKeySequence(key).toString();
        }
    }
    return keys;
}

void clickKeyMappingButton(AspectRatioWindowController* window) {
    click(window, ControlButtonID::keyboardMapping);
}

}  // namespace

class DeviceSwitchTest : public QObject {
    Q_OBJECT

    // One way the window acts on its device, and what the device receives from it.
    struct Door {
        QString name;
        std::function<void(AspectRatioWindowController*)> act;
        QStringList received;
        // `received` arrives whole at least twice, as from a held key.
        bool repeats = false;
        // What else tells where the action went, when the device records nothing of it.
        std::function<QStringList()> alsoSeen;
    };

    PlayingDevices m_devices;
    std::unique_ptr<LineCapture> m_lines;
    std::unique_ptr<CloudphoneMessageHandler> m_handler;
    SwitchingPage m_page{{kOld, kNew}};
    QList<QUrl> m_revealed;
    // The main window, key while the page switches a window on its own.
    QWidget m_pageWindow;

    static bool isActive(QWidget* window) {
        window->activateWindow();
        return QTest::qWaitFor([window] { return window->isActiveWindow(); });
    }

    // A's window, switched to B from the strip or by the page, showing B's picture and taking
    // the keyboard, with nothing yet sent to either device or written since.
    AspectRatioWindowController* switched(const QString& via) {
        AspectRatioWindowController* window = PlayingDevices::open(kOld);
        if (!window || !isActive(window->window())) {
            return nullptr;
        }
        if (via == QLatin1String("strip")) {
            click(window, ControlButtonID::next);
        } else {
            // The user works in the main window when the page switches.
            m_pageWindow.show();
            if (!isActive(&m_pageWindow)) {
                return nullptr;
            }
            m_page.openAtExist(kOld, kNew);
        }
        if (!QTest::qWaitFor([window] { return window->deviceID() == kNew; }) ||
            !PlayingDevices::waitForFirstFrame(window) || !isActive(window->window())) {
            return nullptr;
        }
        m_pageWindow.hide();
        simulated(kOld)->drain();
        simulated(kNew)->drain();
        QCoreApplication::processEvents();
        simulated(kOld)->clearRecords();
        simulated(kNew)->clearRecords();
        LineCapture::clear();
        m_page.messages.clear();
        return window;
    }

    // What came of the window's action besides the device's records: the page's messages, files
    // saved and revealed, the picture's turn, the state of input sync.
    QStringList effects(AspectRatioWindowController* window) const {
        QStringList found = m_page.messages;
        for (const QUrl& file : m_revealed) {
            found << QStringLiteral("saved:") + file.fileName();
        }
        const CloudPhonePlayerView* player = communicator().playerView(window->deviceKey());
        if (player && player->currentRotationDegrees() != 0) {
            found << QStringLiteral("turned:%1").arg(player->currentRotationDegrees());
        }
        if (const auto main = communicator().inputSyncMainDeviceID()) {
            found << QStringLiteral("sync:%1:%2")
                         .arg(*main)
                         .arg(communicator().isInputSyncEnabled() ? "on" : "paused");
        }
        return found;
    }

    QList<Door> doors() {
        const QString downloads =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        QList<Door> all = {
            {"typed text", [](auto* window) { typeKey(window, Qt::Key_A); }, {"text:a"}},
            {"input method text",
             [](auto* window) {
                 QInputMethodEvent composing(QStringLiteral("ni"), {});
                 QCoreApplication::sendEvent(focusOf(window), &composing);
                 QInputMethodEvent committed;
                 committed.setCommitString(QStringLiteral("你"));
                 QCoreApplication::sendEvent(focusOf(window), &committed);
             },
             {"text:你"}},
            {"Return",
             [](auto* window) { typeKey(window, Qt::Key_Return); },
             {key(DeviceTouchName::keyboardEnter)}},
            {"Backspace",
             [](auto* window) { typeKey(window, Qt::Key_Backspace); },
             {key(DeviceTouchName::keyboardBackSpace)}},
            {"arrows",
             [](auto* window) {
                 for (const Qt::Key arrow :
                      {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right}) {
                     typeKey(window, arrow);
                 }
             },
             {key(DeviceTouchName::keyboardUp), key(DeviceTouchName::keyboardDown),
              key(DeviceTouchName::keyboardLeft), key(DeviceTouchName::keyboardRight)}},
            {"paste",
             [](auto* window) {
                 QGuiApplication::clipboard()->setText(QStringLiteral("粘贴"));
                 typeKey(window, Qt::Key_V, Qt::ControlModifier);
             },
             {"clipboard:粘贴", "text:粘贴"}},
            {"mapped tap",
             [](auto* window) {
                 applyPlan(window, {tapOn('Q')});
                 typeKey(window, Qt::Key_Q);
             },
             kTap},
            {"held tap key",
             [](auto* window) {
                 applyPlan(window, {tapOn('Q')});
                 QTest::keyPress(focusOf(window), Qt::Key_Q);
                 (void)QTest::qWaitFor([] { return received(kNew).count("touch:begin") >= 2; });
                 QTest::keyRelease(focusOf(window), Qt::Key_Q);
             },
             kTap, true},
            {"move",
             [](auto* window) {
                 applyPlan(window, {KeyMappingItem(KeyMappingType::move, QPointF(0.3, 0.7))});
                 typeKey(window, Qt::Key_W);
             },
             {"touch:begin", "touch:move", "touch:move", "touch:move", "touch:end"}},
            {"mouse look",
             [](auto* window) {
                 ImportedMouseConfiguration mouse;
                 mouse.drag = ImportedMouseConfiguration::Drag{};
                 mouse.drag->windowsKey = 'F';
                 mouse.drag->mode = ImportedMouseConfiguration::DragMode::view;
                 mouse.drag->normalizedPoint = QPointF(0.5, 0.5);
                 applyPlan(window, {}, mouse);
                 window->input().setMouseLookCursor(std::make_unique<FreeMouseLookCursor>());
                 QTest::keyPress(focusOf(window), Qt::Key_F);
                 QWidget* touchView = communicator().playerView(window->deviceKey())->touchView();
                 const QPoint to = QCursor::pos() + QPoint(30, 0);
                 QMouseEvent move(QEvent::MouseMove, touchView->mapFromGlobal(QPointF(to)),
                                  QPointF(to), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                 QCoreApplication::sendEvent(touchView, &move);
                 QTest::keyRelease(focusOf(window), Qt::Key_F);
             },
             {"touch:begin", "touch:move", "touch:move", "touch:move", "touch:end"}},
            {"rotation",
             [](auto* window) { click(window, ControlButtonID::rotation); },
             {"turned:90"}},
            {"snapshot",
             [this, downloads](auto* window) {
                 QFile::remove(QDir(downloads).filePath(QStringLiteral("%1截图.webp").arg(kNew)));
                 click(window, ControlButtonID::snapshot);
                 (void)QTest::qWaitFor([this] { return !m_revealed.isEmpty(); });
             },
             {"snapshot", QStringLiteral("saved:%1截图.webp").arg(kNew)}},
            {"quality",
             [](auto* window) {
                 window->toolbarController().qualityBtn()->click();
                 QMenu* menu = window->toolbarController().qualityPopupMenu();
                 for (QAction* entry : menu->actions()) {
                     if (entry->text() == QStringLiteral("流畅")) {
                         entry->trigger();
                     }
                 }
                 menu->close();
             },
             {"quality:1024"}},
            {"input sync",
             [](auto* window) {
                 communicator().enableInputSync(window->deviceKey(), {QString::number(kFollower)});
                 window->updateInputSyncToolbarItem();
                 window->toolbarController().inputSyncToolbarButton()->click();
             },
             {"status:0", QStringLiteral("sync:%1:paused").arg(kNew)}},
            {"keyboard focus",
             [this](auto* window) {
                 m_pageWindow.show();
                 isActive(&m_pageWindow);
                 isActive(window->window());
             },
             {QStringLiteral("🟢Responder 设备 %1 - becomeFirstResponder").arg(kNew),
              QStringLiteral("🟢Responder 设备 %1 - resignFirstResponder").arg(kNew)},
             false,
             [] { return responderLines(kNew); }},
        };
        // The strip's device keys.
        const std::pair<ControlButtonID, DeviceTouchName> deviceKeys[] = {
            {ControlButtonID::back, DeviceTouchName::back},
            {ControlButtonID::home, DeviceTouchName::home},
            {ControlButtonID::overview, DeviceTouchName::overview},
            {ControlButtonID::volumeUp, DeviceTouchName::volumeUp},
            {ControlButtonID::volumeDown, DeviceTouchName::volumeDown}};
        for (const auto& [button, name] : deviceKeys) {
            all.append(
                {rawValue(button), [button](auto* window) { click(window, button); }, {key(name)}});
        }
        return all;
    }

private Q_SLOTS:
    void initTestCase() {
        m_lines = std::make_unique<LineCapture>();
        QVERIFY(m_devices.setUp());
        for (const qint64 id : {kOld, kNew, kFollower}) {
            QVERIFY(PlayingDevices::add(id));
        }
        CloudphoneMessageHandler::Environment environment =
            CloudphoneMessageHandler::Environment::shared();
        environment.sendBatchControlStatus = [this](int status) {
            m_page.messages << QStringLiteral("page status:%1").arg(status);
        };
        m_handler = std::make_unique<CloudphoneMessageHandler>(environment);
        m_page.handler = m_handler.get();
        DeviceWindowPageLink::install(&m_page);
        FileRevealer::setHandler([this](const QUrl& file) { m_revealed << file; });
        // Each game has a plan of its own in the plan package, unpacked as if earlier.
        const QString package = keyMappingRoot() + QStringLiteral("package_configs_1005/");
        QVERIFY(
            writeFile(package + QStringLiteral("dir_kmps.dir"),
                      R"({"kmps":[{"packageNamePattern":"com.example.race","fileName":"race.kmp"},
                              {"packageNamePattern":"com.example.shooter","fileName":"shooter.kmp"}]})"));
        QVERIFY(writeFile(package + QStringLiteral("race.kmp"),
                          R"({"keyboardMappings":[{"class":"ClassKeyboardPoint",
                              "data":{"key":81,"point":{"x":5000,"y":5000}}}]})"));
        QVERIFY(writeFile(package + QStringLiteral("shooter.kmp"),
                          R"({"keyboardMappings":[{"class":"ClassKeyboardPoint",
                              "data":{"key":69,"point":{"x":3000,"y":6000}}},
                              {"class":"ClassKeyboardPoint",
                              "data":{"key":82,"point":{"x":7000,"y":6000}}}]})"));
        m_pageWindow.setWindowTitle(QStringLiteral("page"));
        m_pageWindow.resize(300, 200);
    }

    void cleanup() {
        PlayingDevices::closeAll();
        communicator().disableInputSync();
        for (const QUrl& file : std::as_const(m_revealed)) {
            QFile::remove(file.toLocalFile());
        }
        m_revealed.clear();
        m_page.messages.clear();
        m_pageWindow.hide();
        LineCapture::clear();
    }

    void cleanupTestCase() {
        FileRevealer::setHandler({});
        DeviceWindowPageLink::install(nullptr);
        m_handler.reset();
        m_lines.reset();
        PlayingDevices::tearDown();
    }

    void afterASwitchEachDoorActsOnTheNewDevice_data() {
        QTest::addColumn<QString>("via");
        QTest::addColumn<int>("door");
        const QList<Door> all = doors();
        for (const char* via : {"strip", "page"}) {
            for (qsizetype index = 0; index < all.size(); ++index) {
                QTest::addRow("%s, switched from the %s", qPrintable(all[index].name), via)
                    << QString::fromLatin1(via) << int(index);
            }
        }
    }
    void afterASwitchEachDoorActsOnTheNewDevice() {
        QFETCH(QString, via);
        QFETCH(int, door);
        const Door row = doors().at(door);
        AspectRatioWindowController* window = switched(via);
        QVERIFY(window);
        QCOMPARE(window->window()->windowTitle(), QStringLiteral("P%1").arg(kNew));
        QVERIFY(focusOf(window));

        row.act(window);

        const auto arrived = [&] {
            return received(kNew) + effects(window) +
                   (row.alsoSeen ? row.alsoSeen() : QStringList());
        };
        if (row.repeats) {
            QTRY_VERIFY(!arrived().isEmpty() && arrived().size() % row.received.size() == 0);
            const QStringList all = arrived();
            QVERIFY2(all.size() >= 2 * row.received.size(), qPrintable(all.join(' ')));
            for (qsizetype at = 0; at < all.size(); at += row.received.size()) {
                QCOMPARE(all.mid(at, row.received.size()), row.received);
            }
        } else {
            QTRY_COMPARE(arrived().join(u' '), row.received.join(u' '));
        }
        QCOMPARE(received(kOld), QStringList());
        QCOMPARE(linesNaming(kOld), QStringList());
    }

    // A window newly opened on the new device applies no plan until its panel opens; an open
    // panel matches the plan of the game in front there.
    void afterASwitchTheMarkersShownAreTheKeysThatTouch_data() {
        QTest::addColumn<bool>("panelOpen");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("panel shut") << false << QStringList();
        QTest::newRow("panel open") << true << QStringList{"E", "R"};
    }
    void afterASwitchTheMarkersShownAreTheKeysThatTouch() {
        QFETCH(bool, panelOpen);
        QFETCH(QStringList, shown);
        simulated(kOld)->setForegroundApp(kRace);
        simulated(kNew)->setForegroundApp(kShooter);
        AspectRatioWindowController* window = PlayingDevices::openActive(kOld);
        QVERIFY(window && isActive(window->window()));
        KeyMappingViewModel& model = window->keyMappingViewModel();
        clickKeyMappingButton(window);
        QTRY_COMPARE(model.appliedKeyMappings.size(), 1);
        if (!panelOpen) {
            clickKeyMappingButton(window);
            QTRY_COMPARE(shownMarkers(window), QStringList{"Q"});
            QCOMPARE(keysThatTouch(window), QStringList{"Q"});
        }

        click(window, ControlButtonID::next);
        QTRY_COMPARE(window->deviceID(), kNew);
        QVERIFY(PlayingDevices::waitForFirstFrame(window));
        simulated(kOld)->drain();
        simulated(kOld)->clearRecords();
        if (panelOpen) {
            QTRY_COMPARE(model.appliedKeyMappings.size(), 2);
            clickKeyMappingButton(window);
        }

        QTRY_COMPARE(shownMarkers(window), shown);
        QVERIFY(focusOf(window));
        QCOMPARE(keysThatTouch(window), shownMarkers(window));
        QCOMPARE(received(kOld), QStringList());
    }

    // The old device's input method open at the switch, or its report arriving after the switch
    // (from the session's thread too, queued behind the switch), or a key held down through the
    // switch: mapped keys on the new device still touch, and what was typed or composed for the
    // old device is gone. A key held through the switch, mapped or not, does nothing on the new
    // device while it repeats, in whatever form the platform repeats it, and when it is let go;
    // pressed anew it acts there.
    void afterASwitchTheKeyboardStartsOver_data() {
        QTest::addColumn<QString>("oldReport");
        // None, or Q (mapped on both devices) or A (typing).
        QTest::addColumn<int>("heldKey");
        QTest::addColumn<RepeatForm>("repeats");
        QTest::newRow("open at the switch") << "before" << 0 << RepeatForm{};
        QTest::newRow("reported after the switch") << "after" << 0 << RepeatForm{};
        QTest::newRow("queued behind the switch") << "behind" << 0 << RepeatForm{};
        const std::pair<const char*, RepeatForm> forms[] = {
            {"unmarked pairs", RepeatForm::unmarkedPair},
            {"marked pairs", RepeatForm::markedPair},
            {"presses alone", RepeatForm::pressAlone}};
        for (const auto& [name, form] : forms) {
            for (const Qt::Key key : {Qt::Key_Q, Qt::Key_A}) {
                QTest::addRow("%s held through the switch, repeating as %s",
                              key == Qt::Key_Q ? "mapped key" : "text key", name)
                    << "none" << int(key) << form;
            }
        }
    }
    void afterASwitchTheKeyboardStartsOver() {
        QFETCH(QString, oldReport);
        QFETCH(int, heldKey);
        QFETCH(RepeatForm, repeats);
        AspectRatioWindowController* window = PlayingDevices::open(kOld);
        QVERIFY(window && isActive(window->window()));
        const auto reportOpen = [window](qint64 id) {
            window->connection().didUpdateKeyboardState(QString::number(id), {true});
        };
        typeKey(window, Qt::Key_X);
        QInputMethodEvent composing(QStringLiteral("ni"), {});
        QCoreApplication::sendEvent(focusOf(window), &composing);
        if (oldReport == QLatin1String("before")) {
            reportOpen(kOld);
        }
        std::optional<HeldKey> held;
        if (heldKey) {
            applyPlan(window, {tapOn('Q')});
            held.emplace(focusOf(window), Qt::Key(heldKey),
                         QKeySequence(heldKey).toString().toLower(), repeats);
            held->press();
            held->repeat();
        }
        click(window, ControlButtonID::next);
        if (oldReport == QLatin1String("behind")) {
            std::thread(reportOpen, kOld).join();
        }
        QTRY_COMPARE(window->deviceID(), kNew);
        QVERIFY(PlayingDevices::waitForFirstFrame(window) && isActive(window->window()));
        if (oldReport == QLatin1String("after")) {
            reportOpen(kOld);
        }
        simulated(kNew)->drain();
        QCoreApplication::processEvents();
        simulated(kNew)->clearRecords();
        QVERIFY(!focusOf(window)->hasMarkedText());

        applyPlan(window, {tapOn('Q')});
        if (held) {
            for (int repeat = 0; repeat < 5; ++repeat) {
                QTest::qWait(40);  // the pace of X's repeats
                held->repeat();
            }
            held->release();
            QTRY_VERIFY(!focusOf(window)->isKeyReleaseWaiting());
            QCOMPARE(received(kNew), QStringList());
        }
        typeKey(window, Qt::Key_Q);
        typeKey(window, Qt::Key_A);
        QTRY_COMPARE(received(kNew), kTap + QStringList{"text:a"});
        QCOMPARE(focusOf(window)->inputBuffer(), QStringLiteral("a"));
        // The new device's own report counts.
        reportOpen(kNew);
        simulated(kNew)->clearRecords();
        typeKey(window, Qt::Key_Q);
        QTRY_COMPARE(received(kNew), QStringList{"text:q"});
    }
};

QTEST_MAIN(DeviceSwitchTest)
#include "tst_DeviceSwitch.moc"
