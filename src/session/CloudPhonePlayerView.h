#pragma once

#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class CloudPhoneTouchView;
class KXDeviceVideoView;

// One device's live picture: the SDK's video view with the touch view on top. The player fills
// the container it is pinned to, turns both subviews to the device's rotation and passes the
// video view's first-frame report on to the GUI thread.
//
// Session calling order: create, set the object name "101", give `touchView()` its delegate, set
// `onFirstVideoFrameReceived`, add to the container (setParent), `pinToSuperview()`,
// `applyRotation(0)`, then hand `renderView()` to the SDK's startRealPlay.
class CloudPhonePlayerView : public QWidget {
    Q_OBJECT

public:
    using FirstFrameCallback = std::function<void(const std::optional<QString>& uuid)>;

    // Where the video view lies in a player of that size: the player's rectangle, or for a
    // quarter turn a rectangle as wide as the player is high and as high as it is wide, centred,
    // so that once turned it covers the player exactly.
    static QRectF videoFrame(const QSizeF& playerSize, bool landscape);
    // Exactly 90, -90, 270 and -270; everything else, 180 and 450 included, is portrait.
    static bool isLandscapeRotation(qreal degrees);

    explicit CloudPhonePlayerView(std::optional<QString> uuid, const QRect& frame = {},
                                  QWidget* parent = nullptr);
    ~CloudPhonePlayerView() override;

    const std::optional<QString>& uuid() const { return m_uuid; }
    // Called on the GUI thread with `uuid` for every first frame the video view reports.
    void setOnFirstVideoFrameReceived(FirstFrameCallback callback);
    const FirstFrameCallback& onFirstVideoFrameReceived() const {
        return m_onFirstVideoFrameReceived;
    }

    KXDeviceVideoView* renderView() const { return m_renderView; }
    CloudPhoneTouchView* touchView() const { return m_touchView; }

    bool isLandscape() const { return m_isLandscape; }
    qreal currentRotationDegrees() const { return m_currentRotationDegrees; }
    // The container the player fills, when pinned to its current parent.
    QWidget* pinnedSuperview() const;

    // Fills the current parent from now on, replacing any earlier pin; nothing without a parent.
    void pinToSuperview();
    // Any thread; applied on the GUI thread.
    void applyRotation(qreal degrees);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutSubviews();
    void fillSuperview(QWidget* superview);
    void watchSuperview(QWidget* superview);
    void resizeWithOldSuperviewSize(const QSize& oldSize);

    std::optional<QString> m_uuid;
    FirstFrameCallback m_onFirstVideoFrameReceived;
    KXDeviceVideoView* m_renderView = nullptr;
    CloudPhoneTouchView* m_touchView = nullptr;
    QPointer<QWidget> m_pinnedTo;
    QPointer<QWidget> m_watchedSuperview;
    bool m_isLandscape = false;
    qreal m_currentRotationDegrees = 0;
};
