#pragma once

// Shared by the helper and swap tests: an installed 1.0.0 application, a 2.0.0 one unpacked in
// the updates folder with its package file beside it, and the task that names them.

#include "foundation/AppInfo.h"
#include "update/UpdateHelper.h"
#include "update/UpdateTask.h"
#include "update/UpdatesDirectory.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace helpertest {

inline const QString kIdentifier = QString::fromUtf8(AppInfo::kBundleIdentifier);
constexpr auto kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

inline bool writeFile(const QString& path, const QByteArray& bytes,
                      QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           file.setPermissions(permissions);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray bundleInfo(const QString& identifier, const QString& version) {
    return QJsonDocument(QJsonObject{{"CFBundleIdentifier", identifier},
                                     {"CFBundleShortVersionString", version}})
        .toJson(QJsonDocument::Compact);
}

// Every entry under `path` with the contents of its files, to tell that nothing was changed.
inline QStringList treeOf(const QString& path) {
    const QFileInfo root(path);
    if (!root.isDir()) {
        return {root.exists() ? QString::fromUtf8(readFile(path)) : QStringLiteral("(none)")};
    }
    QStringList entries;
    QDirIterator walk(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString entry = walk.next();
        entries << QDir(path).relativeFilePath(entry) + "=" + QString::fromUtf8(readFile(entry));
    }
    entries.sort();
    return entries;
}

// The short version in the folder's bundle-info.json; empty when there is none.
inline QString versionAt(const QString& folder) {
    return QJsonDocument::fromJson(readFile(folder + "/bundle-info.json"))
        .object()
        .value("CFBundleShortVersionString")
        .toString();
}

struct HelperFixture {
    QString root;
    QString executableName;
    // Under "<root>/data", as the helper finds it with XDG_DATA_HOME there.
    UpdatesDirectory updates;
    UpdateTask task;
    QString taskFile;

    HelperFixture(const QString& sandbox, const QString& executable)
        : root(sandbox),
          executableName(executable),
          updates(QDir(sandbox).filePath("data"), kIdentifier) {
        const QString volume = updates.newVolumePath();
        task = {volume + "/brisca-cloudphone", QDir(root).filePath("opt/brisca-cloudphone"), volume,
                updates.newPackagePath(), "2.0.0"};
        writeApplication(task.targetAppPath, "1.0.0", "#!/bin/sh\nexit 0\n");
        // The new client leaves a marker naming the folder it was started in.
        writeApplication(task.sourceAppPath, "2.0.0",
                         "#!/bin/sh\necho \"$PWD\" >> '" + marker().toUtf8() + "'\n");
        writeFile(task.sourceAppPath + "/pc/index.html", "<html></html>");
        QFile::link(QStringLiteral("index.html"), task.sourceAppPath + "/pc/entry.html");
        writeFile(task.packagePath, "zip");
        taskFile = QDir(updates.path()).filePath("task-1.json");
        writeTask();
    }

    QString target() const { return task.targetAppPath; }
    QString marker() const { return QDir(root).filePath("marker"); }

    void writeApplication(const QString& folder, const QString& version, const QByteArray& script,
                          const QString& identifier = kIdentifier) const {
        writeFile(folder + "/bundle-info.json", bundleInfo(identifier, version));
        writeFile(folder + "/" + executableName, script, kExecutable);
    }
    void writeTask() const { writeFile(taskFile, task.toJson()); }

#ifdef KX_UPDATE_HELPER_ENTRY  // the update tests' own entry; others start the client itself
    // Starts the helper entry on the hand-over, with the updates folder under the sandbox and
    // `settings` ("NAME=value") in its environment. A process that has already ended stands in
    // for the client that quit.
    void startHelper(QProcess& helper, const QStringList& settings = {}) const {
        qint64 ended = 0;
        QProcess::startDetached(QStringLiteral("true"), {}, {}, &ended);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", QDir(root).filePath("data"));
        for (const QString& setting : settings) {
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        helper.setProcessEnvironment(environment);
        helper.start(QStringLiteral(KX_UPDATE_HELPER_ENTRY),
                     {UpdateHelper::kSwitch, taskFile, QString::number(ended)});
    }
#endif
};

}  // namespace helpertest
