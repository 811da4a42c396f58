#include "ContainmentRows.h"
#include "app/WebContentLocator.h"

#include <QTemporaryDir>
#include <QTest>

using Outcome = WebContentLocator::ServedFile::Outcome;

// The server hands out only what really lies inside the web-content folder, never the folder
// itself; anything else is not found.
class WebContentLocatorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void servesOnlyWhatLiesInside_data() { containment::addRows(); }
    void servesOnlyWhatLiesInside() {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QTemporaryDir documents;
        QVERIFY(containment::makeTree(documents.path(), WebContentLocator::kFolderName));
        const QString folder = documents.filePath(WebContentLocator::kFolderName);
        const QString target = containment::pathIn(folder, path);
        const QFileInfo file(target);
        Outcome expected = Outcome::notFound;
        if (inside && containment::existsAt(target) &&
            file.canonicalFilePath() != QFileInfo(folder).canonicalFilePath()) {
            expected = file.isFile() ? Outcome::contents : Outcome::unreadable;
        }
        const QString relative = containment::named(path, WebContentLocator::kFolderName);
        QCOMPARE(WebContentLocator::openServedFile(documents.path(), relative).outcome, expected);
    }
};

QTEST_GUILESS_MAIN(WebContentLocatorTest)
#include "tst_WebContentLocator.moc"
