#pragma once

#include "keymapping/KeyEventRecord.h"
#include "keymapping/LinuxKeyCodeTable.h"

#include <QList>
#include <QString>
#include <Qt>

class QKeyEvent;

// What a Qt key event carries that the key layer reads.
struct LinuxKeyInput {
    bool pressed = true;
    int qtKey = 0;
    quint32 nativeScanCode = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool autoRepeat = false;
};

// Turns one window's Qt key events into key event records. Modifier presses and releases
// become `flagsChanged` records whose flags are the modifiers held afterwards, as the original
// platform reports them; a modifier's auto-repeat is dropped. One translator per window: it
// remembers which modifiers are down.
class LinuxKeyEventTranslator {
public:
    // The scan codes of the running platform.
    LinuxKeyEventTranslator();
    explicit LinuxKeyEventTranslator(LinuxKeyCodeTable::ScanCodes scanCodes);

    // Usually one record; none for a dropped repeat. When the event shows that a modifier was
    // let go unseen (the window had lost the keyboard), its release comes first.
    QList<KeyEventRecord> translate(const LinuxKeyInput& input);
    QList<KeyEventRecord> translate(const QKeyEvent& event);
    // Releases of every modifier still held, for a window that loses the keyboard.
    QList<KeyEventRecord> releaseAll();

    quint32 modifierFlags() const;

private:
    KeyEventRecord modifierRecord(quint16 keyCode) const;
    QList<KeyEventRecord> releaseStale(quint32 reportedFlags);

    LinuxKeyCodeTable::ScanCodes m_scanCodes;
    QList<quint16> m_heldModifiers;  // original key codes, both sides apart
    bool m_capsLockOn = false;
};
