#include "foundation/concurrency/SerialQueue.h"

#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

struct SerialQueue::Pending {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> work;
    bool stopping = false;

    // Runs the work as it comes until the queue stops and none is left.
    void run() {
        for (;;) {
            std::function<void()> next;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !work.empty(); });
                if (work.empty()) {
                    return;
                }
                next = std::move(work.front());
                work.pop_front();
            }
            next();
        }
    }
};

namespace {

// The threads of queues destroyed by their own work. A thread cannot wait for itself, so each is
// kept here until it has ended: deleted when another is added after it, or waited for at exit.
class EndingThreads {
public:
    ~EndingThreads() {
        for (const std::unique_ptr<QThread>& thread : m_threads) {
            thread->wait();
        }
    }

    void add(std::unique_ptr<QThread> thread) {
        const std::lock_guard lock(m_mutex);
        std::erase_if(m_threads,
                      [](const std::unique_ptr<QThread>& ending) { return ending->isFinished(); });
        m_threads.push_back(std::move(thread));
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<QThread>> m_threads;
};

EndingThreads& endingThreads() {
    static EndingThreads threads;
    return threads;
}

}  // namespace

SerialQueue::SerialQueue(QString label)
    : m_label(std::move(label)), m_pending(std::make_shared<Pending>()) {
    m_thread.reset(QThread::create([pending = m_pending] { pending->run(); }));
    m_thread->setObjectName(m_label);
    m_thread->start();
}

SerialQueue::~SerialQueue() {
    {
        const std::lock_guard lock(m_pending->mutex);
        m_pending->stopping = true;
    }
    m_pending->wake.notify_one();
    if (isCurrent()) {
        endingThreads().add(std::move(m_thread));
        return;
    }
    m_thread->wait();
}

void SerialQueue::async(std::function<void()> work) {
    {
        const std::lock_guard lock(m_pending->mutex);
        m_pending->work.push_back(std::move(work));
    }
    m_pending->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& work) {
    if (isCurrent()) {
        work();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    async([&] {
        work();
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

bool SerialQueue::isCurrent() const {
    return QThread::currentThread() == m_thread.get();
}
