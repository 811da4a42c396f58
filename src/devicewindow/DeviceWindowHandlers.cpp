#include "devicewindow/DeviceWindowHandlers.h"

#include "devicewindow/AspectRatioWindowController.h"

void DeviceWindowEventHandler::didLoseControl(const QString& deviceID, TerminatedReason reason) {
    if (m_window) {
        m_window->didLoseControl(deviceID, reason);
    }
}
void DeviceWindowEventHandler::didAdd(const QString& deviceID, bool added) {
    if (m_window) {
        m_window->didAdd(deviceID, added);
    }
}
void DeviceWindowEventHandler::didEncounterError(const QString& deviceID, qint64 code) {
    if (m_window) {
        m_window->didEncounterError(deviceID, code);
    }
}
void DeviceWindowEventHandler::didUpdateConnection(const QString& deviceID, qint64 state,
                                                   const std::optional<QString>& message) {
    if (m_window) {
        m_window->didUpdateConnection(deviceID, state, message);
    }
}
void DeviceWindowEventHandler::didUpdateScreenSize(const QString& deviceID, qreal width,
                                                   qreal height) {
    if (m_window) {
        m_window->didUpdateScreenSize(deviceID, width, height);
    }
}
void DeviceWindowEventHandler::didUpdateOrientation(const QString& deviceID,
                                                    KXRotationObc rotation) {
    if (m_window) {
        m_window->didUpdateOrientation(deviceID, rotation);
    }
}
void DeviceWindowEventHandler::didUpdateKeyboardState(const QString& deviceID,
                                                      const DeviceKeyboardState& state) {
    if (m_window) {
        m_window->didUpdateKeyboardState(deviceID, state);
    }
}
void DeviceWindowEventHandler::didCopyText(const QString& deviceID, const QString& text) {
    if (m_window) {
        m_window->didCopyText(deviceID, text);
    }
}
void DeviceWindowEventHandler::didReceivePushMessage(const QString& deviceID,
                                                     const std::optional<QString>& message) {
    if (m_window) {
        m_window->didReceivePushMessage(deviceID, message);
    }
}

void DeviceWindowStreamHandler::didStreamReady(const QString& deviceID, KXRotationObc rotation) {
    if (m_window) {
        m_window->didStreamReady(deviceID, rotation);
    }
}
void DeviceWindowStreamHandler::didReceiveFirstVideoFrame(const QString& deviceID,
                                                          KXRotationObc rotation) {
    if (m_window) {
        m_window->didReceiveFirstVideoFrame(deviceID, rotation);
    }
}
void DeviceWindowStreamHandler::didTimeout(const QString& deviceID, DeviceTimeoutReason reason) {
    if (m_window) {
        m_window->didTimeout(deviceID, reason);
    }
}
void DeviceWindowStreamHandler::didUpdateNetworkStatus(const QString& deviceID,
                                                       const QVariantMap& statistics) {
    if (m_window) {
        m_window->didUpdateNetworkStatus(deviceID, statistics);
    }
}
void DeviceWindowStreamHandler::didEncounterError(const QString& deviceID, qint64 code) {
    if (m_window) {
        m_window->streamDidEncounterError(deviceID, code);
    }
}
void DeviceWindowStreamHandler::didUpdateConnection(const QString& deviceID, qint64 state,
                                                    const std::optional<QString>& message) {
    if (m_window) {
        m_window->streamDidUpdateConnection(deviceID, state, message);
    }
}
void DeviceWindowStreamHandler::stallDueToPoorNetwork(const QString& deviceID) {
    if (m_window) {
        m_window->stallDueToPoorNetwork(deviceID);
    }
}
