#pragma once

#include <QEvent>
#include <QObject>
#include <QSet>

#include <functional>

// Sees the listed kinds of input events of the whole application before their receivers do,
// while it lives. The handler answers true to swallow an event.
class LocalEventMonitor : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<bool(QObject* receiver, QEvent* event)>;

    LocalEventMonitor(QSet<QEvent::Type> types, Handler handler, QObject* parent = nullptr);
    ~LocalEventMonitor() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSet<QEvent::Type> m_types;
    Handler m_handler;
};
