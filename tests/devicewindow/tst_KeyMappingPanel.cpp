#include "DeviceWindowTestSupport.h"
#include "KeyMappingTestSupport.h"
#include "PlayingDevices.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/KeyEditorPopup.h"
#include "devicewindow/KeyMappingAlerts.h"
#include "devicewindow/KeyMappingMarkerView.h"
#include "devicewindow/KeyMappingOverlayController.h"
#include "devicewindow/KeyMappingOverlayView.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/KeyMappingPanelView.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowGeometryController.h"
#include "devicewindow/WindowManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

namespace {

const QString kGame = QStringLiteral("com.example.game");

// Answers the panel's questions as each case scripts them.
class ScriptedAlerts : public KeyMappingAlerts {
public:
    QList<std::optional<QString>> textAnswers;
    bool confirmAnswer = true;
    QStringList asked;

    std::optional<QString> askText(QWidget*, const QString& message, const QString&,
                                   const QString& initialText) override {
        asked << message + QLatin1Char(':') + initialText;
        return textAnswers.isEmpty() ? std::nullopt : textAnswers.takeFirst();
    }
    bool confirm(QWidget*, const QString& message, const QString& informativeText,
                 const QString&) override {
        asked << message + QLatin1Char(':') + informativeText;
        return confirmAnswer;
    }
};

// The texts of a layout's widgets, top to bottom and left to right.
void collectTexts(QLayout* layout, QStringList& texts);
void collectTexts(QWidget* widget, QStringList& texts) {
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        text = button->text();
        if (text.isEmpty()) {
            for (QLabel* caption : button->findChildren<QLabel*>()) {
                text += caption->text();
            }
        }
    } else if (auto* popup = qobject_cast<QComboBox*>(widget)) {
        text = popup->currentText();
    } else if (widget->layout()) {
        collectTexts(widget->layout(), texts);
    }
    if (!text.isEmpty()) {
        texts << text;
    }
}
void collectTexts(QLayout* layout, QStringList& texts) {
    for (int index = 0; index < layout->count(); ++index) {
        QLayoutItem* item = layout->itemAt(index);
        if (item->widget()) {
            collectTexts(item->widget(), texts);
        } else if (item->layout()) {
            collectTexts(item->layout(), texts);
        }
    }
}

KeyMappingPanelController& panelOf(AspectRatioWindowController* window) {
    return window->keyMappingPanelController();
}

KeyMappingOverlayController& overlayOf(AspectRatioWindowController* window) {
    return window->keyMappingOverlayController();
}

// The key-mapping switch of the right strip, as the user clicks it.
void clickKeyMappingButton(AspectRatioWindowController* window) {
    window->controlButtonController().controlButton(ControlButtonID::keyboardMapping)->click();
}

QStringList popupItems(AspectRatioWindowController* window) {
    QStringList items;
    QComboBox* popup = panelOf(window).keyMappingPanelView()->presetPopup();
    for (int index = 0; index < popup->count(); ++index) {
        items << popup->itemText(index);
    }
    return items;
}

QString idText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

}  // namespace

class KeyMappingPanelTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;
    std::unique_ptr<LineCapture> m_lines;

    // A registered, playing device with `foreground` in front, its window active.
    static AspectRatioWindowController* openPlaying(qint64 id, const QString& foreground) {
        if (!PlayingDevices::add(id)) {
            return nullptr;
        }
        simulated(id)->setForegroundApp(foreground);
        return PlayingDevices::openActive(id);
    }

    // A window whose device the session does not know.
    AspectRatioWindowController* openUnregistered(qint64 id) {
        AspectRatioWindowController* window =
            WindowManager::shared().openWindow(id, QStringLiteral("U%1").arg(id));
        WindowActiveManager::shared().setActiveDevice(id);
        return window;
    }

    // Opens the panel, which applies the game's one-key plan, and closes it again.
    static bool appliedThroughThePanel(AspectRatioWindowController* window) {
        clickKeyMappingButton(window);
        if (!QTest::qWaitFor([window] {
                return window->keyMappingViewModel().appliedKeyMappings.size() == 1;
            })) {
            return false;
        }
        clickKeyMappingButton(window);
        return QTest::qWaitFor([window] { return !panelOf(window).isKeyMappingPanelVisible(); });
    }

    static bool openPanel(AspectRatioWindowController* window, const QString& settledStatus) {
        clickKeyMappingButton(window);
        return QTest::qWaitFor(
            [&] { return window->keyMappingViewModel().keyMappingStatusText == settledStatus; });
    }

