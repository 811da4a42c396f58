#include "devicewindow/LocalEventMonitor.h"

#include <QCoreApplication>
#include <QInputEvent>
#include <QWidget>
#include <QWindow>

LocalEventMonitor::LocalEventMonitor(QSet<QEvent::Type> types, Handler handler, QObject* parent)
    : QObject(parent), m_types(std::move(types)), m_handler(std::move(handler)) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

LocalEventMonitor::~LocalEventMonitor() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
}

bool LocalEventMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (!m_handler || !m_types.contains(event->type()) || !isWindowOrWidget(watched)) {
        return false;
    }
    if (isLaterSighting(watched, event)) {
        return false;
    }
    m_lastReceiver = watched;
    m_lastType = event->type();
    m_lastTimestamp = event->isInputEvent() ? static_cast<QInputEvent*>(event)->timestamp() : 0;
    m_lastGlobalPosition = globalPositionOf(event);
    return m_handler(watched, event);
}

// Receivers come from every library of the process, some built without C++ type information
// (the web engine's scene items): the sanitizer cannot check a member call on those, so their
// kind is asked of the meta-object system, which calls nothing on them from here.
bool LocalEventMonitor::isWindowOrWidget(const QObject* receiver) {
    return QWidget::staticMetaObject.cast(receiver) != nullptr ||
           QWindow::staticMetaObject.cast(receiver) != nullptr;
}

bool LocalEventMonitor::isLaterSighting(QObject* receiver, const QEvent* event) const {
    if (!m_lastReceiver || event->type() != m_lastType || !event->isInputEvent() ||
        static_cast<const QInputEvent*>(event)->timestamp() != m_lastTimestamp) {
        return false;
    }
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    // Synthesised events often share a timestamp (0 when none is set); a copy passed on keeps
    // the pointer's global position.
    if (!widget || globalPositionOf(event) != m_lastGlobalPosition) {
        return false;
    }
    // A window's widgets get a copy of what its native surface received.
    if (const auto* surface = qobject_cast<const QWindow*>(m_lastReceiver.data())) {
        return widget->window()->windowHandle() == surface;
    }
    // Passed on to a parent, an event is no longer spontaneous.
    const auto* last = qobject_cast<const QWidget*>(m_lastReceiver.data());
    // Qt passes an event on to parents only, never back to the widget it came from.
    return last && last != widget && !event->spontaneous() && widget->isAncestorOf(last);
}

std::optional<QPoint> LocalEventMonitor::globalPositionOf(const QEvent* event) {
    if (event->isSinglePointEvent()) {
        return static_cast<const QSinglePointEvent*>(event)->globalPosition().toPoint();
    }
    return std::nullopt;
}
