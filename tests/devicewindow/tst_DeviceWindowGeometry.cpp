#include "DeviceWindowTestSupport.h"
#include "PlayingDevices.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/CommandProcessor.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowGeometryController.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/settings/SettingsManager.h"
#include "sdk/DeviceEvent.h"
#include "sdk/KXDeviceVideoView.h"
#include "session/CloudPhonePlayerView.h"

#include <QCursor>
#include <QMainWindow>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <limits>

namespace {

// Windows apply the double-precision sizes to whole pixels.
bool near(const QSizeF& actual, const QSizeF& expected) {
    return qAbs(actual.width() - expected.width()) <= 1 &&
           qAbs(actual.height() - expected.height()) <= 1;
}

QSizeF video(const AspectRatioWindowController& window) {
    return window.mainView()->size();
}

QString describe(const QSizeF& size) {
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

// The minimum size of the content, whatever the window adds above it.
QSize minimumContent(const AspectRatioWindowController& window) {
    const QSize extras = window.window()->size() - window.contentView()->size();
    return window.window()->minimumSize() - extras;
}

qreal playerRotation(qint64 id) {
    const auto* player = communicator().playerView(QString::number(id));
    return player ? player->currentRotationDegrees() : -1;
}

// True once the device's player painted `count` more pictures.
bool picturesPainted(qint64 id, quint64 count) {
    const auto painted = [id] {
        const CloudPhonePlayerView* player = communicator().playerView(QString::number(id));
        return player ? player->renderView()->paintedFrameCount() : 0;
    };
    const quint64 before = painted();
    return QTest::qWaitFor([&] { return painted() >= before + count; });
}

const QSizeF kPortraitVideo(332.5, 591.1111111111111);
// A landscape window is never lower than its strip of eight buttons: 362 high at 16:9.
const QSizeF kLowestLandscapeVideo(362 * 16.0 / 9, 362);

}  // namespace

#define QTRY_VERIFY_NEAR(actual, expected) \
    QTRY_VERIFY2(                          \
        near((actual), (expected)),        \
        qPrintable(describe(actual) + QStringLiteral(" instead of ") + describe(expected)))

class DeviceWindowGeometryTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;

private Q_SLOTS:
    void initTestCase() { m_devices.setUp(); }

    void cleanup() {
        PlayingDevices::closeAll();
        SettingsManager::shared().set(std::nullopt, SettingKey::cloudphoneSize);
    }

    void cleanupTestCase() { PlayingDevices::tearDown(); }

    void initialSize_data() {
        QTest::addColumn<std::optional<QString>>("setting");
        QTest::addColumn<int>("width");
        QTest::addColumn<QSizeF>("video");
        QTest::newRow("absent") << std::optional<QString>() << 373 << kPortraitVideo;
        QTest::newRow("400") << std::optional<QString>("400") << 400 << QSizeF(360, 640);
        for (const char* ignored : {"abc", "inf"}) {
            QTest::newRow(ignored) << std::optional<QString>(ignored) << 373 << kPortraitVideo;
        }
    }
    void initialSize() {
        QFETCH(std::optional<QString>, setting);
        QFETCH(int, width);
        QFETCH(QSizeF, video);
        SettingsManager::shared().set(setting, SettingKey::cloudphoneSize);
        AspectRatioWindowController window(8001, QStringLiteral("size"));
        window.showWindow();
        QCOMPARE(window.window()->width(), width);
        QTRY_VERIFY_NEAR(::video(window), video);
        QVERIFY(near(minimumContent(window), QSizeF(215, 341.1111111111111)));
    }

    void liveResize_data() {
        // Where the drag starts, in pixels from the frame's left or right and top or bottom edge
        // (negative: from the right or bottom), so that the toolbar's height does not matter.
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QSize>("proposed");  // content size, from 373 x 621
        QTest::addColumn<QSizeF>("video");
        QTest::newRow("right edge")
            << QPoint(-3, 300) << QSize(413, 621) << QSizeF(372.5, 662.2222222222222);
        QTest::newRow("bottom edge")
            << QPoint(180, -6) << QSize(373, 701) << QSizeF(671 * 0.5625, 671);
        QTest::newRow("corner, height changed more")
            << QPoint(5, 5) << QSize(383, 681) << QSizeF(651 * 0.5625, 651);
        QTest::newRow("below the minimum")
            << QPoint(-3, 300) << QSize(100, 621) << QSizeF(175, 311.1111111111111);
    }
    void liveResize() {
        QFETCH(QPoint, pointer);
        QFETCH(QSize, proposed);
        QFETCH(QSizeF, video);
        AspectRatioWindowController window(8002, QStringLiteral("resize"));
        window.showWindow();
        QTRY_VERIFY_NEAR(::video(window), kPortraitVideo);
        const QRect frame = window.window()->frameGeometry();
        QCursor::setPos(
            QPoint(pointer.x() < 0 ? frame.right() + 1 + pointer.x() : frame.left() + pointer.x(),
                   pointer.y() < 0 ? frame.bottom() + 1 + pointer.y() : frame.top() + pointer.y()));

        const QSize extras = window.window()->size() - window.contentView()->size();
        window.window()->resize(proposed + extras);
        QVERIFY(window.geometry().isWindowLiveResizing());
        QVERIFY(window.geometry().hasUserResizedWindow());
        QTRY_VERIFY_NEAR(::video(window), video);
        QTRY_VERIFY(!window.geometry().isWindowLiveResizing());
        QVERIFY(window.geometry().hasUserResizedWindow());
    }

