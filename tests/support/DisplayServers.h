#pragma once

// Display servers of the end-to-end runs: a virtual X display, a headless Wayland compositor, and
// displays that nobody serves.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTest>

#include <cstddef>
#include <cstring>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// A display server the test starts, ended with it; its name once it accepts clients.
class DisplayServer {
public:
    ~DisplayServer() { end(); }
    DisplayServer(const DisplayServer&) = delete;
    DisplayServer& operator=(const DisplayServer&) = delete;

    std::optional<QString> name() const {
        return m_name.isEmpty() ? std::nullopt : std::optional<QString>(m_name);
    }

protected:
    DisplayServer() = default;

    void end() {
        if (m_server.state() == QProcess::NotRunning) {
            return;
        }
        m_server.terminate();
        if (!m_server.waitForFinished(30000)) {
            m_server.kill();
            m_server.waitForFinished(30000);
        }
    }

    QProcess m_server;
    QString m_name;
};

// An X server of its own on a display number nobody else uses while it lives; none when Xvfb is
// missing. The display is named only once this server accepts a client there: a number that
// turns out to be taken (another server holds its lock, or answers its clients first) is given up
// for the next free one.
//
// An X server resets itself whenever its last client leaves, and closes the connections that
// arrive meanwhile. So by default the test keeps a connection of its own open for the server's
// whole life, as a desktop's own clients do, and no client of a test meets a reset. `alone`
// starts it as xvfb-run does instead: no client at all until the test's first.
class VirtualDisplay : public DisplayServer {
public:
    enum class Company { keptByTheTest, alone };

    explicit VirtualDisplay(Company company = Company::keptByTheTest) : m_company(company) {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty()) {
            return;
        }
        constexpr int kTries = 8;
        int number = 1;
        for (int tried = 0; tried < kTries && m_name.isEmpty(); ++tried, ++number) {
            while (isTaken(number)) {
                ++number;
            }
            if (start(number)) {
                m_name = QStringLiteral(":%1").arg(number);
            } else {
                end();
                leave();
            }
        }
    }

    ~VirtualDisplay() {
        end();
        leave();
    }

