#pragma once

// Paths inside and outside a folder, through links that lead in, out, to nothing and round in a
// loop: the rows every check of whether a path lies inside a folder runs, written once. A test
// makes the tree with makeTree() and feeds the rows' paths (relative to the folder) to its code.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QTest>

#include <unistd.h>

namespace containment {

// One thing of the tree, its path relative to the tree, "<folder>" standing for the folder's
// name. A link's target is written into it as it is here, a relative one leading from the
// link's own folder.
struct Item {
    QString path;
    QString linkTarget;  // empty for a file
};

inline const QList<Item>& items() {
    static const QList<Item> list = {
        {"<folder>/1.0/pc/index.html", {}},
        {"<folder>/1.0/pc/inner.html", "index.html"},
        {"<folder>/1.0/pc/later.html", "missing.html"},
        {"<folder>/1.0/pc/leak.txt", "../../../secret.txt"},
        {"<folder>/out", "../outside"},
        {"<folder>/self", "."},
        {"<folder>/dangling", "../nowhere"},
        {"<folder>/loop", "loop"},
        {"<folder>Old/index.html", {}},
        {"outside/index.html", {}},
        {"secret.txt", {}},
        {"to-<folder>", "<folder>"},
    };
    return list;
}

inline QString named(QString text, const QString& folderName) {
    return text.replace(QStringLiteral("<folder>"), folderName);
}

// A row's path under the folder.
inline QString pathIn(const QString& folder, const QString& rowPath) {
    return folder + QLatin1Char('/') + named(rowPath, QFileInfo(folder).fileName());
}

// Makes the items under `tree` with the folder called `folderName`; with `withFolder` false only
// those outside the folder. False when one could not be made.
inline bool makeTree(const QString& tree, const QString& folderName, bool withFolder = true) {
    for (const Item& item : items()) {
        const QString path = tree + QLatin1Char('/') + named(item.path, folderName);
        if (!withFolder &&
            path.startsWith(tree + QLatin1Char('/') + folderName + QLatin1Char('/'))) {
            continue;
        }
        if (!QDir().mkpath(QFileInfo(path).path())) {
            return false;
        }
        if (item.linkTarget.isEmpty()) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write("<!doctype html>") < 0) {
                return false;
            }
        } else if (::symlink(QFile::encodeName(named(item.linkTarget, folderName)).constData(),
                             QFile::encodeName(path).constData()) != 0) {
            return false;
        }
    }
    return true;
}

// Whether something is at the path, links followed; a name holding a NUL byte names nothing.
inline bool existsAt(const QString& path) {
    return !path.contains(QChar(u'\0')) && QFileInfo::exists(path);
}

// The rows: "path", relative to the folder, and whether it lies "inside" it (the folder itself
// included), judged where the path really leads.
inline void addRows() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inside");
    QTest::newRow("file in the folder") << "1.0/pc/index.html" << true;
    QTest::newRow("missing file in the folder") << "1.0/pc/missing.html" << true;
    QTest::newRow("link to a file beside it") << "1.0/pc/inner.html" << true;
    QTest::newRow("link to a missing file beside it") << "1.0/pc/later.html" << true;
    QTest::newRow("link to the folder itself") << "self" << true;
    QTest::newRow("through a link to the folder itself") << "self/1.0/pc/index.html" << true;
    QTest::newRow("sibling sharing the prefix") << "../<folder>Old/index.html" << false;
    QTest::newRow("dot-dot out") << "1.0/../../secret.txt" << false;
    QTest::newRow("file link leading out") << "1.0/pc/leak.txt" << false;
    QTest::newRow("folder link leading out") << "out/index.html" << false;
    QTest::newRow("missing file behind a link leading out") << "out/missing.html" << false;
    QTest::newRow("name too long behind a link leading out")
        << "out/" + QString(300, u'x') + "/index.html" << false;
    QTest::newRow("60 KB of names behind a link leading out")
        << "out/" + QStringLiteral("folder/").repeated(8600) + "index.html" << false;
    QTest::newRow("link leading out to nothing") << "dangling" << false;
    QTest::newRow("link in a loop") << "loop" << false;
    QTest::newRow("NUL in the path") << "1.0/pc/index.html" + QString(QChar(u'\0')) << false;
}

}  // namespace containment
