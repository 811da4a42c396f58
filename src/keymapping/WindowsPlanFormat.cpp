#include "keymapping/WindowsPlanFormat.h"

#include "keymapping/WindowsKeyTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace WindowsPlanFormat {
namespace {

const QString kPoint = QStringLiteral("ClassKeyboardPoint");
const QString kCurve = QStringLiteral("ClassKeyboardCurve");
const QString kDisc = QStringLiteral("ClassKeyboardDisc");
const QString kMouseTrigger = QStringLiteral("ClassMouseTrigger");
const QString kMouseDrag = QStringLiteral("ClassMouseDrag");

std::optional<QString> nonEmpty(const std::optional<QString>& text) {
    return text && !text->isEmpty() ? text : std::nullopt;
}

ImportedKeyMapping tapMapping(const WindowsKeyboardMappingData& data, int key,
                              const LogicPoint& point) {
    const WindowsKeyName name = WindowsKeyTable::windowsKeyName(key);
    ImportedKeyMapping mapping;
    mapping.type = ImportedKeyMapping::MappingType::tap;
    mapping.windowsKey = key;
    mapping.secondWindowsKey = data.secondKey.value_or(0);
    mapping.displayName = WindowsKeyTable::windowsKeyDisplayName(key);
    mapping.macKeyCode = name.macKeyCode;
    mapping.actionDescription = nonEmpty(data.description);
    mapping.normalizedPoint = normalizedPoint(point);
    return mapping;
}

std::optional<ImportedKeyMapping> discMapping(const WindowsKeyboardMappingData& data) {
    if (!data.origin) {
        return std::nullopt;
    }
    // Listed in the order that picks the mapping's own key: left, up, right, down.
    const std::pair<std::optional<int>, KeyMappingDirection> keys[] = {
        {data.leftKey, KeyMappingDirection::left},
        {data.upKey, KeyMappingDirection::up},
        {data.rightKey, KeyMappingDirection::right},
        {data.downKey, KeyMappingDirection::down}};
    ImportedKeyMapping mapping;
    std::optional<int> firstKey;
    for (const auto& [key, direction] : keys) {
        if (!key) {
            continue;
        }
        mapping.directionBindings[direction] = KeyMappingKeyBinding{
            WindowsKeyTable::windowsKeyName(*key).macKeyCode, *key, std::nullopt, std::nullopt,
            WindowsKeyTable::windowsKeyDisplayName(*key)};
        if (!firstKey) {
            firstKey = *key;
        }
    }
    if (!firstKey) {
        return std::nullopt;
    }
    mapping.type = ImportedKeyMapping::MappingType::move;
    mapping.windowsKey = *firstKey;
    mapping.secondWindowsKey = 0;
    mapping.displayName = WindowsKeyTable::windowsKeyDisplayName(*firstKey);
    mapping.macKeyCode = WindowsKeyTable::windowsKeyName(*firstKey).macKeyCode;
    mapping.actionDescription = nonEmpty(data.description);
    if (data.radius) {
        mapping.moveRadius = *data.radius / kLogicSize;
    }
    mapping.normalizedPoint = normalizedPoint(*data.origin);
    return mapping;
}

std::optional<ImportedKeyMapping> keyboardMapping(const WindowsKeyboardMapping& mapping) {
    const WindowsKeyboardMappingData& data = mapping.data;
    if (mapping.className == kPoint && data.key && data.point) {
        return tapMapping(data, *data.key, *data.point);
    }
    if (mapping.className == kCurve && data.key && data.curve && !data.curve->isEmpty()) {
        const LogicTimingPoint& first = data.curve->first();
        return tapMapping(data, *data.key, LogicPoint{first.x, first.y});
    }
    if (mapping.className == kDisc) {
        return discMapping(data);
    }
    return std::nullopt;
}

// Sensitivity steps are powers of 1.1 around 6; explicit factors win when both are usable.
std::optional<ImportedMouseConfiguration::Drag> mouseDrag(const WindowsKeyboardMappingData& data) {
    if (!data.key || !data.origin || !data.mode || (*data.mode != 0 && *data.mode != 1)) {
        return std::nullopt;
    }
    double sensitivityX = data.sensitivity ? std::pow(1.1, *data.sensitivity - 6) : 1.0;
    double sensitivityY = data.sensitivityY ? std::pow(1.1, *data.sensitivityY - 6) : sensitivityX;
    if (data.sensitivityExX && data.sensitivityExY && *data.sensitivityExX > 0 &&
        *data.sensitivityExY > 0) {
        sensitivityX = *data.sensitivityExX;
        sensitivityY = *data.sensitivityExY;
    }
    return ImportedMouseConfiguration::Drag{
        *data.key,
        *data.mode == 0 ? ImportedMouseConfiguration::DragMode::sight
                        : ImportedMouseConfiguration::DragMode::view,
        normalizedPoint(*data.origin), sensitivityX, sensitivityY};
}

ImportedMouseConfiguration mouseConfiguration(const QList<WindowsKeyboardMapping>& mappings) {
    ImportedMouseConfiguration configuration;
    for (const WindowsKeyboardMapping& mapping : mappings) {
        if (mapping.className == kMouseTrigger && mapping.data.point) {
            configuration.triggerPoint = normalizedPoint(*mapping.data.point);
        } else if (mapping.className == kMouseDrag) {
            if (auto drag = mouseDrag(mapping.data)) {
                configuration.drag = drag;
            }
        }
    }
    return configuration;
}

ImportedKeyMappingPlan convertPlan(const KMPFile& file, const QString& fileName,
                                   const QString& packagePattern, KeyMappingPlanSource source) {
    const QList<WindowsKeyboardMapping> mappings =
        file.keyboardMappings.value_or(QList<WindowsKeyboardMapping>());
    ImportedKeyMappingPlan plan;
    plan.fileName = fileName;
    plan.packagePattern = packagePattern;
    plan.source = source;
    for (const WindowsKeyboardMapping& mapping : mappings) {
        if (auto converted = keyboardMapping(mapping)) {
            plan.mappings.append(std::move(*converted));
        }
    }
    plan.mouseConfiguration = mouseConfiguration(mappings);
    return plan;
}

// Writing ---------------------------------------------------------------------------------------

class Writer {
public:
    bool finite = true;

