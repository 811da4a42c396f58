#include "keymapping/CapturedKey.h"
#include "keymapping/KeyMappingItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class KeyMappingModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newItemsGetTheirTypesDefaults() {
        const KeyMappingItem move(KeyMappingType::move, QPointF(0.2, 0.8));
        QCOMPARE(move.keyDisplayName, QStringLiteral("未设置"));
        QCOMPARE(move.moveRadius, 0.12);
        QCOMPARE(move.directionBindings.at(KeyMappingDirection::left),
                 (KeyMappingKeyBinding{0, 65, {}, {}, QStringLiteral("A")}));
        QCOMPARE(move.markerTitle(), QStringLiteral("WASD"));
        const KeyMappingItem joystick(KeyMappingType::joystick, QPointF());
        QVERIFY(joystick.directionBindings.empty() && !joystick.moveRadius);
        QVERIFY(!move.id.isNull() && move.id != joystick.id);
    }

    // Rows: the stored item, then its marker title and radius (-1: none), or "" when it fails.
    void decodesStoredItems_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("markerTitle");
        QTest::addColumn<double>("moveRadius");
        const QByteArray id = R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)";
        QTest::newRow("joystick reads as tap")
            << id + R"("type":"joystick","keyDisplayName":"Q","normalizedPoint":[0.1,0.2]})"
            << "Q" << -1.0;
        QTest::newRow("move gets default keys")
            << id + R"("type":"move","normalizedPoint":[0.1,0.2]})"
            << "WASD" << 0.12;
        QTest::newRow("missing name") << id + R"("type":"tap","normalizedPoint":[0,0]})"
                                      << "未设置" << -1.0;
        QTest::newRow("stored bindings")
            << id + R"("type":"move","normalizedPoint":[0,0],"moveRadius":0.3,
                "directionBindings":["up",{"displayName":"↑","windowsKey":38}]})"
            << "↑ASD" << 0.3;
        QTest::newRow("no point") << id + R"("type":"tap"})"
                                  << "" << 0.0;
        QTest::newRow("no id") << QByteArray(R"({"type":"tap","normalizedPoint":[0,0]})") << ""
                               << 0.0;
        QTest::newRow("key code of the wrong type")
            << id + R"("type":"tap","keyCode":"12","normalizedPoint":[0,0]})"
            << "" << 0.0;
        QTest::newRow("unknown direction")
            << id + R"("type":"move","normalizedPoint":[0,0],"directionBindings":["north",{}]})"
            << "" << 0.0;
    }

    void decodesStoredItems() {
        QFETCH(QByteArray, json);
        QFETCH(QString, markerTitle);
        QFETCH(double, moveRadius);
        const Result<KeyMappingItem> item =
            KeyMappingItem::fromJson(QJsonDocument::fromJson(json).object());
        QCOMPARE(item.ok(), !markerTitle.isEmpty());
        if (item) {
            QVERIFY(item.value().type != KeyMappingType::joystick);
            QCOMPARE(item.value().markerTitle(), markerTitle);
            QCOMPARE(item.value().moveRadius.value_or(-1.0), moveRadius);
        }
    }

    void itemsSurviveTheirJsonForm() {
        KeyMappingItem move(KeyMappingType::move, QPointF(0.125, 0.75));
        move.directionBindings[KeyMappingDirection::up].secondWindowsKey = 16;
        move.actionDescription = QStringLiteral("走/跑");
        KeyMappingItem tap(KeyMappingType::tap, QPointF(1, 0));
        tap.keyCode = 12;
        tap.windowsKey = 81;
        tap.secondWindowsKey = 16;
        for (const KeyMappingItem& item : {move, tap}) {
            QCOMPARE(KeyMappingItem::fromJson(item.toJson()).value(), item);
        }
        const QJsonArray bindings = move.toJson()["directionBindings"].toArray();
        QCOMPARE(bindings.size(), 8);
        QCOMPARE(bindings.at(0).toString(), QStringLiteral("up"));
        QCOMPARE(bindings.at(1)["secondWindowsKey"].toInt(), 16);
    }

    void titlesAndTokens_data() {
        QTest::addColumn<int>("windowsKey");        // -1: absent
        QTest::addColumn<int>("macKeyCode");        // -1: absent
        QTest::addColumn<int>("secondWindowsKey");  // -100: absent
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("combination") << 16 << 56 << 81 << "K+Q" << QStringList{"w16", "w81"};
        QTest::newRow("second key 0") << 81 << 12 << 0 << "K" << QStringList{"w81"};
        QTest::newRow("unknown second key")
            << 81 << 12 << 200 << "K+VK200" << QStringList{"w200", "w81"};
        QTest::newRow("mac key only") << -1 << 54 << -100 << "K" << QStringList{"m54"};
        QTest::newRow("no key") << -1 << -1 << -100 << "K" << QStringList{};
    }

    void titlesAndTokens() {
        QFETCH(int, windowsKey);
        QFETCH(int, macKeyCode);
        QFETCH(int, secondWindowsKey);
        QFETCH(QString, title);
        QFETCH(QStringList, tokens);
        KeyMappingItem item(KeyMappingType::joystick, QPointF());
        item.keyDisplayName = QStringLiteral("K");
        item.windowsKey = windowsKey >= 0 ? std::optional(windowsKey) : std::nullopt;
        item.keyCode = macKeyCode >= 0 ? std::optional(quint16(macKeyCode)) : std::nullopt;
        if (secondWindowsKey != -100) {
            item.secondWindowsKey = secondWindowsKey;
        }
        QCOMPARE(item.markerTitle(), title);
        QStringList found = item.keyTokens().values();
        found.sort();
        QCOMPARE(found, tokens);
        item.keyDisplayName.clear();
        QVERIFY(item.tapTitle().startsWith(QStringLiteral("未设置")));
    }

    void importedMappingsBecomeItems() {
        ImportedKeyMapping imported;
        imported.type = ImportedKeyMapping::MappingType::joystick;
        imported.windowsKey = 81;
        imported.macKeyCode = 12;
        imported.normalizedPoint = QPointF(0.3, 0.4);
        const KeyMappingItem tap = KeyMappingItem::fromImported(imported);
        QCOMPARE(tap.type, KeyMappingType::tap);
        QCOMPARE(tap.keyCode, std::optional<quint16>(12));
        QCOMPARE(tap.windowsKey, std::optional(81));
        QVERIFY(!tap.secondWindowsKey);
        QCOMPARE(tap.normalizedPoint, QPointF(0.3, 0.4));

        imported.type = ImportedKeyMapping::MappingType::move;
        imported.secondWindowsKey = 16;
        const KeyMappingItem move = KeyMappingItem::fromImported(imported);
        QCOMPARE(move.type, KeyMappingType::move);
        QVERIFY(!move.keyCode && !move.windowsKey && !move.moveRadius);
        QCOMPARE(move.secondWindowsKey, std::optional(16));
        QVERIFY(move.directionBindings.empty());
    }

    void capturedKeysCompareAndSign() {
        const CapturedKey shift{56, 16, QStringLiteral("Shift")};
        const CapturedKey q{12, 81, QStringLiteral("Q")};
        QVERIFY(shift != (CapturedKey{56, 16, QStringLiteral("shift")}));
        QVERIFY(q != (CapturedKey{12, std::nullopt, QStringLiteral("Q")}));
        QCOMPARE(keySignature({q, shift}), QStringLiteral("w16+w81"));
        QCOMPARE(keySignature({shift, q}), QStringLiteral("w16+w81"));
        QCOMPARE((CapturedKey{54, std::nullopt, QString()}).token(), QStringLiteral("m54"));
    }
};

QTEST_GUILESS_MAIN(KeyMappingModelTest)
#include "tst_KeyMappingModel.moc"
