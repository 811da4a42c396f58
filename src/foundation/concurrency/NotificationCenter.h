#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct Notification {
    QString name;
    const QObject* object = nullptr;  // the sender, when it names one
    QVariantMap userInfo;
};

// Observers by name. A post calls every observer of that name synchronously, on the posting
// thread, in the order they were added. An observer that has an owner is removed when the owner
// is destroyed, so a window never hears a notification after it is gone.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    using ObserverId = std::uint64_t;

    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    ObserverId addObserver(QObject* owner, const QString& name, Handler handler);
    void removeObserver(ObserverId id);
    // Every observation of this owner, or only those of one name.
    void removeObserver(const QObject* owner);
    void removeObserver(const QObject* owner, const QString& name);

    void post(const QString& name, const QObject* object = nullptr,
              const QVariantMap& userInfo = {});

    int observerCount(const QString& name) const;

private:
    struct Entry {
        ObserverId id = 0;
        const QObject* ownerKey = nullptr;
        QPointer<QObject> owner;
        bool hasOwner = false;
        QString name;
        Handler handler;
        QMetaObject::Connection ownerWatch;
        std::atomic<bool> active{true};
    };

    template <typename Predicate>
    void removeWhere(Predicate predicate);

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;
    ObserverId m_nextId = 1;
};
