#include "foundation/concurrency/SerialQueue.h"

#include <QThread>

SerialQueue::SerialQueue(QString label) : m_label(std::move(label)) {
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(m_label);
    m_thread->start();
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread->wait();
}

void SerialQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(work));
    }
    m_wake.notify_one();
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

void SerialQueue::run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
            if (m_pending.empty()) {
                return;
            }
            work = std::move(m_pending.front());
            m_pending.pop_front();
        }
        work();
    }
}
