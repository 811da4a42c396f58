#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/KeyMappingInputEngine.h"
#include "devicewindow/MouseLookCursor.h"
#include "devicewindow/WindowActiveManager.h"
#include "foundation/settings/LanguageManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

namespace {

CloudPhonePlayerView* playerViewOf(const QString& deviceKey) {
    return CloudPhoneCommunicator::shared().playerView(deviceKey);
}

QPointF layoutPoint(const QPointF& normalized, const QWidget* container) {
    return {std::clamp(normalized.x(), 0.0, 1.0) * std::max(container->width(), 1),
            std::clamp(normalized.y(), 0.0, 1.0) * std::max(container->height(), 1)};
}

}  // namespace

class AspectRatioWindowController::KeyMappingInputAdapter : public KeyMappingInputHost {
public:
    explicit KeyMappingInputAdapter(AspectRatioWindowController& window) : m_window(window) {}

    bool isActiveDeviceWindow() const override {
        return WindowActiveManager::shared().isActive(m_window.deviceID());
    }
    bool isDisconnectedForIdle() const override {
        return m_window.m_idlePolicy->isCloudPhoneDisconnectedForIdle();
    }
    bool isIMEInputActive() const override { return m_window.m_connection->isIMEInputActive(); }
    bool isKeyMappingPanelVisible() const override { return m_window.m_isKeyMappingPanelVisible; }
    std::optional<QSizeF> playerSize() const override {
        return communicator().videoSize(m_window.deviceKey());
    }

    void tap(const QPointF& point) override {
        communicator().simulateTap(key(), m_window.touchViewPoint(point));
    }
    void touchDown(const QPointF& point, int index) override {
        communicator().simulateTouchDown(key(), m_window.touchViewPoint(point), index);
    }
    void touchMove(const QPointF& point, int index) override {
        communicator().simulateTouchMove(key(), m_window.touchViewPoint(point), index);
    }
    void touchUp(const QPointF& point, int index) override {
        communicator().simulateTouchUp(key(), m_window.touchViewPoint(point), index);
    }
    void cancelTouches() override { communicator().cancelSimulatedTouches(key()); }
    void setCursorCaptured(bool captured) override { m_window.setMouseLookCaptured(captured); }

private:
    static CloudPhoneCommunicator& communicator() { return CloudPhoneCommunicator::shared(); }
    QString key() const { return m_window.deviceKey(); }

    AspectRatioWindowController& m_window;
};

KeyMappingInputEngine& AspectRatioWindowController::keyMappingInputEngine() {
    if (!m_keyMappingInputEngine) {
        m_keyMappingInputAdapter = std::make_shared<KeyMappingInputAdapter>(*this);
        m_keyMappingInputEngine = std::make_shared<KeyMappingInputEngine>(
            *m_keyMappingViewModel, *m_keyMappingInputAdapter);
        m_keyMappingInputEngine->setTapKeyMappingRepeatInterval(m_tapKeyMappingRepeatInterval);
    }
    return *m_keyMappingInputEngine;
}

void AspectRatioWindowController::stopAllTapKeyMappingTimers() {
    if (m_keyMappingInputEngine) {
        m_keyMappingInputEngine->stopAllTapKeyMappingTimers();
    }
}

void AspectRatioWindowController::exitMouseLook() {
    if (m_keyMappingInputEngine) {
        m_keyMappingInputEngine->exitMouseLook();
    }
}

void AspectRatioWindowController::releaseAllMoveKeyMappings() {
    if (m_keyMappingInputEngine) {
        m_keyMappingInputEngine->releaseAllMoveKeyMappings();
    }
}

// The markers and the contacts share one layout: the video's frame, which `mainView` fills.
// Without a player the layout point itself stands (the session then reports the missing player).
QPointF AspectRatioWindowController::touchViewPoint(const QPointF& normalized) const {
    const QWidget* container = m_views.mainView;
    if (!container) {
        return {};
    }
    const QPointF point = layoutPoint(normalized, container);
    if (const CloudPhonePlayerView* player = playerViewOf(deviceKey());
        player && player->touchView() && m_window) {
        return player->touchView()->mapFrom(m_window.get(),
                                            container->mapTo(m_window.get(), point));
    }
    return point;
}

