#pragma once

#include <QString>
#include <Qt>

#include <optional>

// Turns a Linux key event (Qt key plus native scan code) into the original platform's key code,
// which plans store as the key's identity. The scan code wins when the platform reports xkb
// keycodes: it names the physical key, as the original codes do, and tells left and right
// modifiers and the keypad apart. Without one (the offscreen platform sends 0) the Qt key
// decides, and modifiers count as the left-hand key.
class LinuxKeyCodeTable {
public:
    enum class ScanCodes { none, xkb };

    // Keys the original keyboard lacks get codes from here on, so they never equal a stored
    // code of a real key: 0x100 plus the scan code, or 0x8000 plus the Qt key's low bits.
    static constexpr quint16 kFirstUnmappedCode = 0x100;

    static quint16 macKeyCode(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers,
                              ScanCodes scanCodes);
    // The original code of a key the table knows, else none.
    static std::optional<quint16> knownMacKeyCode(int qtKey, quint32 nativeScanCode,
                                                  Qt::KeyboardModifiers modifiers,
                                                  ScanCodes scanCodes);

    // The flag bit a modifier key (Caps Lock included) sets; none for other keys.
    static std::optional<quint32> modifierFlag(quint16 macKeyCode);
    static quint32 modifierFlags(Qt::KeyboardModifiers modifiers);

    // xcb and Wayland report xkb keycodes (evdev code + 8); other platforms nothing usable.
    static ScanCodes scanCodesOfPlatform(const QString& platformName);
};
