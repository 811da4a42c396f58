#pragma once

#include "api/FileType.h"

#include <QString>
#include <QUrl>

// One file the user chose on the page; `uuid` is what the page later names it by.
struct SelectedUploadFile {
    QUrl fileURL;
    QString uuid;
    qint64 size = 0;
    FileType fileType = FileType::all;

    bool operator==(const SelectedUploadFile&) const = default;
};
