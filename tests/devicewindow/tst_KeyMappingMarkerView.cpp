#include "devicewindow/KeyMappingMarkerView.h"

#include <QDir>
#include <QTest>
#include <QWheelEvent>

namespace {

const QString kConflict = QStringLiteral("键位冲突，再按一次清空原键位");

bool isReddish(const QColor& color) {
    return color.red() > 180 && color.green() < 110 && color.blue() < 110;
}
bool isBluish(const QColor& color) {
    return color.blue() > 180 && color.red() < 80;
}

}  // namespace

class KeyMappingMarkerViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_container;
    KeyMappingMarkerView* m_marker = nullptr;
    QStringList m_calls;

    KeyMappingMarkerView* addMarker(const QString& title, KeyMappingType type, const QRect& frame,
                                    const std::map<KeyMappingDirection, QString>& titles = {}) {
        auto* marker = new KeyMappingMarkerView(title, type, titles, m_container.get());
        marker->setGeometry(frame);
        marker->show();
        return marker;
    }

private Q_SLOTS:
    void init() {
        m_container = std::make_unique<QWidget>();
        m_container->resize(480, 320);
        QPalette palette = m_container->palette();
        palette.setColor(QPalette::Window, QColor(0x3a, 0x4a, 0x5a));
        m_container->setPalette(palette);
        m_container->setAutoFillBackground(true);
        m_marker = addMarker(QStringLiteral("Q"), KeyMappingType::tap, QRect(100, 100, 60, 42));
        m_calls.clear();
        m_marker->closeAction = [this] { m_calls.append("close"); };
        m_marker->editAction = [this] { m_calls.append("edit"); };
        m_marker->showCloseAction = [this] { m_calls.append("show"); };
        m_marker->hideCloseAction = [this] { m_calls.append("hide"); };
        m_marker->dragAction = [this](KeyMappingMarkerView* marker, QMouseEvent*, bool finished) {
            QCOMPARE(marker, m_marker);
            m_calls.append(finished ? "drag-end" : "drag");
        };
        m_marker->scrollAction = [this](KeyMappingMarkerView*, QWheelEvent* event) {
            m_calls.append(QStringLiteral("scroll %1").arg(event->angleDelta().y()));
        };
        m_container->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_container.get()));
    }

    void cleanup() { m_container.reset(); }

    // Rows: where the pointer goes after the press (from the press point), and what is reported.
    void tellsClicksFromDrags_data() {
        QTest::addColumn<QList<QPoint>>("moves");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("no movement") << QList<QPoint>{} << QStringList{"show", "edit"};
        QTest::newRow("6 points drags")
            << QList<QPoint>{{6, 0}} << QStringList{"show", "drag", "drag-end"};
        QTest::newRow("5 points is a click")
            << QList<QPoint>{{5, 0}} << QStringList{"show", "edit"};
        QTest::newRow("5 points on the diagonal")
            << QList<QPoint>{{3, -4}} << QStringList{"show", "edit"};
        QTest::newRow("back within the tolerance")
            << QList<QPoint>{{0, 9}, {20, 0}, {1, 1}}
            << QStringList{"show", "drag", "drag", "drag-end"};
    }

    void tellsClicksFromDrags() {
        QFETCH(QList<QPoint>, moves);
        QFETCH(QStringList, calls);
        const QPoint start(20, 20);
        QTest::mousePress(m_marker, Qt::LeftButton, {}, start);
        for (const QPoint& move : moves) {
            QMouseEvent event(QEvent::MouseMove, QPointF(start + move),
                              m_marker->mapToGlobal(QPointF(start + move)), Qt::NoButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_marker, &event);
        }
        QTest::mouseRelease(m_marker, Qt::LeftButton, {}, start + moves.value(moves.size() - 1));
        m_calls.removeAll("hide");  // pointer crossings depend on where the window manager is
        // An entering pointer may report "show" before the press does.
        while (m_calls.size() > 1 && m_calls.at(0) == "show" && m_calls.at(1) == "show") {
            m_calls.removeFirst();
        }
        QCOMPARE(m_calls, calls);
        QCOMPARE(m_marker->didDrag(), calls.contains("drag"));
    }

    void closeButtonStraddlesTheCorner() {
        QVERIFY(!m_marker->closeButton()->isVisible());
        m_marker->setCloseButtonVisible(true);
        QVERIFY(m_marker->closeButton()->isVisible());
        QVERIFY(m_marker->hintLabel()->isVisible());
        QCOMPARE(m_marker->hintLabel()->text(), QStringLiteral("点击可编辑"));
        QCOMPARE(m_marker->closeButton()->geometry(), QRect(145, 97, 18, 18));

        // Its part outside the marker still takes the click.
        const QPoint outside(161, 98);
        QVERIFY(!m_marker->geometry().contains(outside));
        QCOMPARE(m_container->childAt(outside), m_marker->closeButton());
        QTest::mouseClick(m_container->windowHandle(), Qt::LeftButton, {}, outside);
        QVERIFY(m_calls.contains("close"));

        // The button and the hint follow the marker.
        m_marker->move(200, 150);
        QCOMPARE(m_marker->closeButton()->geometry().topLeft(), QPoint(245, 147));
        QCOMPARE(m_marker->hintLabel()->geometry().bottom() + 1, 150 + 42 + 18);
        m_marker->setCloseButtonVisible(false);
        QVERIFY(!m_marker->closeButton()->isVisible() && !m_marker->hintLabel()->isVisible());
    }

    void showsConflicts() {
        const auto outline = [this] {
            return m_marker->grab().toImage().pixelColor(2, m_marker->height() / 2);
        };
        QVERIFY(isBluish(outline()));
        m_marker->setConflictVisible(true, kConflict);
        QVERIFY(m_marker->isConflictVisible());
        QVERIFY(isReddish(outline()));
        QVERIFY(m_marker->hintLabel()->isVisible());  // shown without the close button
        QCOMPARE(m_marker->hintLabel()->text(), kConflict);
        QCOMPARE(m_marker->hintLabel()->palette().color(QPalette::WindowText),
                 QColor(0xff, 0xcc, 0x00));

        m_marker->setCloseButtonVisible(true);  // the message stays
        QCOMPARE(m_marker->hintLabel()->text(), kConflict);
        m_marker->setCloseButtonVisible(false);
        QVERIFY(m_marker->hintLabel()->isVisible());

        m_marker->setConflictVisible(false, QString());
        QVERIFY(!m_marker->hintLabel()->isVisible());
        QVERIFY(isBluish(outline()));
        m_marker->setCloseButtonVisible(true);
        QCOMPARE(m_marker->hintLabel()->palette().color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(m_marker->hintLabel()->text(), QStringLiteral("点击可编辑"));
    }

    void moveMarkersShowDirectionKeys() {
        KeyMappingMarkerView* move =
            addMarker(QString(), KeyMappingType::move, QRect(200, 50, 200, 200),
                      {{KeyMappingDirection::up, QStringLiteral("↑")}});
        QStringList texts;
        for (const auto& [direction, label] : move->moveKeyLabels()) {
            texts.append(label->text());
        }
        QCOMPARE(texts, QStringList({"↑", "A", "S", "D"}));
        QVERIFY(!move->titleLabel()->isVisible());
        QVERIFY(!move->imageView()->pixmap().isNull());
        move->setCloseButtonVisible(true);
        QCOMPARE(move->hintLabel()->text(), QStringLiteral("点击可编辑，滚轮可缩放"));
        QVERIFY(move->hintLabel()->width() >= 110);
    }

    void fitsTheTitleWithoutWrapping_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("pixelSize");
        QTest::newRow("short") << "Q" << 42 << 15;
        QTest::newRow("too long even at 9") << "鼠标左键+鼠标右键+鼠标侧键1" << 42 << 8;
    }

    void fitsTheTitleWithoutWrapping() {
        QFETCH(QString, title);
        QFETCH(int, width);
        QFETCH(int, pixelSize);
        KeyMappingMarkerView* marker =
            addMarker(title, KeyMappingType::joystick, QRect(10, 10, width, 42));
        QCOMPARE(marker->titleLabel()->font().pixelSize(), pixelSize);
        QVERIFY(!marker->titleLabel()->wordWrap());
        QCOMPARE(marker->titleLabel()->text(), title);
    }

    void reportsWheelAndHover() {
        QWheelEvent wheel(QPointF(10, 10), m_marker->mapToGlobal(QPointF(10, 10)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_marker, &wheel);
        QCOMPARE(m_calls, QStringList{"scroll 120"});

        m_calls.clear();
        QTest::mouseMove(m_container.get(), QPoint(5, 5));
        QTest::mouseMove(m_container.get(), QPoint(120, 120));
        QTRY_COMPARE(m_calls, QStringList{"show"});
        // Onto the close button, which lies over the marker: still inside.
        m_marker->setCloseButtonVisible(true);
        QTest::mouseMove(m_container.get(), QPoint(155, 105));
        // Proves that no hide comes for it.
        QTest::qWait(20);
        QCOMPARE(m_calls, QStringList{"show"});
        QTest::mouseMove(m_container.get(), QPoint(300, 300));
        QTRY_COMPARE(m_calls, QStringList({"show", "hide"}));
    }

    void goesWithItsCompanions() {
        QPointer<QPushButton> button = m_marker->closeButton();
        QPointer<QLabel> hint = m_marker->hintLabel();
        delete m_marker;
        QVERIFY(button && !button->isVisible());
        QTRY_VERIFY(!button && !hint);
    }

    // Not a check: a picture of the markers for a person to look at.
    void savesAPicture() {
        m_marker->setCloseButtonVisible(true);
        KeyMappingMarkerView* combination =
            addMarker(QStringLiteral("Shift+Q"), KeyMappingType::tap, QRect(30, 30, 80, 42));
        combination->setConflictVisible(true, kConflict);
        addMarker(QString(), KeyMappingType::move, QRect(250, 40, 200, 200));
        addMarker(QStringLiteral("鼠标左键"), KeyMappingType::joystick, QRect(40, 220, 92, 42));
        const QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS");
        if (folder.isEmpty()) {
            QSKIP("KX_TEST_ARTIFACTS is not set");
        }
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(m_container->grab().save(QDir(folder).filePath("key-markers.png")));
    }
};

QTEST_MAIN(KeyMappingMarkerViewTest)
#include "tst_KeyMappingMarkerView.moc"
