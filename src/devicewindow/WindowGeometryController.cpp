#include "devicewindow/WindowGeometryController.h"

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowViews.h"
#include "foundation/concurrency/MainQueue.h"
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

WindowGeometryController::WindowGeometryController(const DeviceWindowViews& views,
                                                   const DeviceIdentity& identity,
                                                   SettingsManager& settings,
                                                   CloudPhoneCommunicator& communicator,
                                                   std::function<bool()> isKeyMappingPanelVisible,
                                                   int visibleRightButtons, QObject* parent)
    : QObject(parent),
      m_views(views),
      m_identity(identity),
      m_settings(settings),
      m_communicator(communicator),
      m_isKeyMappingPanelVisible(std::move(isKeyMappingPanelVisible)),
      m_visibleRightButtons(visibleRightButtons) {
    m_liveResizeSettleTimer = new QTimer(this);
    m_liveResizeSettleTimer->setSingleShot(true);
    m_liveResizeSettleTimer->setInterval(Geometry::kLiveResizeSettleMilliseconds);
    connect(m_liveResizeSettleTimer, &QTimer::timeout, this,
            &WindowGeometryController::windowDidEndLiveResize);

    if (m_views.window) {
        auto* fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), m_views.window);
        fullScreen->setContext(Qt::WindowShortcut);
        connect(fullScreen, &QShortcut::activated, this,
                &WindowGeometryController::toggleFullScreen);
    }
}

WindowGeometryController::~WindowGeometryController() = default;

void WindowGeometryController::applyInitialSize() {
    if (const std::optional<QSizeF> size = initialContentSize()) {
        m_views.window->setMinimumSize(0, 0);
        applyFrameSize(*size);
        updateMinWindowSize();
    } else {
        applyInitialContentSize();
    }
}

QSizeF WindowGeometryController::frameSize() const {
    if (!m_views.window) {
        return {};
    }
    return QSizeF(m_views.window->geometry().size() + decorationSize());
}

QSize WindowGeometryController::decorationSize() const {
    if (!m_views.window) {
        return {};
    }
    const QSize decorations =
        m_views.window->frameGeometry().size() - m_views.window->geometry().size();
    return decorations.expandedTo(QSize(0, 0));
}

QSize WindowGeometryController::contentExtras() const {
    if (!m_views.window || !m_views.contentView) {
        return {};
    }
    if (!m_views.window->isVisible()) {
        // A hidden window gets no resize events, so its layout may still be at an older size.
        if (QLayout* layout = m_views.window->layout()) {
            layout->setGeometry(m_views.window->rect());
        }
    }
    return (m_views.window->size() - m_views.contentView->size()).expandedTo(QSize(0, 0));
}

Geometry::WindowFacts WindowGeometryController::windowFacts() const {
    Geometry::WindowFacts facts;
    facts.keyMappingPanelVisible = m_isKeyMappingPanelVisible();
    facts.visibleRightButtons = m_visibleRightButtons;
    if (m_views.window) {
        const QSize decorations = decorationSize();
        facts.frameExtras = QSizeF(decorations + contentExtras());
        facts.fullScreen = m_views.window->isFullScreen();
        facts.frameSize = QSizeF(m_views.window->size() + decorations);
    }
    facts.sizeSetting = m_settings.number(TypedSettings::windowSize);
    return facts;
}

void WindowGeometryController::applyFrameSize(const QSizeF& frame) {
    if (!m_views.window) {
        return;
    }
    // The minimum set next would grow the window from its top-left corner; growing it here keeps
    // the bottom-left corner in place.
    const QSizeF minimum = Geometry::minimumFrameSize(m_state, windowFacts());
    const QSize client =
        (frame.expandedTo(minimum) - QSizeF(decorationSize())).toSize().expandedTo(QSize(1, 1));
    const QRect now = m_views.window->geometry();
    m_requestedClientSize = client;
    ++m_applyingFrame;
    m_views.window->setGeometry(now.left(), now.top() + now.height() - client.height(),
                                client.width(), client.height());
    --m_applyingFrame;
}

void WindowGeometryController::applyInitialContentSize() {
    if (!m_views.window) {
        return;
    }
    applyFrameSize(Geometry::frameSizeForContent(kInitialContentSize, windowFacts()));
}

std::optional<QSizeF> WindowGeometryController::initialContentSize() {
    if (!m_views.window) {
        return std::nullopt;
    }
    return Geometry::initialFrameSize(m_state.isLandscape, windowFacts());
}

