#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/WindowsKeyTable.h"

#include <QTest>

namespace {

ImportedKeyMapping tapMapping(int windowsKey, const QString& name) {
    ImportedKeyMapping mapping;
    mapping.windowsKey = windowsKey;
    mapping.displayName = name;
    mapping.macKeyCode = WindowsKeyTable::windowsKeyName(windowsKey).macKeyCode;
    mapping.normalizedPoint = QPointF(0.25, 0.75);
    return mapping;
}

ImportedKeyMappingPlan plan(const QString& fileName, int keys,
                            KeyMappingPlanSource source = KeyMappingPlanSource::packageConfigs) {
    ImportedKeyMappingPlan made;
    made.fileName = fileName;
    made.source = source;
    for (int index = 0; index < keys; ++index) {
        made.mappings.append(tapMapping('A' + index, QString(QChar('A' + index))));
    }
    return made;
}

struct Remembered {
    QString packageName;
    QString fileName;
};

}  // namespace

class KeyMappingViewModelTest : public QObject {
    Q_OBJECT

    QList<Remembered> m_remembered;

    std::unique_ptr<KeyMappingViewModel> makeModel() {
        m_remembered.clear();
        return std::make_unique<KeyMappingViewModel>(
            [this](const QString& packageName, const ImportedKeyMappingPlan& chosen) {
                m_remembered.append({packageName, chosen.fileName});
            });
    }

private Q_SLOTS:
    // Rows: what happens to a model that offers plans a.kmp and b.kmp (a.kmp applied), and the
    // status it shows then.
    void statusTexts_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("status");
        QTest::newRow("no package") << 0 << "未获取到当前游戏包名，可使用自定义方案";
        QTest::newRow("no package, error") << 1 << "未获取到当前游戏包名，可使用自定义方案：超时";
        QTest::newRow("no plan, custom page") << 2 << "暂无自定义方案，可新建并保存";
        QTest::newRow("no plan") << 3 << "未找到匹配方案：com.example.game";
        QTest::newRow("load failed") << 4 << "按键方案加载失败：磁盘已满";
        QTest::newRow("applied after a load") << 5 << "已应用 c.kmp，共 2 个按键，可选 3 个方案";
        QTest::newRow("applied by hand") << 6 << "已应用 c.kmp，共 2 个按键";
        QTest::newRow("no usable keys") << 7 << "已匹配 empty.kmp，但暂无 Mac 可用按键";
        QTest::newRow("blank plan") << 8 << "已新建空白方案，请添加按键后保存";
        QTest::newRow("renamed") << 9 << "已重命名方案";
        QTest::newRow("deleted") << 10 << "已删除自定义方案";
        QTest::newRow("saved") << 11 << "已保存自定义方案：mine.kmp";
    }

    void statusTexts() {
        QFETCH(int, step);
        QFETCH(QString, status);
        auto model = makeModel();
        model->matchingPlans = {plan("a.kmp", 1), plan("b.kmp", 1)};
        model->applyPlan(model->matchingPlans.first(), QStringLiteral("com.example.game"), 2, false,
                         false);
        const ImportedKeyMappingPlan mine = plan("mine.kmp", 1, KeyMappingPlanSource::custom);
        switch (step) {
            case 0:
                model->clearPackage(std::nullopt, std::nullopt);
                break;
            case 1:
                model->clearPackage(Error{"x", 1, "超时"}, std::nullopt);
                break;
            case 2:
                model->showNoMatchingPlans(QStringLiteral("com.brisca.custom"));
                break;
            case 3:
                model->showNoMatchingPlans(QStringLiteral("com.example.game"));
                break;
            case 4:
                model->reportPlanLoadFailure(Error{"KeyMappingConfigManager", 2, "磁盘已满"});
                break;
            case 5:
                model->applyPlan(plan("c.kmp", 2), QStringLiteral("p"), 3, false, true);
                break;
            case 6:
                model->applyPlan(plan("c.kmp", 2), QStringLiteral("p"), 0, true, true);
                break;
            case 7:
                model->applyPlan(plan("empty.kmp", 0), QStringLiteral("p"), 0, true, true);
                break;
            case 8:
                model->createBlankPlan(QStringLiteral("p"));
                break;
            case 9:
                model->renamePlan(model->matchingPlans.at(1), plan("c.kmp", 1));
                break;
            case 10:
                model->deletePlan(model->matchingPlans.at(1));
                break;
            case 11:
                model->savePlan(mine);
                break;
        }
        QCOMPARE(model->keyMappingStatusText, status);
        if (step <= 4) {
            // Losing the plans never touches the mappings.
            QCOMPARE(model->keyMappings.size(), 1);
            QCOMPARE(model->appliedKeyMappings.size(), 1);
        }
        if (step >= 2 && step <= 4) {
            QVERIFY(model->matchingPlans.isEmpty() && !model->selectedPlanIdentifier);
        }
    }

    void applyingAPlanFillsBothLayersAndRemembersOnRequest() {
        auto model = makeModel();
        ImportedKeyMappingPlan chosen = plan("c.kmp", 2);
        chosen.mouseConfiguration.triggerPoint = QPointF(0.5, 0.5);
        model->applyPlan(chosen, QStringLiteral("com.example.game"), 1, false, true);
        QCOMPARE(model->keyMappings.size(), 2);
        QCOMPARE(model->appliedKeyMappings, model->keyMappings);
        QCOMPARE(model->keyMappings.at(1).windowsKey, 66);
        QCOMPARE(model->keyMappings.at(1).keyCode, quint16(11));
        QCOMPARE(model->appliedMouseConfiguration, chosen.mouseConfiguration);
        QCOMPARE(model->selectedPlanIdentifier, QStringLiteral("packageConfigs|c.kmp"));
        QCOMPARE(model->autoLoadedPackageName, QStringLiteral("com.example.game"));
        QCOMPARE(m_remembered.size(), 1);
        QCOMPARE(m_remembered.at(0).packageName, QStringLiteral("com.example.game"));

        // Without keys or mouse settings the markers of the plan before stay.
        model->applyPlan(plan("empty.kmp", 0), std::nullopt, 0, true, true);
        QCOMPARE(model->keyMappings.size(), 2);
        QCOMPARE(model->selectedPlanFileName, QStringLiteral("empty.kmp"));
        QCOMPARE(m_remembered.size(), 1);  // no package, nothing to remember it for
    }

    void findsTheSelectedPlan() {
        auto model = makeModel();
        QVERIFY(!model->findSelectedPlan());
        model->matchingPlans = {plan("a.kmp", 1), plan("b.kmp", 1, KeyMappingPlanSource::custom)};
        model->selectedPlanIdentifier = QStringLiteral("custom|b.kmp");
        QCOMPARE(model->findSelectedPlan()->fileName, QStringLiteral("b.kmp"));
        QVERIFY(!model->planForIdentifier(QStringLiteral("packageConfigs|b.kmp")));
        QVERIFY(!model->planForIdentifier(std::nullopt));
        model->selectedPlanIdentifier = QStringLiteral("custom|gone.kmp");
        QCOMPARE(model->findSelectedPlan()->fileName, QStringLiteral("a.kmp"));
    }

    void userPlansKeepTheSelectionInStep() {
        auto model = makeModel();
        const ImportedKeyMappingPlan first = plan("mine.kmp", 1, KeyMappingPlanSource::custom);
        const ImportedKeyMappingPlan second = plan("other.kmp", 3, KeyMappingPlanSource::custom);
        model->matchingPlans = {second};
        model->savePlan(first);
        QCOMPARE(model->matchingPlans.first().fileName, QStringLiteral("mine.kmp"));
        QCOMPARE(model->selectedPlanIdentifier, QStringLiteral("custom|mine.kmp"));

        const ImportedKeyMappingPlan renamed = plan("new.kmp", 1, KeyMappingPlanSource::custom);
        model->renamePlan(first, renamed);
        QCOMPARE(model->matchingPlans.first().fileName, QStringLiteral("new.kmp"));
        QCOMPARE(model->selectedPlanFileName, QStringLiteral("new.kmp"));

        // Deleting the selected plan applies the next one without remembering it.
        model->autoLoadedPackageName = QStringLiteral("com.example.game");
        model->deletePlan(renamed);
        QCOMPARE(model->selectedPlanFileName, QStringLiteral("other.kmp"));
        QCOMPARE(model->keyMappings.size(), 3);
        QVERIFY(m_remembered.isEmpty());
        QCOMPARE(model->keyMappingStatusText, QStringLiteral("已删除自定义方案"));

        model->deletePlan(second);
        QVERIFY(model->keyMappings.isEmpty() && !model->selectedPlanIdentifier);
        QCOMPARE(model->appliedKeyMappings.size(), 3);
    }

    void savingPutsTheEditedPlanInForce() {
        auto model = makeModel();
        model->applyPlan(plan("a.kmp", 1), std::nullopt, 0, true, false);
        model->createBlankPlan(QString());
        QVERIFY(model->keyMappings.isEmpty());
        QCOMPARE(model->appliedKeyMappings.size(), 1);
        model->addMapping(KeyMappingType::tap);
        model->currentlyPressedKeys.insert(12, CapturedKey{12, 81, "Q"});
        model->savePlanCompletion();
        QCOMPARE(model->appliedKeyMappings, model->keyMappings);
        QVERIFY(model->currentlyPressedKeys.isEmpty());
    }

    void placesNewItems_data() {
        QTest::addColumn<int>("tapsBefore");
        QTest::addColumn<QPointF>("point");
        QTest::newRow("first") << 0 << QPointF(0.5, 0.5);
        QTest::newRow("sixth") << 5 << QPointF(0.5, 0.58);
        QTest::newRow("grid starts over") << 25 << QPointF(0.5, 0.5);
    }

    void placesNewItems() {
        QFETCH(int, tapsBefore);
        QFETCH(QPointF, point);
        auto model = makeModel();
        model->addMapping(KeyMappingType::move);  // a move item takes no place in the grid
        for (int index = 0; index < tapsBefore; ++index) {
            model->addMapping(KeyMappingType::tap);
        }
        QVERIFY(!model->addMapping(KeyMappingType::tap));
        const QPointF placed = model->keyMappings.last().normalizedPoint;
        QVERIFY2(qAbs(placed.x() - point.x()) < 1e-9 && qAbs(placed.y() - point.y()) < 1e-9,
                 qPrintable(QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y())));
    }

    void aSecondMoveItemReplacesTheFirst() {
        auto model = makeModel();
        model->addMapping(KeyMappingType::move);
        model->addMapping(KeyMappingType::tap);
        const QUuid tap = model->keyMappings.last().id;
        model->beginKeyCapture(tap, std::nullopt);
        QVERIFY(model->addMapping(KeyMappingType::move));
        QCOMPARE(model->keyMappings.size(), 2);
        QCOMPARE(model->keyMappings.first().id, tap);
        QVERIFY(!model->pendingKeyCapture);  // adding cancels a capture

        model->beginKeyCapture(tap, std::nullopt);
        model->removeMapping(model->keyMappings.last().id);
        QVERIFY(model->pendingKeyCapture);  // another item's capture goes on
        model->removeMapping(tap);
        QVERIFY(model->keyMappings.isEmpty() && !model->pendingKeyCapture);
    }
};

QTEST_GUILESS_MAIN(KeyMappingViewModelTest)
#include "tst_KeyMappingViewModel.moc"
