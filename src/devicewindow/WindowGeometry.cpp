#include "devicewindow/WindowGeometry.h"

#include "devicewindow/CommandProcessor.h"

#include <QMetaType>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace WindowGeometry {

namespace {

double panelWidth(const WindowFacts& window) {
    return window.keyMappingPanelVisible ? kKeyMappingPanelWidth : 0;
}

// A default QSizeF is -1 by -1; decorations never take room away.
QSizeF extras(const WindowFacts& window) {
    return {std::max(window.frameExtras.width(), 0.0), std::max(window.frameExtras.height(), 0.0)};
}

bool isPositiveFinite(const QSizeF& size) {
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 &&
           size.height() > 0;
}

// The video of the other orientation keeps the short side, within the minimum sizes.
QSizeF videoTurnedTo(bool landscape, double shortSide) {
    if (landscape) {
        const double height = std::max(shortSide, kMinimumVideoShortSide);
        return {std::max(height * kLandscapeRatio, kMinimumVideoLongSide), height};
    }
    if (shortSide > kMinimumVideoShortSide) {
        return {shortSide, std::max(shortSide / kPortraitRatio, kMinimumVideoLongSide)};
    }
    return {kMinimumVideoShortSide, kMinimumVideoLongSide};
}

// Whole pixels: the window takes a frame rounded, and a user may move an edge by one pixel.
bool isWithinOnePixel(const QSizeF& a, const QSizeF& b) {
    return std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1;
}

// The frame from before the last turn, when this turn goes straight back and nothing resized
// the window in between.
std::optional<QSizeF> frameBeforeLastTurn(const State& state, bool landscape, bool wasLandscape,
                                          const QSizeF& frame) {
    const std::optional<TurnMemory>& turn = state.lastTurn;
    if (!turn || landscape == wasLandscape || turn->landscapeBefore != landscape ||
        !isWithinOnePixel(frame, turn->frameAfter)) {
        return std::nullopt;
    }
    return turn->frameBefore;
}

std::optional<qint64> integerEntry(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return value.toLongLong();
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong unsignedValue = value.toULongLong();
            if (unsignedValue > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
                return std::numeric_limits<qint64>::max();
            }
            return static_cast<qint64>(unsignedValue);
        }
        default:
            return std::nullopt;
    }
}

std::optional<double> realEntry(const QVariant& value) {
    const int type = value.metaType().id();
    if (type == QMetaType::Double || type == QMetaType::Float) {
        return value.toDouble();
    }
    return std::nullopt;
}

}  // namespace

bool ConstraintMode::operator==(const ConstraintMode& other) const {
    if (!fixedSize || !other.fixedSize) {
        return !fixedSize && !other.fixedSize;
    }
    return fixedSize->width() == other.fixedSize->width() &&
           fixedSize->height() == other.fixedSize->height();
}

bool isUsableRatio(double ratio) {
    return std::isfinite(ratio) && ratio > 0;
}

double effectiveRatio(const State& state) {
    if (isUsableRatio(state.currentAspectRatio)) {
        return state.currentAspectRatio;
    }
    return state.isLandscape ? kLandscapeRatio : kPortraitRatio;
}

QSizeF minimumVideoSize(bool landscape) {
    return landscape ? QSizeF(kMinimumVideoLongSide, kMinimumVideoShortSide)
                     : QSizeF(kMinimumVideoShortSide, kMinimumVideoLongSide);
}

QSizeF contentSizeForVideo(const QSizeF& video, const WindowFacts& window) {
    return {video.width() + kRightStripWidth + panelWidth(window),
            video.height() + kBottomStripHeight};
}

QSizeF videoSizeForContent(const QSizeF& content, const WindowFacts& window) {
    return {std::max(content.width() - kRightStripWidth - panelWidth(window), 0.0),
            std::max(content.height() - kBottomStripHeight, 0.0)};
}

