#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>

#include <functional>

// What counts as an installed or unpacked application folder (a real folder holding
// bundle-info.json and the executable), and the file operations the update performs on one.
class ApplicationFolder {
public:
    enum class Presence {
        // Nothing at the path, not even a dangling link.
        missing,
        // Something that is not a whole application with the expected identifier.
        partial,
        whole,
    };

    // Whether `folder` is a real folder (not a link) with a regular bundle-info.json file.
    static bool holdsBundleInfo(const QString& folder);
    // Whether `folder` holds `executableName` as an executable regular file (not a link).
    static bool holdsExecutable(const QString& folder, const QString& executableName);
    // The bundle-info.json object of `folder`; links, oversized files and non-objects fail.
    static Result<QJsonObject> readBundleInfo(const QString& folder);
    // `identifier` must be the bundle-info.json identifier and `executableName` an executable
    // regular file in the folder.
    static Presence presence(const QString& path, const QString& identifier,
                             const QString& executableName);

    // Removes a file, a link (never what it points to) or a whole folder; true when nothing is
    // left at the path.
    static bool remove(const QString& path);
    // Folders, regular files with their modes and links as links, into a new folder `target`;
    // anything else fails the copy. `afterFile` runs after each copied file.
    static bool copy(const QString& source, const QString& target,
                     const std::function<void()>& afterFile = {});
};
