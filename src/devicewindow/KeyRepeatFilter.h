#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QKeyEvent;

// Makes a held key one press, from its first press to its real release, whatever the platform
// sends while it is held. X repeats a held key as a release and a press at the same instant, and
// Qt marks such a pair as a repeat only when it had read the press already; X with detectable
// auto-repeat repeats with presses alone, Qt on Wayland with pairs it marks. So a release followed
// by a press of the same key with the same timestamp is a repeat, and so is any press of a key
// already down. What is handed on says which is which: a repeat comes as a press marked
// `isAutoRepeat()`, and its release never comes. Where a release may be the first half of a pair,
// it waits for the next key event, or for `kPairingWindowMs`, to show it is real. GUI thread only.
class KeyRepeatFilter : public QObject {
    Q_OBJECT

public:
    // How long a release waits for the press of its pair. X sends the two together; Qt hands
    // over the press at most a few milliseconds later even on a loaded machine.
    static constexpr int kPairingWindowMs = 12;

    enum class Releases {
        // A release may be the first half of a repeat.
        mayPair,
        // The platform repeats with presses alone: every unmarked release is real.
        areReal,
    };

    using Delivery = std::function<void(QKeyEvent&)>;

    // The releases of the running platform.
    explicit KeyRepeatFilter(Delivery deliver, QObject* parent = nullptr);
    KeyRepeatFilter(Delivery deliver, Releases releases, QObject* parent = nullptr);
    ~KeyRepeatFilter() override;

    // Real on Wayland, and on X once the server agreed to repeat with presses alone (asked here
    // the first time); elsewhere they may pair.
    static Releases releasesOfPlatform(const QString& platformName);

    // A key press or release as the platform sent it: handed on now, handed on later, or (the
    // release of a repeat) accepted and dropped.
    void take(QKeyEvent& event);
    // The keyboard left: a release that waits is handed on, and no key is down any more.
    void forgetKeys();

    // The keys pressed and not yet released, by `keyIdentity`.
    const QSet<qint64>& keysDown() const { return m_keysDown; }
    bool isReleaseWaiting() const { return m_waitingRelease != nullptr; }

    // The physical key where the platform tells it (the same whatever the modifiers make of
    // it), otherwise Qt's key.
    static qint64 keyIdentity(const QKeyEvent& event);

private:
    void takePress(QKeyEvent& event);
    void takeRelease(QKeyEvent& event);
    void deliverRepeat(QKeyEvent& press);
    // A release that waits is real: it is handed on now.
    void settleWaitingRelease();

    Delivery m_deliver;
    Releases m_releases;
    QSet<qint64> m_keysDown;
    std::unique_ptr<QKeyEvent> m_waitingRelease;
    QTimer m_pairingWindow;
};
