#include "keymapping/KeyMappingViewModel.h"

#include "foundation/MainQueue.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/WindowsKeyTable.h"

#include <QStringList>

#include <chrono>
#include <cmath>

namespace {

const QString kCaptureStartedText = QStringLiteral("请按下键盘按键，最多支持 2 个组合键");

// The modifiers by Windows key with their left and right key codes and flag, in the order in
// which a key event's flags name them.
struct ModifierKey {
    int windowsKey;
    quint16 leftKeyCode;
    quint16 rightKeyCode;
    quint32 flag;
};
constexpr ModifierKey kModifierKeys[] = {
    {17, 59, 62, KeyEventRecord::controlFlag},
    {16, 56, 60, KeyEventRecord::shiftFlag},
    {18, 58, 61, KeyEventRecord::optionFlag},
    {91, 55, 54, KeyEventRecord::commandFlag},
};

const ModifierKey* modifierWithWindowsKey(std::optional<int> windowsKey) {
    for (const ModifierKey& modifier : kModifierKeys) {
        if (windowsKey == modifier.windowsKey) {
            return &modifier;
        }
    }
    return nullptr;
}

bool sameKey(const CapturedKey& key, std::optional<quint16> keyCode,
             std::optional<int> windowsKey) {
    return (keyCode && *keyCode == key.keyCode) ||
           (windowsKey && key.windowsKey && *windowsKey == *key.windowsKey);
}

// The keys of one item or one direction binding, as matching sees them. An item's second key
// has no key code: it is compared by Windows key only.
struct KeyEntry {
    std::optional<quint16> keyCode;
    std::optional<int> windowsKey;
    std::optional<quint16> secondKeyCode;
    std::optional<int> secondWindowsKey;

    explicit KeyEntry(const KeyMappingItem& item)
        : keyCode(item.keyCode),
          windowsKey(item.windowsKey),
          secondWindowsKey(item.secondWindowsKey) {}
    explicit KeyEntry(const KeyMappingKeyBinding& binding)
        : keyCode(binding.keyCode),
          windowsKey(binding.windowsKey),
          secondKeyCode(binding.secondKeyCode),
          secondWindowsKey(binding.secondWindowsKey) {}

    bool hasSecondKey() const { return secondWindowsKey && *secondWindowsKey >= 1; }
    bool firstIs(const CapturedKey& key) const { return sameKey(key, keyCode, windowsKey); }
    bool secondIs(const CapturedKey& key) const {
        return hasSecondKey() && sameKey(key, secondKeyCode, secondWindowsKey);
    }
    bool uses(const CapturedKey& key) const { return firstIs(key) || secondIs(key); }
};

// Visits the entries in matching order (items in list order, a move item's directions up, left,
// down, right) and answers the first that `accept` takes.
template <typename Accept>
std::optional<KeyMappingMatch> findEntry(const QList<KeyMappingItem>& items, Accept accept) {
    for (const KeyMappingItem& item : items) {
        if (!item.isMove()) {
            if (accept(KeyEntry(item))) {
                return KeyMappingMatch{item, std::nullopt};
            }
            continue;
        }
        for (const KeyMappingDirection direction : kAllKeyMappingDirections) {
            const auto binding = item.directionBindings.find(direction);
            if (binding != item.directionBindings.end() && accept(KeyEntry(binding->second))) {
                return KeyMappingMatch{item, direction};
            }
        }
    }
    return std::nullopt;
}

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

CapturedKey modifierKey(int windowsKey) {
    const WindowsKeyName name = WindowsKeyTable::windowsKeyName(windowsKey);
    return {name.macKeyCode.value_or(quint16(windowsKey)), windowsKey,
            WindowsKeyTable::windowsKeyDisplayName(windowsKey)};
}

}  // namespace

KeyMappingViewModel::KeyMappingViewModel(PlanRememberer rememberPlan, QObject* parent)
    : QObject(parent), m_rememberPlan(std::move(rememberPlan)) {
    m_keyCaptureCommitWorkItem.setSingleShot(true);
    connect(&m_keyCaptureCommitWorkItem, &QTimer::timeout, this,
            &KeyMappingViewModel::commitPendingCapture);
}

KeyMappingViewModel::~KeyMappingViewModel() {
    Q_ASSERT(MainQueue::isMainThread());
}

