#include "keymapping/CapturedKey.h"
#include "keymapping/KeyMappingItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

QJsonObject object(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

KeyMappingItem tapItem(std::optional<int> windowsKey, std::optional<int> secondWindowsKey,
                       const QString& name) {
    KeyMappingItem item(KeyMappingType::tap, QPointF(0.5, 0.5));
    item.windowsKey = windowsKey;
    item.secondWindowsKey = secondWindowsKey;
    item.keyDisplayName = name;
    return item;
}

}  // namespace

class KeyMappingModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newItemsGetTheirTypesDefaults() {
        const KeyMappingItem move(KeyMappingType::move, QPointF(0.2, 0.8));
        QVERIFY(!move.id.isNull());
        QCOMPARE(move.keyDisplayName, QStringLiteral("未设置"));
        QCOMPARE(move.moveRadius, 0.12);
        QCOMPARE(move.directionBindings.at(KeyMappingDirection::left),
                 (KeyMappingKeyBinding{0, 65, {}, {}, QStringLiteral("A")}));
        QCOMPARE(move.markerTitle(), QStringLiteral("WASD"));
        const KeyMappingItem joystick(KeyMappingType::joystick, QPointF());
        QVERIFY(joystick.directionBindings.empty());
        QVERIFY(!joystick.moveRadius);
        QVERIFY(KeyMappingItem(KeyMappingType::tap, QPointF()).id != joystick.id);
    }

    void decodesStoredItems_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("markerTitle");
        QTest::addColumn<double>("moveRadius");  // -1: absent
        const QByteArray id = R"("id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F")";
        QTest::newRow("joystick reads as tap")
            << QByteArray("{" + id +
                          R"(,"type":"joystick","keyDisplayName":"Q","normalizedPoint":[0.1,0.2]})")
            << true << "tap"
            << "Q" << -1.0;
        QTest::newRow("move gets default keys")
            << QByteArray("{" + id + R"(,"type":"move","normalizedPoint":[0.1,0.2]})") << true
            << "move"
            << "WASD" << 0.12;
        QTest::newRow("missing name")
            << QByteArray("{" + id + R"(,"type":"tap","normalizedPoint":[0,0]})") << true << "tap"
            << "未设置" << -1.0;
        QTest::newRow("stored bindings")
            << QByteArray("{" + id + R"(,"type":"move","normalizedPoint":[0,0],"moveRadius":0.3,
                "directionBindings":["up",{"displayName":"↑","windowsKey":38}]})")
            << true << "move"
            << "↑ASD" << 0.3;
        QTest::newRow("no point") << QByteArray("{" + id + R"(,"type":"tap"})") << false << ""
                                  << "" << 0.0;
        QTest::newRow("no id") << QByteArray(R"({"type":"tap","normalizedPoint":[0,0]})") << false
                               << ""
                               << "" << 0.0;
        QTest::newRow("unknown type")
            << QByteArray("{" + id + R"(,"type":"swipe","normalizedPoint":[0,0]})") << false << ""
            << "" << 0.0;
        QTest::newRow("key code of the wrong type")
            << QByteArray("{" + id + R"(,"type":"tap","keyCode":"12","normalizedPoint":[0,0]})")
            << false << ""
            << "" << 0.0;
        QTest::newRow("unknown direction")
            << QByteArray("{" + id + R"(,"type":"move","normalizedPoint":[0,0],
                "directionBindings":["north",{"displayName":"N"}]})")
            << false << ""
            << "" << 0.0;
    }

    void decodesStoredItems() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QFETCH(QString, type);
        QFETCH(QString, markerTitle);
        QFETCH(double, moveRadius);
        const Result<KeyMappingItem> item = KeyMappingItem::fromJson(object(json));
        QCOMPARE(item.ok(), decodes);
        if (!decodes) {
            QCOMPARE(item.error().domain, QStringLiteral("DecodingError"));
            return;
        }
        QCOMPARE(item.value().id, QUuid(QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
        QCOMPARE(rawValue(item.value().type), type);
        QCOMPARE(item.value().markerTitle(), markerTitle);
        QCOMPARE(item.value().moveRadius.value_or(-1.0), moveRadius);
    }

    void itemsSurviveTheirJsonForm() {
        KeyMappingItem move(KeyMappingType::move, QPointF(0.125, 0.75));
        move.directionBindings[KeyMappingDirection::up].secondWindowsKey = 16;
        move.directionBindings[KeyMappingDirection::up].secondKeyCode = 56;
        move.actionDescription = QStringLiteral("走/跑");
        KeyMappingItem tap = tapItem(81, 16, QStringLiteral("Q"));
        tap.keyCode = 12;
        for (const KeyMappingItem& item : {move, tap}) {
            const QJsonObject json = item.toJson();
            QCOMPARE(json.value(QStringLiteral("id")).toString(),
                     item.id.toString(QUuid::WithoutBraces).toUpper());
            const Result<KeyMappingItem> back = KeyMappingItem::fromJson(json);
            QVERIFY(back.ok());
            QCOMPARE(back.value(), item);
        }
        const QJsonArray bindings =
            move.toJson().value(QStringLiteral("directionBindings")).toArray();
        QCOMPARE(bindings.size(), 8);
        QCOMPARE(bindings.at(0).toString(), QStringLiteral("up"));
        QCOMPARE(bindings.at(1).toObject().value(QStringLiteral("secondWindowsKey")).toInt(), 16);
        QVERIFY(!tap.toJson().contains(QStringLiteral("moveRadius")));
    }

    void titlesAndTokens_data() {
        QTest::addColumn<int>("windowsKey");        // -1: absent
        QTest::addColumn<int>("macKeyCode");        // -1: absent
        QTest::addColumn<int>("secondWindowsKey");  // -100: absent
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("one key") << 81 << 12 << -100 << "Q"
                                 << "Q" << QStringList{"w81"};
        QTest::newRow("combination") << 16 << 56 << 81 << "Shift"
                                     << "Shift+Q" << QStringList{"w16", "w81"};
        QTest::newRow("second key 0") << 81 << 12 << 0 << "Q"
                                      << "Q" << QStringList{"w81"};
        QTest::newRow("second key negative") << 81 << 12 << -3 << "Q"
                                             << "Q" << QStringList{"w81"};
        QTest::newRow("mac key only") << -1 << 54 << -100 << "Key 54"
                                      << "Key 54" << QStringList{"m54"};
        QTest::newRow("windows key 0 falls back") << 0 << 12 << -100 << "Q"
                                                  << "Q" << QStringList{"m12"};
        QTest::newRow("no key") << -1 << -1 << -100 << ""
                                << "未设置" << QStringList{};
        QTest::newRow("unknown second key") << 81 << 12 << 200 << "Q"
                                            << "Q+VK200" << QStringList{"w200", "w81"};
    }

    void titlesAndTokens() {
        QFETCH(int, windowsKey);
        QFETCH(int, macKeyCode);
        QFETCH(int, secondWindowsKey);
        QFETCH(QString, name);
        QFETCH(QString, title);
        QFETCH(QStringList, tokens);
        KeyMappingItem item = tapItem(
            windowsKey >= 0 ? std::optional(windowsKey) : std::nullopt,
            secondWindowsKey != -100 ? std::optional(secondWindowsKey) : std::nullopt, name);
        if (macKeyCode >= 0) {
            item.keyCode = quint16(macKeyCode);
        }
        QCOMPARE(item.tapTitle(), title);
        QCOMPARE(item.markerTitle(), title);
        QStringList found = item.keyTokens().values();
        found.sort();
        QCOMPARE(found, tokens);
    }

    void moveTitlesFallBackPerDirection() {
        KeyMappingItem move(KeyMappingType::move, QPointF());
        move.directionBindings.erase(KeyMappingDirection::up);
        move.directionBindings[KeyMappingDirection::right].displayName = QStringLiteral("→");
        QCOMPARE(move.directionTitles(), (std::array<QString, 4>{"W", "A", "S", "→"}));
        QCOMPARE(move.markerTitle(), QStringLiteral("WAS→"));
    }

    void importedMappingsBecomeItems() {
        ImportedKeyMapping tap;
        tap.type = ImportedKeyMapping::MappingType::joystick;
        tap.windowsKey = 81;
        tap.secondWindowsKey = 0;
        tap.macKeyCode = 12;
        tap.displayName = QStringLiteral("Q");
        tap.normalizedPoint = QPointF(0.3, 0.4);
        const KeyMappingItem fromTap = KeyMappingItem::fromImported(tap);
        QCOMPARE(fromTap.type, KeyMappingType::tap);
        QCOMPARE(fromTap.keyCode, std::optional<quint16>(12));
        QCOMPARE(fromTap.windowsKey, std::optional(81));
        QVERIFY(!fromTap.secondWindowsKey);
        QCOMPARE(fromTap.normalizedPoint, QPointF(0.3, 0.4));

        ImportedKeyMapping move = tap;
        move.type = ImportedKeyMapping::MappingType::move;
        move.secondWindowsKey = 16;
        move.moveRadius = 0.2;
        const KeyMappingItem fromMove = KeyMappingItem::fromImported(move);
        QCOMPARE(fromMove.type, KeyMappingType::move);
        QVERIFY(!fromMove.keyCode && !fromMove.windowsKey);
        QCOMPARE(fromMove.secondWindowsKey, std::optional(16));
        QVERIFY(fromMove.directionBindings.empty());
        QCOMPARE(fromMove.moveRadius, std::optional(0.2));
    }

    void capturedKeysCompareAndSign() {
        const CapturedKey shift{56, 16, QStringLiteral("Shift")};
        const CapturedKey q{12, 81, QStringLiteral("Q")};
        const CapturedKey unknown{54, std::nullopt, QStringLiteral("Key 54")};
        QVERIFY(shift != (CapturedKey{56, 16, QStringLiteral("shift")}));
        QVERIFY(q != (CapturedKey{12, std::nullopt, QStringLiteral("Q")}));
        QCOMPARE(keySignature({q, shift}), keySignature({shift, q}));
        QCOMPARE(keySignature({q, shift}), QStringLiteral("w16+w81"));
        QCOMPARE(unknown.token(), QStringLiteral("m54"));
    }
};

QTEST_GUILESS_MAIN(KeyMappingModelTest)
#include "tst_KeyMappingModel.moc"
