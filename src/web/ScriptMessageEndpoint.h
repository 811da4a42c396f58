#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The one native object the page's message handlers talk to over the web channel: each post
// arrives as the handler's name, the JSON text of the posted body and the address of the page
// that posted it.
class ScriptMessageEndpoint : public QObject {
    Q_OBJECT
public:
    using Receiver = std::function<void(const QString& handlerName, const QString& bodyJson,
                                        const QString& pageAddress)>;

    // The name the page's script finds this object under.
    static inline const QString kChannelName = QStringLiteral("nativeMessageEndpoint");

    explicit ScriptMessageEndpoint(Receiver receiver, QObject* parent = nullptr)
        : QObject(parent), m_receiver(std::move(receiver)) {}

    Q_INVOKABLE void postMessage(const QString& handlerName, const QString& bodyJson,
                                 const QString& pageAddress) {
        if (m_receiver) {
            m_receiver(handlerName, bodyJson, pageAddress);
        }
    }

private:
    Receiver m_receiver;
};
