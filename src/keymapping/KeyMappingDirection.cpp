#include "keymapping/KeyMappingDirection.h"

QString rawValue(KeyMappingDirection direction) {
    switch (direction) {
        case KeyMappingDirection::up:
            return QStringLiteral("up");
        case KeyMappingDirection::left:
            return QStringLiteral("left");
        case KeyMappingDirection::down:
            return QStringLiteral("down");
        case KeyMappingDirection::right:
            return QStringLiteral("right");
    }
    return {};
}

std::optional<KeyMappingDirection> keyMappingDirectionFromRawValue(const QString& raw) {
    for (KeyMappingDirection direction : kAllKeyMappingDirections) {
        if (rawValue(direction) == raw) {
            return direction;
        }
    }
    return std::nullopt;
}
