#include "devicewindow/MouseLookCursor.h"

#include <QCursor>
#include <QGuiApplication>

std::unique_ptr<MouseLookCursor> MouseLookCursor::forPlatform(const QString& platformName) {
    if (platformName.startsWith(QStringLiteral("wayland"))) {
        return std::make_unique<FreeMouseLookCursor>();
    }
    return std::make_unique<WarpingMouseLookCursor>();
}

WarpingMouseLookCursor::Platform WarpingMouseLookCursor::systemPlatform() {
    return {[](const QPoint& position) { QCursor::setPos(position); },
            [](bool hidden) {
                if (hidden) {
                    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
                } else {
                    QGuiApplication::restoreOverrideCursor();
                }
            }};
}

WarpingMouseLookCursor::WarpingMouseLookCursor(Platform platform)
    : m_platform(std::move(platform)) {}

void WarpingMouseLookCursor::capture(const QPoint& centre, const QPoint&) {
    if (m_captured) {
        return;
    }
    m_captured = true;
    m_anchor = centre;
    m_platform.setHidden(true);
    m_platform.warp(m_anchor);
}

void WarpingMouseLookCursor::release() {
    if (!m_captured) {
        return;
    }
    m_captured = false;
    m_platform.setHidden(false);
}

std::optional<QPointF> WarpingMouseLookCursor::movement(const QPoint& globalPosition) {
    // The move our own warp caused lands exactly on the anchor.
    if (!m_captured || globalPosition == m_anchor) {
        return std::nullopt;
    }
    const QPointF delta = globalPosition - m_anchor;
    m_platform.warp(m_anchor);
    return delta;
}

void FreeMouseLookCursor::capture(const QPoint&, const QPoint& pointer) {
    m_captured = true;
    m_last = pointer;
}

void FreeMouseLookCursor::release() {
    m_captured = false;
}

std::optional<QPointF> FreeMouseLookCursor::movement(const QPoint& globalPosition) {
    if (!m_captured) {
        return std::nullopt;
    }
    const QPointF delta = globalPosition - m_last;
    m_last = globalPosition;
    return delta;
}
