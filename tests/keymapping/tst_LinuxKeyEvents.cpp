#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/LinuxKeyEventTranslator.h"

#include <QKeyEvent>
#include <QTest>

using ScanCodes = LinuxKeyCodeTable::ScanCodes;

namespace {

constexpr quint32 kShift = KeyEventRecord::shiftFlag;

LinuxKeyInput press(int qtKey, quint32 scanCode = 0, Qt::KeyboardModifiers modifiers = {},
                    const QString& text = {}) {
    return {true, qtKey, scanCode, modifiers, text, false};
}

LinuxKeyInput release(int qtKey, quint32 scanCode = 0, Qt::KeyboardModifiers modifiers = {}) {
    return {false, qtKey, scanCode, modifiers, QString(), false};
}

QString describe(const QList<KeyEventRecord>& records) {
    QStringList parts;
    for (const KeyEventRecord& record : records) {
        static const char* types[] = {"down", "up", "flags"};
        parts.append(QStringLiteral("%1 %2 %3")
                         .arg(QLatin1String(types[int(record.type)]))
                         .arg(record.keyCode)
                         .arg(record.modifierFlags, 0, 16));
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace

class LinuxKeyEventsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Rows: a Qt key with its xkb scan code (0: none, as offscreen) and the stored key code.
    void mapsKeysToStoredKeyCodes_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<uint>("scanCode");
        QTest::addColumn<bool>("keypad");
        QTest::addColumn<int>("keyCode");
        const auto row = [](const char* name, int qtKey, uint scanCode, int keyCode,
                            bool keypad = false) {
            QTest::newRow(name) << qtKey << scanCode << keypad << keyCode;
        };
        row("A", Qt::Key_A, 38, 0);
        row("A offscreen", Qt::Key_A, 0, 0);
        row("Q", Qt::Key_Q, 24, 12);
        row("space", Qt::Key_Space, 65, 49);
        row("return", Qt::Key_Return, 36, 36);
        row("left shift", Qt::Key_Shift, 50, 56);
        row("right shift", Qt::Key_Shift, 62, 60);
        row("shift offscreen is left", Qt::Key_Shift, 0, 56);
        row("right control", Qt::Key_Control, 105, 62);
        row("left alt", Qt::Key_Alt, 64, 58);
        row("right alt as AltGr", Qt::Key_AltGr, 108, 61);
        row("left super", Qt::Key_Super_L, 133, 55);
        row("right super", Qt::Key_Meta, 134, 54);
        row("right super offscreen", Qt::Key_Super_R, 0, 54);
        row("left arrow", Qt::Key_Left, 113, 123);
        row("up arrow", Qt::Key_Up, 111, 126);
        row("right arrow", Qt::Key_Right, 114, 124);
        row("down arrow", Qt::Key_Down, 116, 125);
        row("down arrow offscreen", Qt::Key_Down, 0, 125);
        row("shifted digit offscreen", Qt::Key_Exclam, 0, 18);
        row("keypad 1 offscreen", Qt::Key_1, 0, 83, true);
        row("keypad home without num lock", Qt::Key_Home, 79, 89, true);
        row("W's place on another layout", 0x0446, 25, 13);
        row("key the original lacks", Qt::Key_VolumeUp, 123, 0x100 + 123);
    }

    void mapsKeysToStoredKeyCodes() {
        QFETCH(int, qtKey);
        QFETCH(uint, scanCode);
        QFETCH(bool, keypad);
        QFETCH(int, keyCode);
        const Qt::KeyboardModifiers modifiers =
            keypad ? Qt::KeypadModifier : Qt::KeyboardModifiers();
        QCOMPARE(int(LinuxKeyCodeTable::macKeyCode(qtKey, scanCode, modifiers, ScanCodes::xkb)),
                 keyCode);
    }

    void withoutXkbTheQtKeyDecides() {
        QCOMPARE(LinuxKeyCodeTable::macKeyCode(Qt::Key_A, 24, {}, ScanCodes::none), quint16(0));
        QVERIFY(LinuxKeyCodeTable::macKeyCode(Qt::Key_VolumeUp, 0, {}, ScanCodes::none) >=
                LinuxKeyCodeTable::kFirstUnmappedCode);
    }

    // Either Shift, and A with or without a scan code, are one key each.
    void oneKeyOneToken() {
        const auto token = [](int qtKey, quint32 scanCode) {
            LinuxKeyEventTranslator translator(ScanCodes::xkb);
            const KeyEventRecord record = translator.translate(press(qtKey, scanCode)).constLast();
            const auto modifier = KeyMappingViewModel::modifierKeyForKeyCode(record.keyCode);
            return modifier ? modifier->token()
                            : KeyMappingViewModel::capturedKeyForEvent(record).token();
        };
        QCOMPARE(token(Qt::Key_Shift, 50), QStringLiteral("w16"));
        QCOMPARE(token(Qt::Key_Shift, 62), QStringLiteral("w16"));
        QCOMPARE(token(Qt::Key_A, 38), QStringLiteral("w65"));
        QCOMPARE(token(Qt::Key_A, 0), QStringLiteral("w65"));
    }

    // Rows: presses (+) and releases (-) of keys, and the records that come out.
    void synthesisesModifierChanges_data() {
        QTest::addColumn<QList<LinuxKeyInput>>("inputs");
        QTest::addColumn<QString>("records");
        QTest::newRow("both shifts")
            << QList<LinuxKeyInput>{press(Qt::Key_Shift, 50), press(Qt::Key_Shift, 62),
                                    release(Qt::Key_Shift, 50), release(Qt::Key_Shift, 62)}
            << "flags 56 20000, flags 60 20000, flags 56 20000, flags 60 0";
        QTest::newRow("repeat of a held modifier dropped")
            << QList<LinuxKeyInput>{press(Qt::Key_Control, 37), press(Qt::Key_Control, 37)}
            << "flags 59 40000";
        QTest::newRow("shift and a key")
            << QList<LinuxKeyInput>{press(Qt::Key_Shift, 50),
                                    press(Qt::Key_Q, 24, Qt::ShiftModifier, "Q")}
            << "flags 56 20000, down 12 20000";
        QTest::newRow("release missed while away")
            << QList<LinuxKeyInput>{press(Qt::Key_Shift, 50), press(Qt::Key_Q, 24, {}, "q")}
            << "flags 56 20000, flags 56 0, down 12 0";
        QTest::newRow("caps lock toggles on press")
            << QList<LinuxKeyInput>{press(Qt::Key_CapsLock, 66), release(Qt::Key_CapsLock, 66),
                                    press(Qt::Key_A, 38)}
            << "flags 57 10000, down 0 10000";
        QTest::newRow("right ctrl released before it was seen")
            << QList<LinuxKeyInput>{release(Qt::Key_Control, 105)} << "flags 62 0";
    }

    void synthesisesModifierChanges() {
        QFETCH(QList<LinuxKeyInput>, inputs);
        QFETCH(QString, records);
        LinuxKeyEventTranslator translator(ScanCodes::xkb);
        QList<KeyEventRecord> out;
        for (const LinuxKeyInput& input : inputs) {
            out += translator.translate(input);
        }
        QCOMPARE(describe(out), records);
    }

    void releasesHeldModifiersOnRequest() {
        LinuxKeyEventTranslator translator(ScanCodes::xkb);
        translator.translate(press(Qt::Key_Shift, 62));
        translator.translate(press(Qt::Key_Alt, 64));
        QCOMPARE(translator.modifierFlags(), kShift | KeyEventRecord::optionFlag);
        QCOMPARE(describe(translator.releaseAll()), QStringLiteral("flags 58 20000, flags 60 0"));
        QVERIFY(translator.releaseAll().isEmpty());
    }

    // A Qt key event as the offscreen platform delivers it, through to a matched mapping.
    void qtEventsReachAMatch() {
        KeyMappingViewModel model([](const QString&, const ImportedKeyMappingPlan&) {});
        KeyMappingItem item(KeyMappingType::tap, QPointF());
        item.keyCode = 49;
        item.windowsKey = 32;
        model.appliedKeyMappings = {item};
        LinuxKeyEventTranslator translator;
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        const QList<KeyEventRecord> records = translator.translate(event);
        QCOMPARE(records.size(), 1);
        const KeyMappingKeyDownResult result = model.handleKeyDown(records.first());
        QCOMPARE(result.kind, KeyMappingKeyDownResult::Kind::matched);
        QCOMPARE(result.eventWindowsKey, 32);
    }
};

QTEST_GUILESS_MAIN(LinuxKeyEventsTest)
#include "tst_LinuxKeyEvents.moc"