QString KeyMappingViewModel::planIdentifier(const ImportedKeyMappingPlan& plan) {
    return rawValue(plan.source) + QLatin1Char('|') + plan.fileName;
}

// Plans ------------------------------------------------------------------------------------------

void KeyMappingViewModel::clearPackage(const std::optional<Error>& error,
                                       const std::optional<QString>& packageName) {
    autoLoadedPackageName = packageName;
    keyMappingStatusText = QStringLiteral("未获取到当前游戏包名，可使用自定义方案");
    if (error) {
        keyMappingStatusText += QStringLiteral("：") + error->message;
    }
}

void KeyMappingViewModel::showNoMatchingPlans(const QString& packageName) {
    autoLoadedPackageName = packageName;
    matchingPlans.clear();
    selectedPlanFileName.reset();
    selectedPlanIdentifier.reset();
    keyMappingStatusText = packageName == KeyMappingConfigManager::kCustomPackageName
                               ? QStringLiteral("暂无自定义方案，可新建并保存")
                               : QStringLiteral("未找到匹配方案：") + packageName;
}

void KeyMappingViewModel::reportPlanLoadFailure(const Error& error) {
    matchingPlans.clear();
    selectedPlanFileName.reset();
    selectedPlanIdentifier.reset();
    keyMappingStatusText = QStringLiteral("按键方案加载失败：") + error.message;
}

void KeyMappingViewModel::applyPlan(const ImportedKeyMappingPlan& plan,
                                    const std::optional<QString>& packageName, int planCount,
                                    bool omitPlanCount, bool remember) {
    QList<KeyMappingItem> items;
    items.reserve(plan.mappings.size());
    for (const ImportedKeyMapping& mapping : plan.mappings) {
        items.append(KeyMappingItem::fromImported(mapping));
    }
    selectedPlanFileName = plan.fileName;
    selectedPlanIdentifier = planIdentifier(plan);
    if (remember && packageName) {
        if (m_rememberPlan) {
            m_rememberPlan(*packageName, plan);
        } else {
            KeyMappingConfigManager::shared().saveSelectedPlan(*packageName, plan);
        }
    }
    if (packageName) {
        autoLoadedPackageName = packageName;
    }
    if (items.isEmpty() && plan.mouseConfiguration.isEmpty()) {
        // Nothing usable: the markers of the previous plan stay.
        keyMappingStatusText =
            QStringLiteral("已匹配 ") + plan.fileName + QStringLiteral("，但暂无 Mac 可用按键");
        return;
    }
    keyMappings = items;
    appliedKeyMappings = std::move(items);
    mouseConfiguration = plan.mouseConfiguration;
    appliedMouseConfiguration = plan.mouseConfiguration;
    keyMappingStatusText = QStringLiteral("已应用 ") + plan.fileName + QStringLiteral("，共 ") +
                           QString::number(keyMappings.size()) + QStringLiteral(" 个按键");
    if (!omitPlanCount) {
        keyMappingStatusText +=
            QStringLiteral("，可选 ") + QString::number(planCount) + QStringLiteral(" 个方案");
    }
}

std::optional<ImportedKeyMappingPlan> KeyMappingViewModel::planForIdentifier(
    const std::optional<QString>& identifier) const {
    if (!identifier) {
        return std::nullopt;
    }
    for (const ImportedKeyMappingPlan& plan : matchingPlans) {
        if (planIdentifier(plan) == *identifier) {
            return plan;
        }
    }
    return std::nullopt;
}

std::optional<ImportedKeyMappingPlan> KeyMappingViewModel::findSelectedPlan() const {
    if (auto selected = planForIdentifier(selectedPlanIdentifier)) {
        return selected;
    }
    if (matchingPlans.isEmpty()) {
        return std::nullopt;
    }
    return matchingPlans.first();
}

void KeyMappingViewModel::createBlankPlan(const std::optional<QString>& packageName) {
    if (packageName && !packageName->isEmpty()) {
        autoLoadedPackageName = packageName;
    }
    cancelKeyCapture();
    keyMappings.clear();
    mouseConfiguration = {};
    appliedMouseConfiguration = {};
    selectedPlanFileName.reset();
    selectedPlanIdentifier.reset();
    keyMappingStatusText = QStringLiteral("已新建空白方案，请添加按键后保存");
}

