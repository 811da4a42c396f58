#pragma once

#include <QtGlobal>

#include <cmath>

// A point on a media timeline as a whole number of ticks of `timescale` per second. A timescale
// of 0 marks an invalid time.
struct MediaTime {
    qint64 value = 0;
    qint32 timescale = 0;

    bool isValid() const { return timescale > 0; }
    double seconds() const {
        return isValid() ? static_cast<double>(value) / timescale : std::nan("");
    }
    static MediaTime fromSeconds(double seconds, qint32 preferredTimescale) {
        if (!std::isfinite(seconds) || preferredTimescale <= 0) {
            return {};
        }
        return {static_cast<qint64>(std::llround(seconds * preferredTimescale)),
                preferredTimescale};
    }

    bool operator==(const MediaTime&) const = default;
};
