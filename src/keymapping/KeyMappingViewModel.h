#pragma once

#include "foundation/json/Result.h"
#include "keymapping/CapturedKey.h"
#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KeyCapture.h"
#include "keymapping/KeyEventRecord.h"
#include "keymapping/KeyMappingItem.h"
#include "keymapping/KeyMappingMatch.h"
#include "keymapping/KeyMatcher.h"
#include "keymapping/PendingKeyCapture.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <array>
#include <functional>
#include <optional>

// The state behind one device window's key-mapping panel: the plans offered for the app in
// front, the plan in force, the mappings being edited (`keyMappings`, which markers show and
// captures write into) and those in force (`appliedKeyMappings`, which key events are matched
// against), the status line, key capture and key events. GUI thread only. The window reads and
// writes the fields directly and redraws itself; file work stays with the plan store. Key
// events go to a `KeyMatcher` and captures to a `KeyCapture`, both working on these fields.
class KeyMappingViewModel : public QObject {
    Q_OBJECT

public:
    // Remembers the plan chosen for a package; the plan store's `saveSelectedPlan` by default.
    using PlanRememberer =
        std::function<void(const QString& packageName, const ImportedKeyMappingPlan& plan)>;

    explicit KeyMappingViewModel(PlanRememberer rememberPlan = {}, QObject* parent = nullptr);
    ~KeyMappingViewModel() override;

    QList<KeyMappingItem> keyMappings;
    QList<KeyMappingItem> appliedKeyMappings;
    ImportedMouseConfiguration mouseConfiguration;
    ImportedMouseConfiguration appliedMouseConfiguration;
    std::optional<PendingKeyCapture> pendingKeyCapture;
    QString keyMappingStatusText;
    std::optional<QString> autoLoadedPackageName;
    std::optional<QString> selectedPlanFileName;
    std::optional<QString> selectedPlanIdentifier;
    QList<ImportedKeyMappingPlan> matchingPlans;
    std::optional<PendingKeyConflict> pendingKeyConflict;
    QHash<quint16, CapturedKey> currentlyPressedKeys;  // by key code
    QHash<quint16, CapturedKey> deferredModifierKeys;  // held back for a combination
    QSet<quint16> consumedDeferredModifierKeyCodes;    // held back and used in one
    double captureCommitDelay = 1.5;                   // seconds
    std::function<void()> onChange;                    // after each capture step

    // The plan's source raw value, "|", its file name.
    static QString planIdentifier(const ImportedKeyMappingPlan& plan);

    static QString markerTitle(const KeyMappingItem& item) { return item.markerTitle(); }
    static std::array<QString, 4> directionTitles(const KeyMappingItem& item) {
        return item.directionTitles();
    }
    static QString tapTitle(const KeyMappingItem& item) { return item.tapTitle(); }

    // Back to the state of a window just opened: no plan offered, edited or in force, no status,
    // no capture and no key held.
    void reset();

    // Plans of the app in front.
    void clearPackage(const std::optional<Error>& error, const std::optional<QString>& packageName);
    void showNoMatchingPlans(const QString& packageName);
    void reportPlanLoadFailure(const Error& error);
    void applyPlan(const ImportedKeyMappingPlan& plan, const std::optional<QString>& packageName,
                   int planCount, bool omitPlanCount, bool remember);
    std::optional<ImportedKeyMappingPlan> planForIdentifier(
        const std::optional<QString>& identifier) const;
    std::optional<ImportedKeyMappingPlan> findSelectedPlan() const;

    // The user's plans, after the plan store has done the file work.
    void createBlankPlan(const std::optional<QString>& packageName);
    void renamePlan(const ImportedKeyMappingPlan& oldPlan, const ImportedKeyMappingPlan& newPlan);
    void deletePlan(const ImportedKeyMappingPlan& plan);
    void savePlan(const ImportedKeyMappingPlan& plan);
    void savePlanCompletion();

    // Editing. `addMapping` answers whether a move item was added (and replaced any other).
    bool addMapping(KeyMappingType type);
    void removeMapping(const QUuid& id);
    QPointF defaultNewItemPoint() const;

    // Key identity of an event (see `KeyIdentity`).
    static std::optional<int> windowsKeyForEvent(const KeyEventRecord& event);
    static QString keyDisplayNameForEvent(const KeyEventRecord& event);
    static CapturedKey capturedKeyForEvent(const KeyEventRecord& event);
    static std::optional<CapturedKey> modifierKeyForFlags(const KeyEventRecord& event);
    // Left and right key of a modifier give the same captured key.
    static std::optional<CapturedKey> modifierKeyForKeyCode(quint16 keyCode);
    static bool isModifierDown(int windowsKey, const KeyEventRecord& event);

    // Capture: one key, or two within `captureCommitDelay` of each other.
    void beginKeyCapture(const QUuid& mappingID, std::optional<KeyMappingDirection> direction);
    void cancelKeyCapture();
    bool captureKeyDown(const KeyEventRecord& event);
    bool captureModifierKey(const KeyEventRecord& event);
    void scheduleCaptureCommit();
    void commitPendingCapture();
    bool commitKeyCapture(const QList<CapturedKey>& keys, const KeyMappingSlot& target);
    bool isCaptureCommitScheduled() const;
    QList<KeyMappingSlot> conflictingSlots(const QList<CapturedKey>& keys,
                                           const KeyMappingSlot& target) const;
    void clearSlots(const QList<KeyMappingSlot>& slots);
    void assignKeys(const QList<CapturedKey>& keys, const KeyMappingSlot& target);

    // Key events, matched against `appliedKeyMappings`.
    KeyMappingKeyDownResult handleKeyDown(const KeyEventRecord& event);
    KeyMappingKeyUpResult handleKeyUp(const KeyEventRecord& event);
    KeyMappingModifierChangeResult handleFlagsChanged(const KeyEventRecord& event);
    std::optional<KeyMappingMatch> matchKeyEvent(const CapturedKey& key) const;
    std::optional<KeyMappingMatch> matchCombination(const CapturedKey& key) const;
    // Also for mouse buttons and the wheel, given as their pseudo Windows keys.
    std::optional<KeyMappingMatch> matchKey(const CapturedKey& key) const;
    void consumeDeferredModifiers(const KeyMappingMatch& match);
    bool isModifierInCombination(const CapturedKey& key) const;

private:
    PlanRememberer m_rememberPlan;
    KeyMatcher m_matcher;
    KeyCapture m_capture;
};
