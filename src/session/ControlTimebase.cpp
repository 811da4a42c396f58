#include "session/ControlTimebase.h"

#include <chrono>

ControlTimebase::Clock ControlTimebase::hostClock() {
    return [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
}

Result<std::shared_ptr<ControlTimebase>> ControlTimebase::create(Clock sourceClock) {
    if (!sourceClock) {
        return Error{QStringLiteral("ControlTimebase"), -12753, QStringLiteral("没有可用的源时钟")};
    }
    return std::shared_ptr<ControlTimebase>(new ControlTimebase(std::move(sourceClock)));
}

ControlTimebase::ControlTimebase(Clock sourceClock) : m_sourceClock(std::move(sourceClock)) {
    m_anchorSource = m_sourceClock();
}

double ControlTimebase::secondsLocked(double sourceNow) const {
    return m_anchorTime + m_rate * (sourceNow - m_anchorSource);
}

double ControlTimebase::seconds() const {
    const double now = m_sourceClock();
    std::lock_guard lock(m_mutex);
    return secondsLocked(now);
}

void ControlTimebase::setTime(MediaTime time) {
    if (!time.isValid()) {
        return;
    }
    const double now = m_sourceClock();
    std::lock_guard lock(m_mutex);
    m_anchorTime = time.seconds();
    m_anchorSource = now;
}

double ControlTimebase::rate() const {
    std::lock_guard lock(m_mutex);
    return m_rate;
}

void ControlTimebase::setRate(double rate) {
    const double now = m_sourceClock();
    std::lock_guard lock(m_mutex);
    m_anchorTime = secondsLocked(now);
    m_anchorSource = now;
    m_rate = rate;
}
