#include "devicewindow/KeyMappingInputEngine.h"

#include "foundation/logging/ConsoleFormat.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/KeyMappingViewModel.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

template <typename T>
QString orNil(const std::optional<T>& value) {
    return value ? QString::number(*value) : QStringLiteral("nil");
}

QPointF clampedUnit(const QPointF& point) {
    return {std::clamp(point.x(), 0.0, 1.0), std::clamp(point.y(), 0.0, 1.0)};
}

}  // namespace

KeyMappingInputEngine::KeyMappingInputEngine(KeyMappingViewModel& viewModel,
                                             KeyMappingInputHost& host, QObject* parent)
    : QObject(parent), m_viewModel(viewModel), m_host(host) {}

// Contacts are the window's to end through the release calls; the host may be half gone here.
KeyMappingInputEngine::~KeyMappingInputEngine() = default;

QList<QTimer*> KeyMappingInputEngine::activeTapKeyMappingTimers() const {
    QList<QTimer*> timers;
    for (const QPointer<QTimer>& timer : m_activeTapKeyMappingTimers) {
        if (timer) {
            timers.append(timer);
        }
    }
    return timers;
}

bool KeyMappingInputEngine::isCapturePending() const {
    return m_viewModel.pendingKeyCapture.has_value();
}

// While the panel is open only a pending capture takes keys.
bool KeyMappingInputEngine::declinesKeys() const {
    return m_host.isDisconnectedForIdle() || m_host.isIMEInputActive() ||
           (m_host.isKeyMappingPanelVisible() && !isCapturePending());
}

bool KeyMappingInputEngine::canProduceTouches() const {
    return m_host.isActiveAndConnected();
}

std::optional<int> KeyMappingInputEngine::dragWindowsKey() const {
    const auto& drag = m_viewModel.appliedMouseConfiguration.drag;
    return drag ? std::optional<int>(drag->windowsKey) : std::nullopt;
}

// Keys ---------------------------------------------------------------------------------------

bool KeyMappingInputEngine::handleKeyDown(const KeyEventRecord& event) {
    if (declinesKeys()) {
        return false;
    }
    if (!isCapturePending()) {
        if (const auto windowsKey = KeyMappingViewModel::windowsKeyForEvent(event);
            windowsKey && handleMouseLookKey(*windowsKey, true, event.isRepeat)) {
            return true;
        }
    }
    const KeyMappingKeyDownResult result = m_viewModel.handleKeyDown(event);
    switch (result.kind) {
        case KeyMappingKeyDownResult::Kind::none:
            logKeyMappingEvent(event, result.eventWindowsKey, std::nullopt);
            return false;
        case KeyMappingKeyDownResult::Kind::matched:
            logKeyMappingEvent(event, result.eventWindowsKey, result.match);
            pressMatch(*result.match);
            return true;
        case KeyMappingKeyDownResult::Kind::captured:
            return true;
    }
    return false;
}

bool KeyMappingInputEngine::handleKeyUp(const KeyEventRecord& event) {
    if (declinesKeys()) {
        return false;
    }
    if (!isCapturePending()) {
        const auto windowsKey = KeyMappingViewModel::windowsKeyForEvent(event);
        if (windowsKey && windowsKey == dragWindowsKey()) {
            m_isMouseLookKeyPressed = false;
            if (m_viewModel.appliedMouseConfiguration.drag->mode ==
                ImportedMouseConfiguration::DragMode::view) {
                exitMouseLook();
            }
            return true;
        }
    }
    const KeyMappingKeyUpResult result = m_viewModel.handleKeyUp(event);
    switch (result.kind) {
        case KeyMappingKeyUpResult::Kind::matched:
            releaseMatch(*result.match);
            return true;
        case KeyMappingKeyUpResult::Kind::none:
            return false;
        case KeyMappingKeyUpResult::Kind::captured:
            return true;
    }
    return false;
}

