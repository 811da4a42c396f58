#include "foundation/ConsoleOutput.h"
#include "session/DeviceKeyboardState.h"
#include "session/DeviceRealTimeOptions.h"
#include "session/SnapshotOptions.h"

#include <QTest>

#include <cmath>
#include <limits>

class SessionOptionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bitRateFollowsQuality_data() {
        QTest::addColumn<int>("raw");
        QTest::addColumn<quint32>("kbps");
        QTest::newRow("p240") << 0 << 1024u;
        QTest::newRow("p360") << 1 << 1024u;
        QTest::newRow("p480") << 2 << 2048u;
        QTest::newRow("p540") << 3 << 2048u;
        QTest::newRow("p720") << 4 << 3072u;
        QTest::newRow("p1080") << 5 << 4096u;
    }
    void bitRateFollowsQuality() {
        QFETCH(int, raw);
        QFETCH(quint32, kbps);
        const auto quality = videoQualityFromRaw(raw);
        QVERIFY(quality);
        DeviceRealTimeOptions options;
        options.videoQuality = *quality;
        QCOMPARE(options.makeMediaParams().bitrateKbps(), kbps);
    }

    void unknownRawValuesGiveNoCase() {
        QVERIFY(!videoQualityFromRaw(6));
        QVERIFY(!videoQualityFromRaw(-1));
        QVERIFY(!imageFormatFromRaw(3));
        QCOMPARE(imageFormatFromRaw(1), std::optional(ImageFormat::webP));
    }

    void mediaParameters_data() {
        QTest::addColumn<int>("operationTimeout");
        QTest::addColumn<int>("streamTimeout");
        QTest::addColumn<QVariant>("expectedNoOp");
        QTest::addColumn<QVariant>("expectedNoStream");
        QTest::newRow("zero keeps the default") << 0 << 0 << QVariant() << QVariant();
        QTest::newRow("one is sent") << 1 << 1 << QVariant(1) << QVariant(1);
        QTest::newRow("negative keeps the default") << -3 << 45 << QVariant() << QVariant(45);
    }
    void mediaParameters() {
        QFETCH(int, operationTimeout);
        QFETCH(int, streamTimeout);
        QFETCH(QVariant, expectedNoOp);
        QFETCH(QVariant, expectedNoStream);
        DeviceRealTimeOptions options;
        options.displaySize = QSizeF(1080.9, 1920.2);
        options.codecFormat = CodecFormat::H265;
        options.fps = 30;
        options.muted = true;
        options.operationTimeout = operationTimeout;
        options.streamTimeout = streamTimeout;
        const KXMediaParamsObc params = options.makeMediaParams();
        QCOMPARE(params.videoType(), 1);
        QCOMPARE(params.fps(), 30);
        QCOMPARE(params.captureSize(), KXSizeObc(1080, 1920));
        QCOMPARE(params.clientSize(), KXSizeObc(1080, 1920));
        QVERIFY(params.mute());
        const auto asVariant = [](std::optional<qint32> value) {
            return value ? QVariant(*value) : QVariant();
        };
        QCOMPARE(asVariant(params.noOpTimeout()), expectedNoOp);
        QCOMPARE(asVariant(params.noStreamTimeout()), expectedNoStream);
    }

    void sizesAreClampedIntoUnsigned32_data() {
        QTest::addColumn<qreal>("value");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("fraction dropped") << 99.99 << 99u;
        QTest::newRow("negative") << -5.0 << 0u;
        QTest::newRow("not a number") << std::numeric_limits<qreal>::quiet_NaN() << 0u;
        QTest::newRow("too large") << 1e12 << 4294967295u;
        QTest::newRow("infinite") << std::numeric_limits<qreal>::infinity() << 4294967295u;
    }
    void sizesAreClampedIntoUnsigned32() {
        QFETCH(qreal, value);
        QFETCH(quint32, expected);
        const KXSizeObc size = makeSize(QSizeF(value, 10));
        QCOMPARE(size.width(), expected);
        QCOMPARE(size.height(), 10u);
    }

    void snapshotFromImage_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expectedFormat");
        QTest::addColumn<bool>("hasData");
        QTest::newRow("webp") << 1 << QByteArray("RIFF") << int(ImageFormat::webP) << true;
        QTest::newRow("png") << 2 << QByteArray("PNG") << int(ImageFormat::png) << true;
        QTest::newRow("unknown format is jpeg")
            << 7 << QByteArray("x") << int(ImageFormat::jpeg) << true;
        QTest::newRow("no data") << 0 << QByteArray() << int(ImageFormat::jpeg) << false;
    }
    void snapshotFromImage() {
        QFETCH(int, format);
        QFETCH(QByteArray, data);
        QFETCH(int, expectedFormat);
        QFETCH(bool, hasData);
        KXImageObc image;
        image.setImageData(data);
        image.setSize(KXSizeObc(320, 640));
        image.setFormat(format);
        image.setRotation(1);
        image.setDevice_rotation(3);
        ConsoleCapture console;
        ConsoleCapture::clear();
        const SnapshotInfo info = SnapshotInfo::fromImage(image);
        QCOMPARE(ConsoleCapture::lines(), QStringList{"obj.rotation:1, deviceOrientation:3"});
        QCOMPARE(info.options.size, QSizeF(320, 640));
        QCOMPARE(info.options.quality, -1);
        QCOMPARE(int(info.options.format), expectedFormat);
        QCOMPARE(info.data.has_value(), hasData);
        QCOMPARE(info.rotation, 1);
        QCOMPARE(info.deviceOrientation, 3);
    }

    void keyboardState_data() {
        QTest::addColumn<QVariantMap>("ime");
        QTest::addColumn<bool>("imeActive");
        QTest::addColumn<bool>("show");
        QTest::addColumn<QVariant>("description");
        QTest::addColumn<QVariant>("imeIsActive");
        QTest::addColumn<QVariant>("inputType");

        const QVariant none;
        QTest::newRow("desc as JSON text")
            << QVariantMap{{"ime_active", true}, {"desc", R"({"IMEIsActive":1,"inputType":3})"}}
            << true << false << QVariant(R"({"IMEIsActive":1,"inputType":3})") << QVariant(true)
            << QVariant(qint64(3));
        QTest::newRow("desc as object")
            << QVariantMap{{"soft", 1},
                           {"desc", QVariantMap{{"IMEIsActive", false}, {"inputType", 2.9}}}}
            << false << true << none << QVariant(false) << QVariant(qint64(2));
        QTest::newRow("desc not JSON") << QVariantMap{{"soft", "yes"}, {"desc", "plain"}} << false
                                       << false << QVariant("plain") << none << none;
        QTest::newRow("empty") << QVariantMap{} << false << false << none << none << none;
        QTest::newRow("wrong kinds")
            << QVariantMap{{"ime_active", "true"},
                           {"desc", QVariantMap{{"IMEIsActive", "1"}, {"inputType", "3"}}}}
            << false << false << none << none << none;
    }
    void keyboardState() {
        QFETCH(QVariantMap, ime);
        QFETCH(bool, imeActive);
        QFETCH(bool, show);
        QFETCH(QVariant, description);
        QFETCH(QVariant, imeIsActive);
        QFETCH(QVariant, inputType);
        const DeviceKeyboardState state = DeviceKeyboardState::fromIME(ime);
        QCOMPARE(state.imeActive, imeActive);
        QCOMPARE(state.show, show);
        QCOMPARE(state.description ? QVariant(*state.description) : QVariant(), description);
        QCOMPARE(state.imeIsActive ? QVariant(*state.imeIsActive) : QVariant(), imeIsActive);
        QCOMPARE(state.inputType ? QVariant(*state.inputType) : QVariant(), inputType);
    }
};

QTEST_GUILESS_MAIN(SessionOptionsTest)
#include "tst_SessionOptions.moc"
