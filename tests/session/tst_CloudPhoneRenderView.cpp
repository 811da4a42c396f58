#include "SessionTestSupport.h"

#include "session/CloudPhoneRenderView.h"
#include "session/ControlTimebase.h"
#include "session/SampleBufferDisplayLayer.h"

#include <QBuffer>
#include <QTest>
#include <QThread>

#include <thread>

namespace {

using Buffer = std::shared_ptr<const VideoSampleBuffer>;
using Status = SampleBufferDisplayLayer::Status;

QImage filled(const QColor& colour) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

Buffer frame(double seconds, const QColor& colour = Qt::red, bool keyFrame = true) {
    return std::make_shared<VideoSampleBuffer>(
        VideoSampleBuffer::decoded(filled(colour), MediaTime::fromSeconds(seconds, 600), keyFrame));
}

Buffer encodedFrame(double seconds, VideoCodec codec, const QColor& colour) {
    QByteArray bytes;
    QBuffer device(&bytes);
    filled(colour).save(&device, codec == VideoCodec::png ? "PNG" : "JPG", 100);
    return std::make_shared<VideoSampleBuffer>(
        VideoSampleBuffer::encoded(VideoFormatDescription(codec, QSize(16, 16)), bytes,
                                   MediaTime::fromSeconds(seconds, 600), true));
}

Buffer corruptFrame(double seconds) {
    return std::make_shared<VideoSampleBuffer>(VideoSampleBuffer::encoded(
        VideoFormatDescription(VideoCodec::jpeg, QSize(16, 16)), QByteArray("not a picture"),
        MediaTime::fromSeconds(seconds, 600), true));
}

// The one line that ends the handling of every buffer that reached the GUI thread.
bool isOutcome(const QString& line) {
    return line.startsWith(QStringLiteral("[Render] Invalid or not ready")) ||
           line.startsWith(QStringLiteral("[Render] Layer is in a failed state")) ||
           line.startsWith(QStringLiteral("[Render] layer not ready")) ||
           line.startsWith(QStringLiteral("[Render] Successfully enqueued"));
}

int outcomes() {
    const QStringList lines = ConsoleCapture::lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), isOutcome));
}

bool near(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 &&
           qAbs(a.blue() - b.blue()) <= 8;
}

}  // namespace

class CloudPhoneRenderViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleCapture> m_console;
    std::shared_ptr<double> m_now;
    std::unique_ptr<CloudPhoneRenderView> m_view;
    int m_firstFrames = 0;
    bool m_firstFramesOnGuiThread = true;

    void makeView(ControlTimebase::Clock clock) {
        m_view = std::make_unique<CloudPhoneRenderView>(std::move(clock));
        m_view->resize(64, 48);
        m_view->setOnFirstFrameRendered([this] {
            ++m_firstFrames;
            m_firstFramesOnGuiThread =
                m_firstFramesOnGuiThread && QThread::currentThread() == qApp->thread();
        });
        m_view->show();
    }

    // Hands the buffer over from a thread of its own and waits until the view dealt with it.
    void deliver(const Buffer& buffer) {
        const int before = outcomes();
        qint32 result = 1;
        std::thread([&] { result = m_view->videoSampleBuffer(buffer); }).join();
        QCOMPARE(result, 0);
        QTRY_COMPARE(outcomes(), before + 1);
    }

    QColor shown() const { return m_view->grab().toImage().pixelColor(32, 24); }
    SampleBufferDisplayLayer& layer() const { return m_view->displayLayer(); }
    std::shared_ptr<ControlTimebase> timebase() const { return layer().controlTimebase(); }

