#pragma once

#include "app/HttpReply.h"
#include "app/HttpRequestReader.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QObject>

#include <chrono>
#include <functional>

class QSocketNotifier;

// One accepted connection of the loopback server, worked on its descriptor directly: collects the
// request's head, sends the one reply made for it (a served file goes from the page cache straight
// to the socket), then stops sending and reads on until the peer closes, so that request bytes
// left unread never reset the connection before the reply has arrived. One time limit bounds
// each stage: the whole head must arrive within it from the connection's start (bytes that
// trickle in do not extend it), a reply being sent must make progress within it, and once the
// reply is out the peer has that long to close; past it the connection is dropped. It deletes
// itself once closed; deleting it closes it too.
class ImageServerConnection : public QObject {
public:
    // Makes the complete reply for a request whose head arrived, or that was empty or grew too
    // large first.
    using Responder = std::function<HttpReply::Reply(const HttpRequestReader& request)>;

    ImageServerConnection(int descriptor, Responder responder, std::chrono::milliseconds timeLimit,
                          QObject* parent);
    ~ImageServerConnection() override;
    ImageServerConnection(const ImageServerConnection&) = delete;
    ImageServerConnection& operator=(const ImageServerConnection&) = delete;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void restartDeadline();
    void readAvailable();
    // False when the connection had to be closed.
    bool answer();
    enum class SendOutcome {
        underway,
        // The peer has reset or closed the connection: nobody reads the rest.
        peerGone,
        // The file came up short of the length its headers announced.
        fileShort,
    };
    // Hands the kernel what it takes now and keeps the rest in m_pending.
    SendOutcome send(const HttpReply::Reply& reply);
    void writePending();
    void finishSending();
    // `reset`: the peer must not take what it got for a whole reply.
    void close(bool reset = false);

    int m_descriptor;
    Responder m_responder;
    std::chrono::milliseconds m_timeLimit;
    QSocketNotifier* m_readable = nullptr;
    QSocketNotifier* m_writable = nullptr;
    QBasicTimer m_deadline;
    HttpRequestReader m_request;
    QByteArray m_pending;
    qsizetype m_pendingSent = 0;
    bool m_answered = false;
    bool m_peerClosed = false;
};
