#include "keymapping/KeyMatcher.h"

#include "keymapping/KeyIdentity.h"

namespace {

bool sameKey(const CapturedKey& key, std::optional<quint16> keyCode,
             std::optional<int> windowsKey) {
    return (keyCode && *keyCode == key.keyCode) ||
           (windowsKey && key.windowsKey && *windowsKey == *key.windowsKey);
}

// The keys of one item or one direction binding, as matching sees them. An item's second key
// has no key code: it is compared by Windows key only.
struct KeyEntry {
    std::optional<quint16> keyCode;
    std::optional<int> windowsKey;
    std::optional<quint16> secondKeyCode;
    std::optional<int> secondWindowsKey;

    explicit KeyEntry(const KeyMappingItem& item)
        : keyCode(item.keyCode),
          windowsKey(item.windowsKey),
          secondWindowsKey(item.secondWindowsKey) {}
    explicit KeyEntry(const KeyMappingKeyBinding& binding)
        : keyCode(binding.keyCode),
          windowsKey(binding.windowsKey),
          secondKeyCode(binding.secondKeyCode),
          secondWindowsKey(binding.secondWindowsKey) {}

    bool hasSecondKey() const { return secondWindowsKey && *secondWindowsKey >= 1; }
    bool firstIs(const CapturedKey& key) const { return sameKey(key, keyCode, windowsKey); }
    bool secondIs(const CapturedKey& key) const {
        return hasSecondKey() && sameKey(key, secondKeyCode, secondWindowsKey);
    }
    bool uses(const CapturedKey& key) const { return firstIs(key) || secondIs(key); }
};

// Visits the entries in matching order (items in list order, a move item's directions up, left,
// down, right) and answers the first that `accept` takes.
template <typename Accept>
std::optional<KeyMappingMatch> findEntry(const QList<KeyMappingItem>& items, Accept accept) {
    for (const KeyMappingItem& item : items) {
        if (!item.isMove()) {
            if (accept(KeyEntry(item))) {
                return KeyMappingMatch{item, std::nullopt};
            }
            continue;
        }
        for (const KeyMappingDirection direction : kAllKeyMappingDirections) {
            const auto binding = item.directionBindings.find(direction);
            if (binding != item.directionBindings.end() && accept(KeyEntry(binding->second))) {
                return KeyMappingMatch{item, direction};
            }
        }
    }
    return std::nullopt;
}

}  // namespace

bool KeyMatcher::isPressed(std::optional<quint16> keyCode, std::optional<int> windowsKey) const {
    for (const CapturedKey& pressed : m_pressed.currentlyPressedKeys) {
        if (sameKey(pressed, keyCode, windowsKey)) {
            return true;
        }
    }
    return false;
}

std::optional<KeyMappingMatch> KeyMatcher::matchCombination(const CapturedKey& key) const {
    return findEntry(m_mappings, [&](const KeyEntry& entry) {
        return entry.hasSecondKey() && entry.uses(key) &&
               isPressed(entry.keyCode, entry.windowsKey) &&
               isPressed(entry.secondKeyCode, entry.secondWindowsKey);
    });
}

std::optional<KeyMappingMatch> KeyMatcher::matchKey(const CapturedKey& key) const {
    return findEntry(m_mappings, [&key](const KeyEntry& entry) {
        return !entry.hasSecondKey() && entry.firstIs(key);
    });
}

std::optional<KeyMappingMatch> KeyMatcher::matchKeyEvent(const CapturedKey& key) const {
    if (auto combination = matchCombination(key)) {
        return combination;
    }
    if (KeyIdentity::isModifier(key.windowsKey) && isModifierInCombination(key)) {
        return std::nullopt;
    }
    return matchKey(key);
}

bool KeyMatcher::isModifierInCombination(const CapturedKey& key) const {
    return findEntry(
               m_mappings,
               [&key](const KeyEntry& entry) { return entry.hasSecondKey() && entry.uses(key); })
        .has_value();
}

