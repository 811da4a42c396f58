#pragma once

#include "keymapping/KeyMappingDirection.h"

#include <QUuid>

#include <optional>

// Where keys are bound: the key(s) of a tap item, or one direction of a move item.
struct KeyMappingSlot {
    enum class Kind { tap, direction };

    Kind kind = Kind::tap;
    QUuid id;
    std::optional<KeyMappingDirection> direction;  // set exactly for `Kind::direction`

    static KeyMappingSlot tap(const QUuid& id) { return {Kind::tap, id, std::nullopt}; }
    static KeyMappingSlot forDirection(const QUuid& id, KeyMappingDirection direction) {
        return {Kind::direction, id, direction};
    }

    bool operator==(const KeyMappingSlot&) const = default;
};
