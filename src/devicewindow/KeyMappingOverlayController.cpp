#include "devicewindow/KeyMappingOverlayController.h"

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowViews.h"
#include "devicewindow/KeyEditorPopup.h"
#include "devicewindow/KeyMappingMarkerView.h"
#include "devicewindow/WindowGeometryController.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr double kMinMoveRadius = 0.06;
constexpr double kMaxMoveRadius = 0.2;
constexpr double kMoveRadiusStep = 0.01;

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFrom(const QString& text) {
    const QUuid id = QUuid::fromString(text);
    if (id.isNull()) {
        return std::nullopt;
    }
    return id;
}

}  // namespace

KeyMappingOverlayController::KeyMappingOverlayController(
    const DeviceWindowViews& views, const DeviceIdentity& identity, KeyMappingViewModel& viewModel,
    const CloudPhoneCommunicator& communicator, const WindowGeometryController& geometry,
    std::function<bool()> isKeyMappingPanelVisible, QObject* parent)
    : QObject(parent),
      m_views(views),
      m_identity(identity),
      m_viewModel(viewModel),
      m_communicator(communicator),
      m_geometry(geometry),
      m_isKeyMappingPanelVisible(std::move(isKeyMappingPanelVisible)) {}

KeyMappingOverlayController::~KeyMappingOverlayController() = default;

KeyMappingOverlayView* KeyMappingOverlayController::keyMappingOverlayContainer() const {
    return m_keyMappingOverlayContainer;
}

KeyEditorPopup* KeyMappingOverlayController::keyMappingEditPopover() const {
    return m_keyMappingEditPopover;
}

bool KeyMappingOverlayController::isHideMarkerCloseScheduled() const {
    return m_hideKeyMappingCloseWorkItem && m_hideKeyMappingCloseWorkItem->isActive();
}

