#include "devicewindow/KeyMappingPanelController.h"

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/DeviceWindowViews.h"
#include "devicewindow/ImageSaveManager.h"
#include "devicewindow/KeyMappingAlerts.h"
#include "devicewindow/KeyMappingOverlayController.h"
#include "devicewindow/KeyMappingPanelView.h"
#include "devicewindow/WindowGeometryController.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString trimmed(const std::optional<QString>& text) {
    return text ? text->trimmed() : QString();
}

}  // namespace

KeyMappingPanelController::KeyMappingPanelController(
    const DeviceWindowViews& views, const DeviceIdentity& identity, KeyMappingViewModel& viewModel,
    CloudPhoneCommunicator& communicator, KeyMappingConfigManager& store,
    WindowGeometryController& geometry, KeyMappingOverlayController& overlay,
    DeviceWindowInput& input, std::function<void(int width)> setPanelWidth, QObject* parent)
    : QObject(parent),
      m_views(views),
      m_identity(identity),
      m_viewModel(viewModel),
      m_communicator(communicator),
      m_store(store),
      m_geometry(geometry),
      m_overlay(overlay),
      m_input(input),
      m_setPanelWidth(std::move(setPanelWidth)) {}

KeyMappingPanelController::~KeyMappingPanelController() = default;

KeyMappingPanelView* KeyMappingPanelController::keyMappingPanelView() const {
    return m_keyMappingListStackView;
}

void KeyMappingPanelController::setKeyMappingAlerts(std::shared_ptr<KeyMappingAlerts> alerts) {
    m_keyMappingAlerts = std::move(alerts);
}

void KeyMappingPanelController::setKeyMappingPanelVisible(bool visible) {
    if (m_isKeyMappingPanelVisible == visible) {
        return;
    }
    m_isKeyMappingPanelVisible = visible;
    // The frame to come, taken before the panel's width moves the content.
    const QSizeF frame = m_geometry.frameSize();
    const int change = visible ? kKeyMappingPanelWidth : -kKeyMappingPanelWidth;
    m_setPanelWidth(visible ? kKeyMappingPanelWidth : 0);
    Q_EMIT visibilityDidChange(visible);
    if (visible) {
        m_input.releaseKeyMappingContacts();
        m_views.keyMappingPanel->show();
        buildKeyMappingPanel();
        if (KeyMappingOverlayView* overlay = m_overlay.keyMappingOverlayContainer()) {
            overlay->show();
        }
    } else {
        tearDownKeyMappingPanel();
        m_views.keyMappingPanel->hide();
        // A minimum that still counts the panel would keep the window wide.
        m_geometry.updateMinWindowSize();
    }
    // Set as the window's own resize, so that it does not count as the user's.
    m_geometry.applyFrameSize(frame + QSizeF(change, 0));
    m_geometry.updateMinWindowSize();
}

