#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/WindowsKeyTable.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

constexpr quint32 kShift = KeyEventRecord::shiftFlag;
constexpr quint32 kControl = KeyEventRecord::controlFlag;

KeyEventRecord down(quint16 keyCode, const QString& characters = {}, quint32 flags = 0) {
    return {KeyEventRecord::Type::keyDown, keyCode, characters, flags, false};
}
KeyEventRecord up(quint16 keyCode, const QString& characters = {}, quint32 flags = 0) {
    return {KeyEventRecord::Type::keyUp, keyCode, characters, flags, false};
}
KeyEventRecord flags(quint16 keyCode, quint32 modifierFlags) {
    return {KeyEventRecord::Type::flagsChanged, keyCode, QString(), modifierFlags, false};
}

KeyMappingItem tap(std::optional<int> windowsKey, std::optional<int> second = std::nullopt,
                   std::optional<quint16> keyCode = std::nullopt) {
    KeyMappingItem item(KeyMappingType::tap, QPointF(0.5, 0.5));
    item.windowsKey = windowsKey;
    item.keyCode = keyCode;
    if (windowsKey) {
        item.keyCode = WindowsKeyTable::windowsKeyName(*windowsKey).macKeyCode;
        item.keyDisplayName = WindowsKeyTable::windowsKeyDisplayName(*windowsKey);
    } else {
        item.keyDisplayName = QStringLiteral("K%1").arg(*keyCode);
    }
    item.secondWindowsKey = second;
    return item;
}

QString describe(const std::optional<KeyMappingMatch>& match) {
    if (!match) {
        return QString();
    }
    QString text = QLatin1Char(' ') + match->mapping.markerTitle();
    if (match->direction) {
        text += QLatin1Char('/') + rawValue(*match->direction);
    }
    return text;
}

QString describe(std::optional<int> windowsKey) {
    return windowsKey ? QStringLiteral(" w%1").arg(*windowsKey) : QString();
}

}  // namespace

Q_DECLARE_METATYPE(KeyEventRecord)

class KeyCaptureTest : public QObject {
    Q_OBJECT

    // A plan in force: J, Shift+Q, WASD, a key the key table lacks, Ctrl alone and, when asked,
    // Shift alone.
    static void applyPlan(KeyMappingViewModel& model, bool withShiftAlone) {
        model.appliedKeyMappings = {tap(74), tap(16, 81), KeyMappingItem(KeyMappingType::move, {}),
                                    tap(std::nullopt, std::nullopt, 300), tap(17)};
        if (withShiftAlone) {
            model.appliedKeyMappings.append(tap(16));
        }
    }

    static QString run(KeyMappingViewModel& model, const KeyEventRecord& event) {
        switch (event.type) {
            case KeyEventRecord::Type::keyDown: {
                const KeyMappingKeyDownResult result = model.handleKeyDown(event);
                static const char* kinds[] = {"none", "matched", "captured"};
                return QLatin1String(kinds[int(result.kind)]) + describe(result.match) +
                       describe(result.eventWindowsKey);
            }
            case KeyEventRecord::Type::keyUp: {
                const KeyMappingKeyUpResult result = model.handleKeyUp(event);
                static const char* kinds[] = {"matched", "none", "captured"};
                return QLatin1String(kinds[int(result.kind)]) + describe(result.match);
            }
            case KeyEventRecord::Type::flagsChanged: {
                const KeyMappingModifierChangeResult result = model.handleFlagsChanged(event);
                static const char* kinds[] = {"pressed", "tapped", "released", "none"};
                return QLatin1String(kinds[int(result.kind)]) + describe(result.match) +
                       describe(result.eventWindowsKey);
            }
        }
        return {};
    }

    struct Capture {
        std::unique_ptr<KeyMappingViewModel> model = std::make_unique<KeyMappingViewModel>(
            [](const QString&, const ImportedKeyMappingPlan&) {});
        QStringList statuses;
        QUuid target;
        QUuid other;

