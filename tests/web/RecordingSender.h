#pragma once

#include "web/Native2WebMessageSender.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <mutex>

// A sender that keeps every message instead of running it in a page; replies built by
// `sendResponse` arrive here too, as they would reach the page.
class RecordingSender : public Native2WebMessageSender {
public:
    void send(const Native2WebMessage& message, Completion completion = {}) override {
        {
            std::lock_guard lock(m_mutex);
            m_messages << message;
        }
        if (completion) {
            completion(QVariant());
        }
    }

    QList<Native2WebMessage> messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    QList<Native2WebMessage> ofType(const QString& type) const {
        QList<Native2WebMessage> kept;
        for (const Native2WebMessage& message : messages()) {
            if (message.type == type) {
                kept << message;
            }
        }
        return kept;
    }
    // Compact JSON of each message's data, in order.
    QStringList dataTexts(const QString& type) const {
        QStringList texts;
        for (const Native2WebMessage& message : ofType(type)) {
            const QByteArray wrapped =
                QJsonDocument(QJsonObject{{QStringLiteral("d"), message.data}})
                    .toJson(QJsonDocument::Compact);
            texts << QString::fromUtf8(wrapped.mid(5, wrapped.size() - 6));
        }
        return texts;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

private:
    mutable std::mutex m_mutex;
    QList<Native2WebMessage> m_messages;
};