QSizeF frameSizeForContent(const QSizeF& content, const WindowFacts& window) {
    const QSizeF extra = extras(window);
    return {content.width() + extra.width(), content.height() + extra.height()};
}

QSizeF contentSizeForFrame(const QSizeF& frame, const WindowFacts& window) {
    const QSizeF extra = extras(window);
    return {frame.width() - extra.width(), frame.height() - extra.height()};
}

QSizeF frameSizeForVideo(const QSizeF& video, const WindowFacts& window) {
    return frameSizeForContent(contentSizeForVideo(video, window), window);
}

QSizeF currentVideoSize(const QSizeF& mainViewSize, const std::optional<QSizeF>& contentSize,
                        const WindowFacts& window) {
    if (mainViewSize.width() > 0 && mainViewSize.height() > 0) {
        return mainViewSize;
    }
    if (contentSize) {
        return videoSizeForContent(*contentSize, window);
    }
    return {kDefaultVideoWidth, kDefaultVideoHeight};
}

double rightStripFrameHeight(const WindowFacts& window) {
    const int buttons = std::max(window.visibleRightButtons, 0);
    const double contentHeight = buttons * kRightButtonHeight +
                                 std::max(buttons - 1, 0) * kRightButtonGap + kBottomStripHeight;
    return frameSizeForContent({1, contentHeight}, window).height();
}

QSizeF windowFrameSize(double value, bool landscape, const WindowFacts& window) {
    QSizeF video;
    if (landscape) {
        const double frameHeight = std::max(value, rightStripFrameHeight(window));
        const double contentHeight = contentSizeForFrame({1, frameHeight}, window).height();
        const double videoHeight = std::max(contentHeight - kBottomStripHeight, 0.0);
        video = {videoHeight * kLandscapeRatio, videoHeight};
    } else {
        const double contentWidth = contentSizeForFrame({value, 1}, window).width();
        const double videoWidth = contentWidth - kRightStripWidth - panelWidth(window);
        video = videoWidth > 0 ? QSizeF(videoWidth, videoWidth / kPortraitRatio) : QSizeF(0, 0);
    }
    return frameSizeForVideo(video, window);
}

std::optional<QSizeF> initialFrameSize(bool landscape, const WindowFacts& window) {
    if (!window.sizeSetting) {
        return std::nullopt;
    }
    return windowFrameSize(*window.sizeSetting, landscape, window);
}

QSizeF minimumFrameSize(const State& state, const WindowFacts& window) {
    if (!state.isLandscape) {
        return frameSizeForVideo(minimumVideoSize(false), window);
    }
    return windowFrameSize(rightStripFrameHeight(window), true, window);
}

std::optional<LiveResizeAxis> liveResizeAxisAt(const QPointF& pointerInFrame,
                                               const QSizeF& frameSize) {
    const double x = pointerInFrame.x();
    const double y = pointerInFrame.y();
    const bool nearSide = x <= kLiveResizeEdgeZone || x >= frameSize.width() - kLiveResizeEdgeZone;
    const bool nearTopOrBottom =
        y <= kLiveResizeEdgeZone || y >= frameSize.height() - kLiveResizeEdgeZone;
    if (nearSide == nearTopOrBottom) {
        return std::nullopt;
    }
    return nearSide ? LiveResizeAxis::width : LiveResizeAxis::height;
}

void beginLiveResize(State& state, std::optional<LiveResizeAxis> axis) {
    state.isWindowLiveResizing = true;
    state.hasUserResizedWindow = true;
    state.liveResizeAxis = axis;
}

void endLiveResize(State& state) {
    state.isWindowLiveResizing = false;
    state.liveResizeAxis.reset();
}

