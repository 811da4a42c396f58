#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/CommandProcessor.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QCursor>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace Geometry = WindowGeometry;

namespace {

// Window states in which the window manager, not the user, chose the size.
constexpr Qt::WindowStates kManagedStates =
    Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized;

}  // namespace

void AspectRatioWindowController::registerGeometryObservers() {
    NotificationCenter::defaultCenter().addObserver(
        this, CommandProcessor::kAspectRatioCommand, [this](const Notification& notification) {
            applyAspectRatioCommand(notification.userInfo);
        });

    m_liveResizeSettleTimer = new QTimer(this);
    m_liveResizeSettleTimer->setSingleShot(true);
    m_liveResizeSettleTimer->setInterval(Geometry::kLiveResizeSettleMilliseconds);
    connect(m_liveResizeSettleTimer, &QTimer::timeout, this,
            &AspectRatioWindowController::windowDidEndLiveResize);

    auto* fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), m_window.get());
    fullScreen->setContext(Qt::WindowShortcut);
    connect(fullScreen, &QShortcut::activated, this,
            &AspectRatioWindowController::toggleFullScreen);

    updateMinWindowSize();
}

Geometry::State AspectRatioWindowController::geometryState() const {
    Geometry::State state;
    state.currentAspectRatio = m_currentAspectRatio;
    state.currentRotation = m_currentRotation;
    state.isLandscape = m_isLandscape;
    state.isWindowLiveResizing = m_isWindowLiveResizing;
    state.hasUserResizedWindow = m_hasUserResizedWindow;
    state.liveResizeAxis = m_liveResizeAxis;
    state.fullScreenMainViewportSizes = m_fullScreenMainViewportSizes;
    state.appliedMainViewConstraintMode = m_appliedMainViewConstraintMode;
    state.shouldSyncCloudPhoneRotationAfterReconnect = m_shouldSyncCloudPhoneRotationAfterReconnect;
    state.lastTurn = m_lastTurn;
    return state;
}

void AspectRatioWindowController::storeGeometryState(const Geometry::State& state) {
    m_currentAspectRatio = state.currentAspectRatio;
    m_currentRotation = state.currentRotation;
    m_isLandscape = state.isLandscape;
    m_isWindowLiveResizing = state.isWindowLiveResizing;
    m_hasUserResizedWindow = state.hasUserResizedWindow;
    m_liveResizeAxis = state.liveResizeAxis;
    m_fullScreenMainViewportSizes = state.fullScreenMainViewportSizes;
    m_appliedMainViewConstraintMode = state.appliedMainViewConstraintMode;
    m_shouldSyncCloudPhoneRotationAfterReconnect = state.shouldSyncCloudPhoneRotationAfterReconnect;
    m_lastTurn = state.lastTurn;
}

QSize AspectRatioWindowController::decorationSize() const {
    if (!m_window) {
        return {};
    }
    const QSize decorations = m_window->frameGeometry().size() - m_window->geometry().size();
    return decorations.expandedTo(QSize(0, 0));
}

QSize AspectRatioWindowController::contentExtras() const {
    if (!m_window || !m_contentView) {
        return {};
    }
    if (!m_window->isVisible()) {
        // A hidden window gets no resize events, so its layout may still be at an older size.
        if (QLayout* layout = m_window->layout()) {
            layout->setGeometry(m_window->rect());
        }
    }
    return (m_window->size() - m_contentView->size()).expandedTo(QSize(0, 0));
}

Geometry::WindowFacts AspectRatioWindowController::windowFacts() const {
    Geometry::WindowFacts facts;
    facts.keyMappingPanelVisible = m_isKeyMappingPanelVisible;
    facts.visibleRightButtons = int(m_visibleRightButtons.size());
    if (m_window) {
        const QSize decorations = decorationSize();
        facts.frameExtras = QSizeF(decorations + contentExtras());
        facts.fullScreen = m_window->isFullScreen();
        facts.frameSize = QSizeF(m_window->size() + decorations);
    }
    facts.sizeSetting = SettingsManager::shared().string(SettingKey::cloudphoneSize);
    return facts;
}

