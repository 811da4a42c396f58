#include "keymapping/KeyCapture.h"

#include "keymapping/KeyIdentity.h"

#include <QStringList>

#include <chrono>
#include <cmath>

namespace {

const QString kCaptureStartedText = QStringLiteral("请按下键盘按键，最多支持 2 个组合键");

QString joinedNames(const QList<CapturedKey>& keys) {
    QStringList names;
    for (const CapturedKey& key : keys) {
        names.append(key.displayName);
    }
    return names.join(QLatin1Char('+'));
}

void addCapturedKey(QList<CapturedKey>& keys, const CapturedKey& key) {
    if (keys.size() < 2 && !keys.contains(key)) {
        keys.append(key);
    }
}

KeyMappingItem* itemWithID(QList<KeyMappingItem>& items, const QUuid& id) {
    for (KeyMappingItem& item : items) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

}  // namespace

KeyCapture::KeyCapture(State state, QObject* parent) : QObject(parent), m_state(state) {
    m_commitTimer.setSingleShot(true);
    // A coarse timer may fire up to 5% early, before the user had the full delay for a
    // second key.
    m_commitTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_commitTimer, &QTimer::timeout, this, &KeyCapture::commitPending);
}

void KeyCapture::changed() const {
    if (m_state.onChange) {
        m_state.onChange();
    }
}

void KeyCapture::begin(const QUuid& mappingID, std::optional<KeyMappingDirection> direction) {
    m_commitTimer.stop();
    m_state.pendingKeyCapture = PendingKeyCapture{mappingID, direction, {}};
    m_state.pendingKeyConflict.reset();
    m_state.pressed.currentlyPressedKeys.clear();
    m_state.statusText = kCaptureStartedText;
}

void KeyCapture::cancel() {
    m_commitTimer.stop();
    m_state.pendingKeyCapture.reset();
    m_state.pendingKeyConflict.reset();
    m_state.pressed.currentlyPressedKeys.clear();
    m_state.pressed.deferredModifierKeys.clear();
    m_state.pressed.consumedDeferredModifierKeyCodes.clear();
}

bool KeyCapture::keyDown(const KeyEventRecord& event, const CapturedKey& key) {
    if (!m_state.pendingKeyCapture) {
        return false;
    }
    // A held key is one press: its repeats add no key and leave the delay running from its first
    // press.
    if (event.isRepeat) {
        return true;
    }
    PendingKeyCapture capture = *m_state.pendingKeyCapture;
    QHash<quint16, CapturedKey>& pressed = m_state.pressed.currentlyPressedKeys;
    // A key pressed with a modifier held captures the modifier first.
    const std::optional<CapturedKey> modifier = KeyIdentity::modifierKeyForFlags(event);
    if (modifier && modifier->keyCode != event.keyCode &&
        !capture.capturedKeys.contains(*modifier)) {
        pressed.insert(modifier->keyCode, *modifier);
        addCapturedKey(capture.capturedKeys, *modifier);
    }
    pressed.insert(key.keyCode, key);
    addCapturedKey(capture.capturedKeys, key);
    return continueCapture(std::move(capture));
}

bool KeyCapture::modifierKey(const KeyEventRecord& event) {
    if (!m_state.pendingKeyCapture) {
        return false;
    }
    const std::optional<CapturedKey> modifier = KeyIdentity::modifierKeyForFlags(event);
    if (!modifier) {
        return true;  // a release
    }
    PendingKeyCapture capture = *m_state.pendingKeyCapture;
    m_state.pressed.currentlyPressedKeys.insert(modifier->keyCode, *modifier);
    addCapturedKey(capture.capturedKeys, *modifier);
    return continueCapture(std::move(capture));
}

bool KeyCapture::continueCapture(PendingKeyCapture capture) {
    if (capture.capturedKeys.size() == 1) {
        const QString names = joinedNames(capture.capturedKeys);
        m_state.pendingKeyCapture = std::move(capture);
        scheduleCommit();
        m_state.statusText = QStringLiteral("已捕获 ") + names +
                             QStringLiteral("，1.5 秒内继续按第二个键可设置组合键");
        changed();
        return true;
    }
    // Two keys: the pair commits now; the stored capture keeps the keys it had.
    m_commitTimer.stop();
    return commit(capture.capturedKeys, capture.target());
}

