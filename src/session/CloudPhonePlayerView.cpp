#include "session/CloudPhonePlayerView.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "sdk/KXDeviceVideoView.h"
#include "session/CloudPhoneTouchView.h"
#include "session/ViewLayer.h"
#include "session/ViewRotation.h"

#include <QEvent>
#include <QResizeEvent>

QRectF CloudPhonePlayerView::videoFrame(const QSizeF& playerSize, bool landscape) {
    const QSizeF size = landscape ? playerSize.transposed() : playerSize;
    return QRectF(
        QPointF((playerSize.width() - size.width()) / 2, (playerSize.height() - size.height()) / 2),
        size);
}

bool CloudPhonePlayerView::isLandscapeRotation(qreal degrees) {
    return degrees == 90 || degrees == -90 || degrees == 270 || degrees == -270;
}

CloudPhonePlayerView::CloudPhonePlayerView(std::optional<QString> uuid, const QRect& frame,
                                           QWidget* parent)
    : QWidget(parent), m_uuid(std::move(uuid)) {
    setGeometry(frame);
    ViewLayer::ensure(this);

    m_renderView = new KXDeviceVideoView(this);
    ViewLayer::ensure(m_renderView)->setBackgroundColor(Qt::black);
    m_touchView = new CloudPhoneTouchView(this);
    layoutSubviews();

    // Made here, on the GUI thread, so that the SDK thread only copies it.
    const QPointer<CloudPhonePlayerView> weakSelf(this);
    m_renderView->setOnFirstVideoFrame([weakSelf] {
        MainQueue::async([weakSelf] {
            if (weakSelf && weakSelf->m_onFirstVideoFrameReceived) {
                weakSelf->m_onFirstVideoFrameReceived(weakSelf->m_uuid);
            }
        });
    });
    watchSuperview(parentWidget());
}

CloudPhonePlayerView::~CloudPhonePlayerView() {
    watchSuperview(nullptr);
}

void CloudPhonePlayerView::setOnFirstVideoFrameReceived(FirstFrameCallback callback) {
    m_onFirstVideoFrameReceived = std::move(callback);
}

QWidget* CloudPhonePlayerView::pinnedSuperview() const {
    return m_pinnedTo && m_pinnedTo == parentWidget() ? m_pinnedTo.data() : nullptr;
}

void CloudPhonePlayerView::pinToSuperview() {
    QWidget* superview = parentWidget();
    if (!superview) {
        return;
    }
    m_pinnedTo = superview;
    fillSuperview(superview);
}

void CloudPhonePlayerView::fillSuperview(QWidget* superview) {
    setGeometry(superview->rect());
    // A hidden player gets its resize event only when shown; the subviews follow now.
    layoutSubviews();
}

void CloudPhonePlayerView::applyRotation(qreal degrees) {
    if (!MainQueue::isMainThread()) {
        MainQueue::async(this, [this, degrees] { applyRotation(degrees); });
        return;
    }
    m_currentRotationDegrees = degrees;
    m_isLandscape = isLandscapeRotation(degrees);
    layoutSubviews();
    if (degrees != 0) {
        ViewRotation::rotateAroundCenter(m_renderView, degrees, false, 0.3);
        ViewRotation::rotateAroundCenter(m_touchView, degrees, false, 0.3);
    } else {
        ViewRotation::resetRotation(m_renderView, false, 0.3);
        ViewRotation::resetRotation(m_touchView, false, 0.3);
    }
    m_touchView->setRotationDegrees(degrees);
}

void CloudPhonePlayerView::layoutSubviews() {
    const QSizeF size(this->size());
    m_renderView->setGeometry(videoFrame(size, m_isLandscape).toRect());
    m_touchView->setGeometry(rect());
}

void CloudPhonePlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

bool CloudPhonePlayerView::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        // A pin belongs to the container it was made for.
        watchSuperview(parentWidget());
    }
    return QWidget::event(event);
}

void CloudPhonePlayerView::watchSuperview(QWidget* superview) {
    if (m_watchedSuperview == superview) {
        return;
    }
    if (m_watchedSuperview) {
        m_watchedSuperview->removeEventFilter(this);
    }
    m_watchedSuperview = superview;
    if (superview) {
        superview->installEventFilter(this);
    }
}

bool CloudPhonePlayerView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedSuperview && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (QWidget* superview = pinnedSuperview()) {
            fillSuperview(superview);
        }
        resizeWithOldSuperviewSize(resize->oldSize());
    }
    return QWidget::eventFilter(watched, event);
}

void CloudPhonePlayerView::resizeWithOldSuperviewSize(const QSize&) {
    if (!m_isLandscape) {
        return;
    }
    MainQueue::async(this, [this] {
        ConsoleFormat::print(QStringLiteral("📐🔄 横屏模式：重新确保旋转 ") +
                             ConsoleFormat::number(m_currentRotationDegrees) + QStringLiteral("°"));
        applyRotation(m_currentRotationDegrees);
        ConsoleFormat::print(QStringLiteral("📐✅ 旋转已重新应用"));
    });
}
