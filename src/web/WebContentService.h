#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// What the page's window messages need of the web package on disk: the entry file popups load,
// and the steps of a repair. The web content manager sits above this library, so the
// application installs its adapter here at start-up; until then, and in tests that install
// nothing, popups and repairs find no package. All calls are made on the GUI thread.
class WebContentService {
public:
    // Nothing on success, else the failure's description. Runs on the GUI thread.
    using DownloadDone = std::function<void(const std::optional<QString>& failure)>;

    virtual ~WebContentService() = default;

    // The active version's "index.html", as a plain local path; nothing without one.
    virtual std::optional<QString> activeEntryFilePath() = 0;
    // A documents folder the user granted; false when it cannot be used.
    virtual bool setAuthorizedDocumentsFolder(const QString& folder) = 0;
    // Where a repair downloads the package from: the address in use, else the one the version
    // record names; nothing when neither forms a URL.
    virtual std::optional<QUrl> repairDownloadAddress() = 0;
    // The package version the version record names for this client, else the built-in one.
    virtual QString repairWebVersion() = 0;
    virtual void startWebPackageDownload(const QString& address, const QString& version,
                                         DownloadDone done) = 0;
    // The built-in package made the active one; its entry file, or nothing.
    virtual std::optional<QUrl> useBuiltInWebContent() = 0;

    // The installed service, or nullptr. The caller keeps ownership and uninstalls before it dies.
    static WebContentService* installed() { return current(); }
    static void install(WebContentService* service) { current() = service; }

private:
    static WebContentService*& current() {
        static WebContentService* service = nullptr;
        return service;
    }
};
