#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

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

    // Anything at the path, a dangling link included.
    static bool standsAt(const QString& path);
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
    // The entries of `source` into the existing folder `target`, which then takes the mode of
    // `source`: folders, regular files with their modes and links as links; anything else fails
    // the copy. `afterFile` runs after each copied file.
    static bool copy(const QString& source, const QString& target,
                     const std::function<void()>& afterFile = {});
    // One sorted line per entry under `folder` (the top-level `skipped` left out): its relative
    // path, kind, and the size and mode of a file, the mode of a folder as `copy` leaves it, or
    // the text of a link. Equal listings mean a copy holds the same files as its source.
    static QStringList listing(const QString& folder, const QString& skipped = {});

    enum class Exchange {
        done,
        // The file system or the kernel cannot exchange two folders; nothing changed.
        refused,
        failed,
    };
    // Swaps what stands at the two paths in one step, so that neither is ever missing.
    static Exchange exchange(const QString& first, const QString& second);
    // Renames `from` to `to` only while nothing at all stands at `to`.
    static bool renameToFreeName(const QString& from, const QString& to);
};