void KeyMappingViewModel::renamePlan(const ImportedKeyMappingPlan& oldPlan,
                                     const ImportedKeyMappingPlan& newPlan) {
    const QString oldIdentifier = planIdentifier(oldPlan);
    for (ImportedKeyMappingPlan& plan : matchingPlans) {
        if (planIdentifier(plan) == oldIdentifier) {
            plan = newPlan;
            break;
        }
    }
    if (selectedPlanIdentifier == oldIdentifier) {
        selectedPlanFileName = newPlan.fileName;
        selectedPlanIdentifier = planIdentifier(newPlan);
    }
    keyMappingStatusText = QStringLiteral("已重命名方案");
}

void KeyMappingViewModel::deletePlan(const ImportedKeyMappingPlan& plan) {
    const QString identifier = planIdentifier(plan);
    matchingPlans.removeIf([&identifier](const ImportedKeyMappingPlan& offered) {
        return planIdentifier(offered) == identifier;
    });
    if (selectedPlanIdentifier == identifier) {
        if (matchingPlans.isEmpty()) {
            selectedPlanFileName.reset();
            selectedPlanIdentifier.reset();
            keyMappings.clear();
            mouseConfiguration = {};
            appliedMouseConfiguration = {};
        } else {
            applyPlan(matchingPlans.first(), autoLoadedPackageName, 0, true, false);
        }
    }
    keyMappingStatusText = QStringLiteral("已删除自定义方案");
}

void KeyMappingViewModel::savePlan(const ImportedKeyMappingPlan& plan) {
    const QString identifier = planIdentifier(plan);
    bool replaced = false;
    for (ImportedKeyMappingPlan& offered : matchingPlans) {
        if (planIdentifier(offered) == identifier) {
            offered = plan;
            replaced = true;
            break;
        }
    }
    if (!replaced) {
        matchingPlans.prepend(plan);
    }
    selectedPlanFileName = plan.fileName;
    selectedPlanIdentifier = identifier;
    keyMappingStatusText = QStringLiteral("已保存自定义方案：") + plan.fileName;
}

void KeyMappingViewModel::savePlanCompletion() {
    appliedKeyMappings = keyMappings;
    appliedMouseConfiguration = mouseConfiguration;
    currentlyPressedKeys.clear();
}

// Editing ----------------------------------------------------------------------------------------

bool KeyMappingViewModel::addMapping(KeyMappingType type) {
    cancelKeyCapture();
    const bool move = type == KeyMappingType::move;
    if (move) {
        keyMappings.removeIf([](const KeyMappingItem& item) { return item.isMove(); });
    }
    keyMappings.append(KeyMappingItem(type, defaultNewItemPoint()));
    return move;
}

void KeyMappingViewModel::removeMapping(const QUuid& id) {
    keyMappings.removeIf([&id](const KeyMappingItem& item) { return item.id == id; });
    if (pendingKeyCapture && pendingKeyCapture->mappingID == id) {
        cancelKeyCapture();
    }
}

QPointF KeyMappingViewModel::defaultNewItemPoint() const {
    const auto taps = std::count_if(keyMappings.cbegin(), keyMappings.cend(),
                                    [](const KeyMappingItem& item) { return !item.isMove(); });
    const double column = double(taps % 5);
    const double row = double((taps / 5) % 5);
    return {std::min(0.5 + column * 0.08, 0.9), std::min(0.5 + row * 0.08, 0.9)};
}

// Key identity -----------------------------------------------------------------------------------

std::optional<int> KeyMappingViewModel::windowsKeyForEvent(const KeyEventRecord& event) {
    if (const auto fromTable = WindowsKeyTable::windowsKeyForMacKeyCode(event.keyCode)) {
        return fromTable;
    }
    for (const ModifierKey& modifier : kModifierKeys) {
        if (event.keyCode == modifier.rightKeyCode) {
            return modifier.windowsKey;
        }
    }
    const QString characters = event.charactersIgnoringModifiers.toUpper();
    if (characters.isEmpty()) {
        return std::nullopt;
    }
    const char32_t scalar = characters.toUcs4().constFirst();
    if ((scalar >= U'0' && scalar <= U'9') || (scalar >= U'A' && scalar <= U'Z')) {
        return int(scalar);
    }
    return std::nullopt;
}