void KeyCapture::scheduleCommit() {
    const auto delay = std::chrono::milliseconds(std::llround(m_state.commitDelaySeconds * 1000.0));
    m_commitTimer.start(std::max(delay, std::chrono::milliseconds(0)));
}

void KeyCapture::commitPending() {
    m_commitTimer.stop();
    const std::optional<PendingKeyCapture>& pending = m_state.pendingKeyCapture;
    if (pending && !pending->capturedKeys.isEmpty()) {
        commit({pending->capturedKeys.first()}, pending->target());
    }
}

void KeyCapture::end(const QString& status) {
    m_state.pendingKeyCapture.reset();
    m_state.pendingKeyConflict.reset();
    m_commitTimer.stop();
    m_state.statusText = status;
}

bool KeyCapture::commit(const QList<CapturedKey>& keys, const KeyMappingSlot& target) {
    const std::optional<PendingKeyConflict>& conflict = m_state.pendingKeyConflict;
    if (conflict && conflict->target == target &&
        keySignature(conflict->keys) == keySignature(keys)) {
        clearSlots(conflict->conflictingSlots);
        assignKeys(keys, target);
        end(QStringLiteral("已替换冲突键位"));
    } else if (const QList<KeyMappingSlot> conflicts = conflictingSlots(keys, target);
               conflicts.isEmpty()) {
        assignKeys(keys, target);
        end(QStringLiteral("已设置按键：") + joinedNames(keys));
    } else {
        m_state.pendingKeyConflict = PendingKeyConflict{target, keys, conflicts};
        m_state.statusText = QStringLiteral("键位冲突，再按一次清空原键位");
    }
    changed();
    return true;
}

QList<KeyMappingSlot> KeyCapture::conflictingSlots(const QList<CapturedKey>& keys,
                                                   const KeyMappingSlot& target) const {
    const QSet<QString> tokens = keyTokens(keys);
    QList<KeyMappingSlot> slots;
    for (const KeyMappingItem& item : m_state.keyMappings) {
        if (!item.isMove()) {
            const KeyMappingSlot slot = KeyMappingSlot::tap(item.id);
            if (slot != target && item.keyTokens().intersects(tokens)) {
                slots.append(slot);
            }
            continue;
        }
        for (const KeyMappingDirection direction : kAllKeyMappingDirections) {
            const auto binding = item.directionBindings.find(direction);
            const KeyMappingSlot slot = KeyMappingSlot::forDirection(item.id, direction);
            if (binding != item.directionBindings.end() && slot != target &&
                binding->second.keyTokens().intersects(tokens)) {
                slots.append(slot);
            }
        }
    }
    return slots;
}

void KeyCapture::clearSlots(const QList<KeyMappingSlot>& slots) {
    for (const KeyMappingSlot& slot : slots) {
        KeyMappingItem* item = itemWithID(m_state.keyMappings, slot.id);
        if (!item) {
            continue;
        }
        if (slot.kind == KeyMappingSlot::Kind::direction) {
            item->directionBindings.erase(*slot.direction);
            continue;
        }
        item->keyCode.reset();
        item->windowsKey.reset();
        item->secondWindowsKey.reset();
        item->keyDisplayName = KeyMappingItem::kUnsetKeyName;
    }
}

void KeyCapture::assignKeys(const QList<CapturedKey>& keys, const KeyMappingSlot& target) {
    KeyMappingItem* item = itemWithID(m_state.keyMappings, target.id);
    if (!item || keys.isEmpty()) {
        return;
    }
    const CapturedKey& first = keys.first();
    const std::optional<CapturedKey> second =
        keys.size() > 1 ? std::optional<CapturedKey>(keys.at(1)) : std::nullopt;
    if (target.kind == KeyMappingSlot::Kind::direction) {
        item->directionBindings[*target.direction] = KeyMappingKeyBinding{
            first.keyCode, first.windowsKey, second ? std::optional(second->keyCode) : std::nullopt,
            second ? second->windowsKey : std::nullopt, joinedNames(keys)};
        return;
    }
    item->keyCode = first.keyCode;
    item->windowsKey = first.windowsKey;
    item->secondWindowsKey = second ? second->windowsKey : std::nullopt;
    item->keyDisplayName = first.displayName;
}