bool KeyMappingInputEngine::handleFlagsChanged(const KeyEventRecord& event) {
    if (declinesKeys()) {
        return false;
    }
    if (!isCapturePending()) {
        const auto windowsKey = KeyMappingViewModel::windowsKeyForEvent(event);
        if (windowsKey && windowsKey == dragWindowsKey()) {
            return handleMouseLookKey(
                *windowsKey, KeyMappingViewModel::isModifierDown(*windowsKey, event), false);
        }
    }
    const KeyMappingModifierChangeResult result = m_viewModel.handleFlagsChanged(event);
    switch (result.kind) {
        case KeyMappingModifierChangeResult::Kind::pressed:
            logKeyMappingEvent(event, result.eventWindowsKey, result.match);
            pressMatch(*result.match);
            return true;
        case KeyMappingModifierChangeResult::Kind::tapped:
            logKeyMappingEvent(event, result.eventWindowsKey, result.match);
            if (result.match->mapping.isMove()) {
                pressMoveKeyMapping(result.match->mapping, result.match->direction);
                releaseMoveKeyMapping(result.match->mapping, result.match->direction);
            } else {
                performTapKeyMapping(result.match->mapping);
            }
            return true;
        case KeyMappingModifierChangeResult::Kind::released:
            releaseMatch(*result.match);
            return true;
        case KeyMappingModifierChangeResult::Kind::none:
            logKeyMappingEvent(event, std::nullopt, std::nullopt);
            return false;
    }
    return false;
}

void KeyMappingInputEngine::pressMatch(const KeyMappingMatch& match) {
    if (match.mapping.isMove()) {
        pressMoveKeyMapping(match.mapping, match.direction);
    } else {
        startTapKeyMapping(match.mapping);
    }
}

void KeyMappingInputEngine::releaseMatch(const KeyMappingMatch& match) {
    if (match.mapping.isMove()) {
        releaseMoveKeyMapping(match.mapping, match.direction);
    } else {
        stopTapKeyMapping(match.mapping.id);
    }
}

// Taps ---------------------------------------------------------------------------------------

void KeyMappingInputEngine::startTapKeyMapping(const KeyMappingItem& mapping) {
    if (!canProduceTouches() || m_activeTapKeyMappingTimers.value(mapping.id)) {
        return;
    }
    performTapKeyMapping(mapping);
    auto* timer = new QTimer(this);
    timer->setInterval(int(std::lround(m_tapKeyMappingRepeatInterval * 1000)));
    const QUuid id = mapping.id;
    connect(timer, &QTimer::timeout, this, [this, mapping, id] {
        if (canProduceTouches()) {
            performTapKeyMapping(mapping);
        } else {
            stopTapKeyMapping(id);
        }
    });
    m_activeTapKeyMappingTimers.insert(id, timer);
    timer->start();
}

void KeyMappingInputEngine::stopTapKeyMapping(const QUuid& id) {
    if (const QPointer<QTimer> timer = m_activeTapKeyMappingTimers.take(id)) {
        timer->stop();
        timer->deleteLater();  // may be inside its own tick
    }
}

void KeyMappingInputEngine::stopAllTapKeyMappingTimers() {
    const QList<QUuid> ids = m_activeTapKeyMappingTimers.keys();
    for (const QUuid& id : ids) {
        stopTapKeyMapping(id);
    }
}

void KeyMappingInputEngine::performTapKeyMapping(const KeyMappingItem& mapping) {
    if (canProduceTouches()) {
        m_host.tap(clampedUnit(mapping.normalizedPoint));
    }
}

// Moves --------------------------------------------------------------------------------------

KeyMappingDirections KeyMappingInputEngine::moveDirections(
    const KeyMappingItem& mapping, std::optional<KeyMappingDirection> adding) const {
    const KeyMappingDirections held = m_activeMoveKeyMappingDirections.value(mapping.id);
    if (!held.empty()) {
        return held;
    }
    return adding ? KeyMappingDirections{*adding} : KeyMappingDirections{};
}

