#pragma once

#include "keymapping/CapturedKey.h"
#include "keymapping/KeyEventRecord.h"
#include "keymapping/KeyMappingItem.h"
#include "keymapping/KeyMappingSlot.h"
#include "keymapping/KeyMatcher.h"
#include "keymapping/PendingKeyCapture.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <optional>

// Key capture for one item or direction: one key, or two pressed within the commit delay of
// each other; keys already bound elsewhere wait for a second confirmation, which clears the
// other slots. Works on the edited mappings and capture state its owner keeps. GUI thread.
class KeyCapture : public QObject {
public:
    // The owner's fields the capture reads and writes.
    struct State {
        QList<KeyMappingItem>& keyMappings;
        std::optional<PendingKeyCapture>& pendingKeyCapture;
        std::optional<PendingKeyConflict>& pendingKeyConflict;
        PressedKeys pressed;
        QString& statusText;
        const double& commitDelaySeconds;
        const std::function<void()>& onChange;  // after each capture step
    };

    explicit KeyCapture(State state, QObject* parent = nullptr);

    void begin(const QUuid& mappingID, std::optional<KeyMappingDirection> direction);
    void cancel();
    // False when no capture is pending; `key` is the event's own identity.
    bool keyDown(const KeyEventRecord& event, const CapturedKey& key);
    bool modifierKey(const KeyEventRecord& event);
    void scheduleCommit();
    void commitPending();
    bool commit(const QList<CapturedKey>& keys, const KeyMappingSlot& target);
    bool isCommitScheduled() const { return m_commitTimer.isActive(); }

    QList<KeyMappingSlot> conflictingSlots(const QList<CapturedKey>& keys,
                                           const KeyMappingSlot& target) const;
    void clearSlots(const QList<KeyMappingSlot>& slots);
    void assignKeys(const QList<CapturedKey>& keys, const KeyMappingSlot& target);

private:
    bool continueCapture(PendingKeyCapture capture);
    void end(const QString& status);
    void changed() const;

    State m_state;
    QTimer m_commitTimer;
};
