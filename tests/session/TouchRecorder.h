#pragma once

#include "sdk/KXDeviceTouchDelegate.h"
#include "sdk/TouchRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

// A touch delegate that keeps every message it gets, and writes them as short texts
// ("begin", "move 0@0.5,0.25 3@1,0", "end") for comparisons.
class TouchRecorder : public KXDeviceTouchDelegate {
public:
    void touchBegin() override { records.append({TouchPhase::begin, {}}); }
    void touchMove(const QList<KXTouchObc>& touches) override {
        records.append({TouchPhase::move, touches});
    }
    void touchEnd() override { records.append({TouchPhase::end, {}}); }

    static QString text(const TouchRecord& record) {
        switch (record.phase) {
            case TouchPhase::begin:
                return QStringLiteral("begin");
            case TouchPhase::end:
                return QStringLiteral("end");
            case TouchPhase::move:
                break;
        }
        QString line = QStringLiteral("move");
        for (const KXTouchObc& touch : record.contacts) {
            line += QStringLiteral(" %1@%2,%3")
                        .arg(touch.index())
                        .arg(static_cast<double>(touch.x()))
                        .arg(static_cast<double>(touch.y()));
        }
        return line;
    }
    QStringList texts() const {
        QStringList lines;
        for (const TouchRecord& record : records) {
            lines << text(record);
        }
        return lines;
    }

    QList<TouchRecord> records;
};
