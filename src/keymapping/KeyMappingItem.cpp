#include "keymapping/KeyMappingItem.h"

#include "foundation/RecordDecoder.h"
#include "keymapping/KeyToken.h"
#include "keymapping/WindowsKeyTable.h"

#include <QJsonArray>

namespace {

KeyMappingKeyBinding letterBinding(const char* letter, quint16 macKeyCode, int windowsKey) {
    return KeyMappingKeyBinding{macKeyCode, windowsKey, std::nullopt, std::nullopt,
                                QString::fromLatin1(letter)};
}

Result<std::map<KeyMappingDirection, KeyMappingKeyBinding>> decodeBindings(
    const QJsonArray& array) {
    // A map whose key is not a string is stored as an array alternating key and value.
    if (array.size() % 2 != 0) {
        return RecordDecoder::decodingError(
            QStringLiteral("KeyMappingItem: \"directionBindings\" has an odd number of elements"));
    }
    std::map<KeyMappingDirection, KeyMappingKeyBinding> bindings;
    for (qsizetype index = 0; index < array.size(); index += 2) {
        const std::optional<KeyMappingDirection> direction =
            keyMappingDirectionFromRawValue(array.at(index).toString());
        if (!array.at(index).isString() || !direction) {
            return RecordDecoder::decodingError(
                QStringLiteral("KeyMappingItem: \"directionBindings\" names an unknown direction"));
        }
        if (!array.at(index + 1).isObject()) {
            return RecordDecoder::decodingError(
                QStringLiteral("KeyMappingItem: a direction binding is not an object"));
        }
        Result<KeyMappingKeyBinding> binding =
            KeyMappingKeyBinding::fromJson(array.at(index + 1).toObject());
        if (!binding) {
            return binding.error();
        }
        bindings[*direction] = std::move(binding).value();
    }
    return bindings;
}

// A point is stored as the array [x, y].
std::optional<QPointF> decodePoint(const QJsonValue& value) {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() < 2 || !array.at(0).isDouble() ||
        !array.at(1).isDouble()) {
        return std::nullopt;
    }
    return QPointF(array.at(0).toDouble(), array.at(1).toDouble());
}

}  // namespace

QString rawValue(KeyMappingType type) {
    switch (type) {
        case KeyMappingType::tap:
            return QStringLiteral("tap");
        case KeyMappingType::move:
            return QStringLiteral("move");
        case KeyMappingType::joystick:
            return QStringLiteral("joystick");
    }
    return {};
}

std::optional<KeyMappingType> keyMappingTypeFromRawValue(const QString& raw) {
    for (KeyMappingType type : kAllKeyMappingTypes) {
        if (rawValue(type) == raw) {
            return type;
        }
    }
    return std::nullopt;
}

std::map<KeyMappingDirection, KeyMappingKeyBinding> KeyMappingItem::defaultDirectionBindings() {
    return {{KeyMappingDirection::up, letterBinding("W", 13, 87)},
            {KeyMappingDirection::left, letterBinding("A", 0, 65)},
            {KeyMappingDirection::down, letterBinding("S", 1, 83)},
            {KeyMappingDirection::right, letterBinding("D", 2, 68)}};
}

KeyMappingItem::KeyMappingItem(KeyMappingType itemType, QPointF point)
    : id(QUuid::createUuid()),
      type(itemType),
      keyDisplayName(kUnsetKeyName),
      normalizedPoint(point) {
    if (itemType == KeyMappingType::move) {
        directionBindings = defaultDirectionBindings();
        moveRadius = kDefaultMoveRadius;
    }
}

KeyMappingItem KeyMappingItem::fromImported(const ImportedKeyMapping& mapping) {
    const bool move = mapping.type == ImportedKeyMapping::MappingType::move;
    KeyMappingItem item(move ? KeyMappingType::move : KeyMappingType::tap, mapping.normalizedPoint);
    if (!move) {
        item.keyCode = mapping.macKeyCode;
        item.windowsKey = mapping.windowsKey;
    }
    if (mapping.secondWindowsKey >= 1) {
        item.secondWindowsKey = mapping.secondWindowsKey;
    }
    item.keyDisplayName = mapping.displayName;
    item.actionDescription = mapping.actionDescription;
    item.directionBindings = mapping.directionBindings;
    item.moveRadius = mapping.moveRadius;
    return item;
}

bool KeyMappingItem::operator==(const KeyMappingItem& other) const {
    return id == other.id && type == other.type && keyCode == other.keyCode &&
           windowsKey == other.windowsKey && secondWindowsKey == other.secondWindowsKey &&
           keyDisplayName == other.keyDisplayName && actionDescription == other.actionDescription &&
           directionBindings == other.directionBindings && moveRadius == other.moveRadius &&
           samePoint(normalizedPoint, other.normalizedPoint);
}