void WindowGeometryController::updateMinWindowSize() {
    if (!m_views.window) {
        return;
    }
    const QSizeF frame = Geometry::minimumFrameSize(m_state, windowFacts());
    const QSize client = (frame - QSizeF(decorationSize())).toSize().expandedTo(QSize(0, 0));
    const QSize before = m_views.window->size();
    ++m_applyingFrame;
    m_views.window->setMinimumSize(client);
    --m_applyingFrame;
    if (m_views.window->size() != before) {
        m_requestedClientSize = m_views.window->size();
    }
}

QSizeF WindowGeometryController::currentVideoSize() const {
    if (!m_views.window || !m_views.contentView) {
        return {Geometry::kDefaultVideoWidth, Geometry::kDefaultVideoHeight};
    }
    // The views of a hidden window are laid out only when it is shown.
    const QSizeF mainViewSize = m_views.window->isVisible() && m_views.mainView
                                    ? QSizeF(m_views.mainView->size())
                                    : QSizeF();
    const Geometry::WindowFacts facts = windowFacts();
    return Geometry::currentVideoSize(mainViewSize,
                                      Geometry::contentSizeForFrame(facts.frameSize, facts), facts);
}

void WindowGeometryController::updateMainViewConstraints() {
    if (!m_views.window || !m_views.mainView || !m_views.mainViewportContainer ||
        m_isUpdatingMainViewConstraints) {
        return;
    }
    const QSizeF container = m_views.mainViewportContainer->size();
    const bool fullScreen = m_views.window->isFullScreen();
    if (!fullScreen && !m_state.fullScreenMainViewportSizes && m_views.window->isVisible() &&
        !container.isEmpty()) {
        m_lastWindowedVideoSize = container;
    }
    m_isUpdatingMainViewConstraints = true;
    const Geometry::ConstraintMode mode = Geometry::constraintMode(m_state, fullScreen, container);
    Geometry::adoptConstraintMode(m_state, mode);
    // A filling view follows every container size, so the rectangle is set even when the mode
    // stayed the same.
    m_views.mainView->setGeometry(Geometry::videoRect(mode, container).toRect());
    m_isUpdatingMainViewConstraints = false;
}

void WindowGeometryController::refreshMainViewConstraintsIfNeeded() {
    if (!m_views.window || m_state.isWindowLiveResizing || !m_views.window->isFullScreen() ||
        m_pendingMainViewConstraintRefresh) {
        return;
    }
    m_pendingMainViewConstraintRefresh = true;
    const QPointer<WindowGeometryController> weakSelf(this);
    MainQueue::async([weakSelf] {
        if (!weakSelf) {
            return;
        }
        weakSelf->m_pendingMainViewConstraintRefresh = false;
        if (weakSelf->m_views.window && weakSelf->m_views.window->isFullScreen() &&
            !weakSelf->m_state.isWindowLiveResizing) {
            weakSelf->updateMainViewConstraints();
        }
    });
}

void WindowGeometryController::applyAspectRatioCommand(const QVariantMap& userInfo) {
    if (!Geometry::applyAspectRatioCommand(m_state, userInfo, m_identity.deviceID)) {
        return;
    }
    updateMainViewConstraints();
    resizeWindowForAspectRatio();
}

void WindowGeometryController::resizeWindowForAspectRatio() {
    if (!m_views.window) {
        return;
    }
    if (m_views.window->isFullScreen()) {
        refreshMainViewConstraintsIfNeeded();
        updateMinWindowSize();
        return;
    }
    if (const std::optional<QSizeF> frame =
            Geometry::frameSizeForAspectRatio(m_state, windowFacts())) {
        m_views.window->setMinimumSize(0, 0);
        applyFrameSize(*frame);
    }
    updateMinWindowSize();
}

void WindowGeometryController::setRotation(bool landscape, qreal rotation, bool rotatePlayer) {
    const QSizeF video = currentVideoSize();
    const Geometry::WindowFacts facts = windowFacts();
    const Geometry::RotationChange change =
        Geometry::setRotation(m_state, landscape, rotation, rotatePlayer, video, facts);
    applyRotationChange(change);
}

void WindowGeometryController::applyDeviceOrientation(KXRotationObc rotation) {
    const QSizeF video = currentVideoSize();
    const Geometry::WindowFacts facts = windowFacts();
    const Geometry::RotationChange change =
        Geometry::applyDeviceOrientation(m_state, static_cast<int>(rotation), video, facts);
    applyRotationChange(change);
}

