#pragma once

#include <QObject>
#include <QtGlobal>

#include <optional>

class QWindow;

// Which device window's device takes keyboard, mouse and button input: the one the user works
// in. Device windows mark themselves when made and when they become key or main; the mark is
// cleared only by that device's own window closing or switching away. Follows the focused
// window, so a device window brought forward by any means becomes active, while other windows
// (the main page, dialogs) leave the mark where it was. GUI thread only.
class WindowActiveManager : public QObject {
    Q_OBJECT

public:
    static WindowActiveManager& shared();

    explicit WindowActiveManager(QObject* parent = nullptr);

    std::optional<qint64> activeDeviceID() const { return m_activeDeviceID; }
    bool isActive(qint64 deviceID) const { return m_activeDeviceID == deviceID; }

    void setActiveDevice(qint64 deviceID);
    // Only when that device is the active one.
    void clearActiveDevice(qint64 deviceID);

    void windowDidBecomeKey(QWindow* window);

private:
    std::optional<qint64> m_activeDeviceID;
};
