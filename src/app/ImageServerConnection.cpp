#include "app/ImageServerConnection.h"

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
        if (received < 0 || m_pending.size() == m_pendingSent) {
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
    switch (send(m_responder(m_request))) {
        case SendOutcome::underway:
            break;
        case SendOutcome::peerGone:
            close();
            return false;
        case SendOutcome::fileShort:
            close(true);
            return false;
    }
    if (m_pending.isEmpty()) {
        finishSending();
    } else {
        restartDeadline();
        m_writable = new QSocketNotifier(m_descriptor, QSocketNotifier::Write, this);
        connect(m_writable, &QSocketNotifier::activated, this, [this] { writePending(); });
    }
    return true;
}

ImageServerConnection::SendOutcome ImageServerConnection::send(const HttpReply::Reply& reply) {
    const bool withFile = reply.file && reply.fileSize > 0;
    const ssize_t sent =
        ::send(m_descriptor, reply.head.constData(), static_cast<size_t>(reply.head.size()),
               MSG_NOSIGNAL | MSG_DONTWAIT | (withFile ? MSG_MORE : 0));
    if (sent < 0 && peerWentAway()) {
        return SendOutcome::peerGone;
    }
    m_pending = reply.head.mid(sent > 0 ? sent : 0);
    off_t offset = 0;
    if (withFile && m_pending.isEmpty()) {
        while (offset < reply.fileSize) {
            const ssize_t copied = ::sendfile(m_descriptor, reply.file->handle(), &offset,
                                              static_cast<size_t>(reply.fileSize - offset));
            if (copied < 0 && errno == EINTR) {
                continue;
            }
            if (copied < 0 && peerWentAway()) {
                return SendOutcome::peerGone;
            }
            if (copied <= 0) {
                break;
            }
        }
    }
    if (withFile && offset < reply.fileSize) {
        const qint64 missing = reply.fileSize - offset;
        if (!reply.file->seek(offset)) {
            return SendOutcome::fileShort;
        }
        const QByteArray tail = reply.file->read(missing);
        if (tail.size() != missing) {
            return SendOutcome::fileShort;
        }
        m_pending += tail;
    }
    return SendOutcome::underway;
}

void ImageServerConnection::writePending() {
    while (m_pendingSent < m_pending.size()) {
        const ssize_t sent = ::send(m_descriptor, m_pending.constData() + m_pendingSent,
                                    static_cast<size_t>(m_pending.size() - m_pendingSent),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            m_pendingSent += sent;
            restartDeadline();
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && wouldBlock()) {
            return;
        } else {
            close();
            return;
        }
    }
    m_writable->setEnabled(false);
    m_pending.clear();
    m_pendingSent = 0;
    finishSending();
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
