#include "DeviceWindowTestSupport.h"
#include "devicewindow/DeviceTextInput.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMainWindow>
#include <QTest>

namespace {

// One step typed into the widget: a key with modifiers and its text.
struct Stroke {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
};

}  // namespace

Q_DECLARE_METATYPE(Stroke)

class DeviceTextInputTest : public QObject {
    Q_OBJECT

    QString m_buffer;
    QString m_marked;
    QStringList m_sent;  // "text:…", "clip:…", "key:<n>"
    bool m_accepts = true;
    bool m_capturePending = false;
    bool m_mapsKeys = false;
    std::optional<QString> m_clipboard;
    QList<bool> m_mappedKeyUps;
    std::unique_ptr<QMainWindow> m_window;
    QPointer<DeviceTextInput> m_input;

    void send(const Stroke& stroke, QEvent::Type type = QEvent::KeyPress, bool repeat = false) {
        QKeyEvent event(type, stroke.key, stroke.modifiers, stroke.text, repeat);
        QCoreApplication::sendEvent(m_input, &event);
    }

private Q_SLOTS:
    void init() {
        m_buffer.clear();
        m_marked.clear();
        m_sent.clear();
        m_accepts = true;
        m_capturePending = false;
        m_mapsKeys = false;
        m_clipboard.reset();
        m_mappedKeyUps.clear();
        DeviceTextInputHooks hooks;
        hooks.deviceID = [] { return QStringLiteral("7"); };
        hooks.acceptsInput = [this] { return m_accepts; };
        hooks.isIMEInputActive = [] { return false; };
        hooks.isKeyCapturePending = [this] { return m_capturePending; };
        hooks.allowsInputMethod = [this] { return !m_mapsKeys; };
        hooks.keyMappingKeyDown = [this](QKeyEvent&) { return m_mapsKeys; };
        hooks.keyMappingKeyUp = [this](QKeyEvent& event) {
            m_mappedKeyUps.append(event.isAutoRepeat());
            return m_mapsKeys;
        };
        hooks.sendText = [this](const QString& text) { m_sent << QStringLiteral("text:") + text; };
        hooks.copyTextToPasteboard = [this](const QString& text) {
            m_sent << QStringLiteral("clip:") + text;
        };
        hooks.sendKey = [this](DeviceTouchName name) {
            m_sent << QStringLiteral("key:%1").arg(int(name) + 1);
        };
        hooks.clipboardText = [this] { return m_clipboard; };
        m_window = std::make_unique<QMainWindow>();
        m_window->setGeometry(100, 100, 400, 700);
        m_input = new DeviceTextInput(m_buffer, m_marked, std::move(hooks), m_window.get());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_input->setFocus();
    }
    void cleanup() { m_window.reset(); }

    void typing_data() {
        QTest::addColumn<QList<Stroke>>("strokes");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("buffer");
        const Stroke a{Qt::Key_A, {}, QStringLiteral("a")};
        const Stroke b{Qt::Key_B, {}, QStringLiteral("b")};
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QTest::newRow("letters") << QList<Stroke>{a, b} << QString()
                                 << QStringList{"text:a", "text:b"} << QStringLiteral("ab");
        QTest::newRow("return empties") << QList<Stroke>{a, {Qt::Key_Return, {}, "\r"}} << QString()
                                        << QStringList{"text:a", "key:13"} << QString();
        QTest::newRow("backspace on empty") << QList<Stroke>{{Qt::Key_Backspace, {}, "\b"}}
                                            << QString() << QStringList{"key:12"} << QString();
        QTest::newRow("backspace removes one character")
            << QList<Stroke>{a,
                             {Qt::Key_unknown, {}, QStringLiteral("👍🏽")},
                             {Qt::Key_Backspace, {}, "\b"}}
            << QString() << QStringList{"text:a", "text:👍🏽", "key:12"} << QStringLiteral("a");
        QTest::newRow("escape sends nothing") << QList<Stroke>{a, {Qt::Key_Escape, {}, "\x1b"}}
                                              << QString() << QStringList{"text:a"} << QString();
        QTest::newRow("arrows and delete")
            << QList<Stroke>{{Qt::Key_Up, {}, {}},
                             {Qt::Key_Down, {}, {}},
                             {Qt::Key_Left, {}, {}},
                             {Qt::Key_Right, {}, {}},
                             {Qt::Key_Delete, {}, "\x7f"}}
            << QString() << QStringList{"key:8", "key:9", "key:10", "key:11", "key:14"}
            << QString();
        QTest::newRow("tab sends nothing")
            << QList<Stroke>{{Qt::Key_Tab, {}, "\t"}} << QString() << QStringList{} << QString();
        QTest::newRow("paste") << QList<Stroke>{a, {Qt::Key_V, ctrl, "\x16"}}
                               << QStringLiteral("hi")
                               << QStringList{"text:a", "clip:hi", "text:hi"}
                               << QStringLiteral("ahi");
        QTest::newRow("paste of nothing")
            << QList<Stroke>{{Qt::Key_V, ctrl, "\x16"}} << QString() << QStringList{} << QString();
        QTest::newRow("copy and select all")
            << QList<Stroke>{a, {Qt::Key_C, ctrl, "\x03"}, {Qt::Key_A, ctrl, "\x01"}}
            << QStringLiteral("hi") << QStringList{"text:a"} << QStringLiteral("a");
        QTest::newRow("cut empties the buffer only")
            << QList<Stroke>{a, {Qt::Key_X, ctrl, "\x18"}} << QStringLiteral("hi")
            << QStringList{"text:a"} << QString();
        QTest::newRow("control characters are not text")
            << QList<Stroke>{{Qt::Key_B, ctrl, "\x02"}} << QString() << QStringList{} << QString();
    }
    void typing() {
        QFETCH(QList<Stroke>, strokes);
        QFETCH(QString, clipboard);
        QFETCH(QStringList, sent);
        QFETCH(QString, buffer);
        if (!clipboard.isEmpty()) {
            m_clipboard = clipboard;
        }
        for (const Stroke& stroke : strokes) {
            send(stroke);
        }
        QCOMPARE(m_sent, sent);
        QCOMPARE(m_buffer, buffer);
        QVERIFY(m_input->hasFocus());
    }