        Capture() {
            model->captureCommitDelay = 0.05;
            KeyMappingItem first = tap(69);  // E
            target = first.id;
            KeyMappingItem second = tap(18, 82);  // Alt+R
            other = second.id;
            model->keyMappings = {first, second, KeyMappingItem(KeyMappingType::move, {})};
            model->onChange = [this] { statuses.append(model->keyMappingStatusText); };
            model->beginKeyCapture(target, std::nullopt);
        }
        const KeyMappingItem& item(const QUuid& id) const {
            return *std::find_if(model->keyMappings.cbegin(), model->keyMappings.cend(),
                                 [&id](const KeyMappingItem& each) { return each.id == id; });
        }
    };

private Q_SLOTS:
    void identifiesEventKeys_data() {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<QString>("characters");
        QTest::addColumn<int>("windowsKey");  // -1: none
        QTest::addColumn<QString>("displayName");
        QTest::newRow("A") << 0 << "a" << 65 << "A";
        QTest::newRow("right command") << 54 << "" << 91 << "Cmd";
        QTest::newRow("right shift") << 60 << "" << 16 << "Shift";
        QTest::newRow("keypad digit by its character") << 83 << "1" << 49 << "1";
        QTest::newRow("letter by its character") << 300 << "z" << 90 << "Z";
        QTest::newRow("other character") << 300 << " ü " << -1 << "Ü";
        QTest::newRow("nothing known") << 300 << "" << -1 << "Key 300";
    }

    void identifiesEventKeys() {
        QFETCH(int, keyCode);
        QFETCH(QString, characters);
        QFETCH(int, windowsKey);
        QFETCH(QString, displayName);
        const KeyEventRecord event = down(quint16(keyCode), characters);
        QCOMPARE(KeyMappingViewModel::windowsKeyForEvent(event).value_or(-1), windowsKey);
        QCOMPARE(KeyMappingViewModel::keyDisplayNameForEvent(event), displayName);
    }

    void capturesOneKeyAfterTheDelay() {
        Capture capture;
        QCOMPARE(capture.model->keyMappingStatusText,
                 QStringLiteral("请按下键盘按键，最多支持 2 个组合键"));
        QCOMPARE(capture.model->handleKeyDown(down(12, "q")), KeyMappingKeyDownResult::captured());
        QVERIFY(capture.model->isCaptureCommitScheduled());
        QCOMPARE(capture.model->handleKeyUp(up(12, "q")), KeyMappingKeyUpResult::captured());
        QTRY_VERIFY(!capture.model->pendingKeyCapture);
        QCOMPARE(capture.statuses,
                 QStringList({"已捕获 Q，1.5 秒内继续按第二个键可设置组合键", "已设置按键：Q"}));
        const KeyMappingItem& item = capture.item(capture.target);
        QCOMPARE(item.windowsKey, 81);
        QCOMPARE(item.keyCode, quint16(12));
        QVERIFY(!item.secondWindowsKey);
        QCOMPARE(item.keyDisplayName, QStringLiteral("Q"));
    }

    // Rows: the capture's events (down key code / flags), then the item's title afterwards.
    void capturesCombinations_data() {
        QTest::addColumn<QList<KeyEventRecord>>("events");
        QTest::addColumn<QString>("title");
        QTest::newRow("shift, then a key")
            << QList<KeyEventRecord>{flags(60, kShift), down(7, "x", kShift)} << "Shift+X";
        QTest::newRow("a key with shift held")
            << QList<KeyEventRecord>{down(7, "x", kShift)} << "Shift+X";
        QTest::newRow("two keys") << QList<KeyEventRecord>{down(7, "x"), down(8, "c")} << "X+C";
        QTest::newRow("third key never captured")
            << QList<KeyEventRecord>{flags(56, kShift), down(7, "x", kShift | kControl)}
            << "Shift+Ctrl";
        QTest::newRow("same key twice waits")
            << QList<KeyEventRecord>{down(7, "x"), down(7, "x")} << "X";
        QTest::newRow("own key is no conflict") << QList<KeyEventRecord>{down(14, "e")} << "E";
    }

    void capturesCombinations() {
        QFETCH(QList<KeyEventRecord>, events);
        QFETCH(QString, title);
        Capture capture;
        for (const KeyEventRecord& event : events) {
            QVERIFY(event.type == KeyEventRecord::Type::flagsChanged
                        ? capture.model->captureModifierKey(event)
                        : capture.model->captureKeyDown(event));
        }
        QTRY_VERIFY(!capture.model->pendingKeyCapture);
        QCOMPARE(capture.item(capture.target).markerTitle(), title);
        QCOMPARE(capture.statuses.last(), QStringLiteral("已设置按键：") + title);
        QVERIFY(!capture.model->isCaptureCommitScheduled());
    }

