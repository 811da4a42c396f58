#pragma once

#include "foundation/json/Result.h"
#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KeyMappingDirection.h"
#include "keymapping/KeyMappingKeyBinding.h"

#include <QJsonObject>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QUuid>

#include <array>
#include <map>
#include <optional>

// Only `move` is a movement item; `joystick` behaves as `tap` everywhere.
enum class KeyMappingType { tap, move, joystick };

inline constexpr std::array<KeyMappingType, 3> kAllKeyMappingTypes = {
    KeyMappingType::tap, KeyMappingType::move, KeyMappingType::joystick};

QString rawValue(KeyMappingType type);
std::optional<KeyMappingType> keyMappingTypeFromRawValue(const QString& raw);

// One key mapping placed on the device's video: a tap point (one key or a two-key combination)
// or a virtual stick driven by four direction keys. `normalizedPoint` is 0...1 on both axes,
// origin top left, y growing downward.
struct KeyMappingItem {
    inline static const QString kUnsetKeyName = QStringLiteral("未设置");
    static constexpr double kDefaultMoveRadius = 0.12;

    QUuid id;
    KeyMappingType type = KeyMappingType::tap;
    std::optional<quint16> keyCode;
    std::optional<int> windowsKey;
    std::optional<int> secondWindowsKey;  // below 1 counts as no second key
    QString keyDisplayName;
    std::optional<QString> actionDescription;
    std::map<KeyMappingDirection, KeyMappingKeyBinding> directionBindings;
    std::optional<double> moveRadius;
    QPointF normalizedPoint;

    // A new item with a fresh id and the defaults of its type (W/A/S/D for a move item).
    KeyMappingItem(KeyMappingType type, QPointF point);
    static KeyMappingItem fromImported(const ImportedKeyMapping& mapping);

    bool operator==(const KeyMappingItem& other) const;

    bool isMove() const { return type == KeyMappingType::move; }
    bool hasSecondKey() const { return secondWindowsKey && *secondWindowsKey >= 1; }

    std::optional<QString> firstKeyToken() const;
    std::optional<QString> secondKeyToken() const;
    QSet<QString> keyTokens() const;

    // Texts shown on markers and in the panel list.
    QString tapTitle() const;
    std::array<QString, 4> directionTitles() const;  // up, left, down, right
    QString markerTitle() const;

    // The keyed form: key order is not kept, as JSON objects have none.
    QJsonObject toJson() const;
    static Result<KeyMappingItem> fromJson(const QJsonObject& object);

    static std::map<KeyMappingDirection, KeyMappingKeyBinding> defaultDirectionBindings();
};
