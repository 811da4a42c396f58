#include "SdkTestSupport.h"

#include "foundation/concurrency/MainQueue.h"
#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "sdk/KXDeviceAudioPlayer.h"
#include "sdk/KXDeviceVideoView.h"
#include "sdk/VideoFrameSlot.h"
#include "sdk/simulated/FrameBufferPool.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "sdk/simulated/TestPicture.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

class SdkStreamTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SdkTestBench> m_bench;
    std::unique_ptr<KXDeviceVideoView> m_view;

    static KXMediaParamsObc media(int fps, quint32 width = 90, quint32 height = 160) {
        KXMediaParamsObc params;
        params.setFps(fps);
        params.setCaptureSize(KXSizeObc(width, height));
        params.setClientSize(KXSizeObc(width, height));
        return params;
    }

private Q_SLOTS:
    void init() {
        m_bench = std::make_unique<SdkTestBench>();
        m_view = std::make_unique<KXDeviceVideoView>();
        m_view->resize(90, 160);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup() {
        m_bench.reset();
        m_view.reset();
    }

    void streamIsPaintedAndReportsItsFirstFrameOncePerStream() {
        const auto device = m_bench->connect(QStringLiteral("11"));
        std::atomic<int> firstFrames{0};
        std::atomic<int> firstFramesOnGui{0};
        m_view->setOnFirstVideoFrame([&] {
            ++firstFrames;
            firstFramesOnGui += MainQueue::isMainThread() ? 1 : 0;
        });

        QCOMPARE(device->startRealPlay(media(60), m_view.get()), 0);
        QTRY_VERIFY(m_view->paintedFrameCount() >= 3);
        QCOMPARE(m_view->currentFrame().size(), QSize(90, 160));
        QCOMPARE(m_bench->delegate->count(QStringLiteral("streamReady")), 1);
        QCOMPARE(firstFrames.load(), 1);
        QCOMPARE(m_bench->cloud->device(QStringLiteral("11"))->streamingSessionCount(), 1);

        device->stopRealPlay();
        const quint64 received = m_view->receivedFrameCount();
        QTest::qWait(100);  // stopped: no frame arrives any more
        QCOMPARE(m_view->receivedFrameCount(), received);

        QCOMPARE(device->startRealPlay(media(60), m_view.get()), 0);
        QTRY_COMPARE(firstFrames.load(), 2);
        QCOMPARE(firstFramesOnGui.load(), 0);
        QCOMPARE(m_bench->delegate->count(QStringLiteral("streamReady")), 2);
        QVERIFY(!m_bench->delegate->anyOnGuiThread());
        QCOMPARE(device->startRealPlay(media(30), nullptr), -1);
    }

    void newestFrameWinsWithOneQueuedRepaint() {
        const auto slot = m_view->frameSlot();
        QTRY_VERIFY(!m_view->testAttribute(Qt::WA_PendingUpdate));
        const quint64 requestsBefore = m_view->repaintRequestCount();
        const quint64 paintedBefore = m_view->paintedFrameCount();
        const quint64 generation = slot->beginStream();
        std::thread producer([&] {
            for (int shade = 0; shade < 50; ++shade) {
                QImage frame(90, 160, QImage::Format_RGB32);
                frame.fill(QColor(shade * 5, 0, 0));
                slot->publish(generation, frame);
            }
        });
        producer.join();
        QCOMPARE(m_view->receivedFrameCount(), quint64(50));
        QCOMPARE(m_view->repaintRequestCount(), requestsBefore + 1);
        QTRY_COMPARE(m_view->paintedFrameCount(), paintedBefore + 1);
        QCOMPARE(m_view->grab().toImage().pixelColor(45, 80), QColor(49 * 5, 0, 0));

        // A frame after the repaint queues the next one.
        QImage frame(90, 160, QImage::Format_RGB32);
        frame.fill(Qt::blue);
        slot->publish(generation, frame);
        QCOMPARE(m_view->repaintRequestCount(), requestsBefore + 2);
    }

    void framesOfAnEndedStreamAreRefused() {
        VideoFrameSlot slot;
        const QImage frame(4, 4, QImage::Format_RGB32);
        QVERIFY(!slot.publish(0, frame));
        const quint64 first = slot.beginStream();
        const quint64 second = slot.beginStream();
        QVERIFY(!slot.publish(first, frame));
        QVERIFY(slot.publish(second, frame));
        slot.endStream(first);  // an old stream's end leaves the new one running
        QVERIFY(slot.publish(second, frame));
        slot.endStream(second);
        QVERIFY(!slot.publish(second, frame));
        QCOMPARE(slot.receivedFrameCount(), quint64(2));
    }

    void contactsAreDrawnWhereTheDeviceWasTouched_data() {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QPoint>(
            "expected");  // in a 100 x 200 frame, for a contact at (0.25, 0.75)

        // Touches are normalised in the unturned frame, so the rotation does not move them.
        QTest::newRow("portrait") << 0 << QPoint(25, 150);
        QTest::newRow("quarter turn") << 1 << QPoint(25, 150);
        QTest::newRow("half turn") << 2 << QPoint(25, 150);
        QTest::newRow("three quarters") << 3 << QPoint(25, 150);
    }
    void contactsAreDrawnWhereTheDeviceWasTouched() {
        QFETCH(int, rotation);
        QFETCH(QPoint, expected);
        const KXTouchObc contact(0.25f, 0.75f, 2);
        TestPicture picture;
        picture.deviceID = QStringLiteral("12");
        picture.contacts = {contact};
        picture.rotation = static_cast<KXRotationObc>(rotation);
        const QImage frame = picture.render(QSize(100, 200));
        QCOMPARE(frame.size(), QSize(100, 200));
        QCOMPARE(TestPicture::contactPosition(contact, picture.rotation, frame.size()).toPoint(),
                 expected);
        QCOMPARE(frame.pixelColor(expected), TestPicture::contactColor(2));
    }

    void deviceDrawsTheContactsItReceived() {
        const auto device = m_bench->connect(QStringLiteral("13"));
        device->startRealPlay(media(60), m_view.get());
        device->touchBegin();
        device->touchMove({KXTouchObc(0.5f, 0.5f, 0)});
        QTRY_VERIFY(m_view->receivedFrameCount() > 0);
        QTRY_COMPARE(m_view->currentFrame().pixelColor(45, 80), TestPicture::contactColor(0));
        device->touchEnd();
        QTRY_VERIFY(m_view->currentFrame().pixelColor(45, 80) != TestPicture::contactColor(0));
    }

    void soundFollowsMute_data() {
        QTest::addColumn<bool>("muted");
        QTest::newRow("sound") << false;
        QTest::newRow("muted") << true;
    }
    void soundFollowsMute() {
        QFETCH(bool, muted);
        const auto device = m_bench->connect(QStringLiteral("14"));
        const auto player = std::make_shared<KXDeviceAudioPlayer>();
        device->setAudioDelegate(player);
        KXMediaParamsObc params = media(50);
        params.setMute(muted);
        device->startRealPlay(params, m_view.get());
        QTRY_VERIFY(m_view->receivedFrameCount() >= 5);
        device->stopRealPlay();
        QCOMPARE(player->receivedBytes() > 0, !muted);
        if (!muted) {
            QCOMPARE(player->receivedBytes() % (48000 * 4 / 50), quint64(0));
        }
    }

    // A stream draws over a picture only once no copy of it is held any more (the slot, a
    // paint in progress), and keeps at most its capacity for reuse.
    void framePoolDrawsOverReleasedPicturesOnly_data() {
        QTest::addColumn<int>("held");
        QTest::addColumn<qsizetype>("kept");
        QTest::newRow("none held") << 0 << qsizetype(1);
        QTest::newRow("the newest held") << 1 << qsizetype(2);
        QTest::newRow("more held than kept") << 5 << qsizetype(3);
    }
    void framePoolDrawsOverReleasedPicturesOnly() {
        QFETCH(int, held);
        FrameBufferPool pool(QSize(16, 8), QImage::Format_RGB32, 3);
        QList<QImage> copies;
        QSet<const uchar*> kept;
        for (int i = 0; i <= held; ++i) {
            QImage& picture = pool.next();
            picture.fill(QColor(10 * i, 0, 0));
            copies << picture;
            kept << (i < 3 ? picture.constBits() : nullptr);
        }
        for (int i = 0; i <= held; ++i) {
            QCOMPARE(copies[i].pixelColor(0, 0), QColor(10 * i, 0, 0));
        }
        QTEST(pool.size(), "kept");
        // Released, a kept picture is drawn into again.
        copies.clear();
        QVERIFY(kept.contains(pool.next().constBits()));
        QTEST(pool.size(), "kept");
    }

    void stallsAndIdlenessEndInTimeouts() {
        const auto device = m_bench->connect(QStringLiteral("15"));
        const auto simulated = m_bench->cloud->device(QStringLiteral("15"));
        simulated->setNetworkConditions(77, 0.5);
        KXMediaParamsObc params = media(20);
        params.setNoStreamTimeout(1);
        params.setNoOpTimeout(1);
        device->startRealPlay(params, m_view.get());
        QTRY_VERIFY(m_view->receivedFrameCount() > 0);
        simulated->stall(1500ms);
        QTRY_COMPARE_WITH_TIMEOUT(m_bench->delegate->count(QStringLiteral("streamTimeout")), 1,
                                  4000);
        QTRY_COMPARE_WITH_TIMEOUT(m_bench->delegate->count(QStringLiteral("noOpTimeout")), 1, 4000);
        QTRY_VERIFY(m_bench->delegate->count(QStringLiteral("netStat:77")) >= 1);
        QVERIFY(!m_bench->delegate->anyOnGuiThread());
        QCOMPARE(simulated->lastStreamParams(), std::optional(params));
    }
};

QTEST_MAIN(SdkStreamTest)
#include "tst_SdkStream.moc"
