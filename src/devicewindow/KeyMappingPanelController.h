#pragma once

#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KeyMappingItem.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CloudPhoneCommunicator;
class DeviceWindowInput;
class KeyMappingAlerts;
class KeyMappingConfigManager;
class KeyMappingOverlayController;
class KeyMappingPanelView;
class KeyMappingViewModel;
class WindowGeometryController;
struct DeviceIdentity;
struct DeviceWindowViews;

// A device window's key-mapping side panel, 280 wide at the window's right edge: the window
// grows by it while it is open, and its content exists only then. Opening it matches the plans
// of the game in front on the device; its controls pick, add, restore, save, rename and delete
// plans and keys through the window's `KeyMappingViewModel` and the plan store. GUI thread only.
class KeyMappingPanelController : public QObject {
    Q_OBJECT

public:
    static constexpr int kKeyMappingPanelWidth = 280;
    // Where the user's plans go while no game is known.
    inline static const QString kCustomPlanPackageName = QStringLiteral("com.brisca.custom");

    // `setPanelWidth` gives the panel its room in the window's view tree.
    KeyMappingPanelController(const DeviceWindowViews& views, const DeviceIdentity& identity,
                              KeyMappingViewModel& viewModel, CloudPhoneCommunicator& communicator,
                              KeyMappingConfigManager& store, WindowGeometryController& geometry,
                              KeyMappingOverlayController& overlay, DeviceWindowInput& input,
                              std::function<void(int width)> setPanelWidth,
                              QObject* parent = nullptr);
    ~KeyMappingPanelController() override;

    bool isKeyMappingPanelVisible() const { return m_isKeyMappingPanelVisible; }
    void setKeyMappingPanelVisible(bool visible);
    // Asks the device for the app in front and applies its first plan, unless items are edited.
    void matchKeyMappingPlanForCurrentGame();
    // The window shows another device: key mapping starts over as in a window newly opened on it,
    // and an open panel matches the plans of the game in front there.
    void deviceDidChange();
    // The panel's texts and the markers again, after the view model changed.
    void updateKeyMappingStatus();
    // The plan's name as the popup and the status line show it.
    QString keyMappingPlanDisplayName(const ImportedKeyMappingPlan& plan) const;
    // The panel's content while it is open, else nullptr.
    KeyMappingPanelView* keyMappingPanelView() const;
    // The panel's questions to the user; dialogs unless set.
    void setKeyMappingAlerts(std::shared_ptr<KeyMappingAlerts> alerts);

Q_SIGNALS:
    void visibilityDidChange(bool visible);

private Q_SLOTS:
    void closeKeyMappingPanelClick();
    void addTapKeyMappingClick();
    void addMoveKeyMappingClick();
    void clearKeyMappingsClick();
    void reloadRecommendedKeyMappingsClick();
    void keyMappingPresetChanged(int index);
    void toggleKeyMappingOverlayVisible(bool checked);
    void renameKeyMappingPlanClick();
    void deleteKeyMappingPlanClick();
    void saveKeyMappingsClick();

private:
    void buildKeyMappingPanel();
    void tearDownKeyMappingPanel();
    QString customPlanIdentifierPrefix() const;
    void reloadKeyMappingPresetPopup(const std::optional<QString>& identifier);
    std::optional<ImportedKeyMappingPlan> selectedKeyMappingPlan() const;
    void updateKeyMappingPlanButtons();
    void addKeyMapping(KeyMappingType type);
    void clearKeyMappings();
    void reloadRecommendedKeyMappings();
    std::optional<ImportedKeyMappingPlan> editableCustomPlan(const QString& package,
                                                             const QString& action);
    std::shared_ptr<KeyMappingAlerts> keyMappingAlerts();
    void renameKeyMappingPlan();
    void deleteKeyMappingPlan();
    void saveKeyMappings();
    void closeKeyMappingPanel();

    const DeviceWindowViews& m_views;
    const DeviceIdentity& m_identity;
    KeyMappingViewModel& m_viewModel;
    CloudPhoneCommunicator& m_communicator;
    KeyMappingConfigManager& m_store;
    WindowGeometryController& m_geometry;
    KeyMappingOverlayController& m_overlay;
    DeviceWindowInput& m_input;
    std::function<void(int)> m_setPanelWidth;

    bool m_isKeyMappingPanelVisible = false;
    // Advanced at each device change: a plan match answered for an earlier device is dropped.
    quint64 m_planMatchGeneration = 0;
    QPointer<KeyMappingPanelView> m_keyMappingListStackView;
    std::shared_ptr<KeyMappingAlerts> m_keyMappingAlerts;
};