    QJsonObject logicPoint(const QPointF& point) {
        return {{QStringLiteral("x"), units(point.x())}, {QStringLiteral("y"), units(point.y())}};
    }
    qint64 units(double normalized) {
        // Beyond this a logical value is no integer JSON can carry exactly.
        constexpr double kLargest = 9e15;
        if (!(std::fabs(normalized * kLogicSize) < kLargest)) {
            finite = false;
            return 0;
        }
        return logicUnits(normalized);
    }
    double number(double value) {
        finite = finite && std::isfinite(value);
        return value;
    }
};

QJsonObject hintOffset() {
    return {{QStringLiteral("x"), 0}, {QStringLiteral("y"), 0}};
}

QJsonObject keyboardEntry(const QString& className, const QJsonObject& data) {
    return {{QStringLiteral("ucid"), QUuid::createUuid().toString(QUuid::Id128)},
            {QStringLiteral("class"), className},
            {QStringLiteral("data"), data}};
}

QJsonObject pointData(Writer& writer, const KeyMappingItem& item) {
    return {{QStringLiteral("key"), *item.windowsKey},
            {QStringLiteral("secondKey"), item.secondWindowsKey.value_or(0)},
            {QStringLiteral("point"), writer.logicPoint(item.normalizedPoint)},
            {QStringLiteral("type"), 0},
            {QStringLiteral("downDuration"), 0},
            {QStringLiteral("upDuration"), 0},
            {QStringLiteral("downDurationEx"), 0},
            {QStringLiteral("upDurationEx"), 0},
            {QStringLiteral("description"), item.actionDescription.value_or(QString())},
            {QStringLiteral("moreDescription"), QString()},
            {QStringLiteral("hintVisible"), true},
            {QStringLiteral("hintOffset"), hintOffset()},
            {QStringLiteral("extraData"), QString()}};
}

QJsonObject discData(Writer& writer, const KeyMappingItem& item) {
    const auto keyOf = [&item](KeyMappingDirection direction) {
        const auto binding = item.directionBindings.find(direction);
        return binding == item.directionBindings.end() ? 0 : binding->second.windowsKey.value_or(0);
    };
    return {{QStringLiteral("type"), 0},
            {QStringLiteral("origin"), writer.logicPoint(item.normalizedPoint)},
            {QStringLiteral("radius"), item.moveRadius
                                           ? writer.units(*item.moveRadius)
                                           : logicUnits(KeyMappingItem::kDefaultMoveRadius)},
            {QStringLiteral("leftKey"), keyOf(KeyMappingDirection::left)},
            {QStringLiteral("upKey"), keyOf(KeyMappingDirection::up)},
            {QStringLiteral("rightKey"), keyOf(KeyMappingDirection::right)},
            {QStringLiteral("downKey"), keyOf(KeyMappingDirection::down)},
            {QStringLiteral("description"), item.actionDescription.value_or(QString())},
            {QStringLiteral("moreDescription"), QString()},
            {QStringLiteral("extraData"), QString()},
            {QStringLiteral("hintVisible"), true},
            {QStringLiteral("hintOffset"), hintOffset()}};
}

// The texts every mouse mapping carries.
QJsonObject mouseData(QJsonObject data) {
    data.insert(QStringLiteral("description"), QString());
    data.insert(QStringLiteral("moreDescription"), QString());
    data.insert(QStringLiteral("extraData"), QString());
    data.insert(QStringLiteral("hintVisible"), true);
    data.insert(QStringLiteral("hintOffset"), hintOffset());
    return data;
}

}  // namespace