QString KeyMappingViewModel::keyDisplayNameForEvent(const KeyEventRecord& event) {
    if (const auto windowsKey = windowsKeyForEvent(event)) {
        return WindowsKeyTable::windowsKeyDisplayName(*windowsKey);
    }
    const QString characters = event.charactersIgnoringModifiers.trimmed().toUpper();
    if (!characters.isEmpty()) {
        return characters;
    }
    return QStringLiteral("Key ") + QString::number(event.keyCode);
}

CapturedKey KeyMappingViewModel::capturedKeyForEvent(const KeyEventRecord& event) {
    return {event.keyCode, windowsKeyForEvent(event), keyDisplayNameForEvent(event)};
}

std::optional<CapturedKey> KeyMappingViewModel::modifierKeyForFlags(const KeyEventRecord& event) {
    for (const ModifierKey& modifier : kModifierKeys) {
        if ((event.modifierFlags & modifier.flag) != 0) {
            return modifierKey(modifier.windowsKey);
        }
    }
    return std::nullopt;
}

std::optional<CapturedKey> KeyMappingViewModel::modifierKeyForKeyCode(quint16 keyCode) {
    for (const ModifierKey& modifier : kModifierKeys) {
        if (keyCode == modifier.leftKeyCode || keyCode == modifier.rightKeyCode) {
            return modifierKey(modifier.windowsKey);
        }
    }
    return std::nullopt;
}

bool KeyMappingViewModel::isModifierDown(int windowsKey, const KeyEventRecord& event) {
    const ModifierKey* modifier = modifierWithWindowsKey(windowsKey);
    return modifier && (event.modifierFlags & modifier->flag) != 0;
}

// Capture ----------------------------------------------------------------------------------------

void KeyMappingViewModel::beginKeyCapture(const QUuid& mappingID,
                                          std::optional<KeyMappingDirection> direction) {
    m_keyCaptureCommitWorkItem.stop();
    pendingKeyCapture = PendingKeyCapture{mappingID, direction, {}};
    pendingKeyConflict.reset();
    currentlyPressedKeys.clear();
    keyMappingStatusText = kCaptureStartedText;
}

void KeyMappingViewModel::cancelKeyCapture() {
    m_keyCaptureCommitWorkItem.stop();
    pendingKeyCapture.reset();
    pendingKeyConflict.reset();
    currentlyPressedKeys.clear();
    deferredModifierKeys.clear();
    consumedDeferredModifierKeyCodes.clear();
}

bool KeyMappingViewModel::captureKeyDown(const KeyEventRecord& event) {
    if (!pendingKeyCapture) {
        return false;
    }
    PendingKeyCapture capture = *pendingKeyCapture;
    // A key pressed with a modifier held captures the modifier first.
    const std::optional<CapturedKey> modifier = modifierKeyForFlags(event);
    if (modifier && modifier->keyCode != event.keyCode &&
        !capture.capturedKeys.contains(*modifier)) {
        currentlyPressedKeys.insert(modifier->keyCode, *modifier);
        addCapturedKey(capture.capturedKeys, *modifier);
    }
    const CapturedKey key = capturedKeyForEvent(event);
    currentlyPressedKeys.insert(key.keyCode, key);
    addCapturedKey(capture.capturedKeys, key);
    return continueCapture(std::move(capture));
}

bool KeyMappingViewModel::captureModifierKey(const KeyEventRecord& event) {
    if (!pendingKeyCapture) {
        return false;
    }
    const std::optional<CapturedKey> modifier = modifierKeyForFlags(event);
    if (!modifier) {
        return true;  // a release
    }
    PendingKeyCapture capture = *pendingKeyCapture;
    currentlyPressedKeys.insert(modifier->keyCode, *modifier);
    addCapturedKey(capture.capturedKeys, *modifier);
    return continueCapture(std::move(capture));
}

bool KeyMappingViewModel::continueCapture(PendingKeyCapture capture) {
    if (capture.capturedKeys.size() == 1) {
        const QString names = joinedNames(capture.capturedKeys);
        pendingKeyCapture = std::move(capture);
        scheduleCaptureCommit();
        keyMappingStatusText = QStringLiteral("已捕获 ") + names +
                               QStringLiteral("，1.5 秒内继续按第二个键可设置组合键");
        if (onChange) {
            onChange();
        }
        return true;
    }
    // Two keys: the pair commits now; the stored capture keeps the keys it had.
    m_keyCaptureCommitWorkItem.stop();
    return commitKeyCapture(capture.capturedKeys, capture.target());
}

