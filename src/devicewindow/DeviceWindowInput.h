#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class CloudPhoneCommunicator;
class DeviceStreamConnection;
class DeviceTextInput;
class DeviceWindowGuard;
class KeyMappingInputEngine;
class KeyMappingViewModel;
class LanguageManager;
class LinuxKeyEventTranslator;
class MouseLookCursor;
class QEvent;
class QKeyEvent;
class QLabel;
struct DeviceIdentity;
struct DeviceWindowViews;

// A device window's keyboard and mouse on their way to the device: key mapping sees every key
// and the mouse over the player first and turns them into simulated contacts through its engine
// (mouse look holding the pointer, with a hint where the pointer cannot be held); the window's
// keyboard focus, `DeviceTextInput`, sends the rest as text and device keys. Input reaches the
// device only while its window is the active one and its stream was not stopped for idleness.
// GUI thread only.
class DeviceWindowInput : public QObject {
    Q_OBJECT

public:
    // `isKeyMappingPanelVisible` tells whether the side panel is open, which keeps keys from
    // key mapping.
    DeviceWindowInput(const DeviceWindowViews& views, const DeviceIdentity& identity,
                      KeyMappingViewModel& viewModel, CloudPhoneCommunicator& communicator,
                      const DeviceWindowGuard& guard, const LanguageManager& language,
                      const DeviceStreamConnection& connection,
                      std::function<bool()> isKeyMappingPanelVisible, QObject* parent = nullptr);
    ~DeviceWindowInput() override;

    // Made on first use.
    KeyMappingInputEngine& keyMappingInputEngine();
    // The window's keyboard focus, made on first use; none before the window has its views.
    DeviceTextInput* deviceTextInput();
    // How mouse look holds the pointer; the running platform's kind unless set.
    void setMouseLookCursor(std::unique_ptr<MouseLookCursor> cursor);
    QLabel* mouseLookHint() const;

    // Ends every simulated contact: repeating taps, mouse look and held moves, in this order.
    void releaseKeyMappingContacts();
    // A mouse or wheel event anywhere in the client, seen before its receiver; true: taken by
    // key mapping.
    bool handleMouseEventForKeyMapping(QObject* receiver, QEvent* event);
    // The window became key: keys come to its focus.
    void activateTextInput();
    void deactivateTextInput();
    // The device's own input method opened: mapped keys end and held keys are forgotten.
    void deviceInputMethodDidOpen();
    // The window is about to show another device: the keys down now stay with the device it
    // still shows, so that a key held through the switch acts on the next one only once pressed
    // anew.
    void deviceWillChange();
    // The window now shows another device: what was typed and composed for the one before is
    // forgotten, as in a window newly opened.
    void deviceDidChange();
    // The window's views are going: from now on nothing reaches the device or the views.
    void stopTakingInput() { m_isTakingInput = false; }

private:
    class KeyMappingInputAdapter;

    bool allowsDesktopInputMethod() const;
    bool routeKeyToKeyMapping(const QKeyEvent& event);
    void setMouseLookCaptured(bool captured);
    void forgetHeldKeys();
    // A normalised point on the video (0...1, origin top left) in the device's touch view.
    QPointF touchViewPoint(const QPointF& normalized) const;

    const DeviceWindowViews& m_views;
    const DeviceIdentity& m_identity;
    KeyMappingViewModel& m_viewModel;
    CloudPhoneCommunicator& m_communicator;
    const DeviceWindowGuard& m_guard;
    const LanguageManager& m_language;
    const DeviceStreamConnection& m_connection;
    std::function<bool()> m_isKeyMappingPanelVisible;
    bool m_isTakingInput = true;

    std::unique_ptr<KeyMappingInputAdapter> m_keyMappingInputAdapter;
    std::unique_ptr<KeyMappingInputEngine> m_keyMappingInputEngine;
    std::unique_ptr<LinuxKeyEventTranslator> m_keyEventTranslator;
    std::unique_ptr<MouseLookCursor> m_mouseLookCursor;
    QPointer<DeviceTextInput> m_deviceTextInput;
    QPointer<QLabel> m_mouseLookHint;
    // What was typed since the last newline, and the input method's uncommitted text.
    QString m_inputBuffer;
    QString m_markedText;
};
