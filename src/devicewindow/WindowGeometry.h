#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVariantMap>

#include <optional>

// Every size a device window takes, as plain double-precision arithmetic: the window is the
// video area plus a 40-wide strip of buttons on the right, a 30-high strip at the bottom and,
// while shown, the 280-wide key-mapping panel; the video keeps its aspect ratio through the
// initial size, live resizes, rotations, ratio commands and full screen.
//
// The device window holds one `State` and, for each call, describes itself in a `WindowFacts`.
// Sizes named "frame" are what the window sets and reports (content plus `frameExtras`); sizes
// named "content" exclude the toolbar and decorations; "video" is the area the stream fills.
// Intended call points of the window controller:
//   construction            initialFrameSize (if any: lower the minimum, resize), minimumFrameSize
//   ratio command observer  applyAspectRatioCommand; when true, frameSizeForAspectRatio, then
//                           minimumFrameSize (in full screen, refresh the video rect instead)
//   user resize starts      beginLiveResize with liveResizeAxisAt of the pointer
//   each user size          constrainedFrameSize, applied through one coalesced zero-time timer
//   resize quiet for 150 ms endLiveResize
//   rotation button         setRotation; device orientation event: applyDeviceOrientation
//   full screen entered     enterFullScreen; left: exitFullScreen; both, and every resize:
//                           constraintMode + adoptConstraintMode, then videoRect for mainView
//   panel shown or hidden   minimumFrameSize
// A frame size is applied with resizedKeepingBottomLeft, then minimumFrameSize again.
namespace WindowGeometry {

inline constexpr double kRightStripWidth = 40;
inline constexpr double kBottomStripHeight = 30;
inline constexpr double kKeyMappingPanelWidth = 280;
inline constexpr double kRightButtonHeight = 40;
inline constexpr double kRightButtonGap = 6;
inline constexpr int kVisibleRightButtonCount = 8;
inline constexpr double kPortraitRatio = 0.5625;
inline constexpr double kLandscapeRatio = 16.0 / 9.0;
inline constexpr double kMinimumVideoShortSide = 175;
inline constexpr double kMinimumVideoLongSide = 175 / 0.5625;
inline constexpr double kSmallestCommandedRatio = 0.1;
inline constexpr double kLiveResizeEdgeZone = 24;
// A user resize counts as one live resize until no size has come for this long.
inline constexpr int kLiveResizeSettleMilliseconds = 150;
inline constexpr double kDefaultVideoWidth = 332.5;
inline constexpr double kDefaultVideoHeight = 332.5 / 0.5625;

// The key of the user's preferred window size: a frame width in portrait, a frame height in
// landscape.
inline const QString kSizeSettingKey = QStringLiteral("cloudphone-size");

enum class LiveResizeAxis { width, height };

// The video sizes captured as full screen begins, one per orientation.
struct FullScreenSizes {
    QSizeF portrait;
    QSizeF landscape;
};

// How the video view sits in its container: filling it, or centred at a fixed size.
struct ConstraintMode {
    std::optional<QSizeF> fixedSize;  // absent: fill