void KeyMappingViewModel::scheduleCaptureCommit() {
    const auto delay = std::chrono::milliseconds(std::llround(captureCommitDelay * 1000.0));
    m_keyCaptureCommitWorkItem.start(std::max(delay, std::chrono::milliseconds(0)));
}

void KeyMappingViewModel::commitPendingCapture() {
    m_keyCaptureCommitWorkItem.stop();
    if (pendingKeyCapture && !pendingKeyCapture->capturedKeys.isEmpty()) {
        commitKeyCapture({pendingKeyCapture->capturedKeys.first()}, pendingKeyCapture->target());
    }
}

void KeyMappingViewModel::endCapture(const QString& status) {
    pendingKeyCapture.reset();
    pendingKeyConflict.reset();
    m_keyCaptureCommitWorkItem.stop();
    keyMappingStatusText = status;
}

bool KeyMappingViewModel::commitKeyCapture(const QList<CapturedKey>& keys,
                                           const KeyMappingSlot& target) {
    if (pendingKeyConflict && pendingKeyConflict->target == target &&
        keySignature(pendingKeyConflict->keys) == keySignature(keys)) {
        clearSlots(pendingKeyConflict->conflictingSlots);
        assignKeys(keys, target);
        endCapture(QStringLiteral("已替换冲突键位"));
    } else if (const QList<KeyMappingSlot> conflicts = conflictingSlots(keys, target);
               conflicts.isEmpty()) {
        assignKeys(keys, target);
        endCapture(QStringLiteral("已设置按键：") + joinedNames(keys));
    } else {
        pendingKeyConflict = PendingKeyConflict{target, keys, conflicts};
        keyMappingStatusText = QStringLiteral("键位冲突，再按一次清空原键位");
    }
    if (onChange) {
        onChange();
    }
    return true;
}

