#include "devicewindow/CommandProcessor.h"
#include "devicewindow/WindowGeometry.h"
#include "foundation/NotificationCenter.h"

#include <QTest>

#include <cmath>
#include <map>

using AspectRatio = CommandProcessor::AspectRatio;

namespace {

// A device window's side of the command: its geometry, listening on the default centre.
struct ListeningWindow {
    int deviceID = 0;
    WindowGeometry::State state;
    int resizes = 0;
    QObject owner;

    explicit ListeningWindow(int id) : deviceID(id) {
        NotificationCenter::defaultCenter().addObserver(
            &owner, CommandProcessor::kAspectRatioCommand, [this](const Notification& notice) {
                if (WindowGeometry::applyAspectRatioCommand(state, notice.userInfo, deviceID)) {
                    ++resizes;
                }
            });
    }
};

}  // namespace

class CommandProcessorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rawValues_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ratio");  // -1: no case
        QTest::newRow("1:1") << "1:1" << static_cast<int>(AspectRatio::square);
        QTest::newRow("21:9") << "21:9" << static_cast<int>(AspectRatio::landscape_21_9);
        QTest::newRow("16:10") << "16:10" << -1;
        QTest::newRow("trailing blank") << "9:16 " << -1;
        QTest::newRow("slash") << "9/16" << -1;
        QTest::newRow("case name") << "square" << -1;
    }
    void rawValues() {
        QFETCH(QString, text);
        QFETCH(int, ratio);
        const std::optional<AspectRatio> found = CommandProcessor::aspectRatio(text);
        QCOMPARE(found ? static_cast<int>(*found) : -1, ratio);
    }

    void postCarriesADoubleAndAnInt() {
        QObject owner;
        QList<Notification> received;
        NotificationCenter::defaultCenter().addObserver(
            &owner, QStringLiteral("aspectRatioCommand"),
            [&received](const Notification& notice) { received << notice; });
        CommandProcessor::postAspectRatioCommand(AspectRatio::landscape_21_9, 0);
        QCOMPARE(received.size(), 1);
        const Notification& notice = received.first();
        QCOMPARE(notice.object, nullptr);
        QCOMPARE(notice.userInfo.size(), 2);
        const QVariant ratio = notice.userInfo.value(QStringLiteral("aspectRatio"));
        const QVariant device = notice.userInfo.value(QStringLiteral("deviceID"));
        QCOMPARE(ratio.metaType(), QMetaType::fromType<double>());
        QCOMPARE(ratio.toDouble(), 7.0 / 3.0);
        QCOMPARE(device.metaType(), QMetaType::fromType<int>());
        QCOMPARE(device.toInt(), 0);
    }

    void windowsTakeOnlyCommandsForThem() {
        ListeningWindow first(101);
        ListeningWindow second(102);
        WindowGeometry::WindowFacts window;
        window.frameSize = QSizeF(372.5, 621.1111111111111);

        CommandProcessor::postAspectRatioCommand(AspectRatio::landscape_21_9, 0);
        QCOMPARE(first.resizes, 1);
        QCOMPARE(second.resizes, 1);
        const QSizeF video = WindowGeometry::videoSizeForContent(
            *WindowGeometry::frameSizeForAspectRatio(first.state, window), window);
        QVERIFY(std::abs(video.width() - 1379.2592592592594) < 1e-3);
        QVERIFY(std::abs(video.height() - 591.1111111111111) < 1e-3);

        CommandProcessor::postAspectRatioCommand(AspectRatio::square, 102);
        QCOMPARE(first.state.currentAspectRatio, 7.0 / 3.0);
        QCOMPARE(second.state.currentAspectRatio, 1.0);

        CommandProcessor::postAspectRatioCommand(AspectRatio::portrait_3_4, 999);
        QCOMPARE(first.resizes + second.resizes, 3);
        QCOMPARE(second.state.currentAspectRatio, 1.0);
    }
};

QTEST_GUILESS_MAIN(CommandProcessorTest)
#include "tst_CommandProcessor.moc"
