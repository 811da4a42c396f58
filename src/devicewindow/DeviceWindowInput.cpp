#include "devicewindow/DeviceWindowInput.h"

#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowGuard.h"
#include "devicewindow/DeviceWindowViews.h"
#include "devicewindow/KeyMappingInputEngine.h"
#include "devicewindow/MouseLookCursor.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/settings/LanguageManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/LinuxKeyEventTranslator.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

namespace {

QPointF layoutPoint(const QPointF& normalized, const QWidget* container) {
    return {std::clamp(normalized.x(), 0.0, 1.0) * std::max(container->width(), 1),
            std::clamp(normalized.y(), 0.0, 1.0) * std::max(container->height(), 1)};
}

}  // namespace

class DeviceWindowInput::KeyMappingInputAdapter : public KeyMappingInputHost {
public:
    explicit KeyMappingInputAdapter(DeviceWindowInput& input) : m_input(input) {}

    bool isActiveAndConnected() const override { return m_input.m_guard.isActiveAndConnected(); }
    bool isDisconnectedForIdle() const override { return m_input.m_guard.isDisconnectedForIdle(); }
    bool isIMEInputActive() const override { return m_input.m_connection.isIMEInputActive(); }
    bool isKeyMappingPanelVisible() const override { return m_input.m_isKeyMappingPanelVisible(); }
    std::optional<QSizeF> playerSize() const override {
        return m_input.m_communicator.videoSize(key());
    }

    void tap(const QPointF& point) override {
        m_input.m_communicator.simulateTap(key(), m_input.touchViewPoint(point));
    }
    void touchDown(const QPointF& point, int index) override {
        m_input.m_communicator.simulateTouchDown(key(), m_input.touchViewPoint(point), index);
    }
    void touchMove(const QPointF& point, int index) override {
        m_input.m_communicator.simulateTouchMove(key(), m_input.touchViewPoint(point), index);
    }
    void touchUp(const QPointF& point, int index) override {
        m_input.m_communicator.simulateTouchUp(key(), m_input.touchViewPoint(point), index);
    }
    void cancelTouches() override { m_input.m_communicator.cancelSimulatedTouches(key()); }
    void setCursorCaptured(bool captured) override { m_input.setMouseLookCaptured(captured); }

private:
    QString key() const { return m_input.m_identity.deviceKey(); }

    DeviceWindowInput& m_input;
};

DeviceWindowInput::DeviceWindowInput(
    const DeviceWindowViews& views, const DeviceIdentity& identity, KeyMappingViewModel& viewModel,
    CloudPhoneCommunicator& communicator, const DeviceWindowGuard& guard,
    const LanguageManager& language, const DeviceStreamConnection& connection,
    std::function<bool()> isKeyMappingPanelVisible, QObject* parent)
    : QObject(parent),
      m_views(views),
      m_identity(identity),
      m_viewModel(viewModel),
      m_communicator(communicator),
      m_guard(guard),
      m_language(language),
      m_connection(connection),
      m_isKeyMappingPanelVisible(std::move(isKeyMappingPanelVisible)) {}

DeviceWindowInput::~DeviceWindowInput() = default;

KeyMappingInputEngine& DeviceWindowInput::keyMappingInputEngine() {
    if (!m_keyMappingInputEngine) {
        m_keyMappingInputAdapter = std::make_unique<KeyMappingInputAdapter>(*this);
        m_keyMappingInputEngine =
            std::make_unique<KeyMappingInputEngine>(m_viewModel, *m_keyMappingInputAdapter);
    }
    return *m_keyMappingInputEngine;
}

void DeviceWindowInput::releaseKeyMappingContacts() {
    if (m_keyMappingInputEngine) {
        m_keyMappingInputEngine->stopAllTapKeyMappingTimers();
        m_keyMappingInputEngine->exitMouseLook();
        m_keyMappingInputEngine->releaseAllMoveKeyMappings();
    }
}

void DeviceWindowInput::deviceInputMethodDidOpen() {
    releaseKeyMappingContacts();
    m_viewModel.currentlyPressedKeys.clear();
    m_viewModel.deferredModifierKeys.clear();
    m_viewModel.consumedDeferredModifierKeyCodes.clear();
}

