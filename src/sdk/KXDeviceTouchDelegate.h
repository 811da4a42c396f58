#pragma once

#include "sdk/KXTouchObc.h"

#include <QList>

// Receiver of a touch surface's contacts: begin when the first contact starts, the full list
// after every change, end when the last contact goes.
class KXDeviceTouchDelegate {
public:
    virtual ~KXDeviceTouchDelegate() = default;

    virtual void touchBegin() = 0;
    virtual void touchMove(const QList<KXTouchObc>& touches) = 0;
    virtual void touchEnd() = 0;
};
