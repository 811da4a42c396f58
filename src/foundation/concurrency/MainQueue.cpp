#include "foundation/concurrency/MainQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cassert>
#include <mutex>

namespace MainQueue {
namespace {

QCoreApplication* application() {
    QCoreApplication* app = QCoreApplication::instance();
    assert(app && "MainQueue needs a QCoreApplication");
    return app;
}

// Other threads may still finish work and post its results while the application object is
// being destroyed. Its destructor runs post routines before it lets go of the instance, so the
// gate closes there: a post either completes before teardown goes on, or is dropped, since no
// event loop would ever run it. The gate opens again for an application made later.
struct Gate {
    std::mutex mutex;
    // As a plain QObject: while it is torn down, the object is no application any more.
    QPointer<QObject> watched;
    bool closed = false;
    bool hadApplication = false;
};

Gate& gate() {
    // Never destroyed: threads may still post while the process runs its exit handlers.
    static auto* const instance = new Gate;
    return *instance;
}

void closeGate() {
    Gate& state = gate();
    const std::lock_guard lock(state.mutex);
    state.closed = true;
}

void post(std::function<void()> work) {
    Gate& state = gate();
    const std::lock_guard lock(state.mutex);
    if (state.closed) {
        if (state.watched) {
            return;  // still being torn down
        }
        state.closed = false;
    }
    if (!QCoreApplication::instance() && state.hadApplication) {
        return;
    }
    QCoreApplication* app = application();
    if (state.watched.data() != static_cast<QObject*>(app)) {
        state.watched = app;
        state.hadApplication = true;
        qAddPostRoutine(closeGate);
    }
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

std::function<void()> guarded(const QObject* context, std::function<void()> work) {
    if (!context) {
        return work;
    }
    return [guard = QPointer<const QObject>(context), work = std::move(work)] {
        if (guard) {
            work();
        }
    };
}

}  // namespace

void async(std::function<void()> work) {
    post(std::move(work));
}

void async(const QObject* context, std::function<void()> work) {
    async(guarded(context, std::move(work)));
}

void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    // Hop first so the timer is owned by the GUI thread, whichever thread asked.
    async([delay, work = std::move(work)]() mutable {
        QTimer::singleShot(delay, application(), std::move(work));
    });
}

void asyncAfter(std::chrono::milliseconds delay, const QObject* context,
                std::function<void()> work) {
    asyncAfter(delay, guarded(context, std::move(work)));
}

bool isMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace MainQueue
