#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QtGlobal>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// A child process that connects to a loopback port, sends `request`, reads until the server
// closes and hands what it read back through a pipe. With `asNobody` it first switches to the
// account "nobody", which only root may do: started() tells whether the child runs.
class LoopbackPeerProcess {
public:
    LoopbackPeerProcess(int family, quint16 port, const QByteArray& request, bool asNobody)
        : LoopbackPeerProcess(asNobody, [family, port, &request](int out) {
              return exchange(family, port, request, out);
          }) {}

    // A child that runs `work` with the pipe's writing end and ends with what it returns. The
    // child has only the thread that forked it, so `work` makes system calls only.
    template <typename Work>
    LoopbackPeerProcess(bool asNobody, Work work) {
        const passwd* nobody = ::getpwnam("nobody");
        if ((asNobody && (::geteuid() != 0 || nobody == nullptr)) ||
            ::pipe2(m_pipe, O_CLOEXEC) != 0) {
            return;
        }
        const uid_t uid = asNobody ? nobody->pw_uid : 0;
        const gid_t gid = asNobody ? nobody->pw_gid : 0;
        m_child = ::fork();
        if (m_child == 0) {
            // Only the pipe's writing end stays open: a connection of the parent's left open in
            // the child would not end when the parent closes it.
            ::close_range(3, static_cast<unsigned>(m_pipe[1]) - 1, 0);
            ::close_range(static_cast<unsigned>(m_pipe[1]) + 1, ~0U, 0);
            // The raw calls change this one thread, the child's only one.
            if (asNobody && (::syscall(SYS_setgroups, 0, nullptr) != 0 ||
                             ::syscall(SYS_setresgid, gid, gid, gid) != 0 ||
                             ::syscall(SYS_setresuid, uid, uid, uid) != 0)) {
                ::_exit(2);
            }
            ::_exit(work(m_pipe[1]));
        }
        ::close(m_pipe[1]);
    }
    ~LoopbackPeerProcess() {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
        if (m_pipe[0] >= 0) {
            ::close(m_pipe[0]);
        }
    }
    LoopbackPeerProcess(const LoopbackPeerProcess&) = delete;
    LoopbackPeerProcess& operator=(const LoopbackPeerProcess&) = delete;

    bool started() const { return m_child > 0; }

    // What the child wrote so far, without waiting.
    QByteArray written() {
        QByteArray bytes;
        char buffer[16384];
        pollfd readable{m_pipe[0], POLLIN, 0};
        while (::poll(&readable, 1, 0) == 1 && (readable.revents & POLLIN) != 0) {
            const ssize_t count = ::read(m_pipe[0], buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            bytes.append(buffer, count);
        }
        return bytes;
    }

    // Everything the child read, once the server closed (or 15 s passed).
    QByteArray reply() {
        QByteArray received;
        QElapsedTimer clock;
        clock.start();
        char buffer[16384];
        pollfd readable{m_pipe[0], POLLIN, 0};
        while (clock.elapsed() < 15000 && ::poll(&readable, 1, 100) >= 0) {
            const ssize_t count = (readable.revents & (POLLIN | POLLHUP)) != 0
                                      ? ::read(m_pipe[0], buffer, sizeof buffer)
                                      : -1;
            if (count == 0) {
                break;
            }
            if (count > 0) {
                received.append(buffer, count);
            }
        }
        return received;
    }

private:
    static int exchange(int family, quint16 port, const QByteArray& request, int out) {
        const int socket = ::socket(family, SOCK_STREAM, 0);
        sockaddr_in ipv4{};
        sockaddr_in6 ipv6{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        ipv4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        ipv6.sin6_addr = in6addr_loopback;
        const bool connected =
            family == AF_INET
                ? ::connect(socket, reinterpret_cast<const sockaddr*>(&ipv4), sizeof ipv4) == 0
                : ::connect(socket, reinterpret_cast<const sockaddr*>(&ipv6), sizeof ipv6) == 0;
        if (!connected || ::send(socket, request.constData(), static_cast<size_t>(request.size()),
                                 MSG_NOSIGNAL) != request.size()) {
            return 3;
        }
        char buffer[16384];
        for (ssize_t count; (count = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) {
            if (::write(out, buffer, static_cast<size_t>(count)) != count) {
                return 4;
            }
        }
        return 0;
    }

    int m_pipe[2] = {-1, -1};
    pid_t m_child = -1;
};