void DeviceWindowInput::deviceWillChange() {
    if (m_deviceTextInput) {
        m_deviceTextInput->leaveKeysDownWithOldDevice();
    }
}

void DeviceWindowInput::deviceDidChange() {
    m_inputBuffer.clear();
    m_markedText.clear();
}

// The markers and the contacts share one layout: the video's frame, which `mainView` fills.
// Without a player the layout point itself stands (the session then reports the missing player).
QPointF DeviceWindowInput::touchViewPoint(const QPointF& normalized) const {
    const QWidget* container = m_views.mainView;
    if (!container) {
        return {};
    }
    const QPointF point = layoutPoint(normalized, container);
    if (const CloudPhonePlayerView* player = m_communicator.playerView(m_identity.deviceKey());
        player && player->touchView() && m_views.window) {
        return player->touchView()->mapFrom(m_views.window.data(),
                                            container->mapTo(m_views.window.data(), point));
    }
    return point;
}

void DeviceWindowInput::setMouseLookCursor(std::unique_ptr<MouseLookCursor> cursor) {
    if (m_mouseLookCursor && m_mouseLookCursor->isCaptured()) {
        m_mouseLookCursor->release();
    }
    m_mouseLookCursor = std::move(cursor);
}

QLabel* DeviceWindowInput::mouseLookHint() const {
    return m_mouseLookHint;
}

void DeviceWindowInput::setMouseLookCaptured(bool captured) {
    if (!m_mouseLookCursor) {
        m_mouseLookCursor = MouseLookCursor::forPlatform(QGuiApplication::platformName());
    }
    CloudPhonePlayerView* player = m_communicator.playerView(m_identity.deviceKey());
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
    m_mouseLookHint->setText(m_language.bundle().localizedString(text, text));
    const int width = std::max(m_views.mainView->width() - 24, 40);
    m_mouseLookHint->setFixedWidth(width);
    m_mouseLookHint->adjustSize();
    m_mouseLookHint->move((m_views.mainView->width() - width) / 2, 12);
    m_mouseLookHint->show();
    m_mouseLookHint->raise();
}

