#pragma once

#include "keymapping/CapturedKey.h"
#include "keymapping/KeyMappingDirection.h"
#include "keymapping/KeyMappingSlot.h"

#include <QList>
#include <QUuid>

#include <optional>

// A key capture in progress: at most two keys for one item, or for one direction of it.
struct PendingKeyCapture {
    QUuid mappingID;
    std::optional<KeyMappingDirection> direction;
    QList<CapturedKey> capturedKeys;

    KeyMappingSlot target() const {
        return direction ? KeyMappingSlot::forDirection(mappingID, *direction)
                         : KeyMappingSlot::tap(mappingID);
    }

    bool operator==(const PendingKeyCapture&) const = default;
};

// A capture whose keys are already bound elsewhere, waiting for the user to confirm.
struct PendingKeyConflict {
    KeyMappingSlot target;
    QList<CapturedKey> keys;
    QList<KeyMappingSlot> conflictingSlots;

    bool operator==(const PendingKeyConflict&) const = default;
};
