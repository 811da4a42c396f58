#pragma once

#include "foundation/json/Result.h"
#include "sdk/MediaTime.h"

#include <functional>
#include <memory>
#include <mutex>

// A media clock that runs from a source clock at a rate of its own: it stands still (rate 0) at
// time 0 until it is set and started. Any thread.
class ControlTimebase {
public:
    // Seconds on the source clock.
    using Clock = std::function<double()>;

    // The monotonic clock of this machine.
    static Clock hostClock();
    // Fails when there is no source clock to run from.
    static Result<std::shared_ptr<ControlTimebase>> create(Clock sourceClock);

    double seconds() const;
    // An invalid time leaves the clock where it is.
    void setTime(MediaTime time);
    double rate() const;
    void setRate(double rate);

private:
    explicit ControlTimebase(Clock sourceClock);
    double secondsLocked(double sourceNow) const;

    const Clock m_sourceClock;
    mutable std::mutex m_mutex;
    double m_anchorTime = 0;
    double m_anchorSource = 0;
    double m_rate = 0;
};
