#include "app/TerminationSignalHandler.h"

#include "foundation/logging/KXLog.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace {

int g_signalSockets[2] = {-1, -1};

}  // namespace

TerminationSignalHandler::TerminationSignalHandler(QObject* parent) : QObject(parent) {
    if (g_signalSockets[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSockets) != 0) {
        LogWarning(QStringLiteral("Termination signals are not handled"), LogTag::app);
        return;
    }
    m_notifier = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignalHandler::readSignal);

    struct sigaction action {};
    action.sa_handler = &TerminationSignalHandler::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

TerminationSignalHandler::~TerminationSignalHandler() {
    if (!m_notifier) {
        return;
    }
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    delete m_notifier;
    ::close(g_signalSockets[0]);
    ::close(g_signalSockets[1]);
    g_signalSockets[0] = g_signalSockets[1] = -1;
}

void TerminationSignalHandler::handleSignal(int signalNumber) {
    const char byte = static_cast<char>(signalNumber);
    // Only async-signal-safe work here.
    [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
}

void TerminationSignalHandler::readSignal() {
    char byte = 0;
    [[maybe_unused]] const ssize_t received = ::read(g_signalSockets[1], &byte, 1);
    QCoreApplication::quit();
}
