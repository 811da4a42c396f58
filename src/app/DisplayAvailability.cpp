#include "app/DisplayAvailability.h"

#include "foundation/logging/ConsoleOutput.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

// The value of Qt's "-<name> <value>" argument, also written with two dashes; the last one wins,
// as in Qt.
std::optional<QByteArray> argumentValue(int argc, char* argv[], const char* name) {
    std::optional<QByteArray> value;
    for (int index = 1; index + 1 < argc; ++index) {
        const char* argument = argv[index];
        if (std::strncmp(argument, "--", 2) == 0) {
            ++argument;
        }
        if (argument[0] == '-' && std::strcmp(argument + 1, name) == 0) {
            value = QByteArray(argv[index + 1]);
        }
    }
    return value;
}

std::optional<QByteArray> environmentValue(const char* name) {
    if (!qEnvironmentVariableIsSet(name)) {
        return std::nullopt;
    }
    return qgetenv(name);
}

// The socket a Wayland client connects to: an absolute name as it is, otherwise the name under
// XDG_RUNTIME_DIR, which must then be an absolute path.
std::optional<QByteArray> waylandSocketPath(const QByteArray& name) {
    if (name.startsWith('/')) {
        return name;
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.startsWith('/')) {
        return std::nullopt;
    }
    return runtime + '/' + name;
}

// A socket file left behind by a compositor that is gone refuses the connection.
bool acceptsConnection(const QByteArray& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(socketPath.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        return false;
    }
    int result = 0;
    do {
        result = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    ::close(socket);
    return result == 0;
}

// One display Qt would try: how the user named it, and whether it can be opened; for X, the
// connection that was opened.
struct Attempt {
    QString named;
    bool opened = false;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x{nullptr, xcb_disconnect};
};

// A connection to the X server of `display` (its own authorisation included), kept open in the
// attempt when made.
Attempt xConnectionAttempt(QString named, const QByteArray& display) {
    Attempt attempt{std::move(named)};
    attempt.x.reset(xcb_connect(display.constData(), nullptr));
    attempt.opened = xcb_connection_has_error(attempt.x.get()) == 0;
    if (!attempt.opened) {
        attempt.x.reset();
    }
    return attempt;
}

std::optional<Attempt> waylandAttempt() {
    // A connection handed over by the compositor as an open descriptor is Qt's to use.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET")) {
        return Attempt{QStringLiteral("WAYLAND_SOCKET"), true};
    }
    const std::optional<QByteArray> display = environmentValue("WAYLAND_DISPLAY");
    if (!display && qgetenv("XDG_SESSION_TYPE") != "wayland") {
        return std::nullopt;
    }
    Attempt attempt;
    attempt.named = display ? QStringLiteral("WAYLAND_DISPLAY=") + QFile::decodeName(*display)
                            : QStringLiteral("XDG_SESSION_TYPE=wayland");
    const std::optional<QByteArray> socket = waylandSocketPath(display.value_or("wayland-0"));
    if (!socket) {
        attempt.named += QStringLiteral("（XDG_RUNTIME_DIR 未设置）");
        return attempt;
    }
    if (!display || *socket != *display) {
        attempt.named += QStringLiteral("（") + QFile::decodeName(*socket) + QStringLiteral("）");
    }
    attempt.opened = acceptsConnection(*socket);
    return attempt;
}

std::optional<Attempt> xAttempt(int argc, char* argv[]) {
    if (const std::optional<QByteArray> argument = argumentValue(argc, argv, "display")) {
        return xConnectionAttempt(QStringLiteral("-display ") + QFile::decodeName(*argument),
                                  *argument);
    }
    const std::optional<QByteArray> display = environmentValue("DISPLAY");
    if (!display) {
        return std::nullopt;
    }
    return xConnectionAttempt(QStringLiteral("DISPLAY=") + QFile::decodeName(*display), *display);
}

