#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Archives written with libarchive's writer, for tests that unpack them.
struct TestArchiveEntry {
    enum class Kind { file, directory, symlink, hardlink };

    Kind kind = Kind::file;
    QString name;
    QByteArray data;  // file content
    QString target;   // link target

    static TestArchiveEntry file(QString name, QByteArray data) {
        return {Kind::file, std::move(name), std::move(data), {}};
    }
    static TestArchiveEntry symlink(QString name, QString target) {
        return {Kind::symlink, std::move(name), {}, std::move(target)};
    }
    static TestArchiveEntry hardlink(QString name, QString target) {
        return {Kind::hardlink, std::move(name), {}, std::move(target)};
    }
};

enum class TestArchiveFormat { tarGzip, zip };

bool writeTestArchive(const QString& path, const QList<TestArchiveEntry>& entries,
                      TestArchiveFormat format = TestArchiveFormat::tarGzip);
