#include "keymapping/ImportedKeyMappingPlan.h"

QString rawValue(KeyMappingPlanSource source) {
    return source == KeyMappingPlanSource::custom ? QStringLiteral("custom")
                                                  : QStringLiteral("packageConfigs");
}

bool samePoint(const QPointF& a, const QPointF& b) {
    return a.x() == b.x() && a.y() == b.y();
}

bool ImportedKeyMapping::operator==(const ImportedKeyMapping& other) const {
    return type == other.type && windowsKey == other.windowsKey &&
           secondWindowsKey == other.secondWindowsKey && displayName == other.displayName &&
           actionDescription == other.actionDescription && macKeyCode == other.macKeyCode &&
           directionBindings == other.directionBindings && moveRadius == other.moveRadius &&
           samePoint(normalizedPoint, other.normalizedPoint);
}

bool ImportedMouseConfiguration::Drag::operator==(const Drag& other) const {
    return windowsKey == other.windowsKey && mode == other.mode &&
           samePoint(normalizedPoint, other.normalizedPoint) &&
           sensitivityX == other.sensitivityX && sensitivityY == other.sensitivityY;
}

bool ImportedMouseConfiguration::operator==(const ImportedMouseConfiguration& other) const {
    if (triggerPoint.has_value() != other.triggerPoint.has_value()) {
        return false;
    }
    if (triggerPoint && !samePoint(*triggerPoint, *other.triggerPoint)) {
        return false;
    }
    return drag == other.drag;
}