QList<KeyMappingSlot> KeyMappingViewModel::conflictingSlots(const QList<CapturedKey>& keys,
                                                            const KeyMappingSlot& target) const {
    const QSet<QString> tokens = keyTokens(keys);
    QList<KeyMappingSlot> slots;
    for (const KeyMappingItem& item : keyMappings) {
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

void KeyMappingViewModel::clearSlots(const QList<KeyMappingSlot>& slots) {
    for (const KeyMappingSlot& slot : slots) {
        KeyMappingItem* item = itemWithID(keyMappings, slot.id);
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

void KeyMappingViewModel::assignKeys(const QList<CapturedKey>& keys, const KeyMappingSlot& target) {
    KeyMappingItem* item = itemWithID(keyMappings, target.id);
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

// Key events -------------------------------------------------------------------------------------

bool KeyMappingViewModel::isPressed(std::optional<quint16> keyCode,
                                    std::optional<int> windowsKey) const {
    for (const CapturedKey& pressed : currentlyPressedKeys) {
        if (sameKey(pressed, keyCode, windowsKey)) {
            return true;
        }
    }
    return false;
}

std::optional<KeyMappingMatch> KeyMappingViewModel::matchCombination(const CapturedKey& key) const {
    return findEntry(appliedKeyMappings, [&](const KeyEntry& entry) {
        return entry.hasSecondKey() && entry.uses(key) &&
               isPressed(entry.keyCode, entry.windowsKey) &&
               isPressed(entry.secondKeyCode, entry.secondWindowsKey);
    });
}

std::optional<KeyMappingMatch> KeyMappingViewModel::matchKey(const CapturedKey& key) const {
    return findEntry(appliedKeyMappings, [&key](const KeyEntry& entry) {
        return !entry.hasSecondKey() && entry.firstIs(key);
    });
}

std::optional<KeyMappingMatch> KeyMappingViewModel::matchKeyEvent(const CapturedKey& key) const {
    if (auto combination = matchCombination(key)) {
        return combination;
    }
    // A modifier of a combination waits until it is known whether the combination comes.
    if (modifierWithWindowsKey(key.windowsKey) && isModifierInCombination(key)) {
        return std::nullopt;
    }
    return matchKey(key);
}

bool KeyMappingViewModel::isModifierInCombination(const CapturedKey& key) const {
    return findEntry(
               appliedKeyMappings,
               [&key](const KeyEntry& entry) { return entry.hasSecondKey() && entry.uses(key); })
        .has_value();
}

void KeyMappingViewModel::consumeDeferredModifiers(const KeyMappingMatch& match) {
    if (deferredModifierKeys.isEmpty()) {
        return;
    }
    const auto consume = [this](const KeyEntry& entry) {
        for (auto deferred = deferredModifierKeys.cbegin(); deferred != deferredModifierKeys.cend();
             ++deferred) {
            if (entry.uses(deferred.value())) {
                consumedDeferredModifierKeyCodes.insert(deferred.key());
            }
        }
    };
    if (!match.direction) {
        consume(KeyEntry(match.mapping));
    } else if (const auto binding = match.mapping.directionBindings.find(*match.direction);
               binding != match.mapping.directionBindings.end()) {
        consume(KeyEntry(binding->second));
    }
}

KeyMappingKeyDownResult KeyMappingViewModel::handleKeyDown(const KeyEventRecord& event) {
    const CapturedKey key = capturedKeyForEvent(event);
    currentlyPressedKeys.insert(key.keyCode, key);
    if (captureKeyDown(event)) {
        return KeyMappingKeyDownResult::captured();
    }
    if (auto match = matchKeyEvent(key)) {
        consumeDeferredModifiers(*match);
        return KeyMappingKeyDownResult::matched(std::move(*match), key.windowsKey);
    }
    return KeyMappingKeyDownResult::none(key.windowsKey);
}

KeyMappingKeyUpResult KeyMappingViewModel::handleKeyUp(const KeyEventRecord& event) {
    if (pendingKeyCapture) {
        currentlyPressedKeys.remove(event.keyCode);
        return KeyMappingKeyUpResult::captured();
    }
    std::optional<KeyMappingMatch> match = matchKeyEvent(capturedKeyForEvent(event));
    currentlyPressedKeys.remove(event.keyCode);
    if (!match) {
        return KeyMappingKeyUpResult::none();
    }
    consumeDeferredModifiers(*match);
    return KeyMappingKeyUpResult::matched(std::move(*match));
}

KeyMappingModifierChangeResult KeyMappingViewModel::handleFlagsChanged(
    const KeyEventRecord& event) {
    const std::optional<CapturedKey> modifier = modifierKeyForKeyCode(event.keyCode);
    if (!modifier) {
        return KeyMappingModifierChangeResult::none();
    }
    const CapturedKey& key = *modifier;
    if (isModifierDown(*key.windowsKey, event)) {
        currentlyPressedKeys.insert(key.keyCode, key);
        if (auto combination = matchCombination(key)) {
            consumeDeferredModifiers(*combination);
            return KeyMappingModifierChangeResult::pressed(std::move(*combination), key.windowsKey);
        }
        if (isModifierInCombination(key)) {
            deferredModifierKeys.insert(key.keyCode, key);
            consumedDeferredModifierKeyCodes.remove(key.keyCode);
            return KeyMappingModifierChangeResult::none();
        }
        if (auto match = matchKey(key)) {
            return KeyMappingModifierChangeResult::pressed(std::move(*match), key.windowsKey);
        }
        return KeyMappingModifierChangeResult::none();
    }

    if (auto combination = matchCombination(key)) {
        consumeDeferredModifiers(*combination);
        currentlyPressedKeys.remove(key.keyCode);
        return KeyMappingModifierChangeResult::released(std::move(*combination));
    }
    currentlyPressedKeys.remove(key.keyCode);
    if (deferredModifierKeys.remove(key.keyCode) > 0) {
        const bool consumed = consumedDeferredModifierKeyCodes.remove(key.keyCode);
        if (consumed) {
            return KeyMappingModifierChangeResult::none();
        }
        if (auto match = matchKey(key)) {
            return KeyMappingModifierChangeResult::tapped(std::move(*match), key.windowsKey);
        }
        return KeyMappingModifierChangeResult::none();
    }
    if (auto match = matchKey(key)) {
        return KeyMappingModifierChangeResult::released(std::move(*match));
    }
    return KeyMappingModifierChangeResult::none();
}
