#pragma once

#include "keymapping/CapturedKey.h"
#include "keymapping/KeyEventRecord.h"

#include <QString>

#include <optional>

// Which key a key event names: its Windows key, display name and captured-key form, and the
// modifiers by their flags and key codes. Left and right key of a modifier are one key here.
namespace KeyIdentity {

std::optional<int> windowsKeyForEvent(const KeyEventRecord& event);
QString keyDisplayNameForEvent(const KeyEventRecord& event);
CapturedKey capturedKeyForEvent(const KeyEventRecord& event);
// The first modifier the event's flags hold (control, shift, option, command).
std::optional<CapturedKey> modifierKeyForFlags(const KeyEventRecord& event);
std::optional<CapturedKey> modifierKeyForKeyCode(quint16 keyCode);
bool isModifier(std::optional<int> windowsKey);
bool isModifierDown(int windowsKey, const KeyEventRecord& event);

}  // namespace KeyIdentity