QSizeF constrainedFrameSize(State& state, const QSizeF& proposed, const QSizeF& current,
                            const WindowFacts& window) {
    const QSizeF minimum = minimumVideoSize(state.isLandscape);
    const QSizeF video = videoSizeForContent(contentSizeForFrame(proposed, window), window);
    if (!state.liveResizeAxis) {
        const double heightChange = std::abs(proposed.height() - current.height());
        const double widthChange = std::abs(proposed.width() - current.width());
        state.liveResizeAxis =
            heightChange > widthChange ? LiveResizeAxis::height : LiveResizeAxis::width;
    }
    const double ratio = effectiveRatio(state);
    double width = 0;
    double height = 0;
    if (*state.liveResizeAxis == LiveResizeAxis::height) {
        height = std::max(video.height(), minimum.height());
        width = std::max(height * ratio, minimum.width());
    } else {
        width = std::max(video.width(), minimum.width());
        height = std::max(width / ratio, minimum.height());
    }
    const QSizeF frame = frameSizeForVideo({width, height}, window);
    return isPositiveFinite(frame) ? frame : current;
}

bool applyAspectRatioCommand(State& state, const QVariantMap& userInfo, qint64 deviceID) {
    const std::optional<qint64> addressee =
        integerEntry(userInfo.value(CommandProcessor::kDeviceIDKey));
    const std::optional<double> ratio =
        realEntry(userInfo.value(CommandProcessor::kAspectRatioKey));
    if (!addressee || !ratio) {
        return false;
    }
    if (*addressee >= 1 && *addressee != deviceID) {
        return false;
    }
    // A ratio that is not a number, or infinite, is kept as given: every use of it then takes the
    // orientation's standard ratio (effectiveRatio), so the window returns to the standard shape.
    state.currentAspectRatio = *ratio <= kSmallestCommandedRatio ? kSmallestCommandedRatio : *ratio;
    return true;
}

std::optional<QSizeF> frameSizeForAspectRatio(const State& state, const WindowFacts& window) {
    if (window.fullScreen || state.hasUserResizedWindow) {
        return std::nullopt;
    }
    if (std::optional<QSizeF> initial = initialFrameSize(state.isLandscape, window)) {
        return initial;
    }
    const QSizeF minimum = minimumVideoSize(state.isLandscape);
    const double contentHeight = contentSizeForFrame(window.frameSize, window).height();
    const double height =
        std::max(std::max(contentHeight - kBottomStripHeight, 0.0), minimum.height());
    const double width = std::max(height * effectiveRatio(state), minimum.width());
    return frameSizeForVideo({width, height}, window);
}

double rotationForOrientation(int orientation) {
    switch (orientation) {
        case 1:
            return 90;
        case 2:
            return 180;
        case 3:
            return -90;
        default:
            return 0;
    }
}

bool isLandscapeRotation(double degrees) {
    if (!std::isfinite(degrees)) {
        return false;
    }
    const double remainder = std::fmod(std::trunc(degrees), 360.0);
    return remainder == 90 || remainder == 270 || remainder == -90 || remainder == -270;
}

RotationChange setRotation(State& state, bool landscape, double rotation, bool rotatePlayer,
                           const QSizeF& currentVideo, const WindowFacts& window) {
    if (landscape == state.isLandscape && rotation == state.currentRotation) {
        return {};
    }
    const bool wasLandscape = state.isLandscape;
    state.isLandscape = landscape;
    state.currentRotation = rotation;
    // A commanded ratio belongs to the orientation it was given in.
    state.currentAspectRatio = landscape ? kLandscapeRatio : kPortraitRatio;

    RotationChange change{.changed = true, .rotatePlayer = rotatePlayer, .frameSize = {}};
    if (window.fullScreen) {
        return change;
    }
    if (std::optional<QSizeF> before =
            frameBeforeLastTurn(state, landscape, wasLandscape, window.frameSize)) {
        change.frameSize = before;
    } else if (state.hasUserResizedWindow) {
        const double shortSide =
            wasLandscape ? window.frameSize.height() : window.frameSize.width();
        change.frameSize = windowFrameSize(shortSide, landscape, window);
    } else if (std::optional<QSizeF> initial = initialFrameSize(landscape, window)) {
        change.frameSize = initial;
    } else {
        const double shortSide = wasLandscape ? currentVideo.height() : currentVideo.width();
        change.frameSize = frameSizeForVideo(videoTurnedTo(landscape, shortSide), window);
    }
    if (landscape != wasLandscape && isPositiveFinite(window.frameSize)) {
        state.lastTurn =
            TurnMemory{.landscapeBefore = wasLandscape,
                       .frameBefore = window.frameSize,
                       .frameAfter = change.frameSize->expandedTo(minimumFrameSize(state, window))};
    }
    return change;
}

