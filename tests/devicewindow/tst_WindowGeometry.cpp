#include "devicewindow/WindowGeometry.h"
#include "foundation/settings/SettingsManager.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace WindowGeometry;

namespace {

constexpr double kTolerance = 1e-3;
const QSizeF kNewWindowFrame(372.5, 621.1111111111111);
const QSizeF kPortraitVideo(332.5, 591.1111111111111);
const QSizeF kLandscapeVideo(591.1111111111111, 332.5);

bool near(const QSizeF& actual, const QSizeF& expected) {
    return std::abs(actual.width() - expected.width()) < kTolerance &&
           std::abs(actual.height() - expected.height()) < kTolerance;
}

QString text(const QSizeF& size) {
    return QStringLiteral("%1 x %2").arg(size.width(), 0, 'f', 4).arg(size.height(), 0, 'f', 4);
}

#define COMPARE_SIZE(actual, expected)   \
    QVERIFY2(near((actual), (expected)), \
             qPrintable(QStringLiteral("%1, expected %2").arg(text(actual), text(expected))))

// The size setting as a window reads it: the stored text through its rule.
std::optional<double> storedSizeSetting(const std::optional<QString>& text) {
    static const QTemporaryDir folder;
    SettingsManager settings(folder.filePath(QStringLiteral("settings.ini")));
    settings.set(text, SettingKey::cloudphoneSize);
    return settings.number(TypedSettings::windowSize);
}

WindowFacts facts(const QSizeF& frame, bool panel = false, const QSizeF& extras = {},
                  const std::optional<QString>& sizeSetting = {}) {
    WindowFacts window;
    window.keyMappingPanelVisible = panel;
    window.frameExtras = extras;
    window.frameSize = frame;
    window.sizeSetting = storedSizeSetting(sizeSetting);
    return window;
}

State stateFor(bool landscape, double rotation = 0, bool userResized = false) {
    State state;
    state.isLandscape = landscape;
    state.currentRotation = rotation;
    state.currentAspectRatio = landscape ? kLandscapeRatio : kPortraitRatio;
    state.hasUserResizedWindow = userResized;
    return state;
}

}  // namespace

class WindowGeometryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void minimumFrameSize_data() {
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<QSizeF>("extras");
        QTest::addColumn<QSizeF>("expected");
        QTest::newRow("portrait") << false << false << QSizeF() << QSizeF(215, 341.1111111111111);
        QTest::newRow("portrait with panel")
            << false << true << QSizeF() << QSizeF(495, 341.1111111111111);
        QTest::newRow("landscape, 8 buttons")
            << true << false << QSizeF() << QSizeF(683.5555555555555, 392);
        QTest::newRow("landscape with toolbar")
            << true << false << QSizeF(0, 38) << QSizeF(683.5555555555555, 430);
        QTest::newRow("landscape with panel")
            << true << true << QSizeF() << QSizeF(963.5555555555555, 392);
    }
    void minimumFrameSize() {
        QFETCH(bool, landscape);
        QFETCH(bool, panel);
        QFETCH(QSizeF, extras);
        QFETCH(QSizeF, expected);
        COMPARE_SIZE(
            WindowGeometry::minimumFrameSize(stateFor(landscape), facts({}, panel, extras)),
            expected);
    }

    void initialFrameSize_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<QSizeF>("expected");  // empty: the built-in size stays
        QTest::newRow("400 portrait") << "400" << false << QSizeF(400, 670);
        QTest::newRow("400 landscape") << "400" << true << QSizeF(697.7777777777778, 400);
        QTest::newRow("landscape below the strip")
            << "300" << true << QSizeF(683.5555555555555, 392);
        QTest::newRow("letters") << "abc" << false << QSizeF();
        QTest::newRow("zero") << "0" << false << QSizeF();
        QTest::newRow("negative") << "-5" << false << QSizeF();
        QTest::newRow("infinite") << "inf" << false << QSizeF();
        QTest::newRow("blank around") << " 400" << false << QSizeF();
        QTest::newRow("group separator") << "1,000" << false << QSizeF();
    }
    void initialFrameSize() {
        QFETCH(QString, setting);
        QFETCH(bool, landscape);
        QFETCH(QSizeF, expected);
        const std::optional<QSizeF> size =
            WindowGeometry::initialFrameSize(landscape, facts(kNewWindowFrame, false, {}, setting));
        QCOMPARE(size.has_value(), !expected.isEmpty());
        if (size) {
            COMPARE_SIZE(*size, expected);
            if (!landscape) {
                COMPARE_SIZE(videoSizeForContent(*size, facts(*size)), QSizeF(360, 640));
            }
        }
        QVERIFY(!WindowGeometry::initialFrameSize(landscape, facts(kNewWindowFrame)));
    }

    void liveResizeAxisAt_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<int>("axis");  // -1: none yet
        const int width = static_cast<int>(LiveResizeAxis::width);
        const int height = static_cast<int>(LiveResizeAxis::height);
        QTest::newRow("right edge") << QPointF(370, 300) << width;
        QTest::newRow("left edge, zone boundary") << QPointF(24, 300) << width;
        QTest::newRow("just outside the zone") << QPointF(24.5, 300) << -1;
        QTest::newRow("bottom edge") << QPointF(200, 610) << height;
        QTest::newRow("corner") << QPointF(370, 610) << -1;
    }
    void liveResizeAxisAt() {
        QFETCH(QPointF, pointer);
        QFETCH(int, axis);
        const std::optional<LiveResizeAxis> found =
            WindowGeometry::liveResizeAxisAt(pointer, kNewWindowFrame);
        QCOMPARE(found ? static_cast<int>(*found) : -1, axis);
    }

    void constrainedFrameSize_data() {
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<int>("startAxis");  // -1: chosen from the first proposal
        QTest::addColumn<QSizeF>("current");
        QTest::addColumn<QSizeF>("proposed");
        QTest::addColumn<QSizeF>("extras");
        QTest::addColumn<QSizeF>("expected");
        QTest::addColumn<int>("axis");
        const int width = static_cast<int>(LiveResizeAxis::width);
        const int height = static_cast<int>(LiveResizeAxis::height);
        QTest::newRow("right edge 372.5 -> 412.5")
            << false << width << kNewWindowFrame << QSizeF(412.5, 621.1111111111111) << QSizeF()
            << QSizeF(412.5, 692.2222222222222) << width;
        QTest::newRow("corner, equal change: width")
            << false << -1 << kNewWindowFrame << QSizeF(382.5, 631.1111111111111) << QSizeF()
            << QSizeF(382.5, 638.8888888888889) << width;
        QTest::newRow("corner, height changed more")
            << false << -1 << kNewWindowFrame << QSizeF(382.5, 632.1111111111111) << QSizeF()
            << QSizeF(378.6875, 632.1111111111111) << height;
        QTest::newRow("bottom edge keeps height axis although width moved more")
            << false << height << kNewWindowFrame << QSizeF(500, 641.1111111111111) << QSizeF()
            << QSizeF(383.75, 641.1111111111111) << height;
        QTest::newRow("shrinking stops at the minimum")
            << false << -1 << kNewWindowFrame << QSizeF(100, 100) << QSizeF()
            << QSizeF(215, 341.1111111111111) << height;
        QTest::newRow("landscape minimum")
            << true << -1 << QSizeF(631.1111111111111, 362.5) << QSizeF(100, 100) << QSizeF()
            << QSizeF(351.1111111111111, 205) << width;
        QTest::newRow("toolbar counted once") << false << width << QSizeF(372.5, 659.1111111111111)
                                              << QSizeF(412.5, 659.1111111111111) << QSizeF(0, 38)
                                              << QSizeF(412.5, 730.2222222222222) << width;
    }
    void constrainedFrameSize() {
        QFETCH(bool, landscape);
        QFETCH(int, startAxis);
        QFETCH(QSizeF, current);
        QFETCH(QSizeF, proposed);
        QFETCH(QSizeF, extras);
        QFETCH(QSizeF, expected);
        QFETCH(int, axis);
        State state = stateFor(landscape);
        beginLiveResize(state, startAxis < 0
                                   ? std::nullopt
                                   : std::optional(static_cast<LiveResizeAxis>(startAxis)));
        const WindowFacts window = facts(current, false, extras);
        COMPARE_SIZE(WindowGeometry::constrainedFrameSize(state, proposed, current, window),
                     expected);
        QVERIFY(state.liveResizeAxis);
        QCOMPARE(static_cast<int>(*state.liveResizeAxis), axis);
    }

    void liveResizeKeepsItsAxisUntilItEnds() {
        State state = stateFor(false);
        beginLiveResize(state, std::nullopt);
        const WindowFacts window = facts(kNewWindowFrame);
        // The first proposal moves the height most; later ones only the width.
        const QSizeF first = WindowGeometry::constrainedFrameSize(state, QSizeF(372.5, 700),
                                                                  kNewWindowFrame, window);
        COMPARE_SIZE(videoSizeForContent(first, window), QSizeF(670 * kPortraitRatio, 670));
        const QSizeF second =
            WindowGeometry::constrainedFrameSize(state, QSizeF(600, 700), first, window);
        COMPARE_SIZE(second, first);
        endLiveResize(state);
        QVERIFY(!state.liveResizeAxis);
        QVERIFY(!state.isWindowLiveResizing);
        QVERIFY(state.hasUserResizedWindow);
    }

    void aspectRatioCommand_data() {
        QTest::addColumn<QVariantMap>("userInfo");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<double>("ratio");
        const QVariant all(0);
        QTest::newRow("every window")
            << QVariantMap{{"deviceID", all}, {"aspectRatio", 7.0 / 3.0}} << true << 7.0 / 3.0;
        QTest::newRow("this window")
            << QVariantMap{{"deviceID", 42}, {"aspectRatio", 1.0}} << true << 1.0;
        QTest::newRow("negative id addresses all")
            << QVariantMap{{"deviceID", -3}, {"aspectRatio", 0.75}} << true << 0.75;
        QTest::newRow("raised to 0.1")
            << QVariantMap{{"deviceID", all}, {"aspectRatio", 0.05}} << true << 0.1;
        QTest::newRow("another window")
            << QVariantMap{{"deviceID", 7}, {"aspectRatio", 1.0}} << false << kPortraitRatio;
        QTest::newRow("no device id")
            << QVariantMap{{"aspectRatio", 1.0}} << false << kPortraitRatio;
        QTest::newRow("device id as text")
            << QVariantMap{{"deviceID", QStringLiteral("0")}, {"aspectRatio", 1.0}} << false
            << kPortraitRatio;
        QTest::newRow("ratio as text")
            << QVariantMap{{"deviceID", all}, {"aspectRatio", QStringLiteral("1.0")}} << false
            << kPortraitRatio;
        // Kept as given; every use then takes the standard ratio (frameSizeForAspectRatio).
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double infinity = std::numeric_limits<double>::infinity();
        QTest::newRow("ratio not a number")
            << QVariantMap{{"deviceID", all}, {"aspectRatio", nan}} << true << nan;
        QTest::newRow("ratio infinite")
            << QVariantMap{{"deviceID", all}, {"aspectRatio", infinity}} << true << infinity;
        QTest::newRow("ratio minus infinity raised to 0.1")
            << QVariantMap{{"deviceID", all}, {"aspectRatio", -infinity}} << true << 0.1;
    }
    void aspectRatioCommand() {
        QFETCH(QVariantMap, userInfo);
        QFETCH(bool, applied);
        QFETCH(double, ratio);
        State state = stateFor(false);
        QCOMPARE(applyAspectRatioCommand(state, userInfo, 42), applied);
        QCOMPARE(state.currentAspectRatio, ratio);
    }

    void frameSizeForAspectRatio_data() {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("userResized");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QSizeF>("video");  // empty: the window keeps its size
        QTest::newRow("21:9") << 7.0 / 3.0 << false << false << QString()
                              << QSizeF(1379.2592592592594, 591.1111111111111);
        QTest::newRow("0.1 raised to the minimum width")
            << 0.1 << false << false << QString() << QSizeF(175, 591.1111111111111);
        QTest::newRow("size setting wins")
            << 7.0 / 3.0 << false << false << "400" << QSizeF(360, 640);
        QTest::newRow("user's size kept") << 7.0 / 3.0 << true << false << QString() << QSizeF();
        QTest::newRow("full screen") << 7.0 / 3.0 << false << true << QString() << QSizeF();
        QTest::newRow("not a number: the standard ratio")
            << std::numeric_limits<double>::quiet_NaN() << false << false << QString()
            << kPortraitVideo;
        QTest::newRow("infinite: the standard ratio")
            << std::numeric_limits<double>::infinity() << false << false << QString()
            << kPortraitVideo;
    }
    void frameSizeForAspectRatio() {
        QFETCH(double, ratio);
        QFETCH(bool, userResized);
        QFETCH(bool, fullScreen);
        QFETCH(QString, setting);
        QFETCH(QSizeF, video);
        State state = stateFor(false, 0, userResized);
        state.currentAspectRatio = ratio;
        WindowFacts window = facts(kNewWindowFrame, false, {},
                                   setting.isNull() ? std::nullopt : std::optional(setting));
        window.fullScreen = fullScreen;
        const std::optional<QSizeF> frame = WindowGeometry::frameSizeForAspectRatio(state, window);
        QCOMPARE(frame.has_value(), !video.isEmpty());
        if (frame) {
            COMPARE_SIZE(videoSizeForContent(*frame, window), video);
        }
    }

    void rotation_data() {
        QTest::addColumn<bool>("fromLandscape");
        QTest::addColumn<bool>("userResized");
        QTest::addColumn<QSizeF>("video");
        QTest::addColumn<QSizeF>("frame");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QSizeF>("expectedFrame");
        QTest::newRow("portrait to landscape")
            << false << false << kPortraitVideo << kNewWindowFrame << QString()
            << QSizeF(631.1111111111111, 362.5);
        QTest::newRow("landscape back to portrait")
            << true << false << kLandscapeVideo << QSizeF(631.1111111111111, 362.5) << QString()
            << kNewWindowFrame;
        QTest::newRow("smallest portrait")
            << false << false << QSizeF(175, 311.1111111111111) << QSizeF(215, 341.1111111111111)
            << QString() << QSizeF(351.1111111111111, 205);
        QTest::newRow("smallest landscape")
            << true << false << QSizeF(311.1111111111111, 175) << QSizeF(351.1111111111111, 205)
            << QString() << QSizeF(215, 341.1111111111111);
        QTest::newRow("user's portrait width becomes the height")
            << false << true << QSizeF(372.5, 662.2222222222222) << QSizeF(412.5, 692.2222222222222)
            << QString() << QSizeF(720, 412.5);
        QTest::newRow("user's landscape height becomes the width")
            << true << true << QSizeF(680, 382.5) << QSizeF(720, 412.5) << QString()
            << QSizeF(412.5, 692.2222222222222);
        QTest::newRow("size setting for the new orientation")
            << false << false << kPortraitVideo << kNewWindowFrame << "400"
            << QSizeF(697.7777777777778, 400);
    }
    void rotation() {
        QFETCH(bool, fromLandscape);
        QFETCH(bool, userResized);
        QFETCH(QSizeF, video);
        QFETCH(QSizeF, frame);
        QFETCH(QString, setting);
        QFETCH(QSizeF, expectedFrame);
        State state = stateFor(fromLandscape, fromLandscape ? 90 : 0, userResized);
        state.currentAspectRatio = 7.0 / 3.0;  // a commanded ratio does not survive a turn
        const WindowFacts window =
            facts(frame, false, {}, setting.isNull() ? std::nullopt : std::optional(setting));
        const RotationChange change =
            setRotation(state, !fromLandscape, fromLandscape ? 0 : 90, true, video, window);
        QVERIFY(change.changed);
        QVERIFY(change.rotatePlayer);
        QVERIFY(change.frameSize);
        COMPARE_SIZE(*change.frameSize, expectedFrame);
        QCOMPARE(state.isLandscape, !fromLandscape);
        QCOMPARE(state.currentAspectRatio, fromLandscape ? kPortraitRatio : kLandscapeRatio);
    }

    // Turns as the window makes them: the frame it takes is raised to the new minimum.
    void roundTripsKeepTheFirstSize_data() {
        QTest::addColumn<bool>("userResized");
        QTest::addColumn<QSizeF>("frame");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<QSizeF>("extras");
        QTest::newRow("new window") << false << kNewWindowFrame << false << QSizeF();
        QTest::newRow("user's narrow window")
            << true << QSizeF(300, 492.2222222222222) << false << QSizeF();
        QTest::newRow("user's window, panel and toolbar")
            << true << QSizeF(700, 743.5555555555555) << true << QSizeF(0, 38);
    }
    void roundTripsKeepTheFirstSize() {
        QFETCH(bool, userResized);
        QFETCH(QSizeF, frame);
        QFETCH(bool, panel);
        QFETCH(QSizeF, extras);
        State state = stateFor(false, 0, userResized);
        const QSizeF first = frame;
        std::optional<QSizeF> firstLandscape;
        for (int turn = 1; turn <= 10; ++turn) {
            const bool landscape = turn % 2 == 1;
            const WindowFacts window = facts(frame, panel, extras);
            const QSizeF video = videoSizeForContent(contentSizeForFrame(frame, window), window);
            const RotationChange change =
                setRotation(state, landscape, landscape ? 90 : 0, true, video, window);
            QVERIFY(change.frameSize);
            frame = change.frameSize->expandedTo(WindowGeometry::minimumFrameSize(state, window));
            if (!landscape) {
                COMPARE_SIZE(frame, first);
            } else if (firstLandscape) {
                COMPARE_SIZE(frame, *firstLandscape);
            } else {
                firstLandscape = frame;
            }
        }
    }

    // A size the window took after the turn is the one a turn back starts from.
    void turnBackAfterAResizeStartsFromTheNewSize() {
        State state = stateFor(false);
        const WindowFacts portrait = facts(kNewWindowFrame);
        QVERIFY(setRotation(state, true, 90, true, kPortraitVideo, portrait).frameSize);
        state.hasUserResizedWindow = true;
        const WindowFacts resized = facts(QSizeF(800, 450));
        const RotationChange change = setRotation(
            state, false, 0, true, videoSizeForContent(QSizeF(800, 450), resized), resized);
        QVERIFY(change.frameSize);
        COMPARE_SIZE(*change.frameSize, windowFrameSize(450, false, resized));
    }

    void rotationInFullScreenKeepsTheWindow() {
        State state = stateFor(false);
        WindowFacts window = facts(QSizeF(1920, 1080));
        window.fullScreen = true;
        const RotationChange change = setRotation(state, true, 90, false, kPortraitVideo, window);
        QVERIFY(change.changed);
        QVERIFY(!change.frameSize);
        QVERIFY(state.isLandscape);
        QVERIFY(!setRotation(state, true, 90, true, kPortraitVideo, window).changed);
    }

    void deviceOrientationSequence() {
        State state = stateFor(false);
        WindowFacts window = facts(kNewWindowFrame);

        RotationChange change = applyDeviceOrientation(state, 1, kPortraitVideo, window);
        QVERIFY(change.rotatePlayer);
        QCOMPARE(state.currentRotation, 90.0);
        COMPARE_SIZE(*change.frameSize, QSizeF(631.1111111111111, 362.5));

        // The other landscape angle: recorded, nothing turned or resized.
        window.frameSize = *change.frameSize;
        change = applyDeviceOrientation(state, 3, kLandscapeVideo, window);
        QVERIFY(change.changed);
        QVERIFY(!change.rotatePlayer);
        COMPARE_SIZE(*change.frameSize, window.frameSize);
        QCOMPARE(state.currentRotation, -90.0);
        QVERIFY(state.isLandscape);

        change = applyDeviceOrientation(state, 2, kLandscapeVideo, window);
        QVERIFY(change.rotatePlayer);
        QVERIFY(!state.isLandscape);
        QCOMPARE(state.currentRotation, 180.0);
        COMPARE_SIZE(*change.frameSize, kNewWindowFrame);

        window.frameSize = kNewWindowFrame;
        QVERIFY(!applyDeviceOrientation(state, 2, kPortraitVideo, window).rotatePlayer);

        // After a reconnect the player is turned again although nothing changed, once.
        state.shouldSyncCloudPhoneRotationAfterReconnect = true;
        change = applyDeviceOrientation(state, 2, kPortraitVideo, window);
        QVERIFY(!change.changed);
        QVERIFY(change.rotatePlayer);
        QVERIFY(!state.shouldSyncCloudPhoneRotationAfterReconnect);
        QVERIFY(!applyDeviceOrientation(state, 2, kPortraitVideo, window).rotatePlayer);

        // Unknown reports mean upright.
        change = applyDeviceOrientation(state, 9, kPortraitVideo, window);
        QCOMPARE(state.currentRotation, 0.0);
        QVERIFY(!change.rotatePlayer);
    }

    void isLandscapeRotation_data() {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("-90") << -90.0 << true;
        QTest::newRow("450") << 450.0 << true;
        QTest::newRow("fraction truncated") << 90.7 << true;
        QTest::newRow("-450") << -450.0 << true;
        QTest::newRow("89.9") << 89.9 << false;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << false;
    }
    void isLandscapeRotation() {
        QFETCH(double, degrees);
        QFETCH(bool, landscape);
        QCOMPARE(WindowGeometry::isLandscapeRotation(degrees), landscape);
    }

    void fullScreenVideoIsLetterboxed() {
        State state = stateFor(false);
        const QSizeF screen(1920, 1080);
        QVERIFY(adoptConstraintMode(state, constraintMode(state, false, screen)));
        state.liveResizeAxis = LiveResizeAxis::height;
        enterFullScreen(state, kPortraitVideo);
        QVERIFY(!state.liveResizeAxis);
        COMPARE_SIZE(state.fullScreenMainViewportSizes->landscape, kLandscapeVideo);
        COMPARE_SIZE(fullScreenSizes(QSizeF(400, 100), true).portrait,
                     QSizeF(175, 311.1111111111111));
        QVERIFY(constraintMode(state, false, screen).isFill());

        ConstraintMode mode = constraintMode(state, true, screen);
        QVERIFY(adoptConstraintMode(state, mode));
        QVERIFY(!adoptConstraintMode(state, constraintMode(state, true, screen)));
        const QRectF portraitRect = videoRect(mode, screen);
        COMPARE_SIZE(portraitRect.size(), QSizeF(607.5, 1080));
        QVERIFY(std::abs(portraitRect.center().x() - 960) < kTolerance);

        // A turn in full screen shows the other captured shape at the largest fitting size.
        state.isLandscape = true;
        mode = constraintMode(state, true, screen);
        QVERIFY(adoptConstraintMode(state, mode));
        COMPARE_SIZE(videoRect(mode, screen).size(), screen);
        const QSizeF square(1000, 1000);
        const QRectF landscapeRect = videoRect(constraintMode(state, true, square), square);
        COMPARE_SIZE(landscapeRect.size(), QSizeF(1000, 562.5));
        QVERIFY(std::abs(landscapeRect.top() - 218.75) < kTolerance);

        exitFullScreen(state);
        QVERIFY(constraintMode(state, true, screen).isFill());
        QCOMPARE(videoRect(ConstraintMode::fill(), screen), QRectF(QPointF(0, 0), screen));
    }
};

QTEST_GUILESS_MAIN(WindowGeometryTest)
#include "tst_WindowGeometry.moc"
