#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/WindowsPlanFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cmath>

namespace {

ImportedKeyMappingPlan read(const QByteArray& json) {
    const Result<ImportedKeyMappingPlan> plan = WindowsPlanFormat::importPlan(
        json, QStringLiteral("p.kmp"), QStringLiteral("com.x"), KeyMappingPlanSource::custom);
    return plan.valueOr({});
}

QByteArray planWith(const QByteArray& mappings) {
    return R"({"keyboardMappings":[)" + mappings + "]}";
}

// One line per mapping: type, key, second key, name, macOS code, point, bindings, radius.
QStringList summary(const ImportedKeyMappingPlan& plan) {
    QStringList lines;
    for (const ImportedKeyMapping& m : plan.mappings) {
        QString bindings;
        for (const auto& [direction, binding] : m.directionBindings) {
            bindings += rawValue(direction) + QLatin1Char('=') + binding.displayName + ' ';
        }
        lines << QStringLiteral("%1 %2+%3 %4 m%5 (%6,%7) %8r%9")
                     .arg(m.type == ImportedKeyMapping::MappingType::move ? "move" : "tap")
                     .arg(m.windowsKey)
                     .arg(m.secondWindowsKey)
                     .arg(m.displayName + m.actionDescription.value_or(QString()))
                     .arg(m.macKeyCode ? int(*m.macKeyCode) : -1)
                     .arg(m.normalizedPoint.x())
                     .arg(m.normalizedPoint.y())
                     .arg(bindings)
                     .arg(m.moveRadius.value_or(-1));
    }
    return lines;
}

}  // namespace

class PlanFormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void convertsKeyboardMappings_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("mappings");
        QTest::newRow("empty file") << QByteArray("{}") << QStringList{};
        QTest::newRow("point, origin top left")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"key":16,"secondKey":81,
                "description":"开火","point":{"x":2500,"y":9000}}})")
            << QStringList{"tap 16+81 Shift开火 m56 (0.25,0.9) r-1"};
        QTest::newRow("clamped point, unknown key, empty description")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"key":200,"description":"",
                "point":{"x":-50,"y":12000}}})")
            << QStringList{"tap 200+0 VK200 m-1 (0,1) r-1"};
        QTest::newRow("curve takes its first point")
            << planWith(R"({"class":"ClassKeyboardCurve","data":{"key":69,
                "curve":[{"x":1000,"y":2000,"timing":5},{"x":9000,"y":9000}]}})")
            << QStringList{"tap 69+0 E m14 (0.1,0.2) r-1"};
        QTest::newRow("unusable mappings are left out")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"key":81}},
                {"class":"ClassKeyboardCurve","data":{"key":81,"curve":[]}},
                {"class":"ClassKeyboardDisc","data":{"upKey":87}},
                {"class":"ClassKeyboardDisc","data":{"origin":{"x":1,"y":1}}},
                {"class":"ClassMouseTrigger","data":{"point":{"x":1,"y":1}}},
                {"class":"ClassKeyboardPoint","data":{"key":70,"point":{"x":100,"y":200}}})")
            << QStringList{"tap 70+0 F m3 (0.01,0.02) r-1"};
        QTest::newRow("disc with only a down key")
            << planWith(R"({"class":"ClassKeyboardDisc","data":{"origin":{"x":2000,"y":8000},
                "downKey":83,"radius":15000}})")
            << QStringList{"move 83+0 S m1 (0.2,0.8) down=S r1.5"};
        QTest::newRow("disc key in the order left, up, right, down")
            << planWith(R"({"class":"ClassKeyboardDisc","data":{"origin":{"x":0,"y":0},
                "rightKey":68,"upKey":38}})")
            << QStringList{"move 38+0 ↑ m126 (0,0) up=↑ right=D r-1"};
    }

    void convertsKeyboardMappings() {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, mappings);
        QCOMPARE(summary(read(json)), mappings);
    }

    void convertsMouseSettings_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<double>("sensitivityX");  // 0: no drag
        QTest::addColumn<double>("sensitivityY");
        QTest::newRow("sensitivity 6") << QByteArray(R"("mode":1,"sensitivity":6)") << 1.0 << 1.0;
        QTest::newRow("sensitivity 8") << QByteArray(R"("mode":1,"sensitivity":8)") << 1.21 << 1.21;
        QTest::newRow("explicit factors")
            << QByteArray(R"("mode":1,"sensitivity":8,"sensitivityex_x":0.5,"sensitivityex_y":2)")
            << 0.5 << 2.0;
        QTest::newRow("explicit factor 0 ignored")
            << QByteArray(R"("mode":1,"sensitivity":8,"sensitivityex_x":0.5,"sensitivityex_y":0)")
            << 1.21 << 1.21;
        QTest::newRow("mode 2 ignored") << QByteArray(R"("mode":2)") << 0.0 << 0.0;
        QTest::newRow("no mode") << QByteArray(R"("sensitivity":6)") << 0.0 << 0.0;
    }

    void convertsMouseSettings() {
        QFETCH(QByteArray, data);
        QFETCH(double, sensitivityX);
        QFETCH(double, sensitivityY);
        const ImportedKeyMappingPlan plan = read(
            planWith(R"({"class":"ClassMouseDrag","data":{"key":2,"origin":{"x":5000,"y":2500},)" +
                     data + "}}"));
        const auto& drag = plan.mouseConfiguration.drag;
        QVERIFY(plan.mappings.isEmpty());
        QCOMPARE(drag.has_value(), sensitivityX != 0);
        if (drag) {
            QCOMPARE(drag->windowsKey, 2);
            QCOMPARE(drag->mode, ImportedMouseConfiguration::DragMode::view);
            QCOMPARE(drag->normalizedPoint, QPointF(0.5, 0.25));
            QVERIFY(qFuzzyCompare(drag->sensitivityX, sensitivityX));
            QVERIFY(qFuzzyCompare(drag->sensitivityY, sensitivityY));
        }
    }

    void laterMouseTriggerWins() {
        const ImportedKeyMappingPlan plan =
            read(planWith(R"({"class":"ClassMouseTrigger","data":{"point":{"x":1000,"y":1000}}},
               {"class":"ClassMouseTrigger","data":{"point":{"x":3000,"y":4000}}},
               {"class":"ClassMouseTrigger","data":{}})"));
        QCOMPARE(plan.mouseConfiguration.triggerPoint, std::optional(QPointF(0.3, 0.4)));
        QVERIFY(read("{}").mouseConfiguration.isEmpty());
    }

    void refusesFilesThatAreNoPlans_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not JSON") << QByteArray("{");
        QTest::newRow("mappings not a list") << QByteArray(R"({"keyboardMappings":{}})");
        QTest::newRow("key with a fraction")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"key":8.5}})");
        QTest::newRow("point without y")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"point":{"x":1}}})");
    }

    void refusesFilesThatAreNoPlans() {
        QFETCH(QByteArray, json);
        QVERIFY(!WindowsPlanFormat::importPlan(json, {}, {}, KeyMappingPlanSource::custom).ok());
    }

    void exportsAndReadsBack() {
        KeyMappingItem tap(KeyMappingType::tap, QPointF(0.25, 0.5));
        tap.windowsKey = 81;
        tap.secondWindowsKey = 16;
        const KeyMappingItem unbound(KeyMappingType::joystick, QPointF(0.1, 0.1));
        KeyMappingItem move(KeyMappingType::move, QPointF(0.33335, 0.66665));
        move.moveRadius.reset();
        move.directionBindings.erase(KeyMappingDirection::left);
        ImportedMouseConfiguration mouse;
        mouse.triggerPoint = QPointF(0.9, 0.1);
        mouse.drag = ImportedMouseConfiguration::Drag{
            2, ImportedMouseConfiguration::DragMode::sight, QPointF(0.5, 0.5), 0.731, 1.5};

        const QByteArray json =
            KeyMappingConfigManager::exportPlanJSON({tap, unbound, move}, mouse).value();
        const QJsonArray mappings = QJsonDocument::fromJson(json)["keyboardMappings"].toArray();
        QCOMPARE(mappings.size(), 4);
        QCOMPARE(mappings.at(0)["ucid"].toString().size(), 32);
        QCOMPARE(mappings.at(0)["class"].toString(), QStringLiteral("ClassKeyboardPoint"));
        QCOMPARE(mappings.at(0)["data"].toObject(),
                 QJsonDocument::fromJson(R"({"key":81,"secondKey":16,"point":{"x":2500,"y":5000},
                     "type":0,"downDuration":0,"upDuration":0,"downDurationEx":0,"upDurationEx":0,
                     "description":"","moreDescription":"","hintVisible":true,
                     "hintOffset":{"x":0,"y":0},"extraData":""})")
                     .object());
        const QJsonObject disc = mappings.at(1)["data"].toObject();
        QCOMPARE(disc["radius"].toInteger(), 1200);
        QCOMPARE(disc["leftKey"].toInteger(), 0);
        QCOMPARE(disc["origin"].toObject(), (QJsonObject{{"x", 3334}, {"y", 6667}}));
        QVERIFY(!mappings.at(2).toObject().contains(QStringLiteral("ucid")));

        // Names and macOS codes come back from the key table; a missing binding was written as
        // key 0 and reads back as a key of its own.
        QCOMPARE(summary(read(json)),
                 QStringList({"tap 81+16 Q m12 (0.25,0.5) r-1",
                              "move 0+0 VK0 m-1 (0.3334,0.6667) up=W left=VK0 down=S right=D "
                              "r0.12"}));
        QCOMPARE(read(json).mouseConfiguration, mouse);
    }

    void exportsEmptyPlansAndRefusesNonFiniteNumbers() {
        QCOMPARE(QJsonDocument::fromJson(KeyMappingConfigManager::exportPlanJSON({}, {}).value()),
                 QJsonDocument::fromJson(R"({"keyboardMappings":[]})"));
        KeyMappingItem tap(KeyMappingType::tap, QPointF(NAN, 0));
        tap.windowsKey = 81;
        QVERIFY(!KeyMappingConfigManager::exportPlanJSON({tap}, {}).ok());
        ImportedMouseConfiguration mouse;
        mouse.drag = ImportedMouseConfiguration::Drag{2, {}, {}, INFINITY, 1};
        QVERIFY(!KeyMappingConfigManager::exportPlanJSON({}, mouse).ok());
    }
};

QTEST_GUILESS_MAIN(PlanFormatTest)
#include "tst_PlanFormat.moc"