    void replacesAConflictWhenPressedAgain() {
        Capture capture;
        // R is the second key of the other item: one key goes through the timer.
        capture.model->captureKeyDown(down(15, "r"));
        QTRY_COMPARE(capture.model->keyMappingStatusText,
                     QStringLiteral("键位冲突，再按一次清空原键位"));
        QVERIFY(capture.model->pendingKeyCapture && capture.model->pendingKeyConflict);
        QCOMPARE(capture.model->pendingKeyConflict->conflictingSlots,
                 QList<KeyMappingSlot>{KeyMappingSlot::tap(capture.other)});
        capture.model->captureKeyDown(down(15, "r"));
        QTRY_VERIFY(!capture.model->pendingKeyCapture);
        QCOMPARE(capture.model->keyMappingStatusText, QStringLiteral("已替换冲突键位"));
        QCOMPARE(capture.item(capture.target).markerTitle(), QStringLiteral("R"));
        QCOMPARE(capture.item(capture.other).markerTitle(), QStringLiteral("未设置"));
        QVERIFY(!capture.item(capture.other).windowsKey);
    }

    void replacesAConflictingPairAndDirections() {
        Capture capture;
        // W and D drive the move item; the pair conflicts with both directions.
        capture.model->captureKeyDown(down(13, "w"));
        capture.model->captureKeyDown(down(2, "d"));
        QVERIFY(capture.model->pendingKeyConflict);
        QCOMPARE(capture.model->pendingKeyConflict->conflictingSlots.size(), 2);
        QCOMPARE(capture.model->pendingKeyCapture->capturedKeys.size(), 1);
        QVERIFY(!capture.model->isCaptureCommitScheduled());
        capture.model->captureKeyDown(down(2, "d"));  // the pair again, in the other order
        QCOMPARE(capture.model->keyMappingStatusText, QStringLiteral("已替换冲突键位"));
        const KeyMappingItem& move = capture.model->keyMappings.last();
        QCOMPARE(move.directionBindings.size(), size_t(2));
        QCOMPARE(move.markerTitle(), QStringLiteral("WASD"));  // missing directions show defaults

        // A direction takes both keys of a pair.
        capture.model->beginKeyCapture(move.id, KeyMappingDirection::up);
        capture.model->captureModifierKey(flags(59, kControl));
        capture.model->captureKeyDown(down(6, "z", kControl));
        const KeyMappingKeyBinding& upBinding =
            capture.model->keyMappings.last().directionBindings.at(KeyMappingDirection::up);
        QCOMPARE(upBinding, (KeyMappingKeyBinding{59, 17, 6, 90, QStringLiteral("Ctrl+Z")}));
    }

    void cancellingDropsTheCaptureQuietly() {
        Capture capture;
        capture.model->captureKeyDown(down(7, "x"));
        const int changes = capture.statuses.size();
        capture.model->cancelKeyCapture();
        QVERIFY(!capture.model->pendingKeyCapture && !capture.model->isCaptureCommitScheduled());
        QTest::qWait(100);  // no status change may still be on its way
        QCOMPARE(capture.statuses.size(), changes);
        QCOMPARE(capture.item(capture.target).markerTitle(), QStringLiteral("E"));
        QVERIFY(!capture.model->captureKeyDown(down(7, "x")));
    }

