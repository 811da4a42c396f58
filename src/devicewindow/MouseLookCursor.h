#pragma once

#include <QPoint>
#include <QPointF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// How mouse look holds the pointer while the mouse steers a contact. Where the display server
// lets a client move the pointer (X11), the pointer is hidden and put back on the player's
// centre after every movement, so it never reaches a screen edge; where it does not (Wayland),
// the pointer stays visible and free and movement is read as plain deltas.
class MouseLookCursor {
public:
    virtual ~MouseLookCursor() = default;

    // The right kind for a Qt platform name ("xcb", "wayland", "offscreen", ...).
    static std::unique_ptr<MouseLookCursor> forPlatform(const QString& platformName);

    // `centre`: the player's centre, `pointer`: where the pointer is; both global.
    virtual void capture(const QPoint& centre, const QPoint& pointer) = 0;
    virtual void release() = 0;
    virtual bool isCaptured() const = 0;
    // The movement a pointer position stands for, or none for a position to ignore.
    virtual std::optional<QPointF> movement(const QPoint& globalPosition) = 0;
    // The pointer stays free, so the user is told why it keeps moving.
    virtual bool needsHint() const = 0;
};

class WarpingMouseLookCursor : public MouseLookCursor {
public:
    struct Platform {
        std::function<void(const QPoint&)> warp;
        std::function<void(bool hidden)> setHidden;
    };
    // QCursor::setPos and a blank override cursor.
    static Platform systemPlatform();

    explicit WarpingMouseLookCursor(Platform platform = systemPlatform());

    void capture(const QPoint& centre, const QPoint& pointer) override;
    void release() override;
    bool isCaptured() const override { return m_captured; }
    std::optional<QPointF> movement(const QPoint& globalPosition) override;
    bool needsHint() const override { return false; }

private:
    Platform m_platform;
    QPoint m_anchor;
    bool m_captured = false;
};

class FreeMouseLookCursor : public MouseLookCursor {
public:
    void capture(const QPoint& centre, const QPoint& pointer) override;
    void release() override;
    bool isCaptured() const override { return m_captured; }
    std::optional<QPointF> movement(const QPoint& globalPosition) override;
    bool needsHint() const override { return true; }

private:
    QPoint m_last;
    bool m_captured = false;
};
