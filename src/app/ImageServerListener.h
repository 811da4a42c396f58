#pragma once

#include "app/ImageServerConnection.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

class QTcpServer;

// The loopback server's sockets: listens on 127.0.0.1 and, where the machine has it, ::1 (never
// on other interfaces), collects each connection's request head and sends the one reply the
// responder makes for it, then closes. Each connection keeps to the time limit (see
// `ImageServerConnection`); a connection beyond the limit of open ones is closed as soon as it is
// accepted, with one console line for a burst of them. Lives on the server's own thread; every
// call is made there.
class ImageServerListener : public QObject {
    Q_OBJECT

public:
    using Responder = ImageServerConnection::Responder;

    struct Limits {
        std::chrono::milliseconds timeLimit;
        int openConnections;
    };

    ImageServerListener(Responder responder, Limits limits, QObject* parent = nullptr);
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
    // Takes an accepted descriptor as a connection owned by `server`, or closes it at once.
    void accept(int descriptor, QObject* server);
    QTcpServer* newServer();

    Responder m_responder;
    Limits m_limits;
    QList<QTcpServer*> m_servers;
    int m_open = 0;
    // Since the last connection closed for the limit; invalid before the first.
    QElapsedTimer m_lastRefusal;
};
