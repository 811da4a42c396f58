#include "keymapping/PlanMatching.h"

#include <QTest>

namespace {

KMPIndexEntry entry(const QString& pattern, const QString& fileName,
                    std::optional<qint64> priority = std::nullopt) {
    KMPIndexEntry made;
    made.packageNamePattern = pattern;
    made.fileName = fileName;
    made.priority = priority;
    return made;
}

}  // namespace

class PlanMatchingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchesPatterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("packageName");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same name") << "com.example.game"
                                   << "com.example.game" << true;
        QTest::newRow("dot is any character") << "com.example.game"
                                              << "comXexampleXgame" << true;
        QTest::newRow("anchored at the end") << "com.example.game"
                                             << "com.example.game2" << false;
        QTest::newRow("case-sensitive") << "com.example.game"
                                        << "COM.example.game" << false;
        QTest::newRow("first of a list") << " com.a.b | com.c.* "
                                         << "com.a.b" << true;
        QTest::newRow("second of a list") << " com.a.b | com.c.* "
                                          << "com.c.anything" << true;
        QTest::newRow("empty pieces") << "||  |com.d||"
                                      << "com.d" << true;
        QTest::newRow("bad expression, same name") << "com.(bad"
                                                   << "com.(bad" << true;
        QTest::newRow("bad expression, other name") << "com.(bad"
                                                    << "com.xbad" << false;
    }

    void matchesPatterns() {
        QFETCH(QString, pattern);
        QFETCH(QString, packageName);
        QFETCH(bool, matches);
        QCOMPARE(PlanMatching::patternMatches(pattern, packageName), matches);
    }

    void ordersMatchingEntries() {
        const QList<KMPIndexEntry> index = {
            entry(QStringLiteral("com.x"), QStringLiteral("b.kmp")),
            entry(QStringLiteral("com.y"), QStringLiteral("other.kmp"), 9),
            entry(QStringLiteral("com.x"), QStringLiteral("a.kmp")),
            entry(QStringLiteral("com.x"), QStringLiteral("p5.kmp"), 5),
            entry(QStringLiteral("com.x | com.z"), QStringLiteral("long.kmp")),
            entry(QStringLiteral("com.x"), QStringLiteral("B.kmp"), 0),
            entry(QStringLiteral("c...x | com.z"), QStringLiteral("same-length.kmp")),
        };
        QStringList order;
        for (const KMPIndexEntry& found : matchPlanEntries(QStringLiteral("com.x"), index)) {
            order << found.fileName;
        }
        QCOMPARE(order,
                 QStringList({"p5.kmp", "long.kmp", "same-length.kmp", "B.kmp", "a.kmp", "b.kmp"}));
    }

    void ordersFileNamesByCodePoint() {
        QStringList names = {"com.x_a.kmp", "com.x.kmp", "com.x_B.kmp", "com.x_\U0001F600.kmp",
                             "com.x_\uFF21.kmp"};
        std::sort(names.begin(), names.end(), PlanMatching::fileNameComesBefore);
        QCOMPARE(names, QStringList({"com.x.kmp", "com.x_B.kmp", "com.x_a.kmp", "com.x_\uFF21.kmp",
                                     "com.x_\U0001F600.kmp"}));
    }
};

QTEST_GUILESS_MAIN(PlanMatchingTest)
#include "tst_PlanMatching.moc"
