#include "foundation/concurrency/NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::~NotificationCenter() {
    for (const auto& entry : m_entries) {
        QObject::disconnect(entry->ownerWatch);
    }
}

NotificationCenter::ObserverId NotificationCenter::addObserver(QObject* owner, const QString& name,
                                                               Handler handler) {
    auto entry = std::make_shared<Entry>();
    entry->ownerKey = owner;
    entry->owner = owner;
    entry->hasOwner = owner != nullptr;
    entry->name = name;
    entry->handler = std::move(handler);

    std::lock_guard lock(m_mutex);
    entry->id = m_nextId++;
    if (owner) {
        const ObserverId id = entry->id;
        // Direct: the entry must be gone before the owner's memory is.
        entry->ownerWatch = QObject::connect(
            owner, &QObject::destroyed, owner, [this, id] { removeObserver(id); },
            Qt::DirectConnection);
    }
    m_entries.push_back(entry);
    return entry->id;
}

template <typename Predicate>
void NotificationCenter::removeWhere(Predicate predicate) {
    std::vector<std::shared_ptr<Entry>> removed;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::stable_partition(m_entries.begin(), m_entries.end(),
                                        [&](const auto& entry) { return !predicate(*entry); });
        removed.assign(it, m_entries.end());
        m_entries.erase(it, m_entries.end());
    }
    for (const auto& entry : removed) {
        entry->active = false;
        QObject::disconnect(entry->ownerWatch);
    }
}

void NotificationCenter::removeObserver(ObserverId id) {
    removeWhere([id](const Entry& entry) { return entry.id == id; });
}

void NotificationCenter::removeObserver(const QObject* owner) {
    if (!owner) {
        return;
    }
    removeWhere([owner](const Entry& entry) { return entry.ownerKey == owner; });
}

void NotificationCenter::removeObserver(const QObject* owner, const QString& name) {
    if (!owner) {
        return;
    }
    removeWhere([&](const Entry& entry) { return entry.ownerKey == owner && entry.name == name; });
}

void NotificationCenter::post(const QString& name, const QObject* object,
                              const QVariantMap& userInfo) {
    std::vector<std::shared_ptr<Entry>> observers;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_entries) {
            if (entry->name == name) {
                observers.push_back(entry);
            }
        }
    }
    const Notification notification{name, object, userInfo};
    for (const auto& entry : observers) {
        // An observer removed by an earlier one in this same post is not called.
        if (!entry->active || (entry->hasOwner && entry->owner.isNull())) {
            continue;
        }
        entry->handler(notification);
    }
}

int NotificationCenter::observerCount(const QString& name) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [&](const auto& entry) { return entry->name == name; }));
}