QPointF normalizedPoint(const LogicPoint& point) {
    return QPointF(std::clamp(point.x / kLogicSize, 0.0, 1.0),
                   std::clamp(point.y / kLogicSize, 0.0, 1.0));
}

qint64 logicUnits(double normalized) {
    return static_cast<qint64>(std::round(normalized * kLogicSize));
}

Result<ImportedKeyMappingPlan> importPlan(const QByteArray& data, const QString& fileName,
                                          const QString& packagePattern,
                                          KeyMappingPlanSource source) {
    Result<KMPFile> file = KMPFile::decode(data);
    if (!file) {
        return file.error();
    }
    return convertPlan(file.value(), fileName, packagePattern, source);
}

Result<QByteArray> exportPlanJSON(const QList<KeyMappingItem>& items,
                                  const ImportedMouseConfiguration& mouseConfiguration) {
    Writer writer;
    QJsonArray mappings;
    for (const KeyMappingItem& item : items) {
        if (item.isMove()) {
            mappings.append(keyboardEntry(kDisc, discData(writer, item)));
        } else if (item.windowsKey) {
            mappings.append(keyboardEntry(kPoint, pointData(writer, item)));
        }
    }
    if (mouseConfiguration.triggerPoint) {
        mappings.append(
            QJsonObject{{QStringLiteral("class"), kMouseTrigger},
                        {QStringLiteral("data"),
                         mouseData({{QStringLiteral("point"),
                                     writer.logicPoint(*mouseConfiguration.triggerPoint)}})}});
    }
    if (const auto& drag = mouseConfiguration.drag) {
        const int mode = drag->mode == ImportedMouseConfiguration::DragMode::sight ? 0 : 1;
        mappings.append(QJsonObject{
            {QStringLiteral("class"), kMouseDrag},
            {QStringLiteral("data"),
             mouseData({{QStringLiteral("key"), drag->windowsKey},
                        {QStringLiteral("mode"), mode},
                        {QStringLiteral("origin"), writer.logicPoint(drag->normalizedPoint)},
                        {QStringLiteral("sensitivityex_x"), writer.number(drag->sensitivityX)},
                        {QStringLiteral("sensitivityex_y"), writer.number(drag->sensitivityY)}})}});
    }
    if (!writer.finite) {
        return Error{QStringLiteral("EncodingError"), 1,
                     QStringLiteral("the plan holds a number that cannot be written")};
    }
    // Objects come out with their keys sorted, as plan files are written.
    return QJsonDocument(QJsonObject{{QStringLiteral("keyboardMappings"), mappings}})
        .toJson(QJsonDocument::Indented);
}

}  // namespace WindowsPlanFormat