private:
    // The lock or socket of a server is there, or its socket's name answers.
    static bool isTaken(int number) {
        return QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
               QFileInfo::exists(socketPath(number)) || answers(number);
    }

    // A connection that never greets the server is no client of its: closing it resets nothing.
    static bool answers(int number) {
        const int socket = connectTo(number, true);
        if (socket < 0) {
            return false;
        }
        ::close(socket);
        return true;
    }

    static QString socketPath(int number) {
        return QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
    }

    // A connection to display `number` through its abstract socket name or its socket file (as
    // X clients on Linux try them, the name first); -1 when that one takes none.
    static int connectTo(int number, bool abstract) {
        const QByteArray path = QFile::encodeName(socketPath(number));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, path.constData(), static_cast<size_t>(path.size()));
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
            ::close(socket);
            return -1;
        }
        return socket;
    }

    // Whether the server answers the connection's greeting as accepting it, within `limitMs`.
    static bool greets(int socket, int limitMs) {
        // Least significant byte first, protocol 11.0, no authorisation.
        const char greeting[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        if (::send(socket, greeting, sizeof greeting, MSG_NOSIGNAL) != sizeof greeting) {
            return false;
        }
        pollfd readable{socket, POLLIN, 0};
        char status = 0;
        return ::poll(&readable, 1, limitMs) == 1 && ::recv(socket, &status, 1, 0) == 1 &&
               status == 1;
    }

    enum class Answer { nobody, thisServer, anotherServer };

    // Who answers a client of display `number` now: the socket a client reaches first, and
    // whether it is this server's and accepts the client. Kept by the test, this server's
    // connection stays open as its client (`m_client`).
    Answer whoAnswers(int number) {
        for (const bool abstract : {true, false}) {
            const int socket = connectTo(number, abstract);
            if (socket < 0) {
                continue;
            }
            ucred peer{};
            socklen_t size = sizeof peer;
            bool ours = ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                        peer.pid == m_server.processId();
            if (ours && m_company == Company::keptByTheTest) {
                ours = greets(socket, 30000);
                if (ours) {
                    m_client = socket;
                    return Answer::thisServer;
                }
            }
            ::close(socket);
            return ours ? Answer::thisServer : Answer::anotherServer;
        }
        return Answer::nobody;
    }

    // Starts a server on display `number` (which takes the display's lock) and waits until it
    // is ready for clients (it writes its number, as xvfb-run waits for its signal) and answers
    // there, or ends, or another server answers there.
    bool start(int number) {
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start("Xvfb", {QStringLiteral(":%1").arg(number), "-nolisten", "tcp", "-screen",
                                "0", "1280x800x24", "-displayfd", "1"});
        if (!m_server.waitForStarted(30000)) {
            return false;
        }
        QByteArray written;
        const bool ready = QTest::qWaitFor(
            [&] {
                written += m_server.readAllStandardOutput();
                return written.endsWith('\n') || m_server.state() == QProcess::NotRunning;
            },
            30000);
        if (!ready || written.trimmed() != QByteArray::number(number)) {
            return false;
        }
        Answer answer = Answer::nobody;
        const bool settled = QTest::qWaitFor(
            [&] {
                answer = whoAnswers(number);
                return answer != Answer::nobody || m_server.state() == QProcess::NotRunning;
            },
            30000);
        return settled && answer == Answer::thisServer && m_server.state() == QProcess::Running;
    }

    // The test's own client leaves, once the server is gone.
    void leave() {
        if (m_client >= 0) {
            ::close(m_client);
            m_client = -1;
        }
    }

    Company m_company;
    int m_client = -1;
};

// A Wayland desktop without any X server while it lives: the compositor's headless back end with
// a runtime folder of its own; no name when weston is missing or does not come up.
class HeadlessCompositor : public DisplayServer {
public:
    explicit HeadlessCompositor(const QString& runtimeFolder) : m_runtime(runtimeFolder) {
        if (QStandardPaths::findExecutable("weston").isEmpty() || !QDir().mkpath(m_runtime) ||
            ::chmod(QFile::encodeName(m_runtime).constData(), 0700) != 0) {
            return;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", m_runtime);
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"}) {
            environment.remove(variable);
        }
        m_server.setProcessEnvironment(environment);
        m_server.setStandardOutputFile(logPath());
        m_server.setStandardErrorFile(logPath(), QIODevice::Append);
        m_server.start("weston",
                       {"--backend=headless-backend.so", "--socket=" + kSocket, "--idle-time=0"});
        QLocalSocket probe;
        const auto accepts = [&] {
            probe.connectToServer(QDir(m_runtime).filePath(kSocket));
            return probe.waitForConnected(200);
        };
        if (QTest::qWaitFor([&] { return accepts() || m_server.state() == QProcess::NotRunning; },
                            20000) &&
            probe.state() == QLocalSocket::ConnectedState) {
            m_name = kSocket;
        }
    }

    QString log() const {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(700))
                                              : QString();
    }

private:
    static inline const QString kSocket = QStringLiteral("wayland-kx-test");
    QString logPath() const { return QDir(m_runtime).filePath("weston.log"); }

    QString m_runtime;
};

// An X display number no server on this machine answers to: neither its lock nor its socket is
// there (a virtual display of another run takes the low numbers).
inline QString unservedXDisplay() {
    for (int number = 4700;; ++number) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) {
            return QStringLiteral(":%1").arg(number);
        }
    }
}

// A socket file as a compositor that is gone leaves it: bound once, never listened on again.
inline bool leaveStaleSocket(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    if (static_cast<size_t>(encoded.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(socket);
    return bound;
}
