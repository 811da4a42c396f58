#pragma once

#include <QString>
#include <QtGlobal>

// One keyboard event in the terms the stored plans use: the key code is the original
// platform's virtual key code (A is 0), the flags use that platform's modifier bits.
// Modifier keys arrive only as `flagsChanged`, never as key-down or key-up.
struct KeyEventRecord {
    enum class Type { keyDown, keyUp, flagsChanged };

    enum ModifierFlag : quint32 {
        capsLockFlag = 0x10000,
        shiftFlag = 0x20000,
        controlFlag = 0x40000,
        optionFlag = 0x80000,
        commandFlag = 0x100000,
    };

    Type type = Type::keyDown;
    quint16 keyCode = 0;
    QString charactersIgnoringModifiers;
    quint32 modifierFlags = 0;  // the state after the event
    bool isRepeat = false;

    bool operator==(const KeyEventRecord&) const = default;
};