QPointF KeyMappingInputEngine::normalizedMoveTarget(const KeyMappingItem& mapping,
                                                    const KeyMappingDirections& directions) {
    const QPointF point = mapping.normalizedPoint;
    if (!mapping.isMove() || directions.empty()) {
        return point;
    }
    const double radius = mapping.moveRadius.value_or(KeyMappingItem::kDefaultMoveRadius);
    const auto held = [&directions](KeyMappingDirection direction) {
        return directions.count(direction) ? 1.0 : 0.0;
    };
    const double dx = held(KeyMappingDirection::right) - held(KeyMappingDirection::left);
    const double dy = held(KeyMappingDirection::down) - held(KeyMappingDirection::up);
    const double length = std::hypot(dx, dy);
    const double divisor = length > 1 ? length : 1;
    return clampedUnit({point.x() + radius * dx / divisor, point.y() + radius * dy / divisor});
}

std::optional<int> KeyMappingInputEngine::firstFreeTouchIndex() const {
    for (int index = 1; index <= kMaxTouchIndex; ++index) {
        const bool taken = std::ranges::find(m_activeMoveKeyMappingTouches, index) !=
                               m_activeMoveKeyMappingTouches.end() ||
                           m_activeMouseLookTouchIndex == index ||
                           m_activeMouseTriggerTouchIndex == index;
        if (!taken) {
            return index;
        }
    }
    return std::nullopt;
}

void KeyMappingInputEngine::pressMoveKeyMapping(const KeyMappingItem& mapping,
                                                std::optional<KeyMappingDirection> direction) {
    if (!canProduceTouches()) {
        return;
    }
    if (direction) {
        m_activeMoveKeyMappingDirections[mapping.id].insert(*direction);
    }
    const KeyMappingDirections directions = moveDirections(mapping, direction);
    const QPointF target = normalizedMoveTarget(mapping, directions);
    if (const auto held = m_activeMoveKeyMappingTouches.constFind(mapping.id);
        held != m_activeMoveKeyMappingTouches.constEnd()) {
        m_host.touchMove(target, *held);
        return;
    }
    const std::optional<int> index = firstFreeTouchIndex();
    if (!index) {
        return;
    }
    m_activeMoveKeyMappingTouches.insert(mapping.id, *index);
    m_host.touchDown(normalizedMoveTarget(mapping, {}), *index);
    m_host.touchMove(target, *index);
}

void KeyMappingInputEngine::releaseMoveKeyMapping(const KeyMappingItem& mapping,
                                                  std::optional<KeyMappingDirection> direction) {
    if (!canProduceTouches()) {
        return;
    }
    if (direction) {
        auto held = m_activeMoveKeyMappingDirections.find(mapping.id);
        if (held != m_activeMoveKeyMappingDirections.end()) {
            held->erase(*direction);
        }
        const KeyMappingDirections remaining = moveDirections(mapping, std::nullopt);
        if (!remaining.empty()) {
            if (const auto touch = m_activeMoveKeyMappingTouches.constFind(mapping.id);
                touch != m_activeMoveKeyMappingTouches.constEnd()) {
                m_host.touchMove(normalizedMoveTarget(mapping, remaining), *touch);
            }
            return;
        }
    }
    m_activeMoveKeyMappingDirections.remove(mapping.id);
    if (m_activeMoveKeyMappingTouches.contains(mapping.id)) {
        const int index = m_activeMoveKeyMappingTouches.take(mapping.id);
        m_host.touchUp(normalizedMoveTarget(mapping, {}), index);
    }
}

void KeyMappingInputEngine::releaseAllMoveKeyMappings() {
    if (m_activeMoveKeyMappingTouches.isEmpty()) {
        return;
    }
    for (const KeyMappingItem& mapping : m_viewModel.appliedKeyMappings) {
        if (const auto index = m_activeMoveKeyMappingTouches.constFind(mapping.id);
            index != m_activeMoveKeyMappingTouches.constEnd()) {
            m_host.touchUp(normalizedMoveTarget(mapping, {}), *index);
        }
    }
    m_activeMoveKeyMappingTouches.clear();
    m_activeMoveKeyMappingDirections.clear();
    // Also the contacts of mappings that left the plan while held.
    m_host.cancelTouches();
}

// Mouse --------------------------------------------------------------------------------------

bool KeyMappingInputEngine::acceptsMouseInput() const {
    return canProduceTouches() && !m_host.isIMEInputActive() && !m_host.isKeyMappingPanelVisible();
}