void AspectRatioWindowController::applyFrameSize(const QSizeF& frame) {
    if (!m_window) {
        return;
    }
    // The minimum set next would grow the window from its top-left corner; growing it here keeps
    // the bottom-left corner in place.
    const QSizeF minimum = Geometry::minimumFrameSize(geometryState(), windowFacts());
    const QSize client =
        (frame.expandedTo(minimum) - QSizeF(decorationSize())).toSize().expandedTo(QSize(1, 1));
    const QRect now = m_window->geometry();
    m_requestedClientSize = client;
    ++m_applyingFrame;
    m_window->setGeometry(now.left(), now.top() + now.height() - client.height(), client.width(),
                          client.height());
    --m_applyingFrame;
}

void AspectRatioWindowController::applyInitialContentSize() {
    if (!m_window) {
        return;
    }
    applyFrameSize(Geometry::frameSizeForContent(kInitialContentSize, windowFacts()));
}

std::optional<QSizeF> AspectRatioWindowController::initialContentSize() {
    if (!m_window) {
        return std::nullopt;
    }
    return Geometry::initialFrameSize(m_isLandscape, windowFacts());
}

QSizeF AspectRatioWindowController::windowFrameSize(qreal value, bool landscape) const {
    if (!m_window) {
        return {0, 0};
    }
    return Geometry::windowFrameSize(value, landscape, windowFacts());
}

void AspectRatioWindowController::updateMinWindowSize() {
    if (!m_window) {
        return;
    }
    const QSizeF frame = Geometry::minimumFrameSize(geometryState(), windowFacts());
    const QSize client = (frame - QSizeF(decorationSize())).toSize().expandedTo(QSize(0, 0));
    const QSize before = m_window->size();
    ++m_applyingFrame;
    m_window->setMinimumSize(client);
    --m_applyingFrame;
    if (m_window->size() != before) {
        m_requestedClientSize = m_window->size();
    }
}

QSizeF AspectRatioWindowController::currentVideoSize() const {
    if (!m_window || !m_contentView) {
        return {Geometry::kDefaultVideoWidth, Geometry::kDefaultVideoHeight};
    }
    // The views of a hidden window are laid out only when it is shown.
    const QSizeF mainViewSize =
        m_window->isVisible() && m_mainView ? QSizeF(m_mainView->size()) : QSizeF();
    const Geometry::WindowFacts facts = windowFacts();
    return Geometry::currentVideoSize(mainViewSize,
                                      Geometry::contentSizeForFrame(facts.frameSize, facts), facts);
}

void AspectRatioWindowController::updateMainViewConstraints() {
    if (!m_window || !m_mainView || !m_mainViewportContainer || m_isUpdatingMainViewConstraints) {
        return;
    }
    const QSizeF container = m_mainViewportContainer->size();
    const bool fullScreen = m_window->isFullScreen();
    if (!fullScreen && !m_fullScreenMainViewportSizes && m_window->isVisible() &&
        !container.isEmpty()) {
        m_lastWindowedVideoSize = container;
    }
    m_isUpdatingMainViewConstraints = true;
    Geometry::State state = geometryState();
    const Geometry::ConstraintMode mode = Geometry::constraintMode(state, fullScreen, container);
    Geometry::adoptConstraintMode(state, mode);
    storeGeometryState(state);
    // A filling view follows every container size, so the rectangle is set even when the mode
    // stayed the same.
    m_mainView->setGeometry(Geometry::videoRect(mode, container).toRect());
    m_isUpdatingMainViewConstraints = false;
}

