#pragma once

#include "keymapping/CapturedKey.h"
#include "keymapping/KeyEventRecord.h"
#include "keymapping/KeyMappingItem.h"
#include "keymapping/KeyMappingMatch.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <optional>

// The keys held down, as key matching tracks them between events; the owner keeps them.
struct PressedKeys {
    QHash<quint16, CapturedKey>& currentlyPressedKeys;  // by key code
    QHash<quint16, CapturedKey>& deferredModifierKeys;  // held back for a combination
    QSet<quint16>& consumedDeferredModifierKeyCodes;    // held back and used in one
};

// Key events to the mappings they drive: a combination whose two keys are down comes first,
// a modifier that belongs to a combination waits until it is known whether the combination
// comes, then a single key. Works on the mappings and pressed keys it is given and nothing
// else; each event's key identity is worked out once.
class KeyMatcher {
public:
    KeyMatcher(const QList<KeyMappingItem>& mappings, PressedKeys pressed)
        : m_mappings(mappings), m_pressed(pressed) {}

    KeyMappingKeyDownResult keyDown(const KeyEventRecord& event);
    // For a key whose identity the caller already has.
    KeyMappingKeyDownResult keyDown(const CapturedKey& key);
    KeyMappingKeyUpResult keyUp(const KeyEventRecord& event);
    KeyMappingModifierChangeResult flagsChanged(const KeyEventRecord& event);

    std::optional<KeyMappingMatch> matchKeyEvent(const CapturedKey& key) const;
    std::optional<KeyMappingMatch> matchCombination(const CapturedKey& key) const;
    // Single keys only; also for mouse buttons and the wheel, given as their pseudo Windows keys.
    std::optional<KeyMappingMatch> matchKey(const CapturedKey& key) const;
    bool isModifierInCombination(const CapturedKey& key) const;
    // Marks the held-back modifiers the match used, so their release is no tap.
    void consumeDeferredModifiers(const KeyMappingMatch& match);

private:
    bool isPressed(std::optional<quint16> keyCode, std::optional<int> windowsKey) const;

    const QList<KeyMappingItem>& m_mappings;
    PressedKeys m_pressed;
};
