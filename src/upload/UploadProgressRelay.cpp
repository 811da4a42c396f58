#include "upload/UploadProgressRelay.h"

#include "foundation/concurrency/MainQueue.h"

#include <mutex>
#include <optional>
#include <utility>

namespace {

struct Report {
    float fraction = 0;
    QString speed;
    QString remainingTime;
};

}  // namespace

struct UploadProgressRelay::State {
    explicit State(Handler handlerToCall) : handler(std::move(handlerToCall)) {}

    const Handler handler;
    std::mutex mutex;
    std::optional<Report> waiting;
};

UploadProgressRelay::UploadProgressRelay() : UploadProgressRelay(Handler()) {}

UploadProgressRelay::UploadProgressRelay(Handler handler)
    : m_state(std::make_shared<State>(std::move(handler))) {}

void UploadProgressRelay::post(float fraction, const QString& speed, const QString& remainingTime) {
    if (!m_state->handler) {
        return;
    }
    bool queued = false;
    {
        std::lock_guard lock(m_state->mutex);
        queued = m_state->waiting.has_value();
        m_state->waiting = Report{fraction, speed, remainingTime};
    }
    if (queued) {
        return;
    }
    // The call holds the state, so a report still waiting when the transfer ends is delivered.
    MainQueue::async([state = m_state] {
        std::optional<Report> report;
        {
            std::lock_guard lock(state->mutex);
            report = std::exchange(state->waiting, std::nullopt);
        }
        if (report) {
            state->handler(report->fraction, report->speed, report->remainingTime);
        }
    });
}
