#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

// Which pages are the client's own, and so may hold the page bridge, and which origins the
// loopback server answers with their own name for cross-origin reads. A page is the client's own
// when it is
// - a file inside the web-content folder or the built-in page's folder,
// - HTML text the client itself supplied (a "data:" address: the engine never lets a page
//   navigate its top frame there, and popups do not turn a page's request for one into a load),
// - on the loopback server's own origin (http, "localhost", "127.0.0.1" or "[::1]", its port),
// - on the https origin of the service's API or resource host, or
// - at an address the client's own page chose through "debug-change-url" (its origin, or for a
//   file its folder).
// Everything else, about:blank included, is foreign. Safe to call from any thread.
class TrustedPageOrigins {
public:
    using FolderProvider = std::function<QString()>;

    // What the page's injected script needs to tell the same pages apart before any of their own
    // scripts run: serialised origins and file folders ending in "/".
    struct Snapshot {
        QStringList origins;
        QStringList folders;
        bool operator==(const Snapshot&) const = default;
    };

    static TrustedPageOrigins& shared();

    // The service hosts as built or as the environment sets them, the built-in page beside the
    // executable and the web-content folder under the documents root.
    TrustedPageOrigins();
    TrustedPageOrigins(QList<QUrl> serviceBases, QString builtInFolder,
                       FolderProvider webContentFolder);
    TrustedPageOrigins(const TrustedPageOrigins&) = delete;
    TrustedPageOrigins& operator=(const TrustedPageOrigins&) = delete;

    // The application's web-content folder, which a repair may move; called on the GUI thread.
    void setWebContentFolderProvider(FolderProvider provider);
    void setLoopbackPort(quint16 port);
    // Trusts the origin of `address` (for a file, its folder) from now on and says what that
    // was; nothing for an address that names no origin or folder.
    std::optional<QString> trustChosenAddress(const QUrl& address);

    // Decided from scratch: a file page's path and folders are resolved, links followed, on every
    // call. A page asks through its `PageTrust`, which decides once per navigation.
    bool isTrustedPage(const QUrl& url) const;
    // A serialised origin as a request's "Origin" header carries it; "null" is not one.
    bool isTrustedOrigin(const QString& origin) const;
    Snapshot snapshot() const;

    // The trusted folders as set and as the web-content provider names them now, unresolved.
    QStringList trustedFolders() const;
    // Counts the changes of the trusted origins and folders made through the setters above.
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }

    // "scheme://host[:port]" with the port only when it is not the scheme's own, an IPv6 host in
    // brackets; "null" for addresses without such an origin.
    static QString originOf(const QUrl& url);

private:
    QSet<QString> originsLocked() const;
    void changedLocked();

    mutable std::mutex m_mutex;
    QSet<QString> m_serviceOrigins;
    QString m_builtInFolder;
    FolderProvider m_webContentFolder;
    quint16 m_loopbackPort = 0;
    QSet<QString> m_chosenOrigins;
    QStringList m_chosenFolders;
    std::atomic<quint64> m_generation = 0;
};
