#pragma once

#include "keymapping/KeyMappingDirection.h"
#include "keymapping/KeyMappingKeyBinding.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <map>
#include <optional>

// Where a plan comes from: the built-in plan package or the user's own plans.
enum class KeyMappingPlanSource { packageConfigs, custom };

QString rawValue(KeyMappingPlanSource source);

// One mapping of a plan as read from a plan file. Points are normalised to 0...1 over the video,
// origin top left, y growing downward, as in the plan files themselves.
struct ImportedKeyMapping {
    enum class MappingType { tap, move, joystick };

    MappingType type = MappingType::tap;
    int windowsKey = 0;
    int secondWindowsKey = 0;  // 0: no second key
    QString displayName;
    std::optional<QString> actionDescription;
    std::optional<quint16> macKeyCode;
    std::map<KeyMappingDirection, KeyMappingKeyBinding> directionBindings;
    std::optional<double> moveRadius;
    QPointF normalizedPoint;

    bool operator==(const ImportedKeyMapping& other) const;
};

struct ImportedMouseConfiguration {
    enum class DragMode { sight = 0, view = 1 };

    struct Drag {
        int windowsKey = 0;
        DragMode mode = DragMode::sight;
        QPointF normalizedPoint;
        double sensitivityX = 1;
        double sensitivityY = 1;

        bool operator==(const Drag& other) const;
    };

    std::optional<QPointF> triggerPoint;
    std::optional<Drag> drag;

    bool isEmpty() const { return !triggerPoint && !drag; }
    bool operator==(const ImportedMouseConfiguration& other) const;
};

struct ImportedKeyMappingPlan {
    QString fileName;
    QString packagePattern;  // the index entry's pattern, or the package name for other plans
    QList<ImportedKeyMapping> mappings;
    ImportedMouseConfiguration mouseConfiguration;
    KeyMappingPlanSource source = KeyMappingPlanSource::packageConfigs;

    bool operator==(const ImportedKeyMappingPlan&) const = default;
};

// Points compare exactly; QPointF's own comparison is fuzzy.
bool samePoint(const QPointF& a, const QPointF& b);
