#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into an orderly quit of the event loop, so that they end the process
// through the same shutdown as the application's own quit. The signal handler only writes a byte
// to a socket; the loop reads it and quits.
class TerminationSignalHandler : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignalHandler(QObject* parent = nullptr);
    ~TerminationSignalHandler() override;

    bool isInstalled() const { return m_notifier != nullptr; }

private:
    static void handleSignal(int signalNumber);
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