private Q_SLOTS:
    void init() {
        m_console = std::make_unique<ConsoleCapture>();
        m_now = std::make_shared<double>(100);
        m_firstFrames = 0;
        m_firstFramesOnGuiThread = true;
        makeView([now = m_now] { return *now; });
    }
    void cleanup() {
        m_view.reset();
        m_console.reset();
        ConsoleCapture::clear();
    }

    void nilBufferIsRefused() {
        QCOMPARE(m_view->videoSampleBuffer(nullptr), -1);
        QVERIFY(ConsoleCapture::contains(QStringLiteral("[Render] videoSampleBuffer is nil")));
        QTest::qWait(20);  // nothing follows later either
        QCOMPARE(outcomes(), 0);
        QVERIFY(m_view->isFirstFrame());
        QVERIFY(m_view->needSetTimeBase());
    }

    void firstFrameStartsTheTimebaseAtItsOwnTime() {
        QVERIFY(ConsoleCapture::contains(QStringLiteral("[Render] controlTimebase created")));
        QCOMPARE(timebase()->rate(), 0.0);
        deliver(frame(10));
        QCOMPARE(timebase()->seconds(), 10.0);
        QCOMPARE(timebase()->rate(), 1.0);
        QCOMPARE(m_firstFrames, 1);
        QVERIFY(m_firstFramesOnGuiThread);

        *m_now += 0.25;
        deliver(frame(10.5, Qt::red, false));
        QCOMPARE(timebase()->seconds(), 10.25);
        QCOMPARE(m_firstFrames, 1);
        QCOMPARE(layer().enqueuedFrameCount(), quint64(2));
        const QStringList lines = ConsoleCapture::lines();
        QCOMPARE(lines.count(QStringLiteral("[Render] Timebase started at PTS: 10.0")), 1);
        QVERIFY(lines.contains(
            QStringLiteral("[Render] Successfully enqueued frame with PTS: 10.0,isKeyFrame:true")));
        QVERIFY(lines.contains(QStringLiteral(
            "[Render] Successfully enqueued frame with PTS: 10.5,isKeyFrame:false")));
    }

    void unusableBuffersAreDropped_data() {
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("ready");

        QTest::newRow("invalid") << false << true;
        QTest::newRow("data not ready") << true << false;
    }
    void unusableBuffersAreDropped() {
        QFETCH(bool, valid);
        QFETCH(bool, ready);
        VideoSampleBuffer buffer = VideoSampleBuffer::decoded(filled(Qt::red), {600, 600});
        if (!valid) {
            buffer.invalidate();
        }
        buffer.setDataReady(ready);
        deliver(std::make_shared<VideoSampleBuffer>(buffer));
        QVERIFY(
            ConsoleCapture::contains(QStringLiteral("[Render] Invalid or not ready sampleBuffer")));
        QCOMPARE(layer().enqueuedFrameCount(), quint64(0));
        QVERIFY(m_view->isFirstFrame());
        QVERIFY(m_view->needSetTimeBase());
        QCOMPARE(m_firstFrames, 0);
    }

    void failedLayerDropsOneFrameAndStartsAgain() {
        deliver(frame(1));
        deliver(corruptFrame(2));
        QCOMPARE(layer().status(), Status::failed);
        QVERIFY(layer().error().has_value());

        deliver(frame(3));
        QVERIFY(ConsoleCapture::contains(
            QStringLiteral("[Render] Layer is in a failed state, attempting to reset.")));
        QCOMPARE(layer().status(), Status::unknown);
        QCOMPARE(layer().enqueuedFrameCount(), quint64(1));
        QCOMPARE(m_firstFrames, 1);

        deliver(frame(4));
        QVERIFY(ConsoleCapture::contains(QStringLiteral("[Render] Timebase started at PTS: 4.0")));
        QCOMPARE(timebase()->seconds(), 4.0);
        QCOMPARE(m_firstFrames, 2);
        QCOMPARE(layer().status(), Status::rendering);
    }

    void formatChangeMakesAFirstFrameButKeepsTheTimebase() {
        deliver(frame(1, Qt::red));
        QTRY_VERIFY(near(shown(), Qt::red));
        *m_now += 0.5;

        m_view->videoFormatDesc(VideoFormatDescription(VideoCodec::png, QSize(16, 16)));
        QVERIFY(ConsoleCapture::contains(QStringLiteral(
            "[Render] videoFormatDesc:<VideoFormatDescription codec=png dimensions=16x16>")));
        QTRY_VERIFY(m_view->isFirstFrame());
        QVERIFY(!m_view->needSetTimeBase());
        QTRY_VERIFY(near(shown(), Qt::green));

        deliver(encodedFrame(1.5, VideoCodec::png, Qt::blue));
        QCOMPARE(m_firstFrames, 2);
        QCOMPARE(
            ConsoleCapture::lines().count(QStringLiteral("[Render] Timebase started at PTS: 1.0")),
            1);
        QCOMPARE(timebase()->seconds(), 1.5);
        QTRY_VERIFY(near(shown(), Qt::blue));
    }

    void framesWaitForTheirTime_data() {
        QTest::addColumn<int>("codec");

        QTest::newRow("decoded") << static_cast<int>(VideoCodec::decoded);
        QTest::newRow("png") << static_cast<int>(VideoCodec::png);
        QTest::newRow("jpeg") << static_cast<int>(VideoCodec::jpeg);
    }
    void framesWaitForTheirTime() {
        QFETCH(int, codec);
        const auto make = [codec](double seconds, const QColor& colour) {
            const auto coding = static_cast<VideoCodec>(codec);
            return coding == VideoCodec::decoded ? frame(seconds, colour)
                                                 : encodedFrame(seconds, coding, colour);
        };
        deliver(make(0, Qt::red));
        deliver(make(1, Qt::blue));
        QTRY_VERIFY(near(shown(), Qt::red));
        QTest::qWait(30);  // the blue frame's time has not come
        QVERIFY(near(shown(), Qt::red));
        QVERIFY(layer().hasPendingFrames());

        *m_now += 1;
        QTRY_VERIFY(near(shown(), Qt::blue));
        QVERIFY(!layer().hasPendingFrames());
    }

    void fullLayerSkipsFrames() {
        deliver(frame(0));
        for (int i = 0; i < SampleBufferDisplayLayer::kMaxPendingFrames; ++i) {
            deliver(frame(10 + i));
        }
        QVERIFY(!layer().isReadyForMoreMediaData());
        deliver(frame(20, Qt::red, false));
        QVERIFY(ConsoleCapture::contains(QStringLiteral(
            "[Render] layer not ready, skip frame with PTS: 20.0,isKeyFrame:false")));
        QCOMPARE(layer().enqueuedFrameCount(),
                 quint64(SampleBufferDisplayLayer::kMaxPendingFrames + 1));
    }

    void withoutATimebaseFramesShowAtOnce() {
        m_view.reset();
        ConsoleCapture::clear();
        makeView({});
        QVERIFY(ConsoleCapture::contains(
            QStringLiteral("[Render][Error] Failed to create controlTimebase: -12753")));
        QVERIFY(!timebase());

        deliver(frame(50, Qt::red));
        deliver(frame(60, Qt::blue));
        QTRY_VERIFY(near(shown(), Qt::blue));
        QCOMPARE(m_firstFrames, 1);
        QVERIFY(!m_view->needSetTimeBase());
        for (const QString& line : ConsoleCapture::lines()) {
            QVERIFY(!line.startsWith(QStringLiteral("[Render] Timebase started")));
        }
    }

    void buffersStillQueuedWhenTheViewGoesAreDropped() {
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(m_view->videoSampleBuffer(frame(i)), 0);
        }
        m_view.reset();
        QTest::qWait(20);  // dropped, not shown later
        QCOMPARE(m_firstFrames, 0);
    }
};

QTEST_MAIN(CloudPhoneRenderViewTest)
#include "tst_CloudPhoneRenderView.moc"