KeyMappingItem* KeyMappingOverlayController::editedKeyMapping(const QUuid& id) {
    for (KeyMappingItem& item : m_viewModel.keyMappings) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

void KeyMappingOverlayController::setupKeyMappingOverlayContainer() {
    if (m_keyMappingOverlayContainer || !m_views.mainView) {
        return;
    }
    auto* overlay = new KeyMappingOverlayView(m_views.mainView);
    const QPointer<KeyMappingOverlayController> weakSelf(this);
    overlay->onBoundsChanged = [weakSelf] {
        if (weakSelf) {
            weakSelf->scheduleKeyMappingOverlayRefresh();
        }
    };
    m_keyMappingOverlayContainer = overlay;

    m_hideKeyMappingCloseWorkItem = new QTimer(this);
    m_hideKeyMappingCloseWorkItem->setSingleShot(true);
    connect(m_hideKeyMappingCloseWorkItem, &QTimer::timeout, this, [this] {
        const std::optional<PendingKeyCapture>& capture = m_viewModel.pendingKeyCapture;
        if (capture && capture->mappingID == m_hideKeyMappingCloseTarget) {
            return;
        }
        hideMarkerCloseNow(m_hideKeyMappingCloseTarget);
    });
}

KeyMappingOverlayView::PointTrace KeyMappingOverlayController::keyMappingOverlayPointTrace(
    const QPointF& normalized) const {
    KeyMappingOverlayView::PointTrace trace;
    const QSizeF bounds = m_keyMappingOverlayContainer->size();
    trace.bounds = bounds;
    trace.final = KeyMappingOverlayView::layoutPoint(normalized, bounds);
    trace.unclamped = KeyMappingOverlayView::unclampedLayoutPoint(normalized, bounds);
    const CloudPhonePlayerView* player = m_communicator.playerView(m_identity.deviceKey());
    if (player && player->touchView() && m_views.mainView) {
        const QPointF inMain = m_keyMappingOverlayContainer->mapTo(m_views.mainView, trace.final);
        const QPointF inPlayer = player->mapFrom(m_views.mainView, inMain);
        trace.rawTouch = player->touchView()->mapFrom(player, inPlayer);
        trace.playerPoint = player->touchView()->mapTo(player, *trace.rawTouch);
        trace.mainViewPoint = player->mapTo(m_views.mainView, *trace.playerPoint);
    }
    return trace;
}

void KeyMappingOverlayController::rebuildKeyMappingOverlay() {
    KeyMappingOverlayView* overlay = m_keyMappingOverlayContainer;
    if (!overlay) {
        return;
    }
    if (m_hideKeyMappingCloseWorkItem) {
        m_hideKeyMappingCloseWorkItem->stop();
    }
    overlay->removeMarkers();
    overlay->fitToParent();

    const KeyMappingViewModel& model = m_viewModel;
    const bool panelOpen = m_isKeyMappingPanelVisible();
    if (panelOpen) {
        overlay->show();
    } else {
        overlay->setVisible(m_shouldShowAppliedKeyMappingOverlay);
    }
    overlay->setAllowsMarkerInteraction(panelOpen);
    overlay->raise();
    if (!panelOpen && !m_shouldShowAppliedKeyMappingOverlay) {
        return;
    }
    const QList<KeyMappingItem>& items = panelOpen ? model.keyMappings : model.appliedKeyMappings;
    for (const KeyMappingItem& item : items) {
        const KeyMappingOverlayView::PointTrace trace =
            keyMappingOverlayPointTrace(item.normalizedPoint);
        ConsoleFormat::print(KeyMappingOverlayView::markerLogLine(item, trace));

        const qreal height = item.isMove() ? KeyMappingOverlayView::markerDiameter(item)
                                           : KeyMappingOverlayView::kMarkerHeight;
        const qreal width = KeyMappingOverlayView::markerWidth(item);
        const std::array<QString, 4> titles = KeyMappingViewModel::directionTitles(item);
        std::map<KeyMappingDirection, QString> moveKeyTitles;
        for (size_t index = 0; index < titles.size(); ++index) {
            moveKeyTitles[kAllKeyMappingDirections[index]] = titles[index];
        }
        auto* marker = new KeyMappingMarkerView(KeyMappingViewModel::markerTitle(item), item.type,
                                                moveKeyTitles, overlay);
        marker->setObjectName(uuidText(item.id));
        marker->setGeometry(qRound(trace.final.x() - width / 2),
                            qRound(trace.final.y() - height / 2), qRound(width), qRound(height));
        if (panelOpen) {
            marker->setCloseButtonVisible(model.pendingKeyCapture &&
                                          model.pendingKeyCapture->mappingID == item.id);
            marker->setConflictVisible(
                model.pendingKeyConflict && model.pendingKeyConflict->target.id == item.id,
                QStringLiteral("键位冲突，再按一次清空原键位"));
            installMarkerCallbacks(marker, item.id);
        }
        marker->show();
    }
}

void KeyMappingOverlayController::installMarkerCallbacks(KeyMappingMarkerView* marker,
                                                         const QUuid& id) {
    const QPointer<KeyMappingOverlayController> weakSelf(this);
    const QPointer<KeyMappingMarkerView> weakMarker(marker);
    marker->closeAction = [weakSelf, id] {
        if (weakSelf) {
            weakSelf->deleteKeyMapping(id);
        }
    };
    marker->editAction = [weakSelf, weakMarker, id] {
        if (weakSelf && weakMarker) {
            weakSelf->editKeyMapping(id, weakMarker);
        }
    };
    marker->showCloseAction = [weakSelf, weakMarker, id] {
        if (!weakSelf || !weakMarker) {
            return;
        }
        weakSelf->selectKeyMappingMarker(id);
        weakMarker->setCloseButtonVisible(true);
        weakSelf->scheduleHideMarkerClose(id);
    };
    marker->hideCloseAction = [weakSelf, weakMarker] {
        if (weakSelf && weakMarker) {
            weakSelf->cancelHideMarkerClose(weakMarker);
        }
    };
    marker->dragAction = [weakSelf](KeyMappingMarkerView* dragged, QMouseEvent* event,
                                    bool finished) {
        if (weakSelf && weakSelf->m_keyMappingOverlayContainer) {
            const QPointF position =
                dragged->mapTo(weakSelf->m_keyMappingOverlayContainer.data(), event->position());
            weakSelf->handleMarkerDrag(dragged, position, finished);
        }
    };
    marker->scrollAction = [weakSelf](KeyMappingMarkerView* scrolled, QWheelEvent* event) {
        if (weakSelf) {
            weakSelf->handleMarkerScroll(scrolled, event->angleDelta());
        }
    };
}

void KeyMappingOverlayController::liveResizeDidEnd() {
    // Markers placed during the drag may stand on sizes the window passed through.
    if (m_pendingKeyMappingOverlayRefresh) {
        m_pendingKeyMappingOverlayRefresh = false;
        scheduleKeyMappingOverlayRefresh();
    }
    scheduleKeyMappingOverlayRefresh();
}

void KeyMappingOverlayController::endMarkerEditing() {
    if (m_keyMappingEditPopover) {
        m_keyMappingEditPopover->close();
    }
    m_keyMappingEditPopover = nullptr;
    if (m_hideKeyMappingCloseWorkItem) {
        m_hideKeyMappingCloseWorkItem->stop();
    }
}

void KeyMappingOverlayController::scheduleKeyMappingOverlayRefresh() {
    if (!m_keyMappingOverlayContainer ||
        (!m_isKeyMappingPanelVisible() && !m_shouldShowAppliedKeyMappingOverlay)) {
        return;
    }
    if (m_geometry.isWindowLiveResizing()) {
        m_pendingKeyMappingOverlayRefresh = true;
        return;
    }
    if (m_isKeyMappingOverlayRefreshQueued) {
        return;
    }
    m_isKeyMappingOverlayRefreshQueued = true;
    MainQueue::async(this, [this] {
        m_isKeyMappingOverlayRefreshQueued = false;
        if (m_geometry.isWindowLiveResizing()) {
            // A drag of the window's edge began meanwhile; its end brings the rebuild.
            m_pendingKeyMappingOverlayRefresh = true;
            return;
        }
        // The rebuild brings the layer to its final size first, so markers are placed once.
        rebuildKeyMappingOverlay();
    });
}

void KeyMappingOverlayController::showKeyMappingEditPopover(const KeyMappingItem& item,
                                                            KeyMappingMarkerView* marker) {
    if (m_keyMappingEditPopover) {
        m_keyMappingEditPopover->close();
    }
    const QPointer<KeyMappingOverlayController> weakSelf(this);
    auto* popup = new KeyEditorPopup(
        item, KeyMappingViewModel::markerTitle(item),
        [weakSelf](QPushButton* button) {
            if (weakSelf) {
                weakSelf->captureKeyMappingKeyClick(button);
            }
        },
        m_views.window.data());
    m_keyMappingEditPopover = popup;
    popup->showBeside(marker);
}

// Key capture and items -------------------------------------------------------------------------

void KeyMappingOverlayController::captureKeyMappingKeyClick(QAbstractButton* sender) {
    if (!sender) {
        return;
    }
    const QPointer<QAbstractButton> button(sender);
    const QStringList parts = sender->objectName().split(QLatin1Char('|'));
    const std::optional<QUuid> id = uuidFrom(parts.first());
    if (!id || parts.size() > 2) {
        return;
    }
    std::optional<KeyMappingDirection> direction;
    if (parts.size() == 2) {
        direction = keyMappingDirectionFromRawValue(parts.last());
        if (!direction) {
            return;
        }
    }
    beginItemKeyCapture(*id, direction);
    if (button) {
        button->setText(QStringLiteral("按下键盘按键"));
    }
}

void KeyMappingOverlayController::beginItemKeyCapture(
    const QUuid& id, std::optional<KeyMappingDirection> direction) {
    m_viewModel.beginKeyCapture(id, direction);
    if (m_keyMappingEditPopover) {
        m_keyMappingEditPopover->close();
    }
    m_views.focusContentView();
    Q_EMIT keyMappingsDidChange();
}

void KeyMappingOverlayController::deleteKeyMappingClick(const QString& identifier) {
    if (const std::optional<QUuid> id = uuidFrom(identifier)) {
        deleteKeyMapping(*id);
    }
}

void KeyMappingOverlayController::deleteKeyMapping(const QUuid& id) {
    m_viewModel.removeMapping(id);
    if (m_hideKeyMappingCloseWorkItem) {
        m_hideKeyMappingCloseWorkItem->stop();
    }
    if (m_keyMappingEditPopover) {
        m_keyMappingEditPopover->close();
    }
    Q_EMIT keyMappingsDidChange();
}

void KeyMappingOverlayController::editKeyMapping(const QUuid& id, KeyMappingMarkerView* marker) {
    const KeyMappingItem* item = editedKeyMapping(id);
    if (!item) {
        return;
    }
    selectKeyMappingMarker(id);
    if (item->isMove() && marker) {
        showKeyMappingEditPopover(*item, marker);
    } else {
        beginItemKeyCapture(id, std::nullopt);
    }
}

// Hover, drag and scroll ------------------------------------------------------------------------

void KeyMappingOverlayController::selectKeyMappingMarker(const std::optional<QUuid>& id) {
    if (!id && m_hideKeyMappingCloseWorkItem) {
        m_hideKeyMappingCloseWorkItem->stop();
    }
    if (!m_keyMappingOverlayContainer) {
        return;
    }
    const QString selected = id ? uuidText(*id) : QString();
    for (KeyMappingMarkerView* marker : m_keyMappingOverlayContainer->markers()) {
        if (!id || marker->objectName() != selected) {
            marker->setCloseButtonVisible(false);
        }
    }
}

void KeyMappingOverlayController::scheduleHideMarkerClose(const QUuid& id) {
    if (!m_hideKeyMappingCloseWorkItem) {
        return;
    }
    m_hideKeyMappingCloseTarget = id;
    m_hideKeyMappingCloseWorkItem->start(m_hideMarkerCloseDelayMs);
}

void KeyMappingOverlayController::hideMarkerCloseNow(const QUuid& id) {
    if (!m_keyMappingOverlayContainer) {
        return;
    }
    if (KeyMappingMarkerView* marker = m_keyMappingOverlayContainer->marker(uuidText(id))) {
        marker->setCloseButtonVisible(false);
    }
}

void KeyMappingOverlayController::cancelHideMarkerClose(KeyMappingMarkerView* marker) {
    if (!marker || !marker->isCloseButtonShown()) {
        return;
    }
    if (m_hideKeyMappingCloseWorkItem) {
        m_hideKeyMappingCloseWorkItem->stop();
    }
    marker->setCloseButtonVisible(false);
}

void KeyMappingOverlayController::handleMarkerDrag(KeyMappingMarkerView* marker,
                                                   const QPointF& position, bool finished) {
    const std::optional<QUuid> id = marker ? uuidFrom(marker->objectName()) : std::nullopt;
    KeyMappingOverlayView* overlay = m_keyMappingOverlayContainer;
    if (!id || !overlay) {
        return;
    }
    selectKeyMappingMarker(id);
    const qreal width = overlay->width();
    const qreal height = overlay->height();
    const qreal x = width > 1 ? position.x() / width : position.x();
    const qreal y = height > 1 ? position.y() / height : position.y();
    if (KeyMappingItem* item = editedKeyMapping(*id)) {
        item->normalizedPoint = QPointF(std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0));
    }
    const qreal halfWidth = marker->width() > 0 ? marker->width() / 2.0 : 21;
    const qreal halfHeight = marker->height() > 0 ? marker->height() / 2.0 : 21;
    marker->move(qRound(position.x() - halfWidth), qRound(position.y() - halfHeight));
    if (finished) {
        Q_EMIT keyMappingsDidChange();
    }
}

void KeyMappingOverlayController::handleMarkerScroll(KeyMappingMarkerView* marker,
                                                     const QPoint& angleDelta) {
    const std::optional<QUuid> id = marker ? uuidFrom(marker->objectName()) : std::nullopt;
    KeyMappingItem* item = id ? editedKeyMapping(*id) : nullptr;
    if (!item || !item->isMove()) {
        return;
    }
    const int delta = angleDelta.y() != 0 ? angleDelta.y() : -angleDelta.x();
    if (delta == 0) {
        return;
    }
    const double radius = item->moveRadius.value_or(KeyMappingItem::kDefaultMoveRadius) +
                          (delta >= 0 ? kMoveRadiusStep : -kMoveRadiusStep);
    // Whole hundredths, so that steps do not drift away from the values plan files hold.
    item->moveRadius = std::clamp(std::round(radius * 100) / 100, kMinMoveRadius, kMaxMoveRadius);
    Q_EMIT keyMappingsDidChange();
}