void WindowGeometryController::applyRotationChange(const Geometry::RotationChange& change) {
    if (change.rotatePlayer) {
        m_communicator.setPlayerRotation(m_state.currentRotation, m_views.mainView);
    }
    if (!change.changed || !m_views.window) {
        return;
    }
    updateMainViewConstraints();
    if (m_views.window->isFullScreen()) {
        updateMinWindowSize();
        Q_EMIT rotationDidChange();
        return;
    }
    ++m_applyingFrame;
    m_views.window->setMinimumSize(0, 0);
    --m_applyingFrame;
    if (change.frameSize) {
        applyFrameSize(*change.frameSize);
    }
    updateMinWindowSize();
    Q_EMIT rotationDidChange();
}

void WindowGeometryController::toggleFullScreen() {
    if (!m_views.window) {
        return;
    }
    if (m_views.window->isFullScreen()) {
        m_views.window->showNormal();
    } else {
        m_views.window->showFullScreen();
    }
}

void WindowGeometryController::handleWindowGeometryEvent(QEvent* event) {
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

void WindowGeometryController::windowDidResize(QResizeEvent* event) {
    const QSize size = event->size();
    const QScreen* screen = m_views.window->screen();
    // Entering full screen may report the new size before the new state.
    const bool screenSized = screen && size == screen->geometry().size();
    const bool managed = (m_views.window->windowState() & kManagedStates) || screenSized;
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
    Q_EMIT frameDidChange();
}

void WindowGeometryController::userDidResize(const QSize& oldClientSize) {
    if (!m_state.isWindowLiveResizing) {
        const QRect frame = m_views.window->frameGeometry();
        const QPointF pointer = QCursor::pos() - frame.topLeft();
        Geometry::beginLiveResize(m_state,
                                  Geometry::liveResizeAxisAt(pointer, QSizeF(frame.size())));
    }
    if (m_liveResizeSettleTimer) {
        m_liveResizeSettleTimer->start();
    }
    // One answer for all the sizes that arrive before the event loop comes round.
    if (!m_liveResizeAnswerQueued) {
        m_liveResizeAnswerQueued = true;
        m_clientSizeBeforeAnswer = oldClientSize;
        QTimer::singleShot(0, this, &WindowGeometryController::answerLiveResize);
    }
}

void WindowGeometryController::answerLiveResize() {
    m_liveResizeAnswerQueued = false;
    if (!m_views.window || !m_state.isWindowLiveResizing ||
        (m_views.window->windowState() & kManagedStates)) {
        return;
    }
    const Geometry::WindowFacts facts = windowFacts();
    const QSizeF decorations(decorationSize());
    const QSizeF before = QSizeF(m_clientSizeBeforeAnswer) + decorations;
    const QSizeF answer = Geometry::constrainedFrameSize(m_state, facts.frameSize, before, facts);
    const QSize client = (answer - decorations).toSize();
    if (client == m_views.window->size()) {
        return;
    }
    m_requestedClientSize = client;
    ++m_applyingFrame;
    m_views.window->resize(client);
    --m_applyingFrame;
}

void WindowGeometryController::windowDidEndLiveResize() {
    if (m_liveResizeSettleTimer) {
        m_liveResizeSettleTimer->stop();
    }
    Geometry::endLiveResize(m_state);
    refreshMainViewConstraintsIfNeeded();
    Q_EMIT liveResizeDidEnd();
}

void WindowGeometryController::windowFullScreenDidChange() {
    const bool fullScreen = m_views.window->isFullScreen();
    if (fullScreen == m_isInFullScreen) {
        return;
    }
    m_isInFullScreen = fullScreen;
    if (fullScreen && m_state.isWindowLiveResizing) {
        windowDidEndLiveResize();
    }
    const QSizeF video =
        m_lastWindowedVideoSize.isEmpty() ? currentVideoSize() : m_lastWindowedVideoSize;
    if (fullScreen) {
        Geometry::enterFullScreen(m_state, video);
        if (m_lastWindowedClientSize.isValid()) {
            m_restoreClientSize = m_lastWindowedClientSize;
        }
    } else {
        Geometry::exitFullScreen(m_state);
    }
    updateMainViewConstraints();
    Q_EMIT frameDidChange();
}