void KeyMappingPanelController::buildKeyMappingPanel() {
    if (m_keyMappingListStackView) {
        return;
    }
    for (QWidget* child :
         m_views.keyMappingPanel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->hide();
        child->deleteLater();
    }
    if (!m_views.keyMappingPanel->layout()) {
        auto* layout = new QVBoxLayout(m_views.keyMappingPanel);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    m_overlay.setupKeyMappingOverlayContainer();

    auto* panel = new KeyMappingPanelView(m_overlay.shouldShowAppliedKeyMappingOverlay(),
                                          m_views.keyMappingPanel);
    m_views.keyMappingPanel->layout()->addWidget(panel);
    m_keyMappingListStackView = panel;
    using C = KeyMappingPanelController;
    connect(panel->closeButton(), &QPushButton::clicked, this, &C::closeKeyMappingPanelClick);
    connect(panel->presetPopup(), &QComboBox::activated, this, &C::keyMappingPresetChanged);
    connect(panel->renamePlanButton(), &QPushButton::clicked, this, &C::renameKeyMappingPlanClick);
    connect(panel->deletePlanButton(), &QPushButton::clicked, this, &C::deleteKeyMappingPlanClick);
    connect(panel->newPlanButton(), &QPushButton::clicked, this,
            &C::reloadRecommendedKeyMappingsClick);
    connect(panel->addTapTile(), &QPushButton::clicked, this, &C::addTapKeyMappingClick);
    connect(panel->addMoveTile(), &QPushButton::clicked, this, &C::addMoveKeyMappingClick);
    connect(panel->displayCheckbox(), &QCheckBox::clicked, this,
            &C::toggleKeyMappingOverlayVisible);
    connect(panel->restoreButton(), &QPushButton::clicked, this, &C::clearKeyMappingsClick);
    connect(panel->saveButton(), &QPushButton::clicked, this, &C::saveKeyMappingsClick);
    panel->show();

    KeyMappingOverlayView* overlay = m_overlay.keyMappingOverlayContainer();
    if (overlay && !overlay->parentWidget()) {
        overlay->setParent(m_views.mainView);
    }
    reloadKeyMappingPresetPopup(m_viewModel.selectedPlanIdentifier);
    updateKeyMappingStatus();
}

void KeyMappingPanelController::tearDownKeyMappingPanel() {
    m_viewModel.cancelKeyCapture();
    m_input.releaseKeyMappingContacts();
    // Later: the panel's own "×" may be what closes it.
    for (QWidget* child :
         m_views.keyMappingPanel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->hide();
        child->deleteLater();
    }
    m_keyMappingListStackView = nullptr;
    m_overlay.rebuildKeyMappingOverlay();
}

void KeyMappingPanelController::matchKeyMappingPlanForCurrentGame() {
    KeyMappingViewModel& model = m_viewModel;
    if (!model.keyMappings.isEmpty()) {
        return;
    }
    model.keyMappingStatusText = QStringLiteral("正在匹配当前游戏...");
    updateKeyMappingStatus();

    const QPointer<KeyMappingPanelController> weakSelf(this);
    const quint64 generation = m_planMatchGeneration;
    // Still the device the match was asked for.
    const auto stillAsked = [weakSelf, generation] {
        return weakSelf && weakSelf->m_planMatchGeneration == generation;
    };
    KeyMappingConfigManager* store = &m_store;
    const auto loadPlans = [weakSelf, stillAsked, store](const QString& package) {
        store->loadPlans(package, [weakSelf, stillAsked,
                                   package](Result<QList<ImportedKeyMappingPlan>> plans) {
            if (!stillAsked()) {
                return;
            }
            KeyMappingViewModel& current = weakSelf->m_viewModel;
            if (!plans) {
                current.reportPlanLoadFailure(plans.error());
                weakSelf->reloadKeyMappingPresetPopup(std::nullopt);
                weakSelf->updateKeyMappingStatus();
                return;
            }
            current.matchingPlans = plans.value();
            weakSelf->reloadKeyMappingPresetPopup(std::nullopt);
            if (current.matchingPlans.isEmpty()) {
                current.showNoMatchingPlans(package);
            } else {
                const ImportedKeyMappingPlan first = current.matchingPlans.first();
                current.applyPlan(first, package, int(current.matchingPlans.size()), false, true);
                weakSelf->reloadKeyMappingPresetPopup(KeyMappingViewModel::planIdentifier(first));
            }
            weakSelf->updateKeyMappingStatus();
        });
    };

    m_communicator.fetchActivePackageName(
        m_identity.deviceKey(),
        [weakSelf, stillAsked, loadPlans](const std::optional<QString>& package,
                                          const std::optional<Error>& error) {
            if (!stillAsked()) {
                return;
            }
            KeyMappingViewModel& current = weakSelf->m_viewModel;
            const QString name = trimmed(package);
            if (name.isEmpty()) {
                current.clearPackage(error, kCustomPlanPackageName);
                loadPlans(kCustomPlanPackageName);
                return;
            }
            if (current.autoLoadedPackageName == name && !current.keyMappings.isEmpty() &&
                !current.matchingPlans.isEmpty()) {
                weakSelf->reloadKeyMappingPresetPopup(current.selectedPlanIdentifier);
                current.keyMappingStatusText = QStringLiteral("已应用当前游戏方案：") + name;
                weakSelf->updateKeyMappingStatus();
                return;
            }
            loadPlans(name);
        });
}

void KeyMappingPanelController::deviceDidChange() {
    ++m_planMatchGeneration;
    m_overlay.endMarkerEditing();
    m_viewModel.reset();
    if (m_isKeyMappingPanelVisible) {
        reloadKeyMappingPresetPopup(std::nullopt);
        matchKeyMappingPlanForCurrentGame();
    } else {
        m_overlay.rebuildKeyMappingOverlay();
    }
}

QString KeyMappingPanelController::customPlanIdentifierPrefix() const {
    const QString package = trimmed(m_viewModel.autoLoadedPackageName);
    return package.isEmpty() ? kCustomPlanPackageName : package;
}

void KeyMappingPanelController::reloadKeyMappingPresetPopup(
    const std::optional<QString>& identifier) {
    if (!m_keyMappingListStackView) {
        return;
    }
    QComboBox* popup = m_keyMappingListStackView->presetPopup();
    popup->clear();
    const QList<ImportedKeyMappingPlan>& plans = m_viewModel.matchingPlans;
    if (plans.isEmpty()) {
        popup->addItem(QStringLiteral("预设方案"));
        popup->setEnabled(false);
        updateKeyMappingPlanButtons();
        return;
    }
    popup->setEnabled(true);
    for (const ImportedKeyMappingPlan& plan : plans) {
        QString title = keyMappingPlanDisplayName(plan);
        if (plan.source == KeyMappingPlanSource::custom) {
            title += QStringLiteral("（自定义）");
        }
        popup->addItem(title, KeyMappingViewModel::planIdentifier(plan));
    }
    const int found = identifier ? popup->findData(*identifier) : -1;
    const int selected = std::max(found, 0);
    popup->setCurrentIndex(selected);
    updateKeyMappingPlanButtons();
}

QString KeyMappingPanelController::keyMappingPlanDisplayName(
    const ImportedKeyMappingPlan& plan) const {
    // Only the last extension goes, and a leading dot is no extension.
    const qsizetype dot = plan.fileName.lastIndexOf(QLatin1Char('.'));
    QString name = (dot > 0 ? plan.fileName.left(dot) : plan.fileName).trimmed();
    const QString package = m_viewModel.autoLoadedPackageName.value_or(QString());
    if (plan.source == KeyMappingPlanSource::custom && !package.isEmpty()) {
        const QString sanitized = ImageSaveManager::sanitizedFileName(package);
        const QString plain = package + QLatin1Char('_');
        const QString safe = sanitized + QLatin1Char('_');
        if (name.startsWith(plain)) {
            name.remove(0, plain.size());
        } else if (name.startsWith(safe)) {
            name.remove(0, safe.size());
        } else if (name == package || name == sanitized) {
            name = QStringLiteral("自定义方案");
        }
    }
    return name.isEmpty() ? QStringLiteral("自定义方案") : name;
}

std::optional<ImportedKeyMappingPlan> KeyMappingPanelController::selectedKeyMappingPlan() const {
    if (!m_keyMappingListStackView) {
        return std::nullopt;
    }
    const QVariant data = m_keyMappingListStackView->presetPopup()->currentData();
    if (data.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return m_viewModel.planForIdentifier(data.toString());
}

void KeyMappingPanelController::updateKeyMappingPlanButtons() {
    if (!m_keyMappingListStackView) {
        return;
    }
    const std::optional<ImportedKeyMappingPlan> plan = selectedKeyMappingPlan();
    const bool enabled = plan && plan->source == KeyMappingPlanSource::custom;
    m_keyMappingListStackView->renamePlanButton()->setEnabled(enabled);
    m_keyMappingListStackView->deletePlanButton()->setEnabled(enabled);
}

void KeyMappingPanelController::updateKeyMappingStatus() {
    if (!m_keyMappingListStackView) {
        return;
    }
    const QString& status = m_viewModel.keyMappingStatusText;
    if (QLabel* label = m_keyMappingListStackView->statusLabel()) {
        label->setText(status);
        label->setVisible(!status.isEmpty());
    }
    m_keyMappingListStackView->emptyLabel()->setVisible(m_viewModel.keyMappings.isEmpty());
    m_overlay.rebuildKeyMappingOverlay();
}

// Actions of the panel's controls ---------------------------------------------------------------

void KeyMappingPanelController::closeKeyMappingPanelClick() {
    setKeyMappingPanelVisible(false);
}

void KeyMappingPanelController::addTapKeyMappingClick() {
    addKeyMapping(KeyMappingType::tap);
}

void KeyMappingPanelController::addMoveKeyMappingClick() {
    addKeyMapping(KeyMappingType::move);
}

void KeyMappingPanelController::clearKeyMappingsClick() {
    clearKeyMappings();
}

void KeyMappingPanelController::reloadRecommendedKeyMappingsClick() {
    reloadRecommendedKeyMappings();
}

void KeyMappingPanelController::renameKeyMappingPlanClick() {
    renameKeyMappingPlan();
}

void KeyMappingPanelController::deleteKeyMappingPlanClick() {
    deleteKeyMappingPlan();
}

void KeyMappingPanelController::saveKeyMappingsClick() {
    saveKeyMappings();
}

void KeyMappingPanelController::addKeyMapping(KeyMappingType type) {
    if (m_viewModel.addMapping(type)) {
        m_input.releaseKeyMappingContacts();
    }
    updateKeyMappingStatus();
}

void KeyMappingPanelController::clearKeyMappings() {
    KeyMappingViewModel& model = m_viewModel;
    model.cancelKeyCapture();
    m_input.releaseKeyMappingContacts();
    if (const std::optional<ImportedKeyMappingPlan> plan = model.findSelectedPlan()) {
        model.applyPlan(*plan, model.autoLoadedPackageName, int(model.matchingPlans.size()), true,
                        false);
        reloadKeyMappingPresetPopup(KeyMappingViewModel::planIdentifier(*plan));
        updateKeyMappingStatus();
        model.keyMappingStatusText =
            QStringLiteral("已还原到原方案：") + keyMappingPlanDisplayName(*plan);
        updateKeyMappingStatus();
        return;
    }
    model.keyMappings.clear();
    model.mouseConfiguration = {};
    model.appliedMouseConfiguration = {};
    model.keyMappingStatusText.clear();
    reloadKeyMappingPresetPopup(model.selectedPlanIdentifier);
    updateKeyMappingStatus();
}

void KeyMappingPanelController::reloadRecommendedKeyMappings() {
    KeyMappingViewModel& model = m_viewModel;
    model.cancelKeyCapture();
    if (trimmed(model.autoLoadedPackageName).isEmpty()) {
        model.keyMappingStatusText = QStringLiteral("未获取到当前游戏包名，无法新建方案");
        updateKeyMappingStatus();
        return;
    }
    m_input.releaseKeyMappingContacts();
    model.createBlankPlan(model.autoLoadedPackageName);
    reloadKeyMappingPresetPopup(model.selectedPlanIdentifier);
    updateKeyMappingStatus();
}

void KeyMappingPanelController::keyMappingPresetChanged(int index) {
    KeyMappingViewModel& model = m_viewModel;
    std::optional<QString> identifier;
    if (m_keyMappingListStackView) {
        const QVariant data = m_keyMappingListStackView->presetPopup()->itemData(index);
        if (data.typeId() == QMetaType::QString) {
            identifier = data.toString();
        }
    }
    if (const std::optional<ImportedKeyMappingPlan> plan = model.planForIdentifier(identifier)) {
        model.cancelKeyCapture();
        model.applyPlan(*plan, model.autoLoadedPackageName, int(model.matchingPlans.size()), true,
                        true);
        reloadKeyMappingPresetPopup(KeyMappingViewModel::planIdentifier(*plan));
        updateKeyMappingStatus();
    }
    updateKeyMappingPlanButtons();
}

void KeyMappingPanelController::toggleKeyMappingOverlayVisible(bool) {
    if (KeyMappingOverlayView* overlay = m_overlay.keyMappingOverlayContainer()) {
        overlay->show();
    }
}

// The selected user plan of the game in front, which the user may rename or delete; none when
// there is no game (said in the status line) or the selection is a built-in plan.
std::optional<ImportedKeyMappingPlan> KeyMappingPanelController::editableCustomPlan(
    const QString& package, const QString& action) {
    if (package.isEmpty()) {
        m_viewModel.keyMappingStatusText =
            QStringLiteral("未获取到当前游戏包名，无法") + action + QStringLiteral("方案");
        updateKeyMappingStatus();
        return std::nullopt;
    }
    std::optional<ImportedKeyMappingPlan> plan = selectedKeyMappingPlan();
    if (!plan || plan->source != KeyMappingPlanSource::custom) {
        return std::nullopt;
    }
    return plan;
}

std::shared_ptr<KeyMappingAlerts> KeyMappingPanelController::keyMappingAlerts() {
    if (!m_keyMappingAlerts) {
        m_keyMappingAlerts = std::make_shared<DialogKeyMappingAlerts>();
    }
    return m_keyMappingAlerts;
}

void KeyMappingPanelController::renameKeyMappingPlan() {
    const QString package = trimmed(m_viewModel.autoLoadedPackageName);
    const std::optional<ImportedKeyMappingPlan> plan =
        editableCustomPlan(package, QStringLiteral("重命名"));
    if (!plan) {
        return;
    }
    const std::shared_ptr<KeyMappingAlerts> alerts = keyMappingAlerts();
    const QPointer<KeyMappingPanelController> weakSelf(this);
    const std::optional<QString> newName =
        alerts->askText(m_views.window.data(), QStringLiteral("重命名方案"),
                        QStringLiteral("请输入新的方案名称"), keyMappingPlanDisplayName(*plan));
    if (!weakSelf || !newName) {
        return;
    }
    KeyMappingConfigManager& store = m_store;
    const ImportedKeyMappingPlan oldPlan = *plan;
    const QString name = *newName;
    store.workQueue().async([weakSelf, &store, oldPlan, name, package] {
        store.renameCustomPlan(
            oldPlan, name, package, [weakSelf, oldPlan](Result<ImportedKeyMappingPlan> renamed) {
                if (!weakSelf) {
                    return;
                }
                KeyMappingViewModel& current = weakSelf->m_viewModel;
                if (!renamed) {
                    current.keyMappingStatusText =
                        QStringLiteral("重命名方案失败：") + renamed.error().message;
                } else {
                    current.renamePlan(oldPlan, renamed.value());
                    weakSelf->reloadKeyMappingPresetPopup(
                        KeyMappingViewModel::planIdentifier(renamed.value()));
                }
                weakSelf->updateKeyMappingStatus();
            });
    });
}

void KeyMappingPanelController::deleteKeyMappingPlan() {
    const QString package = trimmed(m_viewModel.autoLoadedPackageName);
    const std::optional<ImportedKeyMappingPlan> plan =
        editableCustomPlan(package, QStringLiteral("删除"));
    if (!plan) {
        return;
    }
    const std::shared_ptr<KeyMappingAlerts> alerts = keyMappingAlerts();
    const QPointer<KeyMappingPanelController> weakSelf(this);
    const bool confirmed = alerts->confirm(
        m_views.window.data(), QStringLiteral("删除方案"),
        QStringLiteral("确定删除“") + keyMappingPlanDisplayName(*plan) + QStringLiteral("”吗？"),
        QStringLiteral("删除"));
    if (!weakSelf || !confirmed) {
        return;
    }
    const ImportedKeyMappingPlan deleted = *plan;
    m_store.deleteCustomPlan(package, deleted, [weakSelf, deleted](Result<void> done) {
        if (!weakSelf) {
            return;
        }
        KeyMappingViewModel& current = weakSelf->m_viewModel;
        if (!done) {
            current.keyMappingStatusText = QStringLiteral("删除方案失败：") + done.error().message;
        } else {
            weakSelf->m_input.releaseKeyMappingContacts();
            current.deletePlan(deleted);
            weakSelf->reloadKeyMappingPresetPopup(current.selectedPlanIdentifier);
        }
        weakSelf->updateKeyMappingStatus();
    });
}

void KeyMappingPanelController::saveKeyMappings() {
    KeyMappingViewModel& model = m_viewModel;
    const QString package = customPlanIdentifierPrefix();
    model.autoLoadedPackageName = package;
    Result<QByteArray> content =
        KeyMappingConfigManager::exportPlanJSON(model.keyMappings, model.mouseConfiguration);
    if (!content) {
        model.keyMappingStatusText = QStringLiteral("保存方案失败：") + content.error().message;
        updateKeyMappingStatus();
        return;
    }
    const QPointer<KeyMappingPanelController> weakSelf(this);
    KeyMappingConfigManager& store = m_store;
    const std::optional<QString> fileName = model.selectedPlanFileName;
    store.workQueue().async([weakSelf, &store, package, fileName, data = content.value()] {
        store.saveCustomPlan(
            package, fileName, data, [weakSelf](Result<ImportedKeyMappingPlan> saved) {
                if (!weakSelf) {
                    return;
                }
                KeyMappingViewModel& current = weakSelf->m_viewModel;
                if (!saved) {
                    current.keyMappingStatusText =
                        QStringLiteral("保存方案失败：") + saved.error().message;
                    weakSelf->updateKeyMappingStatus();
                    return;
                }
                const KeyMappingPanelView* panel = weakSelf->m_keyMappingListStackView.data();
                weakSelf->m_overlay.setShouldShowAppliedKeyMappingOverlay(
                    panel && panel->displayCheckbox()->isChecked());
                current.savePlan(saved.value());
                current.savePlanCompletion();
                current.keyMappingStatusText = QStringLiteral("已保存自定义方案：") +
                                               weakSelf->keyMappingPlanDisplayName(saved.value());
                weakSelf->reloadKeyMappingPresetPopup(
                    KeyMappingViewModel::planIdentifier(saved.value()));
                weakSelf->updateKeyMappingStatus();
                weakSelf->closeKeyMappingPanel();
            });
    });
}

void KeyMappingPanelController::closeKeyMappingPanel() {
    m_overlay.endMarkerEditing();
    setKeyMappingPanelVisible(false);
    m_views.focusContentView();
}
