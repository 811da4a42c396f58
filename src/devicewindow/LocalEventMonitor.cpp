#include "devicewindow/LocalEventMonitor.h"

#include <QCoreApplication>

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
    if (m_handler && m_types.contains(event->type())) {
        return m_handler(watched, event);
    }
    return false;
}
