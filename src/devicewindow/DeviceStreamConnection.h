#pragma once

#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhoneStreamProtocol.h"
#include "session/DeviceRealTimeOptions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <optional>

class CloudPhoneCommunicator;
class ConnectionSpinner;
class QLabel;
class QPushButton;
class QWidget;
class SettingsManager;
struct DeviceIdentity;

// A device window's live stream: the connecting overlay over the video with its spinner and
// Reconnect button, the stream options, the start of the stream through the session, and what
// the window does with each report of the device and its stream. What other parts of the window
// must answer (a turn of the device, the network delay, the device's own input method opening)
// leaves as signals. Reports may come from other threads; every change to the window happens on
// the GUI thread.
class DeviceStreamConnection : public QObject {
    Q_OBJECT

public:
    // The type the report lines have always named.
    inline static const QString typeName = QStringLiteral("AspectRatioWindowController");

    // The overlay goes over `viewport`; the stream plays in `mainView`.
    DeviceStreamConnection(const DeviceIdentity& identity, CloudPhoneCommunicator& communicator,
                           SettingsManager& settings, QWidget* viewport, QWidget* mainView,
                           QObject* parent = nullptr);
    ~DeviceStreamConnection() override;

    // Shows the overlay with the spinner, prepares the options and starts the device's stream.
    void startCloudPhoneConnection(VideoQuality quality, bool idleDisconnectEnabled);
    // Made on first use with the options a window starts from.
    DeviceRealTimeOptions& realTimeOptions();
    // The overlay with Reconnect and a stopped spinner, over a stream stopped for idleness.
    void showDisconnectedForIdle();
    void layoutConnectionOverlay();

    QWidget* cloudPhoneConnectionOverlay() const;
    ConnectionSpinner* cloudPhoneLoadingIndicator() const;
    QPushButton* reconnectCloudPhoneButton() const;
    // The device's own input method is open: typed keys go to it as text.
    bool isIMEInputActive() const { return m_isIMEInputActive; }
    // The window now shows another device: its input method counts as closed, as in a window
    // newly opened, until that device reports it open.
    void deviceDidChange();

    // The stream's reports.
    void didStreamReady(const QString& deviceID, KXRotationObc rotation);
    void didReceiveFirstVideoFrame(const QString& deviceID, KXRotationObc rotation);
    void didTimeout(const QString& deviceID, DeviceTimeoutReason reason);
    void didUpdateNetworkStatus(const QString& deviceID, const QVariantMap& statistics);
    void streamDidEncounterError(const QString& deviceID, qint64 code);
    void streamDidUpdateConnection(const QString& deviceID, qint64 state,
                                   const std::optional<QString>& message);
    void stallDueToPoorNetwork(const QString& deviceID);
    // The device's reports.
    void didLoseControl(const QString& deviceID, TerminatedReason reason);
    void didAdd(const QString& deviceID, bool added);
    void didEncounterError(const QString& deviceID, qint64 code);
    void didUpdateConnection(const QString& deviceID, qint64 state,
                             const std::optional<QString>& message);
    void didUpdateScreenSize(const QString& deviceID, qreal width, qreal height);
    void didUpdateOrientation(const QString& deviceID, KXRotationObc rotation);
    void didUpdateKeyboardState(const QString& deviceID, const DeviceKeyboardState& state);
    void didCopyText(const QString& deviceID, const QString& text);
    void didReceivePushMessage(const QString& deviceID, const std::optional<QString>& message);

Q_SIGNALS:
    // The device's picture is turned this way: on the first frame and on each turn.
    void deviceOrientationDidArrive(KXRotationObc rotation);
    // The stream's network delay in milliseconds, 0 to 999.
    void roundTripTimeDidChange(int rtt);
    // The device's own input method opened: no mapped key may stay held.
    void deviceInputMethodDidOpen();
    void reconnectCloudPhoneClicked();

private:
    void setupConnectionOverlay();
    // The device's disk details after a connection start; the "alarm" flag is not shown yet.
    void diskInfoDidArrive(const std::optional<QVariantMap>& info);
    void copyTextToSystemPasteboard(const QString& text);
    void handleDeviceNotification(const QString& deviceID, const std::optional<QString>& message);
    void reportDeviceNotification(const QString& deviceID, qint64 type, const QString& desc);

    const DeviceIdentity& m_identity;
    CloudPhoneCommunicator& m_communicator;
    SettingsManager& m_settings;
    QPointer<QWidget> m_viewport;
    QPointer<QWidget> m_mainView;
    std::optional<DeviceRealTimeOptions> m_realTimeOptions;
    bool m_isIMEInputActive = false;
    QPointer<QWidget> m_cloudPhoneConnectionOverlay;
    QPointer<QLabel> m_connectionBackgroundView;
    QPointer<ConnectionSpinner> m_cloudPhoneLoadingIndicator;
    QPointer<QPushButton> m_reconnectCloudPhoneButton;
};
