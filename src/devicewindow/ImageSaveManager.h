#pragma once

#include "foundation/Result.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

// Writes device snapshots, already encoded as WebP, into the user's Downloads folder under a
// name that never replaces an existing file. The bytes are written exactly as given.
class ImageSaveManager {
public:
    using SaveResult = Result<QUrl>;
    using Completion = std::function<void(const SaveResult& result)>;

    static ImageSaveManager& shared();

    // Calls `completion` exactly once, before returning: the written file, or the error. A name
    // taken by someone else meanwhile is left alone and the next counter used; a write that
    // fails removes the file this call created and nothing else.
    void saveWebPImage(const QByteArray& data, const QString& fileName,
                       const Completion& completion);

    // The user's Downloads folder, created when missing.
    static QUrl downloadsDirectory();
    // The first name of "name.ext", "name (1).ext", "name (2).ext", … that is free in `folder`.
    static QUrl uniqueFileURL(const QUrl& folder, const QString& fileName);
    // The name a device's snapshot is requested under: "12345截图".
    static QString snapshotFileName(int deviceID);
    static QString sanitizedFileName(const QString& name);
};
