#include "devicewindow/KeyRepeatFilter.h"

#include "devicewindow/X11AutoRepeat.h"

#include <QGuiApplication>
#include <QKeyEvent>

KeyRepeatFilter::KeyRepeatFilter(Delivery deliver, QObject* parent)
    : KeyRepeatFilter(std::move(deliver), releasesOfPlatform(QGuiApplication::platformName()),
                      parent) {}

KeyRepeatFilter::KeyRepeatFilter(Delivery deliver, Releases releases, QObject* parent)
    : QObject(parent), m_deliver(std::move(deliver)), m_releases(releases) {
    m_pairingWindow.setSingleShot(true);
    m_pairingWindow.setTimerType(Qt::PreciseTimer);
    m_pairingWindow.setInterval(kPairingWindowMs);
    connect(&m_pairingWindow, &QTimer::timeout, this, &KeyRepeatFilter::settleWaitingRelease);
}

KeyRepeatFilter::~KeyRepeatFilter() = default;

KeyRepeatFilter::Releases KeyRepeatFilter::releasesOfPlatform(const QString& platformName) {
    // Qt makes Wayland's repeats itself, and marks both halves.
    if (platformName.startsWith(QLatin1String("wayland"))) {
        return Releases::areReal;
    }
    if (platformName == QLatin1String("xcb") && X11AutoRepeat::repeatWithPressesOnly()) {
        return Releases::areReal;
    }
    return Releases::mayPair;
}

qint64 KeyRepeatFilter::keyIdentity(const QKeyEvent& event) {
    return event.nativeScanCode() != 0 ? qint64(event.nativeScanCode()) : -qint64(event.key());
}

void KeyRepeatFilter::take(QKeyEvent& event) {
    if (event.type() == QEvent::KeyPress) {
        takePress(event);
    } else if (event.type() == QEvent::KeyRelease) {
        takeRelease(event);
    }
}

void KeyRepeatFilter::takePress(QKeyEvent& event) {
    const qint64 key = keyIdentity(event);
    if (m_waitingRelease) {
        if (keyIdentity(*m_waitingRelease) == key &&
            m_waitingRelease->timestamp() == event.timestamp()) {
            m_pairingWindow.stop();
            m_waitingRelease.reset();
            deliverRepeat(event);
            return;
        }
        settleWaitingRelease();
    }
    if (event.isAutoRepeat() || m_keysDown.contains(key)) {
        m_keysDown.insert(key);
        deliverRepeat(event);
        return;
    }
    m_keysDown.insert(key);
    m_deliver(event);
}

void KeyRepeatFilter::takeRelease(QKeyEvent& event) {
    settleWaitingRelease();
    // Qt marks the release of a pair whose press it has read already.
    if (event.isAutoRepeat()) {
        event.accept();
        return;
    }
    // Without an instant the release cannot be paired; synthesised events have none.
    if (m_releases == Releases::areReal || event.timestamp() == 0) {
        m_keysDown.remove(keyIdentity(event));
        m_deliver(event);
        return;
    }
    event.accept();
    m_waitingRelease.reset(event.clone());
    m_pairingWindow.start();
}

void KeyRepeatFilter::deliverRepeat(QKeyEvent& press) {
    if (press.isAutoRepeat()) {
        m_deliver(press);
        return;
    }
    QKeyEvent repeat(press.type(), press.key(), press.modifiers(), press.nativeScanCode(),
                     press.nativeVirtualKey(), press.nativeModifiers(), press.text(), true,
                     press.count(), press.device());
    repeat.setTimestamp(press.timestamp());
    m_deliver(repeat);
    press.setAccepted(repeat.isAccepted());
}

void KeyRepeatFilter::settleWaitingRelease() {
    m_pairingWindow.stop();
    if (!m_waitingRelease) {
        return;
    }
    // Taken out first: what the release sets off may bring the next key event here.
    const std::unique_ptr<QKeyEvent> release = std::move(m_waitingRelease);
    m_keysDown.remove(keyIdentity(*release));
    m_deliver(*release);
}

void KeyRepeatFilter::forgetKeys() {
    settleWaitingRelease();
    m_keysDown.clear();
}
