#pragma once

#include "devicewindow/AspectRatioWindowController.h"
#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KeyMappingItem.h"
#include "keymapping/KeyMappingViewModel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

// The plan store's folder in the test's home, where plan files are written as if unpacked
// earlier.
inline QString keyMappingRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Brisca/keymapping/");
}

// False unless the whole file was written.
inline bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The items in force and edited, as if the panel had applied a plan of them.
inline void applyPlan(AspectRatioWindowController* window, QList<KeyMappingItem> items,
                      ImportedMouseConfiguration mouse = {}) {
    KeyMappingViewModel& model = window->keyMappingViewModel();
    model.keyMappings = items;
    model.appliedKeyMappings = std::move(items);
    model.appliedMouseConfiguration = mouse;
}
