#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMetaType>
#include <QPointer>
#include <QString>
#include <QWidget>

// How a platform repeats a held key, as Qt hands it over.
enum class RepeatForm {
    // X: a release and a press at one instant, neither marked, as Qt hands over most pairs.
    unmarkedPair,
    // X when Qt had read the press already, and Wayland: a release and a press, both marked.
    markedPair,
    // X with detectable auto-repeat: a press alone, unmarked.
    pressAlone,
    // No repeat: a release and a press at instants of their own, the key let go and pressed
    // again.
    releaseAndPressApart,
};
Q_DECLARE_METATYPE(RepeatForm)

// A key held on a widget as the platform delivers it, each step at an instant of its own: the
// press, repeats in one form, the release. Instants go on from one key to the next, 40 ms apart,
// as X repeats at 25 a second.
class HeldKey {
public:
    HeldKey(QWidget* receiver, Qt::Key key, QString text, RepeatForm form, quint32 scanCode = 0)
        : m_receiver(receiver),
          m_key(key),
          m_text(std::move(text)),
          m_form(form),
          m_scanCode(scanCode) {}

    void press() { send(QEvent::KeyPress, false, nextInstant()); }
    void repeat() {
        const quint64 at = nextInstant();
        switch (m_form) {
            case RepeatForm::unmarkedPair:
            case RepeatForm::markedPair: {
                const bool marked = m_form == RepeatForm::markedPair;
                send(QEvent::KeyRelease, marked, at);
                send(QEvent::KeyPress, marked, at);
                break;
            }
            case RepeatForm::pressAlone:
                send(QEvent::KeyPress, false, at);
                break;
            case RepeatForm::releaseAndPressApart:
                send(QEvent::KeyRelease, false, at);
                send(QEvent::KeyPress, false, nextInstant());
                break;
        }
    }
    void release() { send(QEvent::KeyRelease, false, nextInstant()); }

private:
    static quint64 nextInstant() {
        static quint64 clock = 100000;
        return clock += 40;
    }
    void send(QEvent::Type type, bool marked, quint64 at) {
        QKeyEvent event(type, m_key, Qt::NoModifier, m_scanCode, 0, 0, m_text, marked);
        event.setTimestamp(at);
        if (m_receiver) {
            QCoreApplication::sendEvent(m_receiver, &event);
        }
    }

    QPointer<QWidget> m_receiver;
    Qt::Key m_key;
    QString m_text;
    RepeatForm m_form;
    quint32 m_scanCode;
};