bool KeyMappingInputEngine::handleMouseButton(Qt::MouseButton button, bool pressed) {
    switch (button) {
        case Qt::LeftButton:
            return handleMouseTrigger(pressed);
        case Qt::RightButton:
            return handleMouseButtonKeyMapping(kRightButtonKey, pressed);
        case Qt::BackButton:
            return handleMouseButtonKeyMapping(kBackButtonKey, pressed);
        case Qt::ForwardButton:
            return handleMouseButtonKeyMapping(kForwardButtonKey, pressed);
        default:
            return false;
    }
}

// A wheel step has no release of its own: it is pressed and let go at once, so no contact of a
// move item stays down after it.
bool KeyMappingInputEngine::handleWheel(int dy) {
    if (dy == 0) {
        return false;
    }
    const int windowsKey = dy > 0 ? kWheelUpKey : kWheelDownKey;
    if (!handleMouseButtonKeyMapping(windowsKey, true)) {
        return false;
    }
    handleMouseButtonKeyMapping(windowsKey, false);
    return true;
}

bool KeyMappingInputEngine::handleMouseButtonKeyMapping(int windowsKey, bool pressed) {
    const CapturedKey key{kNoMacKeyCode, windowsKey,
                          KeyMappingConfigManager::windowsKeyDisplayName(windowsKey)};
    const std::optional<KeyMappingMatch> match = m_viewModel.matchKey(key);
    if (!match) {
        return false;
    }
    if (match->mapping.isMove()) {
        if (pressed) {
            pressMoveKeyMapping(match->mapping, match->direction);
        } else {
            releaseMoveKeyMapping(match->mapping, match->direction);
        }
    } else if (pressed) {
        performTapKeyMapping(match->mapping);
    }
    return true;
}

bool KeyMappingInputEngine::handleMouseLookKey(int windowsKey, bool pressed, bool isRepeat) {
    const auto& drag = m_viewModel.appliedMouseConfiguration.drag;
    if (!drag || drag->windowsKey != windowsKey) {
        return false;
    }
    const bool holdToLook = drag->mode == ImportedMouseConfiguration::DragMode::view;
    if (!pressed) {
        m_isMouseLookKeyPressed = false;
        if (holdToLook) {
            exitMouseLook();
        }
        return true;
    }
    if (isRepeat || m_isMouseLookKeyPressed) {
        return true;
    }
    m_isMouseLookKeyPressed = true;
    if (holdToLook || !m_isMouseLookActive) {
        enterMouseLook();
    } else {
        exitMouseLook();
    }
    return true;
}

void KeyMappingInputEngine::enterMouseLook() {
    const auto& drag = m_viewModel.appliedMouseConfiguration.drag;
    if (m_isMouseLookActive || !drag) {
        return;
    }
    const std::optional<int> index = firstFreeTouchIndex();
    if (!index) {
        return;
    }
    m_isMouseLookActive = true;
    m_activeMouseLookTouchIndex = index;
    m_mouseLookPoint = drag->normalizedPoint;
    m_host.touchDown(drag->normalizedPoint, *index);
    if (!m_isMouseCursorCaptured) {
        m_isMouseCursorCaptured = true;
        m_host.setCursorCaptured(true);
    }
}

bool KeyMappingInputEngine::handleMouseLookMove(const QPointF& delta) {
    const auto& drag = m_viewModel.appliedMouseConfiguration.drag;
    if (!m_isMouseLookActive || !drag || !m_activeMouseLookTouchIndex || !m_mouseLookPoint) {
        return false;
    }
    const std::optional<QSizeF> player = m_host.playerSize();
    if (!player) {
        return false;
    }
    const double width = player->width() > 1 ? player->width() : 1;
    const double height = player->height() > 1 ? player->height() : 1;
    const double x = m_mouseLookPoint->x() + drag->sensitivityX * delta.x() / width;
    // Moving the mouse down moves the contact up, as the plans expect.
    const double y = m_mouseLookPoint->y() - drag->sensitivityY * delta.y() / height;
    const auto outside = [](double value) {
        return value < kMouseLookMin || value > kMouseLookMax;
    };
    if (outside(x) || outside(y)) {
        m_mouseLookPoint = drag->normalizedPoint;
        return true;
    }
    m_mouseLookPoint = QPointF(x, y);
    m_host.touchMove(*m_mouseLookPoint, *m_activeMouseLookTouchIndex);
    return true;
}

