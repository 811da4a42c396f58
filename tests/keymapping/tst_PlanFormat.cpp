#include "keymapping/KMPDirectory.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/WindowsPlanFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

ImportedKeyMappingPlan read(const QByteArray& json) {
    Result<ImportedKeyMappingPlan> plan = WindowsPlanFormat::importPlan(
        json, QStringLiteral("p.kmp"), QStringLiteral("com.x"), KeyMappingPlanSource::custom);
    if (!plan) {
        qWarning() << plan.error().message;
        return {};
    }
    return plan.value();
}

QByteArray planWith(const QByteArray& mappings) {
    return R"({"keyboardMappings":[)" + mappings + "]}";
}

QJsonArray exported(const QList<KeyMappingItem>& items, const ImportedMouseConfiguration& mouse) {
    const Result<QByteArray> json = KeyMappingConfigManager::exportPlanJSON(items, mouse);
    return json ? QJsonDocument::fromJson(json.value())
                      .object()
                      .value(QStringLiteral("keyboardMappings"))
                      .toArray()
                : QJsonArray();
}

}  // namespace

class PlanFormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each row: one file; the summary lists every mapping read as type:key@x,y.
    void convertsKeyboardMappings_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("summary");
        QTest::newRow("empty file") << QByteArray("{}") << QStringList{};
        QTest::newRow("point")
            << planWith(
                   R"({"class":"ClassKeyboardPoint","data":{"key":81,"point":{"x":2500,"y":5000}}})")
            << QStringList{"tap:81@0.25,0.5"};
        QTest::newRow("point from the top left, y downward")
            << planWith(
                   R"({"class":"ClassKeyboardPoint","data":{"key":81,"point":{"x":0,"y":9000}}})")
            << QStringList{"tap:81@0,0.9"};
        QTest::newRow("clamped point")
            << planWith(
                   R"({"class":"ClassKeyboardPoint","data":{"key":81,"point":{"x":-50,"y":12000}}})")
            << QStringList{"tap:81@0,1"};
        QTest::newRow("curve takes its first point")
            << planWith(
                   R"({"class":"ClassKeyboardCurve","data":{"key":69,"curve":[{"x":1000,"y":2000,"timing":5},{"x":9000,"y":9000}]}})")
            << QStringList{"tap:69@0.1,0.2"};
        QTest::newRow("unusable mappings are left out")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"key":81}},
                           {"class":"ClassKeyboardCurve","data":{"key":81,"curve":[]}},
                           {"class":"ClassKeyboardDisc","data":{"upKey":87}},
                           {"class":"ClassKeyboardDisc","data":{"origin":{"x":1,"y":1}}},
                           {"class":"ClassMouseTrigger","data":{"point":{"x":1,"y":1}}},
                           {"class":"ClassUnknown","data":{"key":81,"point":{"x":1,"y":1}}},
                           {"class":"ClassKeyboardPoint","data":{"key":70,"point":{"x":100,"y":200}}})")
            << QStringList{"tap:70@0.01,0.02"};
        QTest::newRow("disc with only a down key")
            << planWith(
                   R"({"class":"ClassKeyboardDisc","data":{"origin":{"x":2000,"y":8000},"downKey":83,"radius":15000}})")
            << QStringList{"move:83@0.2,0.8"};
    }

    void convertsKeyboardMappings() {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, summary);
        QStringList found;
        for (const ImportedKeyMapping& mapping : read(json).mappings) {
            found << QStringLiteral("%1:%2@%3,%4")
                         .arg(mapping.type == ImportedKeyMapping::MappingType::move
                                  ? QStringLiteral("move")
                                  : QStringLiteral("tap"))
                         .arg(mapping.windowsKey)
                         .arg(mapping.normalizedPoint.x())
                         .arg(mapping.normalizedPoint.y());
        }
        QCOMPARE(found, summary);
    }

    void fillsMappingDetailsFromTheKeyTable() {
        const ImportedKeyMappingPlan plan = read(planWith(
            R"({"class":"ClassKeyboardPoint","data":{"key":16,"secondKey":81,"description":"开火","point":{"x":1,"y":1}}},
               {"class":"ClassKeyboardPoint","data":{"key":200,"description":"","point":{"x":1,"y":1}}},
               {"class":"ClassKeyboardDisc","data":{"origin":{"x":0,"y":0},"rightKey":68,"upKey":87}})"));
        QCOMPARE(plan.fileName, QStringLiteral("p.kmp"));
        QCOMPARE(plan.packagePattern, QStringLiteral("com.x"));
        QCOMPARE(plan.source, KeyMappingPlanSource::custom);
        QCOMPARE(plan.mappings.size(), 3);
        const ImportedKeyMapping& shift = plan.mappings.at(0);
        QCOMPARE(shift.displayName, QStringLiteral("Shift"));
        QCOMPARE(shift.macKeyCode, std::optional<quint16>(56));
        QCOMPARE(shift.secondWindowsKey, 81);
        QCOMPARE(shift.actionDescription, std::optional<QString>(QStringLiteral("开火")));
        const ImportedKeyMapping& unknown = plan.mappings.at(1);
        QCOMPARE(unknown.displayName, QStringLiteral("VK200"));
        QVERIFY(!unknown.macKeyCode && !unknown.actionDescription);
        const ImportedKeyMapping& disc = plan.mappings.at(2);
        QCOMPARE(disc.windowsKey, 87);  // up comes before right
        QCOMPARE(disc.directionBindings.size(), size_t(2));
        QCOMPARE(disc.directionBindings.at(KeyMappingDirection::right),
                 (KeyMappingKeyBinding{2, 68, {}, {}, QStringLiteral("D")}));
        QVERIFY(!disc.moveRadius);
    }

    void convertsMouseSettings_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("hasDrag");
        QTest::addColumn<double>("sensitivityX");
        QTest::addColumn<double>("sensitivityY");
        const QByteArray drag =
            R"({"class":"ClassMouseDrag","data":{"key":2,"origin":{"x":5000,"y":5000},"mode":1)";
        QTest::newRow("sensitivity 6")
            << planWith(drag + R"(,"sensitivity":6}})") << true << 1.0 << 1.0;
        QTest::newRow("no sensitivity") << planWith(drag + "}}") << true << 1.0 << 1.0;
        QTest::newRow("sensitivity 8")
            << planWith(drag + R"(,"sensitivity":8}})") << true << 1.21 << 1.21;
        QTest::newRow("own vertical") << planWith(drag + R"(,"sensitivity":8,"sensitivity_y":5}})")
                                      << true << 1.21 << 1 / 1.1;
        QTest::newRow("explicit factors")
            << planWith(drag + R"(,"sensitivity":8,"sensitivityex_x":0.5,"sensitivityex_y":2}})")
            << true << 0.5 << 2.0;
        QTest::newRow("explicit factor 0 is ignored")
            << planWith(drag + R"(,"sensitivity":8,"sensitivityex_x":0.5,"sensitivityex_y":0}})")
            << true << 1.21 << 1.21;
        QTest::newRow("mode 2 is ignored")
            << planWith(
                   R"({"class":"ClassMouseDrag","data":{"key":2,"origin":{"x":1,"y":1},"mode":2}})")
            << false << 0.0 << 0.0;
        QTest::newRow("no mode")
            << planWith(R"({"class":"ClassMouseDrag","data":{"key":2,"origin":{"x":1,"y":1}}})")
            << false << 0.0 << 0.0;
    }

    void convertsMouseSettings() {
        QFETCH(QByteArray, json);
        QFETCH(bool, hasDrag);
        QFETCH(double, sensitivityX);
        QFETCH(double, sensitivityY);
        const ImportedMouseConfiguration mouse = read(json).mouseConfiguration;
        QCOMPARE(mouse.drag.has_value(), hasDrag);
        if (hasDrag) {
            QCOMPARE(mouse.drag->windowsKey, 2);
            QCOMPARE(mouse.drag->mode, ImportedMouseConfiguration::DragMode::view);
            QCOMPARE(mouse.drag->normalizedPoint, QPointF(0.5, 0.5));
            QVERIFY(qFuzzyCompare(mouse.drag->sensitivityX, sensitivityX));
            QVERIFY(qFuzzyCompare(mouse.drag->sensitivityY, sensitivityY));
        }
        QVERIFY(read(json).mappings.isEmpty());
    }

    void laterMouseMappingsWin() {
        const ImportedKeyMappingPlan plan = read(planWith(
            R"({"class":"ClassMouseTrigger","data":{"point":{"x":1000,"y":1000}}},
               {"class":"ClassMouseTrigger","data":{"point":{"x":3000,"y":4000}}},
               {"class":"ClassMouseTrigger","data":{}})"));
        QCOMPARE(plan.mouseConfiguration.triggerPoint, std::optional(QPointF(0.3, 0.4)));
        QVERIFY(read("{}").mouseConfiguration.isEmpty());
    }

    void refusesFilesThatAreNoPlans_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not JSON") << QByteArray("{");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("mappings not a list") << QByteArray(R"({"keyboardMappings":{}})");
        QTest::newRow("mapping without class") << planWith(R"({"data":{}})");
        QTest::newRow("key with a fraction")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"key":8.5}})");
        QTest::newRow("point without y")
            << planWith(R"({"class":"ClassKeyboardPoint","data":{"point":{"x":1}}})");
    }

    void refusesFilesThatAreNoPlans() {
        QFETCH(QByteArray, json);
        QVERIFY(!WindowsPlanFormat::importPlan(json, {}, {}, KeyMappingPlanSource::custom).ok());
    }

    void exportsTheEditorsItems() {
        KeyMappingItem tap(KeyMappingType::tap, QPointF(0.25, 0.5));
        tap.windowsKey = 81;
        tap.secondWindowsKey = 16;
        KeyMappingItem unbound(KeyMappingType::joystick, QPointF(0.1, 0.1));
        KeyMappingItem move(KeyMappingType::move, QPointF(0.33335, 0.66665));
        move.moveRadius.reset();
        move.directionBindings.erase(KeyMappingDirection::left);
        ImportedMouseConfiguration mouse;
        mouse.triggerPoint = QPointF(0.9, 0.1);
        mouse.drag = ImportedMouseConfiguration::Drag{
            2, ImportedMouseConfiguration::DragMode::sight, QPointF(0.5, 0.5), 0.731, 1.5};

        const QJsonArray mappings = exported({tap, unbound, move}, mouse);
        QCOMPARE(mappings.size(), 4);
        const QJsonObject point = mappings.at(0).toObject();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$"))
                    .match(point.value(QStringLiteral("ucid")).toString())
                    .hasMatch());
        QCOMPARE(point.value(QStringLiteral("class")).toString(),
                 QStringLiteral("ClassKeyboardPoint"));
        QCOMPARE(point.value(QStringLiteral("data")).toObject(),
                 QJsonDocument::fromJson(R"({"key":81,"secondKey":16,"point":{"x":2500,"y":5000},
                     "type":0,"downDuration":0,"upDuration":0,"downDurationEx":0,"upDurationEx":0,
                     "description":"","moreDescription":"","hintVisible":true,
                     "hintOffset":{"x":0,"y":0},"extraData":""})")
                     .object());
        const QJsonObject disc = mappings.at(1).toObject().value(QStringLiteral("data")).toObject();
        QCOMPARE(disc.value(QStringLiteral("radius")).toInteger(), 1200);
        QCOMPARE(disc.value(QStringLiteral("leftKey")).toInteger(), 0);
        QCOMPARE(disc.value(QStringLiteral("upKey")).toInteger(), 87);
        QCOMPARE(disc.value(QStringLiteral("origin")).toObject(),
                 (QJsonObject{{"x", 3334}, {"y", 6667}}));  // halves away from zero
        QVERIFY(!mappings.at(2).toObject().contains(QStringLiteral("ucid")));
        QCOMPARE(mappings.at(3)
                     .toObject()
                     .value(QStringLiteral("data"))
                     .toObject()
                     .value(QStringLiteral("mode")),
                 QJsonValue(0));

        // Read back: the same mappings, names and macOS codes restored from the key table.
        const Result<QByteArray> json = KeyMappingConfigManager::exportPlanJSON({tap, move}, mouse);
        const ImportedKeyMappingPlan back = read(json.value());
        QCOMPARE(back.mappings.size(), 2);
        QCOMPARE(back.mappings.at(0).normalizedPoint, QPointF(0.25, 0.5));
        QCOMPARE(back.mappings.at(0).secondWindowsKey, 16);
        QCOMPARE(back.mappings.at(0).macKeyCode, std::optional<quint16>(12));
        QCOMPARE(back.mappings.at(1).moveRadius, std::optional(0.12));
        // A missing binding is written as key 0, which reads back as a key of its own.
        QCOMPARE(back.mappings.at(1).directionBindings.at(KeyMappingDirection::left).windowsKey,
                 std::optional(0));
        QCOMPARE(back.mappings.at(1).directionBindings.at(KeyMappingDirection::up).windowsKey,
                 std::optional(87));
        QCOMPARE(back.mouseConfiguration, mouse);
    }

    void exportsEmptyPlansAndRefusesNonFiniteNumbers() {
        QCOMPARE(QJsonDocument::fromJson(KeyMappingConfigManager::exportPlanJSON({}, {}).value())
                     .object(),
                 QJsonDocument::fromJson(R"({"keyboardMappings":[]})").object());
        KeyMappingItem tap(KeyMappingType::tap,
                           QPointF(std::numeric_limits<double>::quiet_NaN(), 0));
        tap.windowsKey = 81;
        QVERIFY(!KeyMappingConfigManager::exportPlanJSON({tap}, {}).ok());
        ImportedMouseConfiguration mouse;
        mouse.drag = ImportedMouseConfiguration::Drag{2, {}, {}, INFINITY, 1};
        QVERIFY(!KeyMappingConfigManager::exportPlanJSON({}, mouse).ok());
    }

    void readsThePackageIndex_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("entries");  // pattern|file|priority, or "error"
        QTest::newRow("both patterns")
            << QByteArray(
                   R"({"kmps":[{"packageNamePattern":"com.a","packageNamePatternWj":"x","fileName":"a.kmp","priority":3,
                 "resolutionType":1,"resolutionPattern":{"width":1920,"height":1080},"extra":true}]})")
            << QStringList{"com.a|a.kmp|3"};
        QTest::newRow("second pattern")
            << QByteArray(R"({"kmps":[{"packageNamePatternWj":"com.b","fileName":"b.kmp"}]})")
            << QStringList{"com.b|b.kmp|0"};
        QTest::newRow("no pattern")
            << QByteArray(R"({"kmps":[{"fileName":"c.kmp"}]})") << QStringList{"|c.kmp|0"};
        QTest::newRow("no file name")
            << QByteArray(R"({"kmps":[{"packageNamePattern":"x"}]})") << QStringList{"error"};
        QTest::newRow("no list") << QByteArray(R"({})") << QStringList{"error"};
        QTest::newRow("priority as text")
            << QByteArray(R"({"kmps":[{"fileName":"a","priority":"1"}]})") << QStringList{"error"};
        QTest::newRow("resolution without height")
            << QByteArray(R"({"kmps":[{"fileName":"a","resolutionPattern":{"width":1}}]})")
            << QStringList{"error"};
    }

    void readsThePackageIndex() {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, entries);
        const Result<KMPDirectory> directory = KMPDirectory::decode(json);
        QStringList found;
        if (!directory) {
            found << QStringLiteral("error");
        } else {
            for (const KMPIndexEntry& entry : directory.value().kmps) {
                found << entry.packageNamePattern + QLatin1Char('|') + entry.fileName +
                             QLatin1Char('|') + QString::number(entry.priority.value_or(0));
            }
        }
        QCOMPARE(found, entries);
    }
};

QTEST_GUILESS_MAIN(PlanFormatTest)
#include "tst_PlanFormat.moc"
