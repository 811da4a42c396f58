#include "SessionTestSupport.h"

#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "sdk/KXDeviceDelegate.h"
#include "sdk/KXDeviceTouchDelegate.h"
#include "sdk/KXDeviceVideoView.h"
#include "sdk/VideoFrameSlot.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "sdk/simulated/SimulatedDevice.h"
#include "sdk/simulated/TestPicture.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"
#include "session/ViewLayer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <thread>

namespace {

// Hands the touch view's messages straight to the device, as the session's forwarder does.
class DeviceTouchForwarder : public KXDeviceTouchDelegate {
public:
    explicit DeviceTouchForwarder(std::shared_ptr<KXDevice> device) : m_device(std::move(device)) {}
    void touchBegin() override { m_device->touchBegin(); }
    void touchMove(const QList<KXTouchObc>& touches) override { m_device->touchMove(touches); }
    void touchEnd() override { m_device->touchEnd(); }

private:
    std::shared_ptr<KXDevice> m_device;
};

bool near(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) <= 12 && qAbs(a.green() - b.green()) <= 12 &&
           qAbs(a.blue() - b.blue()) <= 12;
}

QTransform turned(qreal degrees) {
    QTransform transform;
    transform.rotate(-degrees);
    return transform;
}

QString artifactPath(const QString& name) {
    QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS");
    if (folder.isEmpty()) {
        folder = QDir(QCoreApplication::applicationDirPath()).filePath("test-artifacts");
    }
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

}  // namespace

class CloudPhonePlayerViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_container;
    CloudPhonePlayerView* m_player = nullptr;

    void showPlayer(QSize containerSize) {
        m_container = std::make_unique<QWidget>();
        m_container->resize(containerSize);
        m_player = new CloudPhonePlayerView(QStringLiteral("42"), QRect(), m_container.get());
        m_player->setObjectName(QStringLiteral("101"));
        m_player->pinToSuperview();
        m_player->applyRotation(0);
        m_container->show();
    }