void KeyMatcher::consumeDeferredModifiers(const KeyMappingMatch& match) {
    if (m_pressed.deferredModifierKeys.isEmpty()) {
        return;
    }
    const auto consume = [this](const KeyEntry& entry) {
        const QHash<quint16, CapturedKey>& deferred = m_pressed.deferredModifierKeys;
        for (auto it = deferred.cbegin(); it != deferred.cend(); ++it) {
            if (entry.uses(it.value())) {
                m_pressed.consumedDeferredModifierKeyCodes.insert(it.key());
            }
        }
    };
    if (!match.direction) {
        consume(KeyEntry(match.mapping));
    } else if (const auto binding = match.mapping.directionBindings.find(*match.direction);
               binding != match.mapping.directionBindings.end()) {
        consume(KeyEntry(binding->second));
    }
}

KeyMappingKeyDownResult KeyMatcher::keyDown(const KeyEventRecord& event) {
    return keyDown(KeyIdentity::capturedKeyForEvent(event));
}

KeyMappingKeyDownResult KeyMatcher::keyDown(const CapturedKey& key) {
    m_pressed.currentlyPressedKeys.insert(key.keyCode, key);
    if (auto match = matchKeyEvent(key)) {
        consumeDeferredModifiers(*match);
        return KeyMappingKeyDownResult::matched(std::move(*match), key.windowsKey);
    }
    return KeyMappingKeyDownResult::none(key.windowsKey);
}

KeyMappingKeyUpResult KeyMatcher::keyUp(const KeyEventRecord& event) {
    std::optional<KeyMappingMatch> match = matchKeyEvent(KeyIdentity::capturedKeyForEvent(event));
    m_pressed.currentlyPressedKeys.remove(event.keyCode);
    if (!match) {
        return KeyMappingKeyUpResult::none();
    }
    consumeDeferredModifiers(*match);
    return KeyMappingKeyUpResult::matched(std::move(*match));
}

KeyMappingModifierChangeResult KeyMatcher::flagsChanged(const KeyEventRecord& event) {
    const std::optional<CapturedKey> modifier = KeyIdentity::modifierKeyForKeyCode(event.keyCode);
    if (!modifier) {
        return KeyMappingModifierChangeResult::none();
    }
    const CapturedKey& key = *modifier;
    QHash<quint16, CapturedKey>& pressed = m_pressed.currentlyPressedKeys;
    QHash<quint16, CapturedKey>& deferred = m_pressed.deferredModifierKeys;
    QSet<quint16>& consumed = m_pressed.consumedDeferredModifierKeyCodes;
    if (KeyIdentity::isModifierDown(*key.windowsKey, event)) {
        pressed.insert(key.keyCode, key);
        if (auto combination = matchCombination(key)) {
            consumeDeferredModifiers(*combination);
            return KeyMappingModifierChangeResult::pressed(std::move(*combination), key.windowsKey);
        }
        if (isModifierInCombination(key)) {
            deferred.insert(key.keyCode, key);
            consumed.remove(key.keyCode);
            return KeyMappingModifierChangeResult::none();
        }
        if (auto match = matchKey(key)) {
            return KeyMappingModifierChangeResult::pressed(std::move(*match), key.windowsKey);
        }
        return KeyMappingModifierChangeResult::none();
    }

    if (auto combination = matchCombination(key)) {
        consumeDeferredModifiers(*combination);
        pressed.remove(key.keyCode);
        return KeyMappingModifierChangeResult::released(std::move(*combination));
    }
    pressed.remove(key.keyCode);
    if (deferred.remove(key.keyCode) > 0) {
        if (consumed.remove(key.keyCode)) {
            return KeyMappingModifierChangeResult::none();
        }
        if (auto match = matchKey(key)) {
            return KeyMappingModifierChangeResult::tapped(std::move(*match), key.windowsKey);
        }
        return KeyMappingModifierChangeResult::none();
    }
    if (auto match = matchKey(key)) {
        return KeyMappingModifierChangeResult::released(std::move(*match));
    }
    return KeyMappingModifierChangeResult::none();
}
