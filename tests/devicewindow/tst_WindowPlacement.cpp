#include "devicewindow/WindowPlacement.h"
#include "foundation/settings/SettingsManager.h"

#include <QTemporaryDir>
#include <QTest>

using namespace WindowPlacement;

namespace {

const QRectF kScreen(0, 25, 1920, 1055);  // availableGeometry under a top panel

}  // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placementChoice_data() {
        QTest::addColumn<QVariant>("setting");  // invalid: absent
        QTest::addColumn<bool>("hasAnchor");
        QTest::addColumn<bool>("cascade");
        QTest::newRow("off") << QVariant("off") << true << true;
        QTest::newRow("OFF") << QVariant("OFF") << true << true;
        QTest::newRow("off without a visible window") << QVariant("off") << false << false;
        QTest::newRow("absent") << QVariant() << true << false;
        QTest::newRow("on") << QVariant("on") << true << false;
        QTest::newRow("off with a blank") << QVariant(" off") << true << false;
    }
    void placementChoice() {
        QFETCH(QVariant, setting);
        QFETCH(bool, hasAnchor);
        QFETCH(bool, cascade);
        // The stored text as the window manager reads it.
        const QTemporaryDir folder;
        SettingsManager settings(folder.filePath(QStringLiteral("settings.ini")));
        settings.set(setting.isValid() ? std::optional(setting.toString()) : std::nullopt,
                     SettingKey::cloudphonePositionCentre);
        QCOMPARE(newWindowPlacement(settings.boolean(TypedSettings::centreNewWindows), hasAnchor) ==
                     Placement::cascade,
                 cascade);
    }

    void cascade_data() {
        QTest::addColumn<QRectF>("anchor");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QPointF>("origin");
        QTest::newRow("same height") << QRectF(100, 100, 372.5, 621.1111111111111)
                                     << QSizeF(372.5, 621.1111111111111) << QPointF(136, 156);
        QTest::newRow("shorter window keeps the bottom edge 56 lower")
            << QRectF(100, 100, 372.5, 621.1111111111111) << QSizeF(631.1111111111111, 362.5)
            << QPointF(136, 414.6111111111111);
        QTest::newRow("taller window stays below the top panel")
            << QRectF(100, 25, 631.1111111111111, 362.5) << QSizeF(372.5, 621.1111111111111)
            << QPointF(136, 25);
        QTest::newRow("moved back inside at the bottom right")
            << QRectF(1600, 500, 372.5, 621.1111111111111) << QSizeF(372.5, 621.1111111111111)
            << QPointF(1547.5, 458.8888888888889);
    }
    void cascade() {
        QFETCH(QRectF, anchor);
        QFETCH(QSizeF, size);
        QFETCH(QPointF, origin);
        const QRectF frame = cascadedFrame(anchor, size, kScreen);
        QCOMPARE(frame.topLeft(), origin);
        QCOMPARE(frame.size(), size);
    }

    void cascadeWithoutScreenIsUnconstrained() {
        const QRectF frame = cascadedFrame(QRectF(1900, 1000, 300, 300), {300, 300}, std::nullopt);
        QCOMPARE(frame, QRectF(1936, 1056, 300, 300));
    }

    void centring_data() {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QPointF>("origin");
        QTest::newRow("primary") << kScreen << QSizeF(372.5, 621.1111111111111)
                                 << QPointF(773.75, 241.94444444444446);
        QTest::newRow("larger than the screen keeps the title bar on it")
            << QRectF(0, 25, 800, 575) << QSizeF(1000, 700) << QPointF(0, 25);
    }
    void centring() {
        QFETCH(QRectF, area);
        QFETCH(QSizeF, size);
        QFETCH(QPointF, origin);
        const QRectF frame = centredFrame(size, area);
        QCOMPARE(frame.topLeft(), origin);
        QCOMPARE(frame.size(), size);
    }

    void tiling_data() {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QList<QSizeF>>("sizes");
        QTest::addColumn<QList<QPointF>>("origins");
        QTest::newRow("three 400 wide on 1000")
            << QRectF(0, 0, 1000, 800) << QList<QSizeF>{{400, 300}, {400, 500}, {400, 200}}
            << QList<QPointF>{{0, 0}, {400, 0}, {0, 500}};
        QTest::newRow("offset area, rows run past its bottom")
            << QRectF(1920, 25, 800, 500)
            << QList<QSizeF>{{400, 400}, {400, 400}, {400, 400}, {400, 400}, {400, 400}}
            << QList<QPointF>{{1920, 25}, {2320, 25}, {1920, 425}, {2320, 425}, {1920, 825}};
        QTest::newRow("wider than the area starts each row")
            << QRectF(0, 0, 1000, 800) << QList<QSizeF>{{1200, 300}, {1200, 200}, {300, 100}}
            << QList<QPointF>{{0, 0}, {0, 300}, {0, 500}};
        QTest::newRow("none") << QRectF(0, 0, 1000, 800) << QList<QSizeF>{} << QList<QPointF>{};
    }
    void tiling() {
        QFETCH(QRectF, area);
        QFETCH(QList<QSizeF>, sizes);
        QFETCH(QList<QPointF>, origins);
        QCOMPARE(tiledOrigins(sizes, area), origins);
    }
};

QTEST_GUILESS_MAIN(WindowPlacementTest)
#include "tst_WindowPlacement.moc"