bool KeyMappingInputEngine::handleMouseTrigger(bool pressed) {
    const auto& trigger = m_viewModel.appliedMouseConfiguration.triggerPoint;
    if (!m_isMouseLookActive || !trigger) {
        return false;
    }
    if (pressed) {
        if (m_activeMouseTriggerTouchIndex) {
            return true;
        }
        const std::optional<int> index = firstFreeTouchIndex();
        if (index) {
            m_activeMouseTriggerTouchIndex = index;
            m_host.touchDown(*trigger, *index);
        }
        return true;
    }
    if (m_activeMouseTriggerTouchIndex) {
        m_host.touchUp(*trigger, *m_activeMouseTriggerTouchIndex);
        m_activeMouseTriggerTouchIndex.reset();
    }
    return true;
}

void KeyMappingInputEngine::exitMouseLook() {
    const ImportedMouseConfiguration& configuration = m_viewModel.appliedMouseConfiguration;
    if (m_activeMouseTriggerTouchIndex && configuration.triggerPoint) {
        m_host.touchUp(*configuration.triggerPoint, *m_activeMouseTriggerTouchIndex);
    }
    m_activeMouseTriggerTouchIndex.reset();
    if (m_activeMouseLookTouchIndex) {
        std::optional<QPointF> liftAt = m_mouseLookPoint;
        if (!liftAt && configuration.drag) {
            liftAt = configuration.drag->normalizedPoint;
        }
        if (liftAt) {
            m_host.touchUp(*liftAt, *m_activeMouseLookTouchIndex);
        }
    }
    m_activeMouseLookTouchIndex.reset();
    m_mouseLookPoint.reset();
    m_isMouseLookActive = false;
    m_isMouseLookKeyPressed = false;
    if (m_isMouseCursorCaptured) {
        m_isMouseCursorCaptured = false;
        m_host.setCursorCaptured(false);
    }
}

// Diagnostics --------------------------------------------------------------------------------

void KeyMappingInputEngine::logKeyMappingEvent(const KeyEventRecord& event,
                                               std::optional<int> eventWindowsKey,
                                               const std::optional<KeyMappingMatch>& match) const {
    // A key that matched is a game control and keeps its name. Any other goes to the device and
    // may be part of a password: neither its characters nor its codes are shown, a modifier's
    // included (Shift before a letter would tell its case), so every such line is the same.
    if (!match) {
        ConsoleFormat::print(
            QStringLiteral("[KEYMAPPING] keyEvent characters=*** eventKeyCode=*** "
                           "eventWindowsKey=*** matched=false"));
        return;
    }
    const KeyMappingItem& mapping = match->mapping;
    ConsoleFormat::print(
        QStringLiteral("[KEYMAPPING] keyEvent characters=") + event.charactersIgnoringModifiers +
        QStringLiteral(" eventKeyCode=") + QString::number(event.keyCode) +
        QStringLiteral(" eventWindowsKey=") + orNil(eventWindowsKey) +
        QStringLiteral(" matched=true mappingKey=") + KeyMappingViewModel::markerTitle(mapping) +
        QStringLiteral(" mappingMacKeyCode=") + orNil(mapping.keyCode) +
        QStringLiteral(" mappingWindowsKey=") + orNil(mapping.windowsKey) +
        QStringLiteral(" mappingSecondWindowsKey=") + orNil(mapping.secondWindowsKey));
}

QString KeyMappingInputEngine::directionBindingDescription(KeyMappingDirection direction,
                                                           const KeyMappingItem& mapping) {
    const auto binding = mapping.directionBindings.find(direction);
    if (binding == mapping.directionBindings.end()) {
        return rawValue(direction) + QStringLiteral(":nil");
    }
    return rawValue(direction) + QLatin1Char(':') + binding->second.displayName +
           QStringLiteral("(mac:") + orNil(binding->second.keyCode) + QStringLiteral(",win:") +
           orNil(binding->second.windowsKey) + QLatin1Char(')');
}