std::optional<QString> KeyMappingItem::firstKeyToken() const {
    return keyToken(windowsKey, keyCode);
}

std::optional<QString> KeyMappingItem::secondKeyToken() const {
    return hasSecondKey() ? keyToken(secondWindowsKey, std::nullopt) : std::nullopt;
}

QSet<QString> KeyMappingItem::keyTokens() const {
    return keyTokenSet(firstKeyToken(), secondKeyToken());
}

QString KeyMappingItem::tapTitle() const {
    QString title = keyDisplayName.isEmpty() ? kUnsetKeyName : keyDisplayName;
    if (hasSecondKey()) {
        title += QLatin1Char('+') + WindowsKeyTable::windowsKeyDisplayName(*secondWindowsKey);
    }
    return title;
}

std::array<QString, 4> KeyMappingItem::directionTitles() const {
    static const std::array<QString, 4> fallbacks = {QStringLiteral("W"), QStringLiteral("A"),
                                                     QStringLiteral("S"), QStringLiteral("D")};
    std::array<QString, 4> titles;
    for (size_t index = 0; index < kAllKeyMappingDirections.size(); ++index) {
        const auto binding = directionBindings.find(kAllKeyMappingDirections[index]);
        titles[index] =
            binding == directionBindings.end() ? fallbacks[index] : binding->second.displayName;
    }
    return titles;
}

QString KeyMappingItem::markerTitle() const {
    if (!isMove()) {
        return tapTitle();
    }
    const std::array<QString, 4> titles = directionTitles();
    return titles[0] + titles[1] + titles[2] + titles[3];
}

QJsonObject KeyMappingItem::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper());
    object.insert(QStringLiteral("type"), rawValue(type));
    if (keyCode) {
        object.insert(QStringLiteral("keyCode"), *keyCode);
    }
    if (windowsKey) {
        object.insert(QStringLiteral("windowsKey"), *windowsKey);
    }
    if (secondWindowsKey) {
        object.insert(QStringLiteral("secondWindowsKey"), *secondWindowsKey);
    }
    object.insert(QStringLiteral("keyDisplayName"), keyDisplayName);
    if (actionDescription) {
        object.insert(QStringLiteral("actionDescription"), *actionDescription);
    }
    QJsonArray bindings;
    for (const auto& [direction, binding] : directionBindings) {
        bindings.append(rawValue(direction));
        bindings.append(binding.toJson());
    }
    object.insert(QStringLiteral("directionBindings"), bindings);
    if (moveRadius) {
        object.insert(QStringLiteral("moveRadius"), *moveRadius);
    }
    object.insert(QStringLiteral("normalizedPoint"),
                  QJsonArray{normalizedPoint.x(), normalizedPoint.y()});
    return object;
}

Result<KeyMappingItem> KeyMappingItem::fromJson(const QJsonObject& object) {
    RecordDecoder decoder(object, QStringLiteral("KeyMappingItem"));
    const QUuid id = QUuid::fromString(decoder.requiredString(QStringLiteral("id")));
    const std::optional<KeyMappingType> type =
        keyMappingTypeFromRawValue(decoder.requiredString(QStringLiteral("type")));
    const std::optional<QPointF> point =
        decodePoint(object.value(QStringLiteral("normalizedPoint")));
    if (id.isNull()) {
        decoder.fail(QStringLiteral("\"id\" is not a UUID"));
    }
    if (!type) {
        decoder.fail(QStringLiteral("\"type\" is not a mapping type"));
    }
    if (!point) {
        decoder.fail(QStringLiteral("\"normalizedPoint\" is not a point"));
    }
    // A stored joystick item comes back as a tap item.
    KeyMappingItem item(type == KeyMappingType::move ? KeyMappingType::move : KeyMappingType::tap,
                        point.value_or(QPointF()));
    item.id = id;
    item.keyCode = decoder.optionalKeyCode(QStringLiteral("keyCode"));
    item.windowsKey = decoder.optionalInt(QStringLiteral("windowsKey"));
    item.secondWindowsKey = decoder.optionalInt(QStringLiteral("secondWindowsKey"));
    item.keyDisplayName =
        decoder.optionalString(QStringLiteral("keyDisplayName")).value_or(kUnsetKeyName);
    item.actionDescription = decoder.optionalString(QStringLiteral("actionDescription"));
    if (const auto bindings = decoder.optionalArray(QStringLiteral("directionBindings"))) {
        Result<std::map<KeyMappingDirection, KeyMappingKeyBinding>> decoded =
            decodeBindings(*bindings);
        if (decoded) {
            item.directionBindings = std::move(decoded).value();
        } else {
            decoder.adopt(decoded.error());
        }
    }
    if (const auto radius = decoder.optionalNumber(QStringLiteral("moveRadius"))) {
        item.moveRadius = radius;
    }
    if (decoder.failure()) {
        return *decoder.failure();
    }
    return item;
}
