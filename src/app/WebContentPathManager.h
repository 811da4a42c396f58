#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Where the web packages lie on disk: one folder per package version under
// <documents root>/"KXVWebContent", each holding "pc/index.html". A small value with no state
// beyond its paths; every call asks the file system again, and every call may be made from any
// thread on a copy of the value.
class WebContentPathManager {
public:
    WebContentPathManager();

    QString logPrefix = QStringLiteral("[WebPath]");
    // The desktop's own Documents folder; packages left there by earlier versions are moved out.
    QString sandboxDocumentsPath;
    QString indexRelativePath = QStringLiteral("pc/index.html");
    // A folder the user granted; when set it replaces the documents root.
    std::optional<QString> authorizedDocumentsPath;

    static inline const QString webContentFolderName = QStringLiteral("KXVWebContent");

    QString webDocumentsRoot() const;
    // <documents root>/"KXVWebContent", the folder the loopback server's web-content route serves.
    QString webContentRootPath() const;

    // Letters, marks and digits of any script and ".", "_", "-" stay; anything else becomes "_".
    static QString sanitizeVersionCharacter(char32_t scalar);
    static QString sanitizeVersion(const QString& version);
    // A sanitised version that names a folder of its own: neither empty nor only dots (which
    // would name the web-content root or the documents root itself).
    static bool isUsableVersionName(const QString& sanitizedVersion);

    // <web-content root>/<sanitised version>, or nothing for a version that names no folder.
    std::optional<QString> versionFolderPath(const QString& version) const;
    // The entry file of `version` when it exists.
    std::optional<QUrl> webPathEntryFor(const QString& version) const;
    // The version folders on disk, sorted by plain text comparison.
    QStringList scanWebVersions() const;
    // `preferredVersion` when installed, else the greatest installed version, else nothing.
    std::optional<QString> resolveVersion(const QString& preferredVersion) const;
};
