#pragma once

#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhoneStreamProtocol.h"

#include <QPointer>

class DeviceStreamConnection;

// The session keeps a device's handlers until its stream stops, which may be after the window
// is gone; these hand each report to the window's stream connection while it lives and drop it
// afterwards.
class DeviceWindowEventHandler : public CloudPhoneEventProtocol {
public:
    explicit DeviceWindowEventHandler(DeviceStreamConnection* connection)
        : m_connection(connection) {}

    void didLoseControl(const QString& deviceID, TerminatedReason reason) override;
    void didAdd(const QString& deviceID, bool added) override;
    void didEncounterError(const QString& deviceID, qint64 code) override;
    void didUpdateConnection(const QString& deviceID, qint64 state,
                             const std::optional<QString>& message) override;
    void didUpdateScreenSize(const QString& deviceID, qreal width, qreal height) override;
    void didUpdateOrientation(const QString& deviceID, KXRotationObc rotation) override;
    void didUpdateKeyboardState(const QString& deviceID, const DeviceKeyboardState& state) override;
    void didCopyText(const QString& deviceID, const QString& text) override;
    void didReceivePushMessage(const QString& deviceID,
                               const std::optional<QString>& message) override;

private:
    QPointer<DeviceStreamConnection> m_connection;
};

class DeviceWindowStreamHandler : public CloudPhoneStreamProtocol {
public:
    explicit DeviceWindowStreamHandler(DeviceStreamConnection* connection)
        : m_connection(connection) {}

    void didStreamReady(const QString& deviceID, KXRotationObc rotation) override;
    void didReceiveFirstVideoFrame(const QString& deviceID, KXRotationObc rotation) override;
    void didTimeout(const QString& deviceID, DeviceTimeoutReason reason) override;
    void didUpdateNetworkStatus(const QString& deviceID, const QVariantMap& statistics) override;
    void didEncounterError(const QString& deviceID, qint64 code) override;
    void didUpdateConnection(const QString& deviceID, qint64 state,
                             const std::optional<QString>& message) override;
    void stallDueToPoorNetwork(const QString& deviceID) override;

private:
    QPointer<DeviceStreamConnection> m_connection;
};
