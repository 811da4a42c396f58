#pragma once

#include "devicewindow/KeyRepeatFilter.h"
#include "session/DeviceTouchName.h"

#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QKeyEvent;

// What a device window's text input asks of its window and sends to its device.
struct DeviceTextInputHooks {
    // The device the window shows now, for log lines.
    std::function<QString()> deviceID;
    // The input guard: the window's device takes input and is connected.
    std::function<bool()> acceptsInput;
    std::function<bool()> isIMEInputActive;
    std::function<bool()> isKeyCapturePending;
    // The desktop's input method may see keys first: key mapping would take none of them.
    std::function<bool()> allowsInputMethod;
    // Key mapping and key capture see every key first; true: consumed.
    std::function<bool(QKeyEvent&)> keyMappingKeyDown;
    std::function<bool(QKeyEvent&)> keyMappingKeyUp;
    // The keyboard left the window: no simulated key may stay held.
    std::function<void()> didResignFocus;
    std::function<void(const QString&)> sendText;
    std::function<void(const QString&)> copyTextToPasteboard;
    std::function<void(DeviceTouchName)> sendKey;
    std::function<std::optional<QString>()> clipboardText;  // the desktop clipboard's text
};

// The keyboard focus of a device window: a held key is one press (`KeyRepeatFilter`) for all
// that follows. Keys go to key mapping first, Ctrl shortcuts next, then typed and composed text
// reaches the device as text and editing and arrow keys as device keys. It keeps a local copy of
// what was typed since the last newline, escape or cut (`inputBuffer`) and of the input method's
// uncommitted text (`markedText`), only for the ranges it reports to the input method; the
// device's own field is the truth. Neither text appears in a log, only its length. An invisible
// 1 × 1 widget. GUI thread only.
class DeviceTextInput : public QWidget {
    Q_OBJECT

public:
    // Where the input method's candidate window goes: the window's horizontal middle, this far
    // above its bottom edge.
    static constexpr int kCandidateWindowLift = 100;

    DeviceTextInput(QString& inputBuffer, QString& markedText, DeviceTextInputHooks hooks,
                    QWidget* parent = nullptr);

    const QString& inputBuffer() const { return m_inputBuffer; }
    const QString& markedText() const { return m_markedText; }
    bool hasMarkedText() const { return !m_markedText.isEmpty(); }
    // Counted in characters as the user sees them.
    int selectedLocation() const;
    std::optional<int> markedLocation() const;
    // The candidate window's rectangle in global coordinates.
    QRect firstRect() const;

    // Text and editing actions, as the keyboard and the input method reach them.
    void insertText(const QString& text);
    void setMarkedText(const QString& text);
    void deleteBackward();
    void deleteForward();
    void insertNewline();
    void cancelOperation();
    void moveUp();
    void moveDown();
    void moveLeft();
    void moveRight();
    // Ctrl+C, V, X, A (the Qt key); false for every other key.
    bool handleCommandShortcut(int qtKey);
    void pasteClipboardToDevice();
    void cutInputBuffer();
    void sendKeyboardKey(DeviceTouchName key);

    // Lets the desktop's input method see keys, or keeps them from it, as the window's state
    // now asks.
    void refreshInputMethodState();

    // At a switch to another device, before the keyboard focus leaves the old one: the keys down
    // now stay with the old device. Until each is let go and pressed anew, its repeats and its
    // release do nothing.
    void leaveKeysDownWithOldDevice();
    // A release waits to show it is no half of a repeat (`KeyRepeatFilter`).
    bool isKeyReleaseWaiting() const { return m_keyRepeats.isReleaseWaiting(); }

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool acceptsInput() const;
    QString deviceID() const;
    void interpretKeyEvent(const QKeyEvent& event);
    // Notes a press or release of a key; true when it belongs to a key held since before the
    // last switch, which the new device never sees.
    bool belongsToOldDevice(const QKeyEvent& event);

    QString& m_inputBuffer;
    QString& m_markedText;
    DeviceTextInputHooks m_hooks;
    bool m_hasInputContext = false;
    // The keys pressed since the keyboard focus came and not yet released, a held key as one
    // press.
    KeyRepeatFilter m_keyRepeats;
    // The keys that were down at the last switch and have not been released since.
    QSet<qint64> m_keysOfOldDevice;
    // Between a switch and the focus it gives back.
    bool m_isSwitchingDevice = false;
};
