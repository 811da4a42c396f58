#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSet>

#include <functional>
#include <optional>

// Sees the listed kinds of input events of the whole application before their receivers do,
// while it lives. The handler answers true to swallow an event. Each event is handed over once:
// Qt shows an event again to the widgets it passes on its way (from a window's native surface
// to the widget under the pointer or with focus, and from a widget that ignored it to its
// parents), and those later sightings are let through without asking the handler. Only windows
// and widgets are receivers the handler sees; other objects (the items of a Quick scene) get
// what their window got.
class LocalEventMonitor : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<bool(QObject* receiver, QEvent* event)>;

    LocalEventMonitor(QSet<QEvent::Type> types, Handler handler, QObject* parent = nullptr);
    ~LocalEventMonitor() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool isWindowOrWidget(const QObject* receiver);
    bool isLaterSighting(QObject* receiver, const QEvent* event) const;
    static std::optional<QPoint> globalPositionOf(const QEvent* event);

    QSet<QEvent::Type> m_types;
    Handler m_handler;
    // The event last handed over.
    QPointer<QObject> m_lastReceiver;
    QEvent::Type m_lastType = QEvent::None;
    quint64 m_lastTimestamp = 0;
    std::optional<QPoint> m_lastGlobalPosition;
};