void AspectRatioWindowController::refreshMainViewConstraintsIfNeeded() {
    if (!m_window || m_isWindowLiveResizing || !m_window->isFullScreen() ||
        m_pendingMainViewConstraintRefresh) {
        return;
    }
    m_pendingMainViewConstraintRefresh = true;
    const QPointer<AspectRatioWindowController> weakSelf(this);
    MainQueue::async([weakSelf] {
        if (!weakSelf) {
            return;
        }
        weakSelf->m_pendingMainViewConstraintRefresh = false;
        if (weakSelf->m_window && weakSelf->m_window->isFullScreen() &&
            !weakSelf->m_isWindowLiveResizing) {
            weakSelf->updateMainViewConstraints();
        }
    });
}

void AspectRatioWindowController::applyAspectRatioCommand(const QVariantMap& userInfo) {
    Geometry::State state = geometryState();
    if (!Geometry::applyAspectRatioCommand(state, userInfo, m_identity.deviceID)) {
        return;
    }
    storeGeometryState(state);
    updateMainViewConstraints();
    resizeWindowForAspectRatio();
}

void AspectRatioWindowController::resizeWindowForAspectRatio() {
    if (!m_window) {
        return;
    }
    if (m_window->isFullScreen()) {
        refreshMainViewConstraintsIfNeeded();
        updateMinWindowSize();
        return;
    }
    if (const std::optional<QSizeF> frame =
            Geometry::frameSizeForAspectRatio(geometryState(), windowFacts())) {
        m_window->setMinimumSize(0, 0);
        applyFrameSize(*frame);
    }
    updateMinWindowSize();
}

void AspectRatioWindowController::setRotation(bool landscape, qreal rotation, bool rotatePlayer) {
    const QSizeF video = currentVideoSize();
    const Geometry::WindowFacts facts = windowFacts();
    Geometry::State state = geometryState();
    const Geometry::RotationChange change =
        Geometry::setRotation(state, landscape, rotation, rotatePlayer, video, facts);
    storeGeometryState(state);
    applyRotationChange(change);
}

void AspectRatioWindowController::applyDeviceOrientation(KXRotationObc rotation) {
    const QSizeF video = currentVideoSize();
    const Geometry::WindowFacts facts = windowFacts();
    Geometry::State state = geometryState();
    const Geometry::RotationChange change =
        Geometry::applyDeviceOrientation(state, static_cast<int>(rotation), video, facts);
    storeGeometryState(state);
    applyRotationChange(change);
}

void AspectRatioWindowController::applyRotationChange(const Geometry::RotationChange& change) {
    if (change.rotatePlayer) {
        CloudPhoneCommunicator::shared().setPlayerRotation(m_currentRotation, m_mainView);
    }
    if (!change.changed || !m_window) {
        return;
    }
    updateMainViewConstraints();
    if (m_window->isFullScreen()) {
        updateMinWindowSize();
        scheduleKeyMappingOverlayRefresh();
        return;
    }
    ++m_applyingFrame;
    m_window->setMinimumSize(0, 0);
    --m_applyingFrame;
    if (change.frameSize) {
        applyFrameSize(*change.frameSize);
    }
    updateMinWindowSize();
    scheduleKeyMappingOverlayRefresh();
}

void AspectRatioWindowController::toggleFullScreen() {
    if (!m_window) {
        return;
    }
    if (m_window->isFullScreen()) {
        m_window->showNormal();
    } else {
        m_window->showFullScreen();
    }
}

void AspectRatioWindowController::handleWindowGeometryEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Resize:
            windowDidResize(static_cast<QResizeEvent*>(event));
            break;
        case QEvent::WindowStateChange:
            windowFullScreenDidChange();
            break;
        default:
            break;
    }
}

void AspectRatioWindowController::windowDidResize(QResizeEvent* event) {
    const QSize size = event->size();
    const QScreen* screen = m_window->screen();
    // Entering full screen may report the new size before the new state.
    const bool screenSized = screen && size == screen->geometry().size();
    const bool managed = (m_window->windowState() & kManagedStates) || screenSized;
    bool asked = managed || m_applyingFrame > 0 || !event->oldSize().isValid() ||
                 event->oldSize() == size || size == m_requestedClientSize;
    if (m_restoreClientSize && size == *m_restoreClientSize) {
        asked = true;
        m_restoreClientSize.reset();
    }
    if (!managed) {
        m_lastWindowedClientSize = size;
    }
    if (!asked) {
        userDidResize(event->oldSize());
    }
    refreshMainViewConstraintsIfNeeded();
    refreshPingAfterResize();
    scheduleKeyMappingOverlayRefresh();
}

