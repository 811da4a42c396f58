#pragma once

#include "loopback/HttpReply.h"
#include "loopback/HttpRequestReader.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QFile>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

#include <sys/types.h>

class QSocketNotifier;

// One accepted connection of the loopback server, worked on its descriptor directly: collects the
// request's head, sends the one reply made for it, then stops sending and reads on until the peer
// closes, so that request bytes left unread never reset the connection before the reply has
// arrived. The reply goes out as fast as the peer takes it: the bytes held in memory are sent from
// where the last send stopped in the buffer they share with the reply's maker, and a served file
// goes from the page cache straight to the socket from its offset, the file kept open meanwhile.
// So a peer that reads slowly, or not at all, costs the process a small fixed amount whatever the
// reply's size. One time limit bounds each stage: the whole head must arrive within it from the
// connection's start (bytes that trickle in do not extend it), a reply being sent must make
// progress within it, and once the reply is out the peer has that long to close; past it the
// connection is dropped. It deletes itself once closed; deleting it closes it too.
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
        // Everything is out.
        done,
        // The socket takes no more for now; the rest goes when it is writable again.
        blocked,
        // The peer has reset or closed the connection: nobody reads the rest.
        peerGone,
        // The file came up short of the length its headers announced, or could not be read.
        fileShort,
    };
    // Hands the kernel as much of the rest of the reply as it takes now.
    SendOutcome sendRest();
    void writable();
    // False when the connection had to be closed.
    bool afterSending(SendOutcome outcome);
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
    // The reply being sent: what of its head and body went out, then of its file.
    HttpReply::Reply m_reply;
    qsizetype m_headSent = 0;
    qsizetype m_bodySent = 0;
    off_t m_fileSent = 0;
    bool m_answered = false;
    bool m_sending = false;
    bool m_peerClosed = false;
};
