#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A point in the plans' logical space of 10000 by 10000 units, origin top left.
struct LogicPoint {
    double x = 0;
    double y = 0;
};

struct LogicTimingPoint {
    double x = 0;
    double y = 0;
    std::optional<double> timing;  // read, not used
};

// The "data" object of one mapping; which keys matter depends on the mapping's class.
struct WindowsKeyboardMappingData {
    std::optional<int> key;
    std::optional<int> secondKey;
    std::optional<LogicPoint> point;
    std::optional<LogicPoint> origin;
    std::optional<QList<LogicTimingPoint>> curve;
    std::optional<int> leftKey;
    std::optional<int> upKey;
    std::optional<int> rightKey;
    std::optional<int> downKey;
    std::optional<QString> description;
    std::optional<QString> moreDescription;
    std::optional<double> radius;
    std::optional<int> mode;
    std::optional<double> sensitivity;
    std::optional<double> sensitivityY;
    std::optional<double> sensitivityExX;
    std::optional<double> sensitivityExY;
};

struct WindowsKeyboardMapping {
    QString className;  // "ClassKeyboardPoint", "ClassMouseDrag", …
    WindowsKeyboardMappingData data;
};

// A plan file in the Windows plan format.
struct KMPFile {
    std::optional<QList<WindowsKeyboardMapping>> keyboardMappings;

    static Result<KMPFile> decode(const QByteArray& data);
};
