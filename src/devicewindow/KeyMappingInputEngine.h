#pragma once

#include "keymapping/KeyEventRecord.h"
#include "keymapping/KeyMappingDirection.h"
#include "keymapping/KeyMappingItem.h"
#include "keymapping/KeyMappingMatch.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QUuid>
#include <Qt>

#include <optional>
#include <set>

class KeyMappingViewModel;
class QTimer;

using KeyMappingDirections = std::set<KeyMappingDirection>;

// What the engine reads of its device window and where its contacts go. Points are normalised
// (0...1, origin top left, y growing downward); the window turns them into touch-view points.
class KeyMappingInputHost {
public:
    virtual ~KeyMappingInputHost() = default;

    // The window's guard: it is the active device window, and its stream was not stopped for
    // idleness.
    virtual bool isActiveAndConnected() const = 0;
    virtual bool isDisconnectedForIdle() const = 0;
    virtual bool isIMEInputActive() const = 0;
    virtual bool isKeyMappingPanelVisible() const = 0;
    // The player's size, or none while the device has no player.
    virtual std::optional<QSizeF> playerSize() const = 0;

    virtual void tap(const QPointF& point) = 0;
    virtual void touchDown(const QPointF& point, int index) = 0;
    virtual void touchMove(const QPointF& point, int index) = 0;
    virtual void touchUp(const QPointF& point, int index) = 0;
    virtual void cancelTouches() = 0;
    // Mouse look holds the pointer while it lasts.
    virtual void setCursorCaptured(bool captured) = 0;
};

// Turns the key events, mouse buttons, wheel and movement of one device window into simulated
// contacts while a key-mapping plan is applied: a tap key taps at once and then on a repeat
// timer while held, a direction key drags a contact from its move item's point, the plan's
// drag key turns mouse movement into a steered contact ("mouse look"), during which the left
// button holds the trigger point. Which key is bound to what is the view model's answer; the
// engine owns the contacts. Contacts of moves, mouse look and the trigger share the indices
// 1 to 9. GUI thread only.
class KeyMappingInputEngine : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxTouchIndex = 9;
    static constexpr double kTapRepeatInterval = 0.12;  // seconds
    // Mouse buttons and the wheel as Windows virtual keys.
    static constexpr int kRightButtonKey = 2;
    static constexpr int kBackButtonKey = 5;
    static constexpr int kForwardButtonKey = 6;
    static constexpr int kWheelUpKey = 155;
    static constexpr int kWheelDownKey = 154;
    static constexpr quint16 kNoMacKeyCode = 65535;
    // Mouse look puts the contact back on its drag point before it leaves this band.
    static constexpr double kMouseLookMin = 0.05;
    static constexpr double kMouseLookMax = 0.95;

    KeyMappingInputEngine(KeyMappingViewModel& viewModel, KeyMappingInputHost& host,
                          QObject* parent = nullptr);
    ~KeyMappingInputEngine() override;

    // Each answers whether the event was consumed; false leaves it ordinary input.
    bool handleKeyDown(const KeyEventRecord& event);
    bool handleKeyUp(const KeyEventRecord& event);
    bool handleFlagsChanged(const KeyEventRecord& event);
    // Mouse input may be mapped at all: active, connected, no device input method, panel shut.
    bool acceptsMouseInput() const;
    // Left is the trigger, right and the side buttons are keys 2, 5 and 6.
    bool handleMouseButton(Qt::MouseButton button, bool pressed);
    // dy > 0 is key 155, dy < 0 key 154; each event is a whole press and release.
    bool handleWheel(int dy);
    // Movement in pixels, y growing downward.
    bool handleMouseLookMove(const QPointF& delta);

    // Together these end every contact of the engine.
    void stopAllTapKeyMappingTimers();
    void releaseAllMoveKeyMappings();
    void exitMouseLook();

    bool isMouseLookActive() const { return m_isMouseLookActive; }
    bool isMouseLookKeyPressed() const { return m_isMouseLookKeyPressed; }
    std::optional<int> activeMouseLookTouchIndex() const { return m_activeMouseLookTouchIndex; }
    std::optional<int> activeMouseTriggerTouchIndex() const {
        return m_activeMouseTriggerTouchIndex;
    }
    std::optional<QPointF> mouseLookPoint() const { return m_mouseLookPoint; }
    const QHash<QUuid, int>& activeMoveKeyMappingTouches() const {
        return m_activeMoveKeyMappingTouches;
    }
    QList<QTimer*> activeTapKeyMappingTimers() const;
    double tapKeyMappingRepeatInterval() const { return m_tapKeyMappingRepeatInterval; }
    void setTapKeyMappingRepeatInterval(double seconds) { m_tapKeyMappingRepeatInterval = seconds; }

    // The point a move item's contact is dragged to for the held directions, clamped to 0...1.
    static QPointF normalizedMoveTarget(const KeyMappingItem& mapping,
                                        const KeyMappingDirections& directions);
    // "up:W(mac:13,win:87)", with "nil" for what is missing.
    static QString directionBindingDescription(KeyMappingDirection direction,
                                               const KeyMappingItem& mapping);

private:
    bool declinesKeys() const;
    bool canProduceTouches() const;
    bool isCapturePending() const;
    std::optional<int> dragWindowsKey() const;

    void startTapKeyMapping(const KeyMappingItem& mapping);
    void stopTapKeyMapping(const QUuid& id);
    void performTapKeyMapping(const KeyMappingItem& mapping);
    void pressMoveKeyMapping(const KeyMappingItem& mapping,
                             std::optional<KeyMappingDirection> direction);
    void releaseMoveKeyMapping(const KeyMappingItem& mapping,
                               std::optional<KeyMappingDirection> direction);
    void pressMatch(const KeyMappingMatch& match);
    void releaseMatch(const KeyMappingMatch& match);
    KeyMappingDirections moveDirections(const KeyMappingItem& mapping,
                                        std::optional<KeyMappingDirection> adding) const;
    std::optional<int> firstFreeTouchIndex() const;

    bool handleMouseButtonKeyMapping(int windowsKey, bool pressed);
    bool handleMouseLookKey(int windowsKey, bool pressed, bool isRepeat);
    void enterMouseLook();
    bool handleMouseTrigger(bool pressed);

    void logKeyMappingEvent(const KeyEventRecord& event, std::optional<int> eventWindowsKey,
                            const std::optional<KeyMappingMatch>& match) const;

    KeyMappingViewModel& m_viewModel;
    KeyMappingInputHost& m_host;

    QHash<QUuid, QPointer<QTimer>> m_activeTapKeyMappingTimers;
    QHash<QUuid, int> m_activeMoveKeyMappingTouches;
    QHash<QUuid, KeyMappingDirections> m_activeMoveKeyMappingDirections;
    std::optional<int> m_activeMouseLookTouchIndex;
    std::optional<int> m_activeMouseTriggerTouchIndex;
    std::optional<QPointF> m_mouseLookPoint;
    bool m_isMouseLookActive = false;
    bool m_isMouseLookKeyPressed = false;
    bool m_isMouseCursorCaptured = false;
    double m_tapKeyMappingRepeatInterval = kTapRepeatInterval;
};