    static ConstraintMode fill() { return {}; }
    static ConstraintMode fixed(const QSizeF& size) { return {size}; }
    bool isFill() const { return !fixedSize; }
    bool operator==(const ConstraintMode& other) const;
};

// The last turn between portrait and landscape. The minimum size may have raised the turned
// frame, so a turn straight back restores the frame from before instead of deriving one from the
// raised size, which would grow the window with every round trip.
struct TurnMemory {
    bool landscapeBefore = false;
    QSizeF frameBefore;
    QSizeF frameAfter;  // as the window takes it: raised to the new orientation's minimum
};

struct State {
    double currentAspectRatio = kPortraitRatio;  // video width / height
    double currentRotation = 0;                  // degrees: 0, 90, 180 or -90
    bool isLandscape = false;
    bool isWindowLiveResizing = false;
    bool hasUserResizedWindow = false;  // never reset: from then on the user's size is kept
    std::optional<LiveResizeAxis> liveResizeAxis;
    std::optional<FullScreenSizes> fullScreenMainViewportSizes;
    std::optional<ConstraintMode> appliedMainViewConstraintMode;
    // Set on reconnecting or switching device: the next orientation report turns the player.
    bool shouldSyncCloudPhoneRotationAfterReconnect = false;
    std::optional<TurnMemory> lastTurn;
};

// The window as it stands at the moment of a call.
struct WindowFacts {
    bool keyMappingPanelVisible = false;
    int visibleRightButtons = kVisibleRightButtonCount;
    QSizeF frameExtras{0, 0};  // frame minus content: toolbar, title bar, borders
    bool fullScreen = false;
    QSizeF frameSize;                   // the window's present frame
    std::optional<double> sizeSetting;  // the page's chosen window size, when it is usable
};

// What a rotation asks of the window.
struct RotationChange {
    bool changed = false;       // orientation or angle changed: relayout, minimum size, overlay
    bool rotatePlayer = false;  // turn the player to State::currentRotation
    std::optional<QSizeF> frameSize;  // the new frame size; absent in full screen
};

bool isUsableRatio(double ratio);
// `currentAspectRatio`, or the orientation's standard ratio when it is not usable.
double effectiveRatio(const State& state);
QSizeF minimumVideoSize(bool landscape);

// The content and frame rule, both ways.
QSizeF contentSizeForVideo(const QSizeF& video, const WindowFacts& window);
QSizeF videoSizeForContent(const QSizeF& content, const WindowFacts& window);
QSizeF frameSizeForContent(const QSizeF& content, const WindowFacts& window);
QSizeF contentSizeForFrame(const QSizeF& frame, const WindowFacts& window);
QSizeF frameSizeForVideo(const QSizeF& video, const WindowFacts& window);

// The video size of the window now: the video view's own size when it has one, else what the
// content leaves, else the built-in default.
QSizeF currentVideoSize(const QSizeF& mainViewSize, const std::optional<QSizeF>& contentSize,
                        const WindowFacts& window);

// Frame height of the right strip of buttons with the bottom strip under it.
double rightStripFrameHeight(const WindowFacts& window);
// The frame for one side: `value` is a frame width in portrait, a frame height in landscape.
QSizeF windowFrameSize(double value, bool landscape, const WindowFacts& window);
// The frame the size setting asks for, if it holds a usable number.
std::optional<QSizeF> initialFrameSize(bool landscape, const WindowFacts& window);
QSizeF minimumFrameSize(const State& state, const WindowFacts& window);

// Near a side edge only: width; near the top or bottom only: height; a corner or the middle
// leaves the choice to the first proposed size.
std::optional<LiveResizeAxis> liveResizeAxisAt(const QPointF& pointerInFrame,
                                               const QSizeF& frameSize);
void beginLiveResize(State& state, std::optional<LiveResizeAxis> axis);
void endLiveResize(State& state);
// The frame closest to `proposed` that keeps the aspect; chooses the axis on first use.
QSizeF constrainedFrameSize(State& state, const QSizeF& proposed, const QSizeF& current,
                            const WindowFacts& window);

// Takes the ratio of an "aspectRatioCommand" addressed to `deviceID` or to every window (id 0
// or less). True when the ratio was taken; the window then resizes.
bool applyAspectRatioCommand(State& state, const QVariantMap& userInfo, qint64 deviceID);
// The frame a ratio change asks for; absent when the window keeps its size (full screen, or
// a size the user chose).
std::optional<QSizeF> frameSizeForAspectRatio(const State& state, const WindowFacts& window);

double rotationForOrientation(int orientation);
bool isLandscapeRotation(double degrees);
RotationChange setRotation(State& state, bool landscape, double rotation, bool rotatePlayer,
                           const QSizeF& currentVideo, const WindowFacts& window);
RotationChange applyDeviceOrientation(State& state, int orientation, const QSizeF& currentVideo,
                                      const WindowFacts& window);

FullScreenSizes fullScreenSizes(const QSizeF& currentVideo, bool landscape);
void enterFullScreen(State& state, const QSizeF& currentVideo);
void exitFullScreen(State& state);
ConstraintMode constraintMode(const State& state, bool fullScreen, const QSizeF& containerSize);
// Records `mode` as applied; false when it already was, so nothing needs relaying out.
bool adoptConstraintMode(State& state, const ConstraintMode& mode);
// The video view's rectangle inside its container.
QRectF videoRect(const ConstraintMode& mode, const QSizeF& containerSize);

// `frame` resized to `size` with its bottom-left corner kept (top-left screen coordinates).
QRectF resizedKeepingBottomLeft(const QRectF& frame, const QSizeF& size);

}  // namespace WindowGeometry
