#pragma once

#include "keymapping/KeyMappingDirection.h"
#include "keymapping/KeyMappingItem.h"

#include <optional>

// The mapping a key belongs to; `direction` is set when the key drives a move item.
struct KeyMappingMatch {
    KeyMappingItem mapping;
    std::optional<KeyMappingDirection> direction;

    bool operator==(const KeyMappingMatch&) const = default;
};

// What a key-down did: nothing, a mapping, or it went to a running capture.
struct KeyMappingKeyDownResult {
    enum class Kind { none, matched, captured };

    Kind kind = Kind::none;
    std::optional<KeyMappingMatch> match;
    std::optional<int> eventWindowsKey;

    static KeyMappingKeyDownResult none(std::optional<int> eventWindowsKey) {
        return {Kind::none, std::nullopt, eventWindowsKey};
    }
    static KeyMappingKeyDownResult matched(KeyMappingMatch match,
                                           std::optional<int> eventWindowsKey) {
        return {Kind::matched, std::move(match), eventWindowsKey};
    }
    static KeyMappingKeyDownResult captured() { return {Kind::captured, std::nullopt, {}}; }

    bool operator==(const KeyMappingKeyDownResult&) const = default;
};

struct KeyMappingKeyUpResult {
    enum class Kind { matched, none, captured };

    Kind kind = Kind::none;
    std::optional<KeyMappingMatch> match;

    static KeyMappingKeyUpResult matched(KeyMappingMatch match) {
        return {Kind::matched, std::move(match)};
    }
    static KeyMappingKeyUpResult none() { return {Kind::none, std::nullopt}; }
    static KeyMappingKeyUpResult captured() { return {Kind::captured, std::nullopt}; }

    bool operator==(const KeyMappingKeyUpResult&) const = default;
};

// `tapped`: a modifier held back for a combination was released without being used in one.
struct KeyMappingModifierChangeResult {
    enum class Kind { pressed, tapped, released, none };

    Kind kind = Kind::none;
    std::optional<KeyMappingMatch> match;
    std::optional<int> eventWindowsKey;

    static KeyMappingModifierChangeResult pressed(KeyMappingMatch match,
                                                  std::optional<int> eventWindowsKey) {
        return {Kind::pressed, std::move(match), eventWindowsKey};
    }
    static KeyMappingModifierChangeResult tapped(KeyMappingMatch match,
                                                 std::optional<int> eventWindowsKey) {
        return {Kind::tapped, std::move(match), eventWindowsKey};
    }
    static KeyMappingModifierChangeResult released(KeyMappingMatch match) {
        return {Kind::released, std::move(match), std::nullopt};
    }
    static KeyMappingModifierChangeResult none() { return {Kind::none, std::nullopt, {}}; }

    bool operator==(const KeyMappingModifierChangeResult&) const = default;
};
