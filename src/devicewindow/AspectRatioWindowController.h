#pragma once

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowViews.h"

#include <QObject>
#include <QString>

#include <memory>

class ControlButtonController;
class ControlButtonStrip;
class DeviceStreamConnection;
class DeviceWindowGuard;
class DeviceWindowInput;
class IdlePolicy;
class KeyMappingOverlayController;
class KeyMappingPanelController;
class KeyMappingViewModel;
class LocalEventMonitor;
class QEvent;
class QMainWindow;
class WindowGeometryController;
class WindowToolbarController;

// The window of one opened cloud device: it plays the device's live stream in a video viewport
// with a bottom and a right strip of control buttons and a key-mapping side panel, and tells the
// rest of the client when the user works in it or closes it. It builds the window's view tree
// and owns the parts that do the work, each made with what it works with: the stream connection,
// the idle policy, the geometry, the control buttons, the toolbar, keyboard and mouse input, and
// the key-mapping panel and markers; it wires their signals to each other and runs the steps
// that span several (activation, the close sequence, switching to another device). One
// controller per device window, made by `WindowManager`; it owns its window and deletes itself
// after the window closed. GUI thread only.
class AspectRatioWindowController : public QObject {
    Q_OBJECT

public:
    // Builds the window and starts connecting the device.
    AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                DeviceWindowEnvironment environment, QObject* parent = nullptr);
    // With the client's shared services.
    AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                QObject* parent = nullptr);
    ~AspectRatioWindowController() override;

    // The controller of a device window, or nullptr for any other widget.
    static AspectRatioWindowController* controllerOf(const QWidget* window);

    qint64 deviceID() const { return m_identity.deviceID; }
    const QString& deviceName() const { return m_identity.deviceName; }
    // The device's key in the session: its id in decimal.
    QString deviceKey() const { return m_identity.deviceKey(); }
    QMainWindow* window() const;
    // The services the window works with.
    const DeviceWindowEnvironment& environment() const { return m_environment; }

    void showWindow();
    // As the user closes it: the close sequence runs first.
    void close();
    // For closes the window manager makes itself after stopping the stream: no close sequence.
    void closeSkippingCloseSequence();
    // Reuses this window for another device.
    void switchToDevice(qint64 deviceID, const QString& deviceName);
    // Shows or hides the input-sync item as the session's sync now stands.
    void updateInputSyncToolbarItem();

    // View tree.
    QWidget* contentView() const;
    QWidget* mainViewportContainer() const;
    QWidget* mainView() const;
    ControlButtonStrip* rightButtonsContainer() const;
    ControlButtonStrip* bottomButtonsContainer() const;
    QWidget* keyMappingPanel() const;
    // Over the video until the stream's first picture, and while it is stopped for idleness.
    QWidget* cloudPhoneConnectionOverlay() const;
    int keyMappingPanelWidth() const { return m_keyMappingPanelWidth; }
    void setKeyMappingPanelWidth(int width);
    void layoutViewTree();

    // The owned parts.
    KeyMappingViewModel& keyMappingViewModel() const { return *m_keyMappingViewModel; }
    DeviceStreamConnection& connection() const { return *m_connection; }
    IdlePolicy& idlePolicy() const { return *m_idlePolicy; }
    WindowGeometryController& geometry() const { return *m_geometry; }
    ControlButtonController& controlButtonController() const { return *m_controlButtonController; }
    WindowToolbarController& toolbarController() const { return *m_toolbarController; }
    DeviceWindowInput& input() const { return *m_input; }
    KeyMappingPanelController& keyMappingPanelController() const {
        return *m_keyMappingPanelController;
    }
    KeyMappingOverlayController& keyMappingOverlayController() const {
        return *m_keyMappingOverlayController;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class IdleStream;

    void setupUI();
    void connectParts();
    void registerNotificationObservers();
    void installEventMonitor();
    void handleLocalInteractionEvent(QObject* receiver, QEvent* event);
    void startCloudPhoneConnection();
    void refreshLocalizedTexts();
    bool isKeyMappingPanelVisible() const;

    // Activation and closing.
    void windowDidBecomeKey();
    void windowDidBecomeMain();
    void windowDidResignKey();
    void windowDidResignMain();
    // The close sequence of a close the user asked for; never refuses.
    bool prepareForClose();
    void windowWillClose();

    std::unique_ptr<KeyMappingViewModel> m_keyMappingViewModel;
    DeviceIdentity m_identity;
    DeviceWindowEnvironment m_environment;

    // The window owns every view.
    std::unique_ptr<QMainWindow> m_window;
    DeviceWindowViews m_views;
    int m_keyMappingPanelWidth = 0;
    std::unique_ptr<LocalEventMonitor> m_cloudPhoneEventMonitor;
    bool m_skipCloseSequence = false;
    bool m_didClose = false;
    bool m_isTearingDown = false;

    // Made in this order; each may use those before it.
    std::unique_ptr<IdleStream> m_idleStream;
    std::unique_ptr<IdlePolicy> m_idlePolicy;
    std::unique_ptr<DeviceWindowGuard> m_guard;
    std::unique_ptr<WindowGeometryController> m_geometry;
    std::unique_ptr<KeyMappingOverlayController> m_keyMappingOverlayController;
    std::unique_ptr<WindowToolbarController> m_toolbarController;
    std::unique_ptr<DeviceStreamConnection> m_connection;
    std::unique_ptr<DeviceWindowInput> m_input;
    std::unique_ptr<KeyMappingPanelController> m_keyMappingPanelController;
    std::unique_ptr<ControlButtonController> m_controlButtonController;
};
