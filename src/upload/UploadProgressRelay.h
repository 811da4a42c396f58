#pragma once

#include <QString>

#include <functional>
#include <memory>

// Carries one transfer's progress to the GUI thread with at most one call waiting there: a report
// made while one waits replaces that one's values, so a busy GUI thread gets the newest report
// once rather than every report in turn.
class UploadProgressRelay {
public:
    using Handler =
        std::function<void(float fraction, const QString& speed, const QString& remainingTime)>;

    // Without a handler every report is dropped. Copies share one waiting report.
    UploadProgressRelay();
    explicit UploadProgressRelay(Handler handler);

    // Any thread. The handler runs on the GUI thread, after work queued there before this call.
    void post(float fraction, const QString& speed, const QString& remainingTime);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
