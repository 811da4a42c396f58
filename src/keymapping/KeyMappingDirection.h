#pragma once

#include <QString>

#include <array>
#include <optional>

// One of the four directions of a move mapping; declared in the order plans list them.
enum class KeyMappingDirection { up, left, down, right };

inline constexpr std::array<KeyMappingDirection, 4> kAllKeyMappingDirections = {
    KeyMappingDirection::up, KeyMappingDirection::left, KeyMappingDirection::down,
    KeyMappingDirection::right};

QString rawValue(KeyMappingDirection direction);
std::optional<KeyMappingDirection> keyMappingDirectionFromRawValue(const QString& raw);
