#include "DeviceWindowTestSupport.h"
#include "devicewindow/ControlButtonStrip.h"
#include "devicewindow/DeviceWindowLayout.h"
#include "devicewindow/FlexibleButton.h"
#include "devicewindow/GradientView.h"

#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QToolButton>

using Position = FlexibleButton::FlexibleImagePosition;

Q_DECLARE_METATYPE(ControlButtonPlacement)
Q_DECLARE_METATYPE(Position)

namespace {

QPixmap squareIcon() {
    QPixmap pixmap(40, 40);
    pixmap.fill(QColor(0x3a, 0x7b, 0xd5));
    return pixmap;
}

}  // namespace

class DeviceWindowViewsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void viewTreeLayout_data() {
        QTest::addColumn<QSize>("content");
        QTest::addColumn<int>("panel");
        QTest::addColumn<QRect>("viewport");
        QTest::addColumn<QRect>("right");
        QTest::addColumn<QRect>("bottom");
        QTest::addColumn<QRect>("panelRect");
        QTest::newRow("panel closed")
            << QSize(373, 621) << 0 << QRect(0, 0, 333, 591) << QRect(333, 0, 40, 591)
            << QRect(0, 591, 373, 30) << QRect(373, 0, 0, 621);
        QTest::newRow("panel open")
            << QSize(653, 621) << 280 << QRect(0, 0, 333, 591) << QRect(333, 0, 40, 591)
            << QRect(0, 591, 373, 30) << QRect(373, 0, 280, 621);
        QTest::newRow("smaller than the strips")
            << QSize(30, 20) << 0 << QRect(0, 0, 0, 0) << QRect(0, 0, 30, 0) << QRect(0, 0, 30, 20)
            << QRect(30, 0, 0, 20);
        QTest::newRow("panel wider than the window")
            << QSize(200, 300) << 280 << QRect(0, 0, 0, 270) << QRect(0, 0, 0, 270)
            << QRect(0, 270, 0, 30) << QRect(0, 0, 200, 300);
    }
    void viewTreeLayout() {
        QFETCH(QSize, content);
        QFETCH(int, panel);
        const DeviceWindowLayout layout = DeviceWindowLayout::compute(content, panel);
        QTEST(layout.mainViewportContainer, "viewport");
        QTEST(layout.rightButtonsContainer, "right");
        QTEST(layout.bottomButtonsContainer, "bottom");
        QTEST(layout.keyMappingPanel, "panelRect");
    }

    void stripRects_data() {
        QTest::addColumn<ControlButtonPlacement>("placement");
        QTest::addColumn<int>("count");
        QTest::addColumn<QSize>("container");
        QTest::addColumn<QList<QRect>>("expected");
        QTest::newRow("right, eight")
            << ControlButtonPlacement::right << 8 << QSize(40, 591)
            << QList<QRect>{QRect(0, 0, 40, 40),   QRect(0, 46, 40, 40),  QRect(0, 92, 40, 40),
                            QRect(0, 138, 40, 40), QRect(0, 184, 40, 40), QRect(0, 230, 40, 40),
                            QRect(0, 276, 40, 40), QRect(0, 322, 40, 40)};
        QTest::newRow("bottom, three share the width without gaps")
            << ControlButtonPlacement::bottom << 3 << QSize(373, 30)
            << QList<QRect>{QRect(0, 0, 124, 30), QRect(124, 0, 125, 30), QRect(249, 0, 124, 30)};
        QTest::newRow("bottom, one") << ControlButtonPlacement::bottom << 1 << QSize(200, 30)
                                     << QList<QRect>{QRect(0, 0, 200, 30)};
        QTest::newRow("none") << ControlButtonPlacement::bottom << 0 << QSize(200, 30)
                              << QList<QRect>{};
    }
    void stripRects() {
        QFETCH(ControlButtonPlacement, placement);
        QFETCH(int, count);
        QFETCH(QSize, container);
        QTEST(ControlButtonStrip::buttonRects(placement, count, container), "expected");
    }

    void stripReplacesItsContent() {
        QWidget holder;
        ControlButtonStrip strip(ControlButtonPlacement::bottom);
        strip.resize(300, 30);
        strip.show();
        auto* stray = new QLabel(QStringLiteral("stray"), &strip);
        auto* first = new QToolButton;
        auto* second = new QToolButton;
        strip.setButtons({first, second}, &holder);
        QCOMPARE(stray->parent(), &holder);
        QVERIFY(stray->isHidden());
        QCOMPARE(first->geometry(), QRect(0, 0, 150, 30));
        QCOMPARE(second->geometry(), QRect(150, 0, 150, 30));
        strip.resize(400, 30);
        QCOMPARE(second->geometry(), QRect(200, 0, 200, 30));
        strip.setButtons({second}, &holder);
        QCOMPARE(first->parent(), &holder);
        QCOMPARE(strip.buttons(), QList<QAbstractButton*>{second});
    }

    void flexibleButtonLayout_data() {
        QTest::addColumn<Position>("position");
        QTest::addColumn<bool>("hasImage");
        QTest::newRow("left, no image") << Position::left << false;
        QTest::newRow("right, no image") << Position::right << false;
        QTest::newRow("top, no image") << Position::top << false;
        QTest::newRow("bottom, no image") << Position::bottom << false;
        QTest::newRow("left, image") << Position::left << true;
        QTest::newRow("right, image") << Position::right << true;
        QTest::newRow("top, image") << Position::top << true;
        QTest::newRow("bottom, image") << Position::bottom << true;
    }
    void flexibleButtonLayout() {
        QFETCH(Position, position);
        QFETCH(bool, hasImage);
        FlexibleButton button;
        button.setText(QStringLiteral("Install app"));
        if (hasImage) {
            button.setIcon(QIcon(squareIcon()));
        }
        button.flexibleImagePosition = position;
        button.resize(220, 90);
        button.layoutContent();

        const QSize text = button.textField()->sizeHint();
        const int tw = text.width(), th = text.height();
        const int iw = hasImage ? 20 : 0, ih = hasImage ? 20 : 0;
        const bool horizontal = position == Position::left || position == Position::right;
        const QSize container =
            horizontal ? QSize(tw + iw + 8, qMax(ih, th)) : QSize(qMax(iw, tw), th + ih + 8);
        QCOMPARE(button.containerView()->size(), container);
        QCOMPARE(button.containerView()->geometry().center(), QRect(0, 0, 220, 90).center());

        const QRect image = button.customImageView()->geometry();
        const QRect title = button.textField()->geometry();
        QCOMPARE(title.size(), text);
        switch (position) {
            case Position::left:
                QCOMPARE(title.x(), iw + 8);
                QCOMPARE(image.x(), 0);
                break;
            case Position::right:
                QCOMPARE(title.x(), 0);
                QCOMPARE(image.x(), tw + 8);
                break;
            case Position::top:
                QCOMPARE(title.y(), ih + 8);
                QCOMPARE(image.y(), 0);
                break;
            case Position::bottom:
                QCOMPARE(title.y(), 0);
                QCOMPARE(image.y(), th + 8);
                break;
        }
        if (hasImage) {
            QCOMPARE(image.size(), QSize(20, 20));
        }
        const QSize hint = horizontal ? QSize(tw + iw + 40, qMax(ih, th) + 16)
                                      : QSize(qMax(iw, tw) + 32, th + ih + 24);
        QCOMPARE(button.sizeHint(), hint);
    }

    void flexibleButtonDimsItsTitleWhenDisabled() {
        FlexibleButton button;
        button.setText(QStringLiteral("OK"));
        button.resize(100, 40);
        button.layoutContent();
        const QColor enabled = button.textField()->palette().color(QPalette::WindowText);
        button.setEnabled(false);
        QCOMPARE(button.textField()->palette().color(QPalette::WindowText),
                 button.palette().color(QPalette::Disabled, QPalette::ButtonText));
        QVERIFY(button.textField()->palette().color(QPalette::WindowText) != enabled);
    }

    void flexibleButtonPicture() {
        QWidget sheet;
        sheet.resize(420, 200);
        const QList<std::pair<Position, QString>> buttons = {
            {Position::left, QStringLiteral("Left")},
            {Position::right, QStringLiteral("Right")},
            {Position::top, QStringLiteral("Top")},
            {Position::bottom, QStringLiteral("Bottom")},
        };
        int x = 10;
        for (const auto& [position, title] : buttons) {
            auto* button = new FlexibleButton(&sheet);
            button->setText(title);
            button->setIcon(QIcon(squareIcon()));
            button->flexibleImagePosition = position;
            button->setGeometry(x, 40, 95, 110);
            x += 100;
        }
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        saveArtifact(&sheet, QStringLiteral("flexible-buttons"));
    }

    void gradientAppliedTwiceStaysOne() {
        QWidget view;
        view.resize(200, 100);
        view.show();
        auto* label = new QLabel(QStringLiteral("front"), &view);
        applyGradientBackground(&view, {Qt::red, Qt::blue}, {0, 1}, {1, 0});
        GradientView* gradient = applyGradientBackground(&view, {Qt::green}, {0, 0}, {0, 1});
        QCOMPARE(view.findChildren<GradientView*>().size(), 1);
        QCOMPARE(gradient->colors, QList<QColor>{Qt::green});
        QCOMPARE(gradient->startPoint, QPointF(0, 0));
        QCOMPARE(gradient->endPoint, QPointF(0, 1));
        // Behind every other child.
        QCOMPARE(view.children().first(), gradient);
        QCOMPARE(view.children().last(), label);
        view.resize(320, 240);
        QCOMPARE(gradient->geometry(), QRect(0, 0, 320, 240));
    }

    void gradientRunsFromStartToEnd() {
        QWidget view;
        view.resize(100, 100);
        applyGradientBackground(&view, {Qt::red, Qt::blue}, {0, 1}, {1, 0});
        const QImage image = view.grab().toImage();
        const QColor bottomLeft = image.pixelColor(1, 98);
        const QColor topRight = image.pixelColor(98, 1);
        QVERIFY2(bottomLeft.red() > 200 && bottomLeft.blue() < 60, qPrintable(bottomLeft.name()));
        QVERIFY2(topRight.blue() > 200 && topRight.red() < 60, qPrintable(topRight.name()));
    }
};

QTEST_MAIN(DeviceWindowViewsTest)
#include "tst_DeviceWindowViews.moc"
