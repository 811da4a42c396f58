#pragma once

#include "loopback/ImageServerConnection.h"
#include "loopback/LoopbackPeerOwner.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <vector>

#include <sys/types.h>

class QSocketNotifier;

// The loopback server's sockets: listens on 127.0.0.1 and, where the machine has it, ::1 (never
// on other interfaces), collects each connection's request head and sends the one reply the
// responder makes for it, then closes. Each connection keeps to the time limit (see
// `ImageServerConnection`). With the limit of open connections reached it stops accepting: later
// peers wait in the system's accept queue and are taken as open connections close (one console
// line for a burst of that). A connection whose peer socket belongs to another local account than
// this process's is answered 403 "Forbidden" as it is accepted, without waiting for its request,
// and closed at once: it never holds one of the open connections (one console line for a burst).
// A connection whose owner cannot be told this time is dropped unanswered; only when the system
// cannot tell whose any peer is is every connection served, and that is said once. Each open
// connection may hold two descriptors (its socket and the file it sends): where the process's
// soft limit of descriptors leaves too few for that, `listen` raises it toward the hard limit.
// Lives on the server's own thread; every call is made there.
class ImageServerListener : public QObject {
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
    bool isListening() const { return !m_listening.empty(); }
    quint16 serverPort() const { return m_port; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct ListeningSocket {
        int descriptor;
        QSocketNotifier* notifier;
    };
    // One console line for events that follow each other closely.
    struct BurstNotice {
        QElapsedTimer last;
        // Whether this event starts a new burst.
        bool startsBurst();
    };

    // Takes the peers waiting on a listening socket while below the limit.
    void acceptWaiting(int listening);
    // Serves an accepted connection, or refuses it when it is another account's.
    void admit(int descriptor);
    // Answers another account's connection 403 and closes it.
    void refuse(int descriptor, uid_t owner);
    void setAccepting(bool accepting);
    void connectionClosed();

    Responder m_responder;
    Limits m_limits;
    uid_t m_user;
    // The whole reply to another account's connection.
    QByteArray m_forbidden;
    LoopbackPeerOwner m_peerOwner;
    std::vector<ListeningSocket> m_listening;
    quint16 m_port = 0;
    // The parent of every open connection.
    QObject* m_connections;
    int m_open = 0;
    // Accepting again a moment after the process ran short of descriptors.
    QBasicTimer m_retry;
    BurstNotice m_full;
    BurstNotice m_otherAccounts;
    bool m_toldOwnersUnknown = false;
};
