#pragma once

#include "app/ImageServerConnection.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

class QTcpServer;

// The loopback server's sockets: listens on 127.0.0.1 and, where the machine has it, ::1 (never
// on other interfaces), collects each connection's request head and sends the one reply the
// responder makes for it, then closes. A connection that stays silent for the idle time-out is
// dropped. Lives on the server's own thread; every call is made there.
class ImageServerListener : public QObject {
    Q_OBJECT

public:
    using Responder = ImageServerConnection::Responder;

    ImageServerListener(Responder responder, std::chrono::milliseconds idleTimeout,
                        QObject* parent = nullptr);
    ~ImageServerListener() override;
    ImageServerListener(const ImageServerListener&) = delete;
    ImageServerListener& operator=(const ImageServerListener&) = delete;

    // Empty on success, else the reason; on failure nothing is left listening.
    QString listen(quint16 port);
    // Stops listening and drops every open connection.
    void close();
    bool isListening() const { return !m_servers.isEmpty(); }
    quint16 serverPort() const;

private:
    Responder m_responder;
    std::chrono::milliseconds m_idleTimeout;
    QList<QTcpServer*> m_servers;
};