    void typedTextStaysOutOfTheConsole() {
        LineCapture lines;
        m_clipboard = QStringLiteral("secret");
        send({Qt::Key_S, {}, QStringLiteral("s")});
        send({Qt::Key_V, Qt::ControlModifier, "\x16"});
        send({Qt::Key_Return, {}, "\r"});
        QVERIFY(!LineCapture::console().join('\n').contains(QStringLiteral("secret")));
        QVERIFY(!LineCapture::log().join('\n').contains(QStringLiteral("secret")));
        QVERIFY(LineCapture::console().contains(
            QStringLiteral("✅ insertText: '<1 chars>' | 总内容: '<1 chars>'")));
        QVERIFY(LineCapture::logged(QStringLiteral("⏎ 回车键 - 内容: '<7 chars>'")));
    }

    void composition() {
        QInputMethodEvent preedit(QStringLiteral("ni"), {});
        QCoreApplication::sendEvent(m_input, &preedit);
        QVERIFY(m_sent.isEmpty());
        QCOMPARE(m_marked, QStringLiteral("ni"));
        QCOMPARE(m_input->markedLocation(), std::optional<int>(0));
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("你"));
        QCoreApplication::sendEvent(m_input, &commit);
        QCOMPARE(m_sent, QStringList{"text:你"});
        QVERIFY(m_marked.isEmpty());
        QCOMPARE(m_input->inputMethodQuery(Qt::ImCursorPosition).toInt(), 1);
    }

    void nothingReachesTheDeviceWithoutTheGuard() {
        m_accepts = false;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, {}, QStringLiteral("a"));
        QCoreApplication::sendEvent(m_input, &press);
        QVERIFY(!press.isAccepted());  // to the next responder
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("你"));
        QCoreApplication::sendEvent(m_input, &commit);
        m_clipboard = QStringLiteral("hi");
        m_input->pasteClipboardToDevice();
        QVERIFY(m_sent.isEmpty());
        QVERIFY(m_buffer.isEmpty());
    }

    void mappedKeysNeverBecomeText() {
        m_mapsKeys = true;
        send({Qt::Key_W, {}, QStringLiteral("w")});
        QVERIFY(m_sent.isEmpty());
        QVERIFY(!m_input->testAttribute(Qt::WA_InputMethodEnabled));
        m_mapsKeys = false;
        send({Qt::Key_W, {}, QStringLiteral("w")});
        QVERIFY(m_input->testAttribute(Qt::WA_InputMethodEnabled));
    }

    void autoRepeatReleasesAreDropped() {
        send({Qt::Key_W, {}, QStringLiteral("w")}, QEvent::KeyRelease, true);
        send({Qt::Key_W, {}, QStringLiteral("w")}, QEvent::KeyRelease, false);
        QCOMPARE(m_mappedKeyUps, QList<bool>{false});
    }

    void shortcutOverrideOnlyDuringACapture() {
        QKeyEvent idle(QEvent::ShortcutOverride, Qt::Key_V, Qt::ControlModifier);
        idle.ignore();
        QCoreApplication::sendEvent(m_input, &idle);
        QVERIFY(!idle.isAccepted());
        m_capturePending = true;
        QKeyEvent capturing(QEvent::ShortcutOverride, Qt::Key_V, Qt::ControlModifier);
        capturing.ignore();
        QCoreApplication::sendEvent(m_input, &capturing);
        QVERIFY(capturing.isAccepted());
    }

    void candidateWindowBelowTheMiddle() {
        const QRect frame = m_window->frameGeometry();
        QCOMPARE(m_input->firstRect(),
                 QRect(frame.left() + frame.width() / 2, frame.bottom() - 100, 1, 20));
    }
};

QTEST_MAIN(DeviceTextInputTest)
#include "tst_DeviceTextInput.moc"