void AspectRatioWindowController::setMouseLookCursor(std::unique_ptr<MouseLookCursor> cursor) {
    if (m_mouseLookCursor && m_mouseLookCursor->isCaptured()) {
        m_mouseLookCursor->release();
    }
    m_mouseLookCursor = std::move(cursor);
}

QLabel* AspectRatioWindowController::mouseLookHint() const {
    return m_mouseLookHint;
}

void AspectRatioWindowController::setMouseLookCaptured(bool captured) {
    if (!m_mouseLookCursor) {
        m_mouseLookCursor = MouseLookCursor::forPlatform(QGuiApplication::platformName());
    }
    CloudPhonePlayerView* player = playerViewOf(deviceKey());
    if (!captured) {
        m_mouseLookCursor->release();
        if (m_mouseLookHint) {
            m_mouseLookHint->hide();
        }
        return;
    }
    QWidget* area = player ? static_cast<QWidget*>(player) : m_views.mainView.data();
    const QPoint centre = area ? area->mapToGlobal(area->rect().center()) : QCursor::pos();
    if (player && player->touchView()) {
        // Movement with no button held must reach the engine.
        player->touchView()->setMouseTracking(true);
    }
    m_mouseLookCursor->capture(centre, QCursor::pos());
    if (!m_mouseLookCursor->needsHint() || !m_views.mainView) {
        return;
    }
    if (!m_mouseLookHint) {
        auto* hint = new QLabel(m_views.mainView);
        hint->setObjectName(QStringLiteral("mouseLookHint"));
        hint->setAttribute(Qt::WA_TransparentForMouseEvents);
        hint->setAlignment(Qt::AlignCenter);
        hint->setWordWrap(true);
        hint->setStyleSheet(
            QStringLiteral("QLabel { background: rgba(0, 0, 0, 160); color: white;"
                           " border-radius: 6px; padding: 6px 10px; }"));
        m_mouseLookHint = hint;
    }
    const QString text = QStringLiteral("视角控制中：当前桌面无法锁定鼠标指针，指针会随鼠标移动");
    m_mouseLookHint->setText(LanguageManager::shared().bundle().localizedString(text, text));
    const int width = std::max(m_views.mainView->width() - 24, 40);
    m_mouseLookHint->setFixedWidth(width);
    m_mouseLookHint->adjustSize();
    m_mouseLookHint->move((m_views.mainView->width() - width) / 2, 12);
    m_mouseLookHint->show();
    m_mouseLookHint->raise();
}

bool AspectRatioWindowController::handleMouseEventForKeyMapping(QObject* receiver, QEvent* event) {
    // Widget deliveries only: each event is also seen once on its way through the window.
    if (m_isTearingDown || !receiver || !receiver->isWidgetType()) {
        return false;
    }
    if (static_cast<QWidget*>(receiver)->window() != m_window.get()) {
        return false;
    }
    const QEvent::Type type = event->type();
    const bool isMouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                         type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove;
    if (!isMouse && type != QEvent::Wheel) {
        return false;
    }
    KeyMappingInputEngine& engine = keyMappingInputEngine();
    if (!engine.acceptsMouseInput()) {
        return false;
    }
    const auto* pointer = static_cast<const QSinglePointEvent*>(event);
    const QPoint global = pointer->globalPosition().toPoint();
    if (!engine.isMouseLookActive()) {
        const CloudPhonePlayerView* player = playerViewOf(deviceKey());
        if (!player || !player->rect().contains(player->mapFromGlobal(global))) {
            return false;
        }
    }
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return engine.handleMouseButton(static_cast<const QMouseEvent*>(event)->button(), true);
        case QEvent::MouseButtonRelease:
            return engine.handleMouseButton(static_cast<const QMouseEvent*>(event)->button(),
                                            false);
        case QEvent::MouseMove: {
            if (!engine.isMouseLookActive() || !m_mouseLookCursor) {
                return false;
            }
            const std::optional<QPointF> movement = m_mouseLookCursor->movement(global);
            return !movement || engine.handleMouseLookMove(*movement);
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<const QWheelEvent*>(event);
            const int dy = wheel->inverted() ? -wheel->angleDelta().y() : wheel->angleDelta().y();
            return engine.handleWheel(dy);
        }
        default:
            return false;
    }
}
