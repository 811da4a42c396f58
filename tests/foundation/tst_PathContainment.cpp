#include "ContainmentRows.h"
#include "foundation/storage/PathContainment.h"

#include <QTemporaryDir>
#include <QTest>

class PathContainmentTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tree;

    // A path of the tree, "/" and "" kept as they are.
    QString inTree(const QString& path) const {
        return path.isEmpty() || path.startsWith(QLatin1Char('/')) ? path : m_tree.filePath(path);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(containment::makeTree(m_tree.path(), "content")); }

    void pathsAreJudgedWhereTheyLead_data() { containment::addRows(); }
    void pathsAreJudgedWhereTheyLead() {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        const QString folder = m_tree.filePath("content");
        QCOMPARE(PathContainment::isInside(containment::pathIn(folder, path), folder), inside);
    }

    void foldersAreJudgedWhereTheyLead_data() {
        QTest::addColumn<QString>("folder");  // relative to the tree
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inside");
        QTest::newRow("folder given through a link") << "to-content"
                                                     << "content/1.0/pc/index.html" << true;
        QTest::newRow("missing folder") << "missing"
                                        << "missing/1.0/index.html" << true;
        QTest::newRow("beside a missing folder") << "missing"
                                                 << "missingOld/index.html" << false;
        QTest::newRow("folder leading to nothing") << "content/dangling"
                                                   << "nowhere/x" << true;
        QTest::newRow("the root folder") << "/"
                                         << "outside/index.html" << true;
        QTest::newRow("no folder") << ""
                                   << "content/1.0" << false;
        QTest::newRow("NUL in the folder")
            << "content" + QString(QChar(u'\0')) << "content/1.0" << false;
    }
    void foldersAreJudgedWhereTheyLead() {
        QFETCH(QString, folder);
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QCOMPARE(PathContainment::isInside(inTree(path), inTree(folder)), inside);
    }
};

QTEST_GUILESS_MAIN(PathContainmentTest)
#include "tst_PathContainment.moc"