void AspectRatioWindowController::userDidResize(const QSize& oldClientSize) {
    if (!m_isWindowLiveResizing) {
        const QRect frame = m_window->frameGeometry();
        const QPointF pointer = QCursor::pos() - frame.topLeft();
        Geometry::State state = geometryState();
        Geometry::beginLiveResize(state, Geometry::liveResizeAxisAt(pointer, QSizeF(frame.size())));
        storeGeometryState(state);
    }
    if (m_liveResizeSettleTimer) {
        m_liveResizeSettleTimer->start();
    }
    // One answer for all the sizes that arrive before the event loop comes round.
    if (!m_liveResizeAnswerQueued) {
        m_liveResizeAnswerQueued = true;
        m_clientSizeBeforeAnswer = oldClientSize;
        QTimer::singleShot(0, this, &AspectRatioWindowController::answerLiveResize);
    }
}

void AspectRatioWindowController::answerLiveResize() {
    m_liveResizeAnswerQueued = false;
    if (!m_window || !m_isWindowLiveResizing || (m_window->windowState() & kManagedStates)) {
        return;
    }
    const Geometry::WindowFacts facts = windowFacts();
    const QSizeF decorations(decorationSize());
    const QSizeF before = QSizeF(m_clientSizeBeforeAnswer) + decorations;
    Geometry::State state = geometryState();
    const QSizeF answer = Geometry::constrainedFrameSize(state, facts.frameSize, before, facts);
    storeGeometryState(state);
    const QSize client = (answer - decorations).toSize();
    if (client == m_window->size()) {
        return;
    }
    m_requestedClientSize = client;
    ++m_applyingFrame;
    m_window->resize(client);
    --m_applyingFrame;
}

void AspectRatioWindowController::windowDidEndLiveResize() {
    if (m_liveResizeSettleTimer) {
        m_liveResizeSettleTimer->stop();
    }
    Geometry::State state = geometryState();
    Geometry::endLiveResize(state);
    storeGeometryState(state);
    refreshMainViewConstraintsIfNeeded();
    if (m_pendingPingAppearanceRefresh) {
        m_pendingPingAppearanceRefresh = false;
        updatePingButtonAppearance();
    }
    // Markers placed during the drag may stand on sizes the window passed through.
    if (m_pendingKeyMappingOverlayRefresh) {
        m_pendingKeyMappingOverlayRefresh = false;
        scheduleKeyMappingOverlayRefresh();
    }
    scheduleKeyMappingOverlayRefresh();
}

void AspectRatioWindowController::refreshPingAfterResize() {
    if (m_isWindowLiveResizing) {
        m_pendingPingAppearanceRefresh = true;
    } else {
        updatePingButtonAppearance();
    }
}

void AspectRatioWindowController::windowFullScreenDidChange() {
    const bool fullScreen = m_window->isFullScreen();
    if (fullScreen == m_isInFullScreen) {
        return;
    }
    m_isInFullScreen = fullScreen;
    if (fullScreen && m_isWindowLiveResizing) {
        windowDidEndLiveResize();
    }
    const QSizeF video =
        m_lastWindowedVideoSize.isEmpty() ? currentVideoSize() : m_lastWindowedVideoSize;
    Geometry::State state = geometryState();
    if (fullScreen) {
        Geometry::enterFullScreen(state, video);
        if (m_lastWindowedClientSize.isValid()) {
            m_restoreClientSize = m_lastWindowedClientSize;
        }
    } else {
        Geometry::exitFullScreen(state);
    }
    storeGeometryState(state);
    updateMainViewConstraints();
    refreshPingAfterResize();
    scheduleKeyMappingOverlayRefresh();
}