private Q_SLOTS:
    void initTestCase() {
        m_lines = std::make_unique<LineCapture>();
        // The plan package as if unpacked earlier, so that nothing is downloaded.
        QDir(keyMappingRoot()).removeRecursively();
        const QString package = keyMappingRoot() + QStringLiteral("package_configs_1005/");
        QVERIFY(writeFile(
            package + QStringLiteral("dir_kmps.dir"),
            R"({"kmps":[{"packageNamePattern":"com.example.game","fileName":"game.kmp"}]})"));
        QVERIFY(writeFile(package + QStringLiteral("game.kmp"),
                          R"({"keyboardMappings":[{"class":"ClassKeyboardPoint",
                              "data":{"key":81,"point":{"x":5000,"y":5000}}}]})"));
        QVERIFY(m_devices.setUp());
    }

    void cleanup() {
        PlayingDevices::closeAll();
        LineCapture::clear();
    }

    void cleanupTestCase() {
        m_lines.reset();
        PlayingDevices::tearDown();
    }

    void panelWidensTheWindowAndBuildsItsContent() {
        AspectRatioWindowController* window = openUnregistered(4101);
        QToolButton* button =
            window->controlButtonController().controlButton(ControlButtonID::keyboardMapping);
        QTRY_VERIFY(window->window()->isVisible());
        const QRect closed = window->window()->geometry();
        const QSize video = window->mainView()->size();

        QVERIFY(openPanel(window, QStringLiteral("暂无自定义方案，可新建并保存")));
        const QRect open(closed.topLeft(), QSize(closed.width() + 280, closed.height()));
        QTRY_COMPARE(window->window()->geometry(), open);
        QTRY_COMPARE(window->mainView()->size(), video);
        QVERIFY(!window->geometry().hasUserResizedWindow());
        QVERIFY(button->isChecked());
        QCOMPARE(window->keyMappingPanel()->width(), 280);
        QStringList texts;
        collectTexts(panelOf(window).keyMappingPanelView()->stack(), texts);
        QCOMPARE(texts,
                 (QStringList{"按键设置", "×", "预设方案", "+ 新建方案", "将按键拖到屏幕对应位置：",
                              "普通点击", "键盘行走", "暂无自定义方案，可新建并保存",
                              "暂无按键映射", "在屏幕上显示按键", "还原", "保存"}));
        QVERIFY(!panelOf(window).keyMappingPanelView()->presetPopup()->isEnabled());

        panelOf(window).setKeyMappingPanelVisible(true);
        // Proves that the open panel does not widen the window again.
        QTest::qWait(50);
        QCOMPARE(window->window()->geometry(), open);

        // Another window's device takes input: the switch does nothing.
        WindowActiveManager::shared().setActiveDevice(4999);
        clickKeyMappingButton(window);
        QVERIFY(panelOf(window).isKeyMappingPanelVisible());
        QVERIFY(button->isChecked());

        WindowActiveManager::shared().setActiveDevice(4101);
        clickKeyMappingButton(window);
        QTRY_COMPARE(window->window()->geometry(), closed);
        QTRY_COMPARE(window->mainView()->size(), video);
        QVERIFY(!window->geometry().hasUserResizedWindow());
        QVERIFY(!button->isChecked());
        QVERIFY(!panelOf(window).keyMappingPanelView());
        QVERIFY(window->keyMappingPanel()->isHidden());
    }

    void editedItemsAreNotReplacedByMatching() {
        AspectRatioWindowController* window = openUnregistered(4102);
        KeyMappingViewModel& model = window->keyMappingViewModel();
        model.addMapping(KeyMappingType::tap);
        model.keyMappingStatusText = QStringLiteral("编辑中");
        clickKeyMappingButton(window);
        // Proves that no matching comes to replace the edited items.
        QTest::qWait(100);
        QCOMPARE(model.keyMappingStatusText, QStringLiteral("编辑中"));
        QCOMPARE(model.autoLoadedPackageName, std::nullopt);
        QVERIFY(panelOf(window).keyMappingPanelView()->emptyLabel()->isHidden());
        QCOMPARE(overlayOf(window).keyMappingOverlayContainer()->markers().size(), 1);
    }

    void displayNames_data() {
        QTest::addColumn<KeyMappingPlanSource>("source");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("name");
        const auto custom = KeyMappingPlanSource::custom;
        const auto package = KeyMappingPlanSource::packageConfigs;
        QTest::newRow("user plan named after the game") << custom << "com.example.game.kmp"
                                                        << "自定义方案";
        QTest::newRow("user plan with a name") << custom << "com.example.game_Fast.kmp"
                                               << "Fast";
        QTest::newRow("user plan of nothing but the prefix") << custom << "com.example.game_.kmp"
                                                             << "自定义方案";
        QTest::newRow("package plan keeps the prefix") << package << "com.example.game_Fast.kmp"
                                                       << "com.example.game_Fast";
        QTest::newRow("package plan trimmed") << package << "  Race Pack .kmp"
                                              << "Race Pack";
        QTest::newRow("only the last extension goes") << package << "v1.2.kmp"
                                                      << "v1.2";
    }
    void displayNames() {
        QFETCH(KeyMappingPlanSource, source);
        QFETCH(QString, fileName);
        QFETCH(QString, name);
        AspectRatioWindowController* window = openUnregistered(4103);
        window->keyMappingViewModel().autoLoadedPackageName = kGame;
        ImportedKeyMappingPlan plan;
        plan.fileName = fileName;
        plan.source = source;
        QCOMPARE(panelOf(window).keyMappingPlanDisplayName(plan), name);
    }

    void plansOfTheGameEndToEnd() {
        AspectRatioWindowController* window = openPlaying(4104, kGame);
        QVERIFY(window);
        auto alerts = std::make_shared<ScriptedAlerts>();
        panelOf(window).setKeyMappingAlerts(alerts);
        KeyMappingViewModel& model = window->keyMappingViewModel();
        clickKeyMappingButton(window);
        QTRY_COMPARE(model.selectedPlanIdentifier,
                     std::optional<QString>("packageConfigs|game.kmp"));
        QCOMPARE(popupItems(window), QStringList{"game"});
        QCOMPARE(model.appliedKeyMappings.size(), 1);
        KeyMappingPanelView* panel = panelOf(window).keyMappingPanelView();
        QVERIFY(!panel->renamePlanButton()->isEnabled());

        // Built-in plans keep their name and stay, even when their buttons would take a click.
        panel->renamePlanButton()->setEnabled(true);
        panel->deletePlanButton()->setEnabled(true);
        panel->renamePlanButton()->click();
        panel->deletePlanButton()->click();
        QVERIFY(alerts->asked.isEmpty());
        panel->renamePlanButton()->setEnabled(false);
        panel->deletePlanButton()->setEnabled(false);

        // The markers of the panel carry the touch path of the player.
        const QString line =
            LineCapture::console().filter(QStringLiteral("[KEYMAPPING] id=")).last();
        QVERIFY2(line.contains(QStringLiteral("rawTouch=(")), qPrintable(line));
        QVERIFY(line.contains(QStringLiteral("type=tap key=Q")));

        panelOf(window).keyMappingPanelView()->newPlanButton()->click();
        panelOf(window).keyMappingPanelView()->addTapTile()->click();
        panelOf(window).keyMappingPanelView()->addMoveTile()->click();
        model.keyMappings.first().normalizedPoint = QPointF(0.75, 0.3);
        model.selectedPlanFileName = QStringLiteral("Fast");
        panelOf(window).keyMappingPanelView()->saveButton()->click();
        QTRY_VERIFY(!panelOf(window).isKeyMappingPanelVisible());
        QVERIFY(QFileInfo::exists(keyMappingRoot() + "custom/com.example.game_Fast.kmp"));
        QCOMPARE(model.selectedPlanIdentifier,
                 std::optional<QString>("custom|com.example.game_Fast.kmp"));
        QCOMPARE(model.appliedKeyMappings.size(), 2);
        QCOMPARE(model.keyMappingStatusText, QStringLiteral("已保存自定义方案：Fast"));

        // Edits are in place, so reopening keeps them and shows the saved plan.
        clickKeyMappingButton(window);
        panel = panelOf(window).keyMappingPanelView();
        QCOMPARE(popupItems(window), (QStringList{"Fast（自定义）", "game"}));
        QCOMPARE(panel->presetPopup()->currentIndex(), 0);
        QVERIFY(panel->renamePlanButton()->isEnabled());
        QVERIFY(panel->deletePlanButton()->isEnabled());
        // Once the window has grown, the markers are placed again on the final video size.
        KeyMappingOverlayView* overlay = overlayOf(window).keyMappingOverlayContainer();
        const QString tapID = idText(model.keyMappings.first().id);
        QTRY_VERIFY(overlay->marker(tapID) &&
                    (QRectF(overlay->marker(tapID)->geometry()).center() -
                     QPointF(0.75 * overlay->width(), 0.3 * overlay->height()))
                            .manhattanLength() <= 1);
        QCOMPARE(overlay->size(), window->mainView()->size());
        saveArtifact(window->window(), QStringLiteral("key-mapping-panel-open"));

        alerts->textAnswers = {QString()};
        panel->renamePlanButton()->click();
        QTRY_COMPARE(model.keyMappingStatusText,
                     QStringLiteral("重命名方案失败：方案名称不能为空"));
        QCOMPARE(alerts->asked.last(), QStringLiteral("重命名方案:Fast"));

        alerts->textAnswers = {QStringLiteral("Slow")};
        panel->renamePlanButton()->click();
        QTRY_COMPARE(panel->presetPopup()->currentText(), QStringLiteral("Slow（自定义）"));
        QVERIFY(QFileInfo::exists(keyMappingRoot() + "custom/com.example.game_Slow.kmp"));

        // Picking the built-in plan applies it and disables the plan buttons.
        panel->presetPopup()->setCurrentIndex(1);
        Q_EMIT panel->presetPopup()->activated(1);
        QCOMPARE(model.selectedPlanIdentifier, std::optional<QString>("packageConfigs|game.kmp"));
        QCOMPARE(model.keyMappings.size(), 1);
        QVERIFY(!panel->deletePlanButton()->isEnabled());

        panel->presetPopup()->setCurrentIndex(0);
        Q_EMIT panel->presetPopup()->activated(0);
        alerts->confirmAnswer = false;
        panel->deletePlanButton()->click();
        QCOMPARE(alerts->asked.last(), QStringLiteral("删除方案:确定删除“Slow”吗？"));
        QVERIFY(QFileInfo::exists(keyMappingRoot() + "custom/com.example.game_Slow.kmp"));
        alerts->confirmAnswer = true;
        panel->deletePlanButton()->click();
        QTRY_COMPARE(popupItems(window), QStringList{"game"});
        QVERIFY(!QFileInfo::exists(keyMappingRoot() + "custom/com.example.game_Slow.kmp"));
    }

    void appliedMarkersWithThePanelClosed() {
        AspectRatioWindowController* window = openPlaying(4105, kGame);
        QVERIFY(window);
        QVERIFY(appliedThroughThePanel(window));

        KeyMappingOverlayView* overlay = overlayOf(window).keyMappingOverlayContainer();
        QTRY_COMPARE(overlay->markers().size(), 1);
        QVERIFY(overlay->isVisible());
        QVERIFY(!overlay->allowsMarkerInteraction());
        KeyMappingMarkerView* marker = overlay->markers().first();
        QVERIFY(!marker->isCloseButtonShown());
        QVERIFY(!marker->closeAction && !marker->editAction);

        // A click on the marker reaches the device as a touch.
        const auto device = SimulatedCloud::shared()->device(QStringLiteral("4105"));
        device->drain();
        const int before = int(device->touches().size());
        const QPoint centre = marker->mapTo(window->window(), marker->rect().center());
        QTest::mouseClick(window->window()->windowHandle(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY((device->drain(), device->touches().size() > before));

        // Saved with the check box off: the layer goes.
        clickKeyMappingButton(window);
        panelOf(window).keyMappingPanelView()->displayCheckbox()->click();
        panelOf(window).keyMappingPanelView()->saveButton()->click();
        QTRY_VERIFY(!panelOf(window).isKeyMappingPanelVisible());
        QVERIFY(!overlayOf(window).shouldShowAppliedKeyMappingOverlay());
        QVERIFY(overlay->isHidden());
        QVERIFY(overlay->markers().isEmpty());
    }

    // Markers wait for the end of the user's drag and then stand where they were on the video.
    void appliedMarkersFollowAUserResize() {
        AspectRatioWindowController* window = openPlaying(4120, kGame);
        QVERIFY(window);
        QVERIFY(appliedThroughThePanel(window));
        KeyMappingOverlayView* overlay = overlayOf(window).keyMappingOverlayContainer();
        // The plan's one key sits in the middle of the video.
        const auto centred = [window, overlay] {
            const QList<KeyMappingMarkerView*> markers = overlay->markers();
            const QPointF middle(overlay->width() / 2.0, overlay->height() / 2.0);
            return overlay->size() == window->mainView()->size() && markers.size() == 1 &&
                   (QRectF(markers.first()->geometry()).center() - middle).manhattanLength() <= 2;
        };
        QTRY_VERIFY(centred());
        const QSize video = window->mainView()->size();
        QTRY_VERIFY(!overlayOf(window).isKeyMappingOverlayRefreshPending());
        LineCapture::clear();

        const QRect frame = window->window()->frameGeometry();
        QCursor::setPos(QPoint(frame.right() - 2, frame.center().y()));
        window->window()->resize(window->window()->size() + QSize(120, 0));
        QVERIFY(window->geometry().isWindowLiveResizing());
        QTRY_VERIFY(!window->geometry().isWindowLiveResizing());
        QTRY_VERIFY(window->mainView()->height() > video.height() + 100);
        QTRY_VERIFY(centred());
        QVERIFY(!overlay->allowsMarkerInteraction());
        // However many changes the drag brought, the markers were built once, for the final size,
        // and no further build comes.
        QTRY_VERIFY(!overlayOf(window).isKeyMappingOverlayRefreshPending());
        // Proves that no late change of size schedules another build.
        QTest::qWait(100);
        const QStringList built = LineCapture::console().filter(QStringLiteral("[KEYMAPPING] id="));
        QCOMPARE(built.size(), 1);
        QVERIFY(built.first().contains(QStringLiteral("overlayBounds=%1.00x%2.00")
                                           .arg(overlay->width())
                                           .arg(overlay->height())));
    }

    void scrollResizesAMoveMarker_data() {
        QTest::addColumn<QPoint>("angleDelta");
        QTest::addColumn<int>("steps");
        QTest::addColumn<double>("radius");
        QTest::newRow("five down") << QPoint(0, -120) << 5 << 0.07;
        QTest::newRow("six down") << QPoint(0, -120) << 6 << 0.06;
        QTest::newRow("stays at the floor") << QPoint(0, -120) << 9 << 0.06;
        QTest::newRow("up stops at 0.2") << QPoint(0, 120) << 12 << 0.2;
        QTest::newRow("sideways to the right shrinks") << QPoint(120, 0) << 2 << 0.1;
        QTest::newRow("no movement") << QPoint(0, 0) << 3 << 0.12;
    }
    void scrollResizesAMoveMarker() {
        QFETCH(QPoint, angleDelta);
        QFETCH(int, steps);
        QFETCH(double, radius);
        AspectRatioWindowController* window = openUnregistered(4106);
        QVERIFY(openPanel(window, QStringLiteral("暂无自定义方案，可新建并保存")));
        panelOf(window).keyMappingPanelView()->addMoveTile()->click();
        KeyMappingItem& item = window->keyMappingViewModel().keyMappings.first();
        for (int step = 0; step < steps; ++step) {
            KeyMappingMarkerView* marker =
                overlayOf(window).keyMappingOverlayContainer()->marker(idText(item.id));
            QWheelEvent wheel(QPointF(5, 5), marker->mapToGlobal(QPointF(5, 5)), QPoint(),
                              angleDelta, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(marker, &wheel);
        }
        QVERIFY(
            qFuzzyCompare(item.moveRadius.value_or(KeyMappingItem::kDefaultMoveRadius), radius));
    }

    void dragMovesAndClamps_data() {
        QTest::addColumn<QPointF>("fraction");  // of the layer's size
        QTest::addColumn<QPointF>("normalized");
        QTest::newRow("inside") << QPointF(0.25, 0.75) << QPointF(0.25, 0.75);
        QTest::newRow("past the bottom-left") << QPointF(-0.5, 1.4) << QPointF(0, 1);
        QTest::newRow("past the top-right") << QPointF(1.2, -0.1) << QPointF(1, 0);
    }
    void dragMovesAndClamps() {
        QFETCH(QPointF, fraction);
        QFETCH(QPointF, normalized);
        AspectRatioWindowController* window = openUnregistered(4107);
        QVERIFY(openPanel(window, QStringLiteral("暂无自定义方案，可新建并保存")));
        panelOf(window).keyMappingPanelView()->addTapTile()->click();
        KeyMappingOverlayView* overlay = overlayOf(window).keyMappingOverlayContainer();
        const QUuid id = window->keyMappingViewModel().keyMappings.first().id;
        KeyMappingMarkerView* marker = overlay->marker(idText(id));
        const QPointF target(fraction.x() * overlay->width(), fraction.y() * overlay->height());
        const QPointF start = marker->rect().center();
        QTest::mousePress(marker, Qt::LeftButton, {}, start.toPoint());
        QMouseEvent move(QEvent::MouseMove, marker->mapFrom(overlay, target), QPointF(),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(marker, &move);
        // Centred on the pointer, to the whole point.
        QVERIFY((QRectF(marker->geometry()).center() - target).manhattanLength() <= 1);
        QTest::mouseRelease(marker, Qt::LeftButton, {}, marker->mapFrom(overlay, target).toPoint());
        const QPointF stored = window->keyMappingViewModel().keyMappings.first().normalizedPoint;
        QVERIFY((stored - normalized).manhattanLength() < 0.01);  // the release is whole points
        QVERIFY(stored.x() >= 0 && stored.x() <= 1 && stored.y() >= 0 && stored.y() <= 1);
        QVERIFY(!overlayOf(window).keyMappingEditPopover());
    }

    void closeButtonFollowsTheHover() {
        AspectRatioWindowController* window = openUnregistered(4108);
        overlayOf(window).setHideMarkerCloseDelay(150);
        QVERIFY(openPanel(window, QStringLiteral("暂无自定义方案，可新建并保存")));
        panelOf(window).keyMappingPanelView()->addTapTile()->click();
        KeyMappingViewModel& model = window->keyMappingViewModel();
        const QString id = idText(model.keyMappings.first().id);
        KeyMappingOverlayView* overlay = overlayOf(window).keyMappingOverlayContainer();

        overlay->marker(id)->showCloseAction();
        QVERIFY(overlay->marker(id)->isCloseButtonShown());
        QTRY_VERIFY(!overlay->marker(id)->isCloseButtonShown());

        overlay->marker(id)->showCloseAction();
        overlay->marker(id)->hideCloseAction();
        QVERIFY(!overlay->marker(id)->isCloseButtonShown());
        QVERIFY(!overlayOf(window).isHideMarkerCloseScheduled());

        // A click on a tap marker waits for its key, without the editor, and keeps the button.
        QTest::mouseClick(overlay->marker(id), Qt::LeftButton);
        QVERIFY(model.pendingKeyCapture.has_value());
        QCOMPARE(model.pendingKeyCapture->mappingID, model.keyMappings.first().id);
        QVERIFY(!overlayOf(window).keyMappingEditPopover());
        overlay->marker(id)->showCloseAction();
        // Proves that the button outlives the hide delay while its key is awaited.
        QTest::qWait(400);
        QVERIFY(overlay->marker(id)->isCloseButtonShown());

        overlay->marker(id)->closeAction();
        QVERIFY(model.keyMappings.isEmpty());
        QVERIFY(!model.pendingKeyCapture);
    }

    void moveMarkerOpensTheEditor() {
        AspectRatioWindowController* window = openUnregistered(4109);
        QVERIFY(openPanel(window, QStringLiteral("暂无自定义方案，可新建并保存")));
        panelOf(window).keyMappingPanelView()->addMoveTile()->click();
        KeyMappingViewModel& model = window->keyMappingViewModel();
        KeyMappingItem& item = model.keyMappings.first();
        item.directionBindings.erase(KeyMappingDirection::up);
        item.directionBindings.erase(KeyMappingDirection::right);
        panelOf(window).updateKeyMappingStatus();
        KeyMappingMarkerView* marker =
            overlayOf(window).keyMappingOverlayContainer()->marker(idText(item.id));
        QTest::mouseClick(marker, Qt::LeftButton);
        KeyEditorPopup* editor = overlayOf(window).keyMappingEditPopover();
        QVERIFY(editor);
        QCOMPARE(editor->size(), QSize(170, 178));
        QStringList titles;
        for (QPushButton* button : editor->keyButtons()) {
            titles << button->text();
        }
        QCOMPARE(titles, (QStringList{"上", "A", "右", "S"}));
        saveArtifact(editor, QStringLiteral("key-mapping-move-editor"));

        QPushButton* left = editor->keyButtons()[1];
        left->click();
        QCOMPARE(model.pendingKeyCapture->direction, KeyMappingDirection::left);
        QCOMPARE(left->text(), QStringLiteral("按下键盘按键"));
        QTRY_VERIFY(!overlayOf(window).keyMappingEditPopover());
    }

    void restoreWithoutAPlanKeepsTheAppliedItems() {
        AspectRatioWindowController* window = openUnregistered(4110);
        QVERIFY(openPanel(window, QStringLiteral("暂无自定义方案，可新建并保存")));
        KeyMappingViewModel& model = window->keyMappingViewModel();
        panelOf(window).keyMappingPanelView()->addTapTile()->click();
        model.appliedKeyMappings = model.keyMappings;
        model.mouseConfiguration.triggerPoint = QPointF(0.5, 0.5);
        model.appliedMouseConfiguration.triggerPoint = QPointF(0.5, 0.5);
        panelOf(window).keyMappingPanelView()->restoreButton()->click();
        QVERIFY(model.keyMappings.isEmpty());
        QVERIFY(model.mouseConfiguration.isEmpty());
        QVERIFY(model.appliedMouseConfiguration.isEmpty());
        QCOMPARE(model.appliedKeyMappings.size(), 1);
        QVERIFY(overlayOf(window).keyMappingOverlayContainer()->markers().isEmpty());
        QVERIFY(!panelOf(window).keyMappingPanelView()->emptyLabel()->isHidden());
    }
};

QTEST_MAIN(KeyMappingPanelTest)
#include "tst_KeyMappingPanel.moc"