// The line that says no display could be opened: what was tried, and how to run the client
// without a desktop.
QString noDisplayLine(const QStringList& tried, int argc, char* argv[]) {
    const QString program =
        argc > 0 ? QFile::decodeName(argv[0]) : QStringLiteral("brisca-cloudphone");
    const QString advice =
        QStringLiteral("请在桌面会话中启动，或用 xvfb-run 在虚拟显示上运行：xvfb-run -a ");
    if (tried.isEmpty()) {
        return QStringLiteral(
                   "❌ 没有可用的显示：DISPLAY、WAYLAND_DISPLAY 和 QT_QPA_PLATFORM "
                   "都未设置。") +
               advice + program;
    }
    return QStringLiteral("❌ 没有可用的显示：无法连接 ") + tried.join(QStringLiteral("、")) +
           QStringLiteral("。") + advice + program;
}

// Qt's messages while the application object opens the display the check found.
struct QtConnectingWatch {
    struct Message {
        QtMsgType type;
        QByteArray file;
        int line;
        QByteArray function;
        QByteArray category;
        QString text;
    };

    QMutex lock;
    bool holding = false;
    QtMessageHandler passOn = nullptr;
    QString noDisplayLine;
    QList<Message> held;
};

QtConnectingWatch& connectingWatch() {
    static QtConnectingWatch watch;
    return watch;
}

// Qt ends the process with a fatal message when no platform could be opened; the client's own
// line and exit code come instead. Anything else waits for the outcome.
void holdWhileQtConnects(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    QtConnectingWatch& watch = connectingWatch();
    QMutexLocker locker(&watch.lock);
    if (!watch.holding) {
        // Raised on another thread just as Qt was found connected.
        locker.unlock();
        watch.passOn(type, context, text);
        return;
    }
    if (type == QtFatalMsg) {
        ConsoleOutput::printError(watch.noDisplayLine);
        std::_Exit(1);
    }
    watch.held.append({type, context.file, context.line, context.function, context.category, text});
}

const char* orNull(const QByteArray& text) {
    return text.isNull() ? nullptr : text.constData();
}

}  // namespace

DisplayAvailability::DisplayAvailability() = default;

DisplayAvailability::~DisplayAvailability() {
    qtConnected();
}

bool DisplayAvailability::check(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || argumentValue(argc, argv, "platform")) {
        return true;
    }
    // Qt's own order; it goes on to the next when one cannot be opened.
    std::optional<Attempt> wayland = waylandAttempt();
    std::optional<Attempt> x;
    if (!wayland || !wayland->opened) {
        x = xAttempt(argc, argv);
    }
    QStringList tried;
    for (const std::optional<Attempt>* attempt : {&wayland, &x}) {
        if (*attempt) {
            tried << (*attempt)->named;
        }
    }
    if (wayland && wayland->opened) {
        watchQtConnecting(noDisplayLine(tried, argc, argv));
        return true;
    }
    if (x && x->opened) {
        if (wayland) {
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
        m_xConnection = x->x.release();
        watchQtConnecting(noDisplayLine(tried, argc, argv));
        return true;
    }
    ConsoleOutput::printError(noDisplayLine(tried, argc, argv));
    return false;
}

void DisplayAvailability::watchQtConnecting(const QString& noDisplayLine) {
    QtConnectingWatch& watch = connectingWatch();
    {
        const QMutexLocker locker(&watch.lock);
        watch.holding = true;
        watch.noDisplayLine = noDisplayLine;
        watch.held.clear();
        watch.passOn = qInstallMessageHandler(holdWhileQtConnects);
    }
    m_watching = true;
}

void DisplayAvailability::qtConnected() {
    if (m_xConnection != nullptr) {
        xcb_disconnect(m_xConnection);
        m_xConnection = nullptr;
    }
    if (!m_watching) {
        return;
    }
    m_watching = false;
    QtConnectingWatch& watch = connectingWatch();
    QList<QtConnectingWatch::Message> held;
    {
        const QMutexLocker locker(&watch.lock);
        watch.holding = false;
        qInstallMessageHandler(watch.passOn);
        held.swap(watch.held);
    }
    for (const QtConnectingWatch::Message& message : held) {
        const QMessageLogContext context(orNull(message.file), message.line,
                                         orNull(message.function), orNull(message.category));
        watch.passOn(message.type, context, message.text);
    }
}