private Q_SLOTS:
    void cleanup() {
        m_container.reset();
        ConsoleCapture::clear();
    }

    void videoFrameFollowsTheContainer_data() {
        QTest::addColumn<QSizeF>("player");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<QRectF>("expected");

        QTest::newRow("portrait") << QSizeF(400, 300) << false << QRectF(0, 0, 400, 300);
        QTest::newRow("landscape in a wide player")
            << QSizeF(400, 300) << true << QRectF(50, -50, 300, 400);
        QTest::newRow("landscape in a tall player")
            << QSizeF(300, 400) << true << QRectF(-50, 50, 400, 300);
        QTest::newRow("landscape in a square")
            << QSizeF(250, 250) << true << QRectF(0, 0, 250, 250);
        QTest::newRow("empty") << QSizeF(0, 0) << true << QRectF(0, 0, 0, 0);
    }
    void videoFrameFollowsTheContainer() {
        QFETCH(QSizeF, player);
        QFETCH(bool, landscape);
        QFETCH(QRectF, expected);
        QCOMPARE(CloudPhonePlayerView::videoFrame(player, landscape), expected);
    }

    void rotationTurnsBothSubviews_data() {
        QTest::addColumn<QList<qreal>>("rotations");
        QTest::addColumn<QRect>("video");
        QTest::addColumn<bool>("landscape");

        QTest::newRow("90") << QList<qreal>{90} << QRect(50, -50, 300, 400) << true;
        QTest::newRow("-90") << QList<qreal>{-90} << QRect(50, -50, 300, 400) << true;
        QTest::newRow("180 stays portrait") << QList<qreal>{180} << QRect(0, 0, 400, 300) << false;
        QTest::newRow("0 after 90") << QList<qreal>{90, 0} << QRect(0, 0, 400, 300) << false;
    }
    void rotationTurnsBothSubviews() {
        QFETCH(QList<qreal>, rotations);
        QFETCH(QRect, video);
        QFETCH(bool, landscape);
        showPlayer(QSize(400, 300));
        for (qreal degrees : rotations) {
            m_player->applyRotation(degrees);
        }
        const qreal last = rotations.last();

        QCOMPARE(m_player->isLandscape(), landscape);
        QCOMPARE(m_player->currentRotationDegrees(), last);
        QCOMPARE(m_player->renderView()->geometry(), video);
        QCOMPARE(m_player->touchView()->geometry(), QRect(0, 0, 400, 300));
        QCOMPARE(m_player->touchView()->rotationDegrees(), last);
        for (QWidget* view : {static_cast<QWidget*>(m_player->renderView()),
                              static_cast<QWidget*>(m_player->touchView())}) {
            const ViewLayer* layer = ViewLayer::of(view);
            QVERIFY(layer);
            QCOMPARE(layer->transform(), turned(last));
            QCOMPARE(layer->anchorPoint(), QPointF(0.5, 0.5));
        }
        // Whatever the turn, the picture covers the player exactly.
        QCOMPARE(ViewLayer::of(m_player->renderView())->presentationFrame(),
                 QRectF(0, 0, 400, 300));
    }

    void landscapeIsAppliedAgainAfterAResize() {
        showPlayer(QSize(400, 300));
        m_player->applyRotation(90);
        QCOMPARE(m_player->renderView()->size(), QSize(300, 400));
        ConsoleCapture console;

        m_container->resize(600, 200);

        QCOMPARE(m_player->geometry(), QRect(0, 0, 600, 200));
        QTRY_VERIFY(ConsoleCapture::contains(QStringLiteral("📐✅ 旋转已重新应用")));
        QVERIFY(ConsoleCapture::contains(QStringLiteral("📐🔄 横屏模式：重新确保旋转 90.0°")));
        QCOMPARE(m_player->renderView()->geometry(), QRect(200, -200, 200, 600));
        QCOMPARE(ViewLayer::of(m_player->renderView())->presentationFrame(),
                 QRectF(0, 0, 600, 200));
        QCOMPARE(m_player->touchView()->geometry(), QRect(0, 0, 600, 200));
    }

    void pinsFollowOnlyTheLastContainer() {
        showPlayer(QSize(400, 300));
        m_player->pinToSuperview();
        QCOMPARE(m_player->pinnedSuperview(), m_container.get());
        m_container->resize(410, 310);
        QCOMPARE(m_player->geometry(), QRect(0, 0, 410, 310));

        QWidget other;
        other.resize(200, 100);
        m_player->setParent(&other);
        QCOMPARE(m_player->pinnedSuperview(), nullptr);
        m_player->pinToSuperview();
        m_player->pinToSuperview();
        QCOMPARE(m_player->geometry(), QRect(0, 0, 200, 100));
        QCOMPARE(m_player->pinnedSuperview(), &other);

        m_container->resize(500, 500);
        QCOMPARE(m_player->geometry(), QRect(0, 0, 200, 100));
        other.show();
        other.resize(220, 120);
        QCOMPARE(m_player->geometry(), QRect(0, 0, 220, 120));
        m_player->setParent(m_container.get());
    }

    void firstFrameFromAWorkerReachesTheGuiThreadOnce() {
        showPlayer(QSize(90, 160));
        QList<std::optional<QString>> reports;
        bool onGuiThread = true;
        m_player->setOnFirstVideoFrameReceived([&](const std::optional<QString>& uuid) {
            reports.append(uuid);
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        });
        const auto slot = m_player->renderView()->frameSlot();
        const quint64 stream = slot->beginStream();
        std::thread worker([slot, stream] {
            QImage frame(9, 16, QImage::Format_RGB32);
            frame.fill(Qt::gray);
            for (int i = 0; i < 5; ++i) {
                slot->publish(stream, frame);
            }
        });
        worker.join();
        QVERIFY(reports.isEmpty());  // never inline on the reporting thread

        QTRY_COMPARE(reports.size(), 1);
        QTest::qWait(20);  // and only once
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first(), std::optional<QString>(QStringLiteral("42")));
        QVERIFY(onGuiThread);
    }

    void firstFrameAfterThePlayerIsGoneIsDropped() {
        showPlayer(QSize(90, 160));
        int reports = 0;
        m_player->setOnFirstVideoFrameReceived([&](const std::optional<QString>&) { ++reports; });
        const auto slot = m_player->renderView()->frameSlot();
        const quint64 stream = slot->beginStream();
        slot->publish(stream, QImage(9, 16, QImage::Format_RGB32));
        delete m_player;
        QTest::qWait(20);  // dropped, not delayed
        QCOMPARE(reports, 0);
    }

    void rotationFromAWorkerIsAppliedOnTheGuiThread() {
        showPlayer(QSize(400, 300));
        std::thread worker([player = m_player] { player->applyRotation(90); });
        worker.join();
        QVERIFY(!m_player->isLandscape());
        QTRY_VERIFY(m_player->isLandscape());
        QCOMPARE(m_player->renderView()->size(), QSize(300, 400));
    }

    // The simulated device's picture, shown upright in both orientations, with the dot of a held
    // mouse contact exactly under the pointer. Saved for a person to look at.
    void pictureOfASimulatedStream_data() {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QSize>("container");
        QTest::addColumn<QPoint>("pointer");

        QTest::newRow("0") << 0 << QSize(360, 640) << QPoint(90, 480);
        QTest::newRow("90") << 90 << QSize(640, 360) << QPoint(480, 90);
    }
    void pictureOfASimulatedStream() {
        QFETCH(int, rotation);
        QFETCH(QSize, container);
        QFETCH(QPoint, pointer);
        QTemporaryDir logs;
        KXClient::sdkInit(logs.path());
        const auto cloud = std::make_shared<SimulatedCloud>();
        KXClient client(KXClientParamsObc(), cloud);
        const auto delegate = std::make_shared<KXDeviceDelegate>();
        KXDeviceParamsObc params;
        params.setDeviceID(QStringLiteral("88"));
        params.setIpAddress(QStringLiteral("10.0.0.8"));
        const auto device = client.createDevice(params, delegate).value();
        if (rotation == 90) {
            cloud->device(QStringLiteral("88"))
                ->inject(DeviceEvent::rotation(KXRotationObc::rotation90));
        }

        showPlayer(container);
        m_player->applyRotation(rotation);
        const auto forwarder = std::make_shared<DeviceTouchForwarder>(device);
        m_player->touchView()->setDelegate(forwarder);
        KXMediaParamsObc media;
        media.setFps(30);
        media.setCaptureSize(KXSizeObc(180, 320));
        device->startRealPlay(media, m_player->renderView());
        QVERIFY(QTest::qWaitForWindowExposed(m_container.get()));

        QTest::mousePress(m_player->touchView(), Qt::LeftButton, {}, pointer);
        const QColor dot = TestPicture::contactColor(0);
        QTRY_VERIFY(near(m_player->grab().toImage().pixelColor(pointer), dot));
        const QImage picture = m_player->grab().toImage();
        QVERIFY(picture.save(artifactPath(QStringLiteral("player-rotation-%1.png").arg(rotation))));
        QTest::mouseRelease(m_player->touchView(), Qt::LeftButton, {}, pointer);

        // Upright: the status bar along the top, the app card just below the middle.
        const int w = container.width();
        const int h = container.height();
        QVERIFY(near(picture.pixelColor(w * 15 / 100, 8), QColor(12, 22, 36)));
        QVERIFY(near(picture.pixelColor(w * 15 / 100, h * 58 / 100), QColor(40, 80, 120)));

        device->stopRealPlay();
        device->close();
        KXClient::sdkCleanup();
    }
};

QTEST_MAIN(CloudPhonePlayerViewTest)
#include "tst_CloudPhonePlayerView.moc"
