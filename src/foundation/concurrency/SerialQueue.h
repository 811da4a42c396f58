#pragma once

#include <QString>

#include <functional>
#include <memory>

class QThread;

// A labelled worker thread that runs closures one at a time, first in, first out. Work may use
// Qt objects that belong to the worker thread (a local QEventLoop included). Destroying the
// queue runs what is already queued, then ends the thread; destroyed by its own work (the work
// let go of the queue's last owner), it does so once that work returns, without waiting.
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
    struct Pending;

    const QString m_label;
    // Shared with the thread, which may outlive the queue.
    const std::shared_ptr<Pending> m_pending;
    std::unique_ptr<QThread> m_thread;
};