bool DeviceWindowInput::handleMouseEventForKeyMapping(QObject* receiver, QEvent* event) {
    // Widget deliveries only: each event is also seen once on its way through the window.
    if (!m_isTakingInput || !receiver || !receiver->isWidgetType()) {
        return false;
    }
    if (static_cast<QWidget*>(receiver)->window() != m_views.window.data()) {
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
        const CloudPhonePlayerView* player = m_communicator.playerView(m_identity.deviceKey());
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

// The desktop's input method sees keys before the window does, so it may only while key
// mapping would decline every key anyway; never while a key is being captured.
bool DeviceWindowInput::allowsDesktopInputMethod() const {
    const KeyMappingViewModel& model = m_viewModel;
    if (model.pendingKeyCapture) {
        return false;
    }
    const bool noPlan =
        model.appliedKeyMappings.isEmpty() && model.appliedMouseConfiguration.isEmpty();
    return noPlan || m_guard.isDisconnectedForIdle() || m_connection.isIMEInputActive() ||
           m_isKeyMappingPanelVisible();
}

DeviceTextInput* DeviceWindowInput::deviceTextInput() {
    if (m_deviceTextInput || !m_views.contentView) {
        return m_deviceTextInput;
    }
    const QPointer<DeviceWindowInput> weakSelf(this);
    const auto alive = [weakSelf] { return weakSelf && weakSelf->m_isTakingInput; };
    DeviceTextInputHooks hooks;
    // Each hook asks for the window's device when it is called: the device it shows then.
    hooks.deviceID = [weakSelf] { return weakSelf ? weakSelf->m_identity.deviceKey() : QString(); };
    hooks.acceptsInput = [weakSelf, alive] {
        return alive() && weakSelf->m_guard.isActiveAndConnected();
    };
    hooks.isIMEInputActive = [weakSelf, alive] {
        return alive() && weakSelf->m_connection.isIMEInputActive();
    };
    hooks.isKeyCapturePending = [weakSelf, alive] {
        return alive() && weakSelf->m_viewModel.pendingKeyCapture.has_value();
    };
    hooks.allowsInputMethod = [weakSelf, alive] {
        return alive() && weakSelf->allowsDesktopInputMethod();
    };
    hooks.keyMappingKeyDown = [weakSelf, alive](QKeyEvent& event) {
        return alive() && weakSelf->routeKeyToKeyMapping(event);
    };
    hooks.keyMappingKeyUp = hooks.keyMappingKeyDown;
    hooks.didResignFocus = [weakSelf, alive] {
        if (!alive()) {
            return;
        }
        // No simulated contact outlives the keyboard focus.
        weakSelf->releaseKeyMappingContacts();
        weakSelf->forgetHeldKeys();
    };
    hooks.sendText = [weakSelf, alive](const QString& text) {
        if (alive()) {
            weakSelf->m_communicator.sendText(text, weakSelf->m_identity.deviceKey());
        }
    };
    hooks.copyTextToPasteboard = [weakSelf, alive](const QString& text) {
        if (alive()) {
            weakSelf->m_communicator.copyTextToPasteboard(text, weakSelf->m_identity.deviceKey());
        }
    };
    hooks.sendKey = [weakSelf, alive](DeviceTouchName name) {
        if (alive()) {
            weakSelf->m_communicator.sendTouchEvent(name, DeviceTouchEvent::downAndUp,
                                                    weakSelf->m_identity.deviceKey());
        }
    };
    hooks.clipboardText = []() -> std::optional<QString> {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        return clipboard ? std::optional<QString>(clipboard->text()) : std::nullopt;
    };
    m_deviceTextInput =
        new DeviceTextInput(m_inputBuffer, m_markedText, std::move(hooks), m_views.contentView);
    m_deviceTextInput->show();
    // Focus given back to the window's content (after Reconnect, after the panel closed) is
    // the keyboard's way to the device again.
    m_views.contentView->setFocusProxy(m_deviceTextInput);
    return m_deviceTextInput;
}

bool DeviceWindowInput::routeKeyToKeyMapping(const QKeyEvent& event) {
    if (!m_keyEventTranslator) {
        m_keyEventTranslator = std::make_unique<LinuxKeyEventTranslator>();
    }
    KeyMappingInputEngine& engine = keyMappingInputEngine();
    bool consumed = false;
    // Only the last record is the event's own key; earlier ones release modifiers let go unseen.
    for (const KeyEventRecord& record : m_keyEventTranslator->translate(event)) {
        switch (record.type) {
            case KeyEventRecord::Type::keyDown:
                consumed = engine.handleKeyDown(record);
                break;
            case KeyEventRecord::Type::keyUp:
                consumed = engine.handleKeyUp(record);
                break;
            case KeyEventRecord::Type::flagsChanged:
                if (m_viewModel.pendingKeyCapture) {
                    m_viewModel.captureModifierKey(record);
                    consumed = true;
                } else {
                    consumed = engine.handleFlagsChanged(record);
                }
                break;
        }
    }
    return consumed;
}

// Keys held when the focus left come back as fresh presses.
void DeviceWindowInput::forgetHeldKeys() {
    if (m_keyEventTranslator) {
        m_keyEventTranslator->releaseAll();
    }
    m_viewModel.currentlyPressedKeys.clear();
    m_viewModel.deferredModifierKeys.clear();
    m_viewModel.consumedDeferredModifierKeyCodes.clear();
}

void DeviceWindowInput::activateTextInput() {
    DeviceTextInput* input = deviceTextInput();
    if (!input) {
        return;
    }
    ConsoleFormat::print(QStringLiteral("❓ 检查是否接受第一响应者: true"));
    input->refreshInputMethodState();
    input->setFocus(Qt::ActiveWindowFocusReason);
}

void DeviceWindowInput::deactivateTextInput() {
    if (m_deviceTextInput && m_deviceTextInput->hasFocus()) {
        m_deviceTextInput->clearFocus();
    }
}