RotationChange applyDeviceOrientation(State& state, int orientation, const QSizeF& currentVideo,
                                      const WindowFacts& window) {
    const double rotation = rotationForOrientation(orientation);
    const bool landscape = isLandscapeRotation(rotation);
    const bool resync = std::exchange(state.shouldSyncCloudPhoneRotationAfterReconnect, false);
    if (rotation == state.currentRotation && landscape == state.isLandscape) {
        return {.changed = false, .rotatePlayer = resync, .frameSize = {}};
    }
    // Between two landscape angles the player keeps its turn; only the angle is recorded.
    const bool rotatePlayer = resync || landscape != state.isLandscape;
    return setRotation(state, landscape, rotation, rotatePlayer, currentVideo, window);
}

FullScreenSizes fullScreenSizes(const QSizeF& currentVideo, bool landscape) {
    if (landscape) {
        const double shortSide = currentVideo.height();
        const QSizeF portrait =
            shortSide > kMinimumVideoShortSide
                ? QSizeF(shortSide, std::max(shortSide / kPortraitRatio, kMinimumVideoLongSide))
                : QSizeF(kMinimumVideoShortSide, kMinimumVideoLongSide);
        return {portrait, currentVideo};
    }
    const double height = std::max(currentVideo.width(), kMinimumVideoShortSide);
    return {currentVideo, {std::max(height * kLandscapeRatio, kMinimumVideoLongSide), height}};
}

void enterFullScreen(State& state, const QSizeF& currentVideo) {
    state.fullScreenMainViewportSizes = fullScreenSizes(currentVideo, state.isLandscape);
    state.liveResizeAxis.reset();
}

void exitFullScreen(State& state) {
    state.fullScreenMainViewportSizes.reset();
}

ConstraintMode constraintMode(const State& state, bool fullScreen, const QSizeF& containerSize) {
    if (!fullScreen || !state.fullScreenMainViewportSizes) {
        return ConstraintMode::fill();
    }
    QSizeF size = state.isLandscape ? state.fullScreenMainViewportSizes->landscape
                                    : state.fullScreenMainViewportSizes->portrait;
    const double containerWidth = containerSize.width();
    const double containerHeight = containerSize.height();
    if (size.width() > 0 && size.height() > 0 && containerWidth > 0 && containerHeight > 0) {
        const double scale =
            std::min(containerWidth / size.width(), containerHeight / size.height());
        size = {size.width() * scale, size.height() * scale};
    }
    return ConstraintMode::fixed(size);
}

bool adoptConstraintMode(State& state, const ConstraintMode& mode) {
    if (state.appliedMainViewConstraintMode == mode) {
        return false;
    }
    state.appliedMainViewConstraintMode = mode;
    return true;
}

QRectF videoRect(const ConstraintMode& mode, const QSizeF& containerSize) {
    if (mode.isFill()) {
        return {QPointF(0, 0), containerSize};
    }
    const double width = std::max(std::min(mode.fixedSize->width(), containerSize.width()), 0.0);
    const double height = std::max(std::min(mode.fixedSize->height(), containerSize.height()), 0.0);
    return {(containerSize.width() - width) / 2, (containerSize.height() - height) / 2, width,
            height};
}

QRectF resizedKeepingBottomLeft(const QRectF& frame, const QSizeF& size) {
    return {frame.left(), frame.bottom() - size.height(), size.width(), size.height()};
}

}  // namespace WindowGeometry
