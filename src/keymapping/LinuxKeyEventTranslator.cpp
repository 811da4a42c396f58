#include "keymapping/LinuxKeyEventTranslator.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace {

// The characters of the key itself: the Qt key for a printable one (letters come lower case,
// as without Shift), else the event's text when it holds no control characters.
QString charactersOf(const LinuxKeyInput& input) {
    if (input.qtKey > 0 && input.qtKey < Qt::Key_Escape) {
        const char32_t scalar = char32_t(input.qtKey);
        const QString character = QString::fromUcs4(&scalar, 1);
        if (!character.isEmpty() && character.at(0).isPrint()) {
            return character.toLower();
        }
    }
    for (const QChar character : input.text) {
        if (!character.isPrint()) {
            return {};
        }
    }
    return input.text;
}

}  // namespace

LinuxKeyEventTranslator::LinuxKeyEventTranslator()
    : LinuxKeyEventTranslator(
          LinuxKeyCodeTable::scanCodesOfPlatform(QGuiApplication::platformName())) {}

LinuxKeyEventTranslator::LinuxKeyEventTranslator(LinuxKeyCodeTable::ScanCodes scanCodes)
    : m_scanCodes(scanCodes) {}

quint32 LinuxKeyEventTranslator::modifierFlags() const {
    quint32 flags = m_capsLockOn ? quint32(KeyEventRecord::capsLockFlag) : 0;
    for (const quint16 keyCode : m_heldModifiers) {
        flags |= LinuxKeyCodeTable::modifierFlag(keyCode).value_or(0);
    }
    return flags;
}

KeyEventRecord LinuxKeyEventTranslator::modifierRecord(quint16 keyCode) const {
    return {KeyEventRecord::Type::flagsChanged, keyCode, QString(), modifierFlags(), false};
}

QList<KeyEventRecord> LinuxKeyEventTranslator::translate(const QKeyEvent& event) {
    return translate(LinuxKeyInput{event.type() == QEvent::KeyPress, event.key(),
                                   event.nativeScanCode(), event.modifiers(), event.text(),
                                   event.isAutoRepeat()});
}

QList<KeyEventRecord> LinuxKeyEventTranslator::translate(const LinuxKeyInput& input) {
    const quint16 keyCode = LinuxKeyCodeTable::macKeyCode(input.qtKey, input.nativeScanCode,
                                                          input.modifiers, m_scanCodes);
    if (const auto flag = LinuxKeyCodeTable::modifierFlag(keyCode)) {
        if (*flag == KeyEventRecord::capsLockFlag) {
            // Caps Lock reports once per toggle, on the press.
            if (!input.pressed || input.autoRepeat) {
                return {};
            }
            m_capsLockOn = !m_capsLockOn;
            return {modifierRecord(keyCode)};
        }
        if (input.pressed) {
            if (m_heldModifiers.contains(keyCode)) {
                return {};
            }
            m_heldModifiers.append(keyCode);
        } else {
            // Also reported when its press came before the window had the keyboard.
            m_heldModifiers.removeAll(keyCode);
        }
        return {modifierRecord(keyCode)};
    }

    const quint32 reportedFlags = LinuxKeyCodeTable::modifierFlags(input.modifiers);
    QList<KeyEventRecord> records = releaseStale(reportedFlags);
    records.append({input.pressed ? KeyEventRecord::Type::keyDown : KeyEventRecord::Type::keyUp,
                    keyCode, charactersOf(input),
                    reportedFlags | (modifierFlags() & KeyEventRecord::capsLockFlag),
                    input.autoRepeat});
    return records;
}

QList<KeyEventRecord> LinuxKeyEventTranslator::releaseStale(quint32 reportedFlags) {
    QList<KeyEventRecord> releases;
    for (qsizetype index = m_heldModifiers.size() - 1; index >= 0; --index) {
        const quint16 keyCode = m_heldModifiers.at(index);
        if ((LinuxKeyCodeTable::modifierFlag(keyCode).value_or(0) & reportedFlags) == 0) {
            m_heldModifiers.removeAt(index);
            releases.append(modifierRecord(keyCode));
        }
    }
    return releases;
}

QList<KeyEventRecord> LinuxKeyEventTranslator::releaseAll() {
    return releaseStale(0);
}
