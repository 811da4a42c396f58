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

#include <cstring>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// A display server the test starts, ended with it; its name once it accepts clients.
class DisplayServer {
public:
    ~DisplayServer() {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    DisplayServer(const DisplayServer&) = delete;
    DisplayServer& operator=(const DisplayServer&) = delete;

    std::optional<QString> name() const {
        return m_name.isEmpty() ? std::nullopt : std::optional<QString>(m_name);
    }

protected:
    DisplayServer() = default;

    QProcess m_server;
    QString m_name;
};

// An X server of its own on a free display while it lives; none when Xvfb is missing.
class VirtualDisplay : public DisplayServer {
public:
    VirtualDisplay() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty()) {
            return;
        }
        m_server.start("Xvfb",
                       {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
        // It names the display once it accepts clients.
        if (m_server.waitForReadyRead(10000)) {
            m_name = ":" + QString::fromLatin1(m_server.readAllStandardOutput().trimmed());
        }
    }
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
