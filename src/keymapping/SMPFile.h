#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QString>

struct ResolutionRelatives {
    QString keyboardId;  // file name of the remembered plan; empty: none
    QString joystickId;

    bool operator==(const ResolutionRelatives&) const = default;
};

// The remembered-plan record of one app ("selected"/<package>.smp). Only `keyboardId` is used;
// the other values are written as the format has them so that other clients can read the file.
struct SMPFile {
    bool reduceInertia = true;
    bool keyboardShowGreet = true;
    bool joystickShowGreet = true;
    bool keyboardFirstGreet = true;
    bool joystickFirstGreet = true;
    bool keyboardShowHints = true;
    bool joystickShowHints = true;
    qint64 keyboardIgnoreVersion = 0;
    qint64 joystickIgnoreVersion = 0;
    qint64 noticeTimes = 0;
    qint64 noticeHash = 0;
    ResolutionRelatives resolutionRelatives;

    bool operator==(const SMPFile&) const = default;

    // Compact JSON with sorted keys and "/" escaped, byte for byte as the format's writers do.
    QByteArray encode() const;
    // Every key of both records is required.
    static Result<SMPFile> decode(const QByteArray& data);
};
