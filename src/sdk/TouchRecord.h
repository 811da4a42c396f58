#pragma once

#include "sdk/KXTouchObc.h"

#include <QList>

enum class TouchPhase {
    begin,
    move,
    end,
};

// One touch message as a device received it; begin and end carry no contacts.
struct TouchRecord {
    TouchPhase phase = TouchPhase::begin;
    QList<KXTouchObc> contacts;

    bool operator==(const TouchRecord&) const = default;
};