    void aspectRatioCommand_data() {
        QTest::addColumn<QVariantMap>("command");
        QTest::addColumn<QSizeF>("videoA");  // device 8101
        QTest::addColumn<QSizeF>("videoB");  // device 8102
        const QString ratio = CommandProcessor::kAspectRatioKey;
        const QString device = CommandProcessor::kDeviceIDKey;
        const QSizeF wide(591.1111111111111 * 16 / 9, 591.1111111111111);
        QTest::newRow("every window") << QVariantMap{{ratio, 7.0 / 3}, {device, 0}}
                                      << QSizeF(1379.259, 591.111) << QSizeF(1379.259, 591.111);
        QTest::newRow("0.05 takes 0.1") << QVariantMap{{ratio, 0.05}, {device, 0}}
                                        << QSizeF(175, 591.111) << QSizeF(175, 591.111);
        QTest::newRow("one window")
            << QVariantMap{{ratio, 16.0 / 9}, {device, 8102}} << kPortraitVideo << wide;
        QTest::newRow("no device id")
            << QVariantMap{{ratio, 16.0 / 9}} << kPortraitVideo << kPortraitVideo;
    }
    void aspectRatioCommand() {
        QFETCH(QVariantMap, command);
        QFETCH(QSizeF, videoA);
        QFETCH(QSizeF, videoB);
        AspectRatioWindowController a(8101, QStringLiteral("a"));
        AspectRatioWindowController b(8102, QStringLiteral("b"));
        a.showWindow();
        b.showWindow();
        QTRY_VERIFY_NEAR(video(b), kPortraitVideo);
        NotificationCenter::defaultCenter().post(CommandProcessor::kAspectRatioCommand, nullptr,
                                                 command);
        QTRY_VERIFY_NEAR(video(a), videoA);
        QTRY_VERIFY_NEAR(video(b), videoB);
    }

    // The user turns the window a quarter and back; the player turns with it, and only the
    // active window answers the button.
    void rotationButton() {
        AspectRatioWindowController* window = PlayingDevices::open(8301);
        QVERIFY(window);
        QTRY_VERIFY_NEAR(video(*window), kPortraitVideo);
        const int bottom = window->window()->geometry().bottom();
        QToolButton* button =
            window->controlButtonController().controlButton(ControlButtonID::rotation);

        WindowActiveManager::shared().setActiveDevice(4242);
        button->click();
        QVERIFY(!window->geometry().isLandscape());
        WindowActiveManager::shared().setActiveDevice(8301);

        button->click();
        QVERIFY(window->geometry().isLandscape());
        QCOMPARE(window->geometry().currentRotation(), 90);
        QCOMPARE(playerRotation(8301), 90);
        QTRY_VERIFY_NEAR(video(*window), kLowestLandscapeVideo);
        QCOMPARE(window->window()->geometry().bottom(), bottom);

        button->click();
        QVERIFY(!window->geometry().isLandscape());
        QCOMPARE(window->geometry().currentRotation(), 0);
        QCOMPARE(playerRotation(8301), 0);
        QTRY_VERIFY_NEAR(video(*window), kPortraitVideo);
        QCOMPARE(window->window()->geometry().bottom(), bottom);
    }

