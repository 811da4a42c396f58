#include "keymapping/KeyMappingViewModel.h"

#include "foundation/concurrency/MainQueue.h"
#include "keymapping/KeyIdentity.h"
#include "keymapping/KeyMappingConfigManager.h"

#include <QStringList>

KeyMappingViewModel::KeyMappingViewModel(PlanRememberer rememberPlan, QObject* parent)
    : QObject(parent),
      m_rememberPlan(std::move(rememberPlan)),
      m_matcher(appliedKeyMappings,
                {currentlyPressedKeys, deferredModifierKeys, consumedDeferredModifierKeyCodes}),
      m_capture({keyMappings,
                 pendingKeyCapture,
                 pendingKeyConflict,
                 {currentlyPressedKeys, deferredModifierKeys, consumedDeferredModifierKeyCodes},
                 keyMappingStatusText,
                 captureCommitDelay,
                 onChange}) {}

KeyMappingViewModel::~KeyMappingViewModel() {
    Q_ASSERT(MainQueue::isMainThread());
}

QString KeyMappingViewModel::planIdentifier(const ImportedKeyMappingPlan& plan) {
    return rawValue(plan.source) + QLatin1Char('|') + plan.fileName;
}

// Plans ------------------------------------------------------------------------------------------

void KeyMappingViewModel::reset() {
    cancelKeyCapture();
    keyMappings.clear();
    appliedKeyMappings.clear();
    mouseConfiguration = {};
    appliedMouseConfiguration = {};
    keyMappingStatusText.clear();
    autoLoadedPackageName.reset();
    selectedPlanFileName.reset();
    selectedPlanIdentifier.reset();
    matchingPlans.clear();
}

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
    return KeyIdentity::windowsKeyForEvent(event);
}

QString KeyMappingViewModel::keyDisplayNameForEvent(const KeyEventRecord& event) {
    return KeyIdentity::keyDisplayNameForEvent(event);
}

CapturedKey KeyMappingViewModel::capturedKeyForEvent(const KeyEventRecord& event) {
    return KeyIdentity::capturedKeyForEvent(event);
}

std::optional<CapturedKey> KeyMappingViewModel::modifierKeyForFlags(const KeyEventRecord& event) {
    return KeyIdentity::modifierKeyForFlags(event);
}

std::optional<CapturedKey> KeyMappingViewModel::modifierKeyForKeyCode(quint16 keyCode) {
    return KeyIdentity::modifierKeyForKeyCode(keyCode);
}

bool KeyMappingViewModel::isModifierDown(int windowsKey, const KeyEventRecord& event) {
    return KeyIdentity::isModifierDown(windowsKey, event);
}

// Capture ----------------------------------------------------------------------------------------

void KeyMappingViewModel::beginKeyCapture(const QUuid& mappingID,
                                          std::optional<KeyMappingDirection> direction) {
    m_capture.begin(mappingID, direction);
}

void KeyMappingViewModel::cancelKeyCapture() {
    m_capture.cancel();
}

bool KeyMappingViewModel::captureKeyDown(const KeyEventRecord& event) {
    return m_capture.keyDown(event, KeyIdentity::capturedKeyForEvent(event));
}

bool KeyMappingViewModel::captureModifierKey(const KeyEventRecord& event) {
    return m_capture.modifierKey(event);
}

void KeyMappingViewModel::scheduleCaptureCommit() {
    m_capture.scheduleCommit();
}

void KeyMappingViewModel::commitPendingCapture() {
    m_capture.commitPending();
}

bool KeyMappingViewModel::commitKeyCapture(const QList<CapturedKey>& keys,
                                           const KeyMappingSlot& target) {
    return m_capture.commit(keys, target);
}

bool KeyMappingViewModel::isCaptureCommitScheduled() const {
    return m_capture.isCommitScheduled();
}

QList<KeyMappingSlot> KeyMappingViewModel::conflictingSlots(const QList<CapturedKey>& keys,
                                                            const KeyMappingSlot& target) const {
    return m_capture.conflictingSlots(keys, target);
}

void KeyMappingViewModel::clearSlots(const QList<KeyMappingSlot>& slots) {
    m_capture.clearSlots(slots);
}

void KeyMappingViewModel::assignKeys(const QList<CapturedKey>& keys, const KeyMappingSlot& target) {
    m_capture.assignKeys(keys, target);
}

// Key events -------------------------------------------------------------------------------------

KeyMappingKeyDownResult KeyMappingViewModel::handleKeyDown(const KeyEventRecord& event) {
    const CapturedKey key = KeyIdentity::capturedKeyForEvent(event);
    if (pendingKeyCapture) {
        currentlyPressedKeys.insert(key.keyCode, key);
        m_capture.keyDown(event, key);
        return KeyMappingKeyDownResult::captured();
    }
    return m_matcher.keyDown(key);
}

KeyMappingKeyUpResult KeyMappingViewModel::handleKeyUp(const KeyEventRecord& event) {
    if (pendingKeyCapture) {
        currentlyPressedKeys.remove(event.keyCode);
        return KeyMappingKeyUpResult::captured();
    }
    return m_matcher.keyUp(event);
}

KeyMappingModifierChangeResult KeyMappingViewModel::handleFlagsChanged(
    const KeyEventRecord& event) {
    return m_matcher.flagsChanged(event);
}

std::optional<KeyMappingMatch> KeyMappingViewModel::matchKeyEvent(const CapturedKey& key) const {
    return m_matcher.matchKeyEvent(key);
}

std::optional<KeyMappingMatch> KeyMappingViewModel::matchCombination(const CapturedKey& key) const {
    return m_matcher.matchCombination(key);
}

std::optional<KeyMappingMatch> KeyMappingViewModel::matchKey(const CapturedKey& key) const {
    return m_matcher.matchKey(key);
}

void KeyMappingViewModel::consumeDeferredModifiers(const KeyMappingMatch& match) {
    m_matcher.consumeDeferredModifiers(match);
}

bool KeyMappingViewModel::isModifierInCombination(const CapturedKey& key) const {
    return m_matcher.isModifierInCombination(key);
}
