#include "keymapping/KeyIdentity.h"

#include "keymapping/WindowsKeyTable.h"

namespace {

// The modifiers by Windows key with their left and right key codes and flag, in the order in
// which a key event's flags name them.
struct ModifierKey {
    int windowsKey;
    quint16 leftKeyCode;
    quint16 rightKeyCode;
    quint32 flag;
};
constexpr ModifierKey kModifierKeys[] = {
    {17, 59, 62, KeyEventRecord::controlFlag},
    {16, 56, 60, KeyEventRecord::shiftFlag},
    {18, 58, 61, KeyEventRecord::optionFlag},
    {91, 55, 54, KeyEventRecord::commandFlag},
};

const ModifierKey* modifierWithWindowsKey(std::optional<int> windowsKey) {
    for (const ModifierKey& modifier : kModifierKeys) {
        if (windowsKey == modifier.windowsKey) {
            return &modifier;
        }
    }
    return nullptr;
}

CapturedKey modifierKey(int windowsKey) {
    const WindowsKeyName name = WindowsKeyTable::windowsKeyName(windowsKey);
    return {name.macKeyCode.value_or(quint16(windowsKey)), windowsKey,
            WindowsKeyTable::windowsKeyDisplayName(windowsKey)};
}

}  // namespace

namespace KeyIdentity {

std::optional<int> windowsKeyForEvent(const KeyEventRecord& event) {
    if (const auto fromTable = WindowsKeyTable::windowsKeyForMacKeyCode(event.keyCode)) {
        return fromTable;
    }
    for (const ModifierKey& modifier : kModifierKeys) {
        if (event.keyCode == modifier.rightKeyCode) {
            return modifier.windowsKey;
        }
    }
    const QString characters = event.charactersIgnoringModifiers.toUpper();
    if (characters.isEmpty()) {
        return std::nullopt;
    }
    const char32_t scalar = characters.toUcs4().constFirst();
    if ((scalar >= U'0' && scalar <= U'9') || (scalar >= U'A' && scalar <= U'Z')) {
        return int(scalar);
    }
    return std::nullopt;
}

namespace {

QString displayName(const KeyEventRecord& event, std::optional<int> windowsKey) {
    if (windowsKey) {
        return WindowsKeyTable::windowsKeyDisplayName(*windowsKey);
    }
    const QString characters = event.charactersIgnoringModifiers.trimmed().toUpper();
    if (!characters.isEmpty()) {
        return characters;
    }
    return QStringLiteral("Key ") + QString::number(event.keyCode);
}

}  // namespace

QString keyDisplayNameForEvent(const KeyEventRecord& event) {
    return displayName(event, windowsKeyForEvent(event));
}

CapturedKey capturedKeyForEvent(const KeyEventRecord& event) {
    // The Windows key is looked up once and serves the display name too.
    const std::optional<int> windowsKey = windowsKeyForEvent(event);
    return {event.keyCode, windowsKey, displayName(event, windowsKey)};
}

std::optional<CapturedKey> modifierKeyForFlags(const KeyEventRecord& event) {
    for (const ModifierKey& modifier : kModifierKeys) {
        if ((event.modifierFlags & modifier.flag) != 0) {
            return modifierKey(modifier.windowsKey);
        }
    }
    return std::nullopt;
}

std::optional<CapturedKey> modifierKeyForKeyCode(quint16 keyCode) {
    for (const ModifierKey& modifier : kModifierKeys) {
        if (keyCode == modifier.leftKeyCode || keyCode == modifier.rightKeyCode) {
            return modifierKey(modifier.windowsKey);
        }
    }
    return std::nullopt;
}

bool isModifier(std::optional<int> windowsKey) {
    return modifierWithWindowsKey(windowsKey) != nullptr;
}

bool isModifierDown(int windowsKey, const KeyEventRecord& event) {
    const ModifierKey* modifier = modifierWithWindowsKey(windowsKey);
    return modifier && (event.modifierFlags & modifier->flag) != 0;
}

}  // namespace KeyIdentity
