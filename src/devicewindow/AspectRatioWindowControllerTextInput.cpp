#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/KeyMappingInputEngine.h"
#include "devicewindow/WindowActiveManager.h"
#include "foundation/logging/ConsoleFormat.h"
#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/LinuxKeyEventTranslator.h"
#include "session/CloudPhoneCommunicator.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

bool AspectRatioWindowController::acceptsDeviceInput() const {
    return WindowActiveManager::shared().isActive(m_deviceID) && !m_isCloudPhoneDisconnectedForIdle;
}

// The desktop's input method sees keys before the window does, so it may only while key
// mapping would decline every key anyway; never while a key is being captured.
bool AspectRatioWindowController::allowsDesktopInputMethod() const {
    const KeyMappingViewModel& model = *m_keyMappingViewModel;
    if (model.pendingKeyCapture) {
        return false;
    }
    const bool noPlan =
        model.appliedKeyMappings.isEmpty() && model.appliedMouseConfiguration.isEmpty();
    return noPlan || m_isCloudPhoneDisconnectedForIdle || m_isIMEInputActive ||
           m_isKeyMappingPanelVisible;
}

DeviceTextInput* AspectRatioWindowController::deviceTextInput() {
    if (m_deviceTextInput || !m_contentView) {
        return m_deviceTextInput;
    }
    const QPointer<AspectRatioWindowController> weakSelf(this);
    const auto alive = [weakSelf] { return weakSelf && !weakSelf->m_isTearingDown; };
    DeviceTextInputHooks hooks;
    hooks.deviceID = deviceKey();
    hooks.acceptsInput = [weakSelf, alive] { return alive() && weakSelf->acceptsDeviceInput(); };
    hooks.isIMEInputActive = [weakSelf, alive] { return alive() && weakSelf->m_isIMEInputActive; };
    hooks.isKeyCapturePending = [weakSelf, alive] {
        return alive() && weakSelf->m_keyMappingViewModel->pendingKeyCapture.has_value();
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
        weakSelf->stopAllTapKeyMappingTimers();
        weakSelf->exitMouseLook();
        weakSelf->releaseAllMoveKeyMappings();
        weakSelf->forgetHeldKeys();
    };
    const QString key = deviceKey();
    hooks.sendText = [key](const QString& text) {
        CloudPhoneCommunicator::shared().sendText(text, key);
    };
    hooks.copyTextToPasteboard = [key](const QString& text) {
        CloudPhoneCommunicator::shared().copyTextToPasteboard(text, key);
    };
    hooks.sendKey = [key](DeviceTouchName name) {
        CloudPhoneCommunicator::shared().sendTouchEvent(name, DeviceTouchEvent::downAndUp, key);
    };
    hooks.clipboardText = []() -> std::optional<QString> {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        return clipboard ? std::optional<QString>(clipboard->text()) : std::nullopt;
    };
    m_deviceTextInput =
        new DeviceTextInput(m_inputBuffer, m_markedText, std::move(hooks), m_contentView);
    m_deviceTextInput->show();
    return m_deviceTextInput;
}

bool AspectRatioWindowController::routeKeyToKeyMapping(const QKeyEvent& event) {
    if (!m_keyEventTranslator) {
        m_keyEventTranslator = std::make_shared<LinuxKeyEventTranslator>();
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
                if (m_keyMappingViewModel->pendingKeyCapture) {
                    m_keyMappingViewModel->captureModifierKey(record);
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
void AspectRatioWindowController::forgetHeldKeys() {
    if (m_keyEventTranslator) {
        m_keyEventTranslator->releaseAll();
    }
    m_keyMappingViewModel->currentlyPressedKeys.clear();
    m_keyMappingViewModel->deferredModifierKeys.clear();
    m_keyMappingViewModel->consumedDeferredModifierKeyCodes.clear();
}

void AspectRatioWindowController::activateTextInput() {
    DeviceTextInput* input = deviceTextInput();
    if (!input) {
        return;
    }
    ConsoleFormat::print(QStringLiteral("❓ 检查是否接受第一响应者: true"));
    input->refreshInputMethodState();
    input->setFocus(Qt::ActiveWindowFocusReason);
}

void AspectRatioWindowController::deactivateTextInput() {
    if (m_deviceTextInput && m_deviceTextInput->hasFocus()) {
        m_deviceTextInput->clearFocus();
    }
}
