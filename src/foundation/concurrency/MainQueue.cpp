#include "foundation/concurrency/MainQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cassert>

namespace MainQueue {
namespace {

QCoreApplication* application() {
    QCoreApplication* app = QCoreApplication::instance();
    assert(app && "MainQueue needs a QCoreApplication");
    return app;
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
    QMetaObject::invokeMethod(application(), std::move(work), Qt::QueuedConnection);
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
