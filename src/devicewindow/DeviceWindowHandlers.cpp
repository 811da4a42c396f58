#include "devicewindow/DeviceWindowHandlers.h"

#include "devicewindow/DeviceStreamConnection.h"

void DeviceWindowEventHandler::didLoseControl(const QString& deviceID, TerminatedReason reason) {
    if (m_connection) {
        m_connection->didLoseControl(deviceID, reason);
    }
}
void DeviceWindowEventHandler::didAdd(const QString& deviceID, bool added) {
    if (m_connection) {
        m_connection->didAdd(deviceID, added);
    }
}
void DeviceWindowEventHandler::didEncounterError(const QString& deviceID, qint64 code) {
    if (m_connection) {
        m_connection->didEncounterError(deviceID, code);
    }
}
void DeviceWindowEventHandler::didUpdateConnection(const QString& deviceID, qint64 state,
                                                   const std::optional<QString>& message) {
    if (m_connection) {
        m_connection->didUpdateConnection(deviceID, state, message);
    }
}
void DeviceWindowEventHandler::didUpdateScreenSize(const QString& deviceID, qreal width,
                                                   qreal height) {
    if (m_connection) {
        m_connection->didUpdateScreenSize(deviceID, width, height);
    }
}
void DeviceWindowEventHandler::didUpdateOrientation(const QString& deviceID,
                                                    KXRotationObc rotation) {
    if (m_connection) {
        m_connection->didUpdateOrientation(deviceID, rotation);
    }
}
void DeviceWindowEventHandler::didUpdateKeyboardState(const QString& deviceID,
                                                      const DeviceKeyboardState& state) {
    if (m_connection) {
        m_connection->didUpdateKeyboardState(deviceID, state);
    }
}
void DeviceWindowEventHandler::didCopyText(const QString& deviceID, const QString& text) {
    if (m_connection) {
        m_connection->didCopyText(deviceID, text);
    }
}
void DeviceWindowEventHandler::didReceivePushMessage(const QString& deviceID,
                                                     const std::optional<QString>& message) {
    if (m_connection) {
        m_connection->didReceivePushMessage(deviceID, message);
    }
}

void DeviceWindowStreamHandler::didStreamReady(const QString& deviceID, KXRotationObc rotation) {
    if (m_connection) {
        m_connection->didStreamReady(deviceID, rotation);
    }
}
void DeviceWindowStreamHandler::didReceiveFirstVideoFrame(const QString& deviceID,
                                                          KXRotationObc rotation) {
    if (m_connection) {
        m_connection->didReceiveFirstVideoFrame(deviceID, rotation);
    }
}
void DeviceWindowStreamHandler::didTimeout(const QString& deviceID, DeviceTimeoutReason reason) {
    if (m_connection) {
        m_connection->didTimeout(deviceID, reason);
    }
}
void DeviceWindowStreamHandler::didUpdateNetworkStatus(const QString& deviceID,
                                                       const QVariantMap& statistics) {
    if (m_connection) {
        m_connection->didUpdateNetworkStatus(deviceID, statistics);
    }
}
void DeviceWindowStreamHandler::didEncounterError(const QString& deviceID, qint64 code) {
    if (m_connection) {
        m_connection->streamDidEncounterError(deviceID, code);
    }
}
void DeviceWindowStreamHandler::didUpdateConnection(const QString& deviceID, qint64 state,
                                                    const std::optional<QString>& message) {
    if (m_connection) {
        m_connection->streamDidUpdateConnection(deviceID, state, message);
    }
}
void DeviceWindowStreamHandler::stallDueToPoorNetwork(const QString& deviceID) {
    if (m_connection) {
        m_connection->stallDueToPoorNetwork(deviceID);
    }
}