    // The landscape window is raised to its minimum, yet every turn back, and full screen with
    // or without a turn inside it, gives the size of the fresh window again.
    void roundTripsKeepTheWindowSize() {
        AspectRatioWindowController* window = PlayingDevices::openActive(8302);
        QVERIFY(window);
        QTRY_VERIFY_NEAR(video(*window), kPortraitVideo);
        const QSizeF first(window->window()->size());
        QToolButton* button =
            window->controlButtonController().controlButton(ControlButtonID::rotation);
        const auto size = [window] { return QSizeF(window->window()->size()); };
        for (int trip = 1; trip <= 5; ++trip) {
            button->click();
            QTRY_VERIFY_NEAR(video(*window), kLowestLandscapeVideo);
            button->click();
            QTRY_VERIFY_NEAR(size(), first);
            QTRY_VERIFY_NEAR(video(*window), kPortraitVideo);
        }

        for (const int turns : {0, 2}) {
            window->geometry().toggleFullScreen();
            QTRY_VERIFY(window->geometry().isInFullScreen());
            QTRY_VERIFY(window->mainView()->height() > kPortraitVideo.height() + 1);
            for (int turn = 0; turn < turns; ++turn) {
                button->click();
            }
            QVERIFY(!window->geometry().isLandscape());
            window->geometry().toggleFullScreen();
            QTRY_VERIFY(!window->geometry().isInFullScreen());
            QTRY_VERIFY_NEAR(size(), first);
            QTRY_VERIFY_NEAR(video(*window), kPortraitVideo);
        }
        QVERIFY(!window->geometry().hasUserResizedWindow());
    }

    // A ratio that is not a number is taken and shows the standard shape again.
    void aspectRatioNotANumberFallsBack() {
        AspectRatioWindowController window(8103, QStringLiteral("nan"));
        window.showWindow();
        QTRY_VERIFY_NEAR(video(window), kPortraitVideo);
        const auto command = [](double ratio) {
            NotificationCenter::defaultCenter().post(
                CommandProcessor::kAspectRatioCommand, nullptr,
                QVariantMap{{CommandProcessor::kAspectRatioKey, ratio},
                            {CommandProcessor::kDeviceIDKey, 0}});
        };
        command(7.0 / 3);
        QTRY_VERIFY_NEAR(video(window), QSizeF(1379.259, 591.111));
        command(std::numeric_limits<double>::quiet_NaN());
        QVERIFY(std::isnan(window.geometry().currentAspectRatio()));
        QTRY_VERIFY_NEAR(video(window), kPortraitVideo);
    }

    // The device turns; the window follows it, in and out of full screen.
    void deviceOrientationAndFullScreen() {
        AspectRatioWindowController* window = PlayingDevices::open(8201);
        QVERIFY(window);
        const auto device = simulated(8201);
        saveArtifact(window->window(), QStringLiteral("device-window-portrait"));
        const int bottom = window->window()->geometry().bottom();

        device->inject(DeviceEvent::rotation(KXRotationObc::rotation90));
        QTRY_VERIFY(window->geometry().isLandscape());
        QCOMPARE(playerRotation(8201), 90);
        QTRY_VERIFY_NEAR(video(*window), kLowestLandscapeVideo);
        QCOMPARE(window->window()->geometry().bottom(), bottom);
        QVERIFY(near(minimumContent(*window), QSizeF(683.556, 392)));
        QVERIFY(picturesPainted(8201, 2));  // at the new shape
        saveArtifact(window->window(), QStringLiteral("device-window-landscape"));
        const QSize landscapeSize = window->window()->size();

        window->geometry().toggleFullScreen();
        QTRY_VERIFY(window->geometry().isInFullScreen());
        QTRY_VERIFY(window->mainView()->width() > landscapeSize.width());
        const QRect viewport = window->mainViewportContainer()->rect();
        const QRect shown = window->mainView()->geometry();
        QVERIFY(viewport.contains(shown));
        QVERIFY((shown.center() - viewport.center()).manhattanLength() <= 2);
        QVERIFY(qAbs(double(shown.width()) / shown.height() - 16.0 / 9) < 0.01);
        QVERIFY(shown.width() == viewport.width() || shown.height() == viewport.height());
        QVERIFY(picturesPainted(8201, 2));
        saveArtifact(window->window(), QStringLiteral("device-window-full-screen"));

        window->geometry().toggleFullScreen();
        QTRY_VERIFY(!window->geometry().isInFullScreen());
        QTRY_COMPARE(window->window()->size(), landscapeSize);
        QCOMPARE(window->mainView()->geometry(), window->mainViewportContainer()->rect());
        QVERIFY(!window->geometry().hasUserResizedWindow());

        device->inject(DeviceEvent::rotation(KXRotationObc::rotation270));
        QTRY_COMPARE(window->geometry().currentRotation(), -90);
        QCOMPARE(playerRotation(8201), 90);
        QCOMPARE(window->window()->size(), landscapeSize);

        device->inject(DeviceEvent::rotation(KXRotationObc::rotation180));
        QTRY_VERIFY(!window->geometry().isLandscape());
        QCOMPARE(playerRotation(8201), 180);
        QTRY_VERIFY_NEAR(video(*window), kPortraitVideo);
        QCOMPARE(window->window()->geometry().bottom(), bottom);
    }
};

QTEST_MAIN(DeviceWindowGeometryTest)
#include "tst_DeviceWindowGeometry.moc"