    // Rows: events in order and what each answers ("kind title/direction wKey").
    void turnsKeyEventsIntoMatches_data() {
        QTest::addColumn<bool>("withShiftAlone");
        QTest::addColumn<QList<KeyEventRecord>>("events");
        QTest::addColumn<QStringList>("results");
        QTest::newRow("tap key") << false << QList<KeyEventRecord>{down(38, "j"), up(38, "j")}
                                 << QStringList{"matched J w74", "matched J"};
        QTest::newRow("move direction")
            << false << QList<KeyEventRecord>{down(13, "w"), up(13, "w")}
            << QStringList{"matched WASD/up w87", "matched WASD/up"};
        QTest::newRow("unmapped key") << false << QList<KeyEventRecord>{down(7, "x"), up(7, "x")}
                                      << QStringList{"none w88", "none"};
        QTest::newRow("combination")
            << false
            << QList<KeyEventRecord>{flags(56, kShift), down(12, "q", kShift), up(12, "q", kShift),
                                     flags(56, 0)}
            << QStringList{"none", "matched Shift+Q w81", "matched Shift+Q", "none"};
        QTest::newRow("right shift in a combination")
            << false << QList<KeyEventRecord>{flags(60, kShift), down(12, "q", kShift)}
            << QStringList{"none", "matched Shift+Q w81"};
        QTest::newRow("shift let go first")
            << false << QList<KeyEventRecord>{flags(56, kShift), down(12, "q"), flags(56, 0)}
            << QStringList{"none", "matched Shift+Q w81", "released Shift+Q"};
        QTest::newRow("q alone is no combination")
            << false << QList<KeyEventRecord>{down(12, "q")} << QStringList{"none w81"};
        QTest::newRow("shift tapped alone")
            << true << QList<KeyEventRecord>{flags(56, kShift), flags(56, 0)}
            << QStringList{"none", "tapped Shift w16"};
        QTest::newRow("shift tapped, nothing of its own")
            << false << QList<KeyEventRecord>{flags(56, kShift), flags(56, 0)}
            << QStringList{"none", "none"};
        QTest::newRow("modifier of its own")
            << false << QList<KeyEventRecord>{flags(62, kControl), flags(62, 0)}
            << QStringList{"pressed Ctrl w17", "released Ctrl"};
        QTest::newRow("caps lock")
            << false << QList<KeyEventRecord>{flags(57, 0x10000)} << QStringList{"none"};
        QTest::newRow("key-up without its key-down")
            << false << QList<KeyEventRecord>{up(38, "j")} << QStringList{"matched J"};
        QTest::newRow("key the table lacks, by key code")
            << false << QList<KeyEventRecord>{down(300, "ü"), down(301, "ü")}
            << QStringList{"matched K300", "none"};
    }

    void turnsKeyEventsIntoMatches() {
        QFETCH(bool, withShiftAlone);
        QFETCH(QList<KeyEventRecord>, events);
        QFETCH(QStringList, results);
        KeyMappingViewModel model([](const QString&, const ImportedKeyMappingPlan&) {});
        applyPlan(model, withShiftAlone);
        model.keyMappings = {tap(74)};  // the edited list is never matched
        model.keyMappings.first().windowsKey = 88;
        QStringList answers;
        for (const KeyEventRecord& event : events) {
            answers.append(run(model, event));
        }
        QCOMPARE(answers, results);
    }

    // A single key commits once the whole delay has passed since its press, never before: a
    // second key may still come until then. A held key's repeats are that key: the delay runs on
    // through them, and a key pressed after the commit starts no combination with it.
    void commitWaitsTheWholeDelay_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("repeatEveryMs");  // 0: let go at once
        QTest::newRow("short") << 0.12 << 0;
        QTest::newRow("longer") << 0.4 << 0;
        QTest::newRow("held, repeating every 25 ms") << 0.4 << 25;
    }
    void commitWaitsTheWholeDelay() {
        QFETCH(double, seconds);
        QFETCH(int, repeatEveryMs);
        Capture capture;
        capture.model->captureCommitDelay = seconds;
        QElapsedTimer clock;
        clock.start();
        capture.model->handleKeyDown(down(12, "q"));
        if (repeatEveryMs > 0) {
            KeyEventRecord repeat = down(12, "q");
            repeat.isRepeat = true;
            while (capture.model->pendingKeyCapture && clock.elapsed() < qint64(seconds * 10000)) {
                QTest::qWait(repeatEveryMs);  // the pace of the key's repeats
                capture.model->handleKeyDown(repeat);
            }
            QVERIFY2(!capture.model->pendingKeyCapture, "the repeats held the commit off");
            capture.model->handleKeyDown(down(8, "c"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!capture.model->pendingKeyCapture, 5000);
        QVERIFY2(clock.elapsed() >= qint64(seconds * 1000),
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(capture.item(capture.target).markerTitle(), QStringLiteral("Q"));
        QCOMPARE(capture.statuses,
                 QStringList({"已捕获 Q，1.5 秒内继续按第二个键可设置组合键", "已设置按键：Q"}));
    }
};

QTEST_GUILESS_MAIN(KeyCaptureTest)
#include "tst_KeyCapture.moc"
