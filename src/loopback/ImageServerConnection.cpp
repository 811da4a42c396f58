#include "loopback/ImageServerConnection.h"

#include <QSocketNotifier>
#include <QTimerEvent>

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Reads per wake-up, so that a peer that never stops sending cannot hold the thread.
constexpr int kReadsPerWakeUp = 16;

bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

// A write failed because the peer reset or closed the connection (the process ignores SIGPIPE,
// so a file sent to it fails with EPIPE instead of ending the process).
bool peerWentAway() {
    return errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN;
}

}  // namespace

ImageServerConnection::ImageServerConnection(int descriptor, Responder responder,
                                             std::chrono::milliseconds timeLimit, QObject* parent)
    : QObject(parent),
      m_descriptor(descriptor),
      m_responder(std::move(responder)),
      m_timeLimit(timeLimit) {
    // sendfile has no flag of its own for this.
    ::fcntl(m_descriptor, F_SETFL, ::fcntl(m_descriptor, F_GETFL) | O_NONBLOCK);
    m_readable = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, [this] { readAvailable(); });
    // The head's deadline: counted from here, never pushed back by what arrives.
    restartDeadline();
}

ImageServerConnection::~ImageServerConnection() {
    if (m_descriptor >= 0) {
        // The notifiers go before the descriptor they watch.
        delete m_readable;
        delete m_writable;
        ::close(m_descriptor);
    }
}

void ImageServerConnection::restartDeadline() {
    m_deadline.start(static_cast<int>(m_timeLimit.count()), this);
}

void ImageServerConnection::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_deadline.timerId()) {
        close();
    }
}

void ImageServerConnection::readAvailable() {
    char buffer[16384];
    for (int turn = 0; turn < kReadsPerWakeUp; ++turn) {
        const ssize_t received = ::recv(m_descriptor, buffer, sizeof buffer, MSG_DONTWAIT);
        if (received > 0) {
            if (!m_answered &&
                m_request.append(QByteArray::fromRawData(buffer, received)) !=
                    HttpRequestReader::State::incomplete &&
                !answer()) {
                return;
            }
            continue;
        }
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received < 0 && wouldBlock()) {
            return;
        }
        if (received == 0 && !m_answered &&
            m_request.finish() != HttpRequestReader::State::incomplete) {
            // The reply to a request cut short by the peer's end goes out before the close.
            m_peerClosed = true;
            m_readable->setEnabled(false);
            answer();
            return;
        }
        if (received < 0 || !m_sending) {
            close();
            return;
        }
        // The peer has said all it will; the reply still goes out whole before the close.
        m_peerClosed = true;
        m_readable->setEnabled(false);
        return;
    }
}

bool ImageServerConnection::answer() {
    m_answered = true;
    m_reply = m_responder(m_request);
    m_sending = true;
    restartDeadline();
    return afterSending(sendRest());
}

ImageServerConnection::SendOutcome ImageServerConnection::sendRest() {
    const bool fileFollows = m_reply.file && m_fileSent < m_reply.fileSize;
    for (;;) {
        const bool inHead = m_headSent < m_reply.head.size();
        if (!inHead && m_bodySent >= m_reply.body.size()) {
            break;
        }
        const QByteArray& part = inHead ? m_reply.head : m_reply.body;
        qsizetype& sent = inHead ? m_headSent : m_bodySent;
        const bool more = fileFollows || (inHead && !m_reply.body.isEmpty());
        const ssize_t count =
            ::send(m_descriptor, part.constData() + sent, static_cast<size_t>(part.size() - sent),
                   MSG_NOSIGNAL | MSG_DONTWAIT | (more ? MSG_MORE : 0));
        if (count > 0) {
            sent += count;
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            return count < 0 && wouldBlock() ? SendOutcome::blocked : SendOutcome::peerGone;
        }
    }
    while (fileFollows && m_fileSent < m_reply.fileSize) {
        const ssize_t copied = ::sendfile(m_descriptor, m_reply.file->handle(), &m_fileSent,
                                          static_cast<size_t>(m_reply.fileSize - m_fileSent));
        if (copied > 0 || (copied < 0 && errno == EINTR)) {
            continue;
        }
        if (copied < 0 && wouldBlock()) {
            return SendOutcome::blocked;
        }
        return copied < 0 && peerWentAway() ? SendOutcome::peerGone : SendOutcome::fileShort;
    }
    return SendOutcome::done;
}

void ImageServerConnection::writable() {
    const auto sentSoFar = [this] { return m_headSent + m_bodySent + m_fileSent; };
    const qint64 before = sentSoFar();
    const SendOutcome outcome = sendRest();
    if (sentSoFar() != before) {
        restartDeadline();
    }
    afterSending(outcome);
}

bool ImageServerConnection::afterSending(SendOutcome outcome) {
    switch (outcome) {
        case SendOutcome::done:
            m_sending = false;
            if (m_writable) {
                m_writable->setEnabled(false);
            }
            // The file is closed and the shared bytes let go as soon as they are out.
            m_reply = {};
            finishSending();
            break;
        case SendOutcome::blocked:
            if (!m_writable) {
                m_writable = new QSocketNotifier(m_descriptor, QSocketNotifier::Write, this);
                connect(m_writable, &QSocketNotifier::activated, this, [this] { writable(); });
            }
            break;
        case SendOutcome::peerGone:
            close();
            break;
        case SendOutcome::fileShort:
            close(true);
            break;
    }
    return m_descriptor >= 0;
}

void ImageServerConnection::finishSending() {
    if (m_peerClosed) {
        close();
        return;
    }
    // Closing with unread request bytes would reset the connection and could cost the peer the
    // reply, so only the sending side closes; reading goes on until the peer closes, for one more
    // time limit at most.
    ::shutdown(m_descriptor, SHUT_WR);
    restartDeadline();
}

void ImageServerConnection::close(bool reset) {
    if (m_descriptor < 0) {
        return;
    }
    m_readable->setEnabled(false);
    if (m_writable) {
        m_writable->setEnabled(false);
    }
    m_deadline.stop();
    if (reset) {
        const linger immediately{1, 0};
        ::setsockopt(m_descriptor, SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
    }
    ::close(std::exchange(m_descriptor, -1));
    deleteLater();
}
