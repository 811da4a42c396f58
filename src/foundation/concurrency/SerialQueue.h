#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// A labelled worker thread that runs closures one at a time, first in, first out. Work may use
// Qt objects that belong to the worker thread (a local QEventLoop included). Destroying the
// queue runs what is already queued, then ends the thread.
class SerialQueue {
public:
    explicit SerialQueue(QString label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const QString& label() const { return m_label; }

    void async(std::function<void()> work);
    // Runs `work` on the queue and waits for it; on the queue itself it runs at once.
    void sync(const std::function<void()>& work);

    bool isCurrent() const;
    QThread* thread() const { return m_thread.get(); }

private:
    void run();

    const QString m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_pending;
    bool m_stopping = false;
    std::unique_ptr<QThread> m_thread;
};
