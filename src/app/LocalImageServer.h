#pragma once

#include "loopback/HttpReply.h"
#include "web/PreviewImageStore.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class HttpRequestReader;
class ImageServerListener;
class QThread;
class SettingsManager;
class TrustedPageOrigins;

// The client's loopback HTTP server. It serves the device screenshots the page asks to preview
// ("/screenshot?deviceId=<id>"), the installed web packages ("/web-content/<version>/…") and a
// small status document ("/" and "/status"), one request per connection. It listens only on
// 127.0.0.1 and ::1 under a port remembered in the setting "screenshotHttpPort"; URLs name the
// host "localhost". It answers only requests addressed to a loopback name, so that no web site
// reaches it through a host name of its own, and lets only the client's own web origins read its
// replies from another origin, never an opaque one ("null"): the client's file pages show the
// screenshots as images, which need no such permission. It answers only connections from this
// process's own local account: another account's get 403. A request's head must arrive within
// 10 s of its connection's start, and at most 256 connections are open at once; further peers
// wait in the system's queue until one closes.
//
// The sockets live on the thread "com.brisca.imageserver"; `start` and `stop` are called on
// the GUI thread; the image store and the URL builders may be called from any thread.
class LocalImageServer : public PreviewImageStore {
public:
    // Gives the documents root whose "KXVWebContent" folder is served; called from any thread.
    // Empty: no web content is served.
    using DocumentsRootProvider = std::function<QString()>;

    static LocalImageServer& shared();

    // Told the port once listening, so that the server's own origin counts as the client's.
    explicit LocalImageServer(SettingsManager& settings);
    LocalImageServer(SettingsManager& settings, TrustedPageOrigins& origins);
    ~LocalImageServer() override;
    LocalImageServer(const LocalImageServer&) = delete;
    LocalImageServer& operator=(const LocalImageServer&) = delete;

    void setDocumentsRootProvider(DocumentsRootProvider provider);

    // Reuses the saved port while it is free, else finds and saves a new one, and listens.
    void start();
    // Stops listening, drops open connections and empties the image store.
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port.load(); }
    QString host() const { return QStringLiteral("localhost"); }

    // Replaces the device's image and returns its URL (without a time stamp).
    QString storeImage(const QByteArray& imageData, const QString& deviceId) override;

    // "http://localhost:<port>/screenshot?deviceId=<id>", the id as given; with the stamp,
    // "&t=<milliseconds since 1970>" follows.
    QString screenshotURL(const QString& deviceId, bool withTimestamp) const;

    // The server's URL of a web-content file given as a local path, which may end in a
    // "#fragment". Nothing when the file is outside the served folder.
    std::optional<QString> webContentURL(const QString& path) const;
    // The same for a file URL, with the fragment ("#…" or empty) appended.
    std::optional<QString> webContentURL(const QUrl& fileURL, const QString& fragment) const;

private:
    // The saved port while it is free, else a newly found one, which is saved.
    std::optional<quint16> choosePort(std::optional<quint16> saved);
    // Listens on the port on the server's own thread; false, with the reason printed, if not.
    bool listenOn(quint16 port);
    HttpReply::Reply respond(const HttpRequestReader& request);
    HttpReply::Reply screenshotReply(const QString& path, const QString& method,
                                     const HttpReply::AllowedOrigin& origin);
    HttpReply::Reply webContentReply(const QString& path, const QString& method,
                                     const HttpReply::AllowedOrigin& origin);
    QByteArray statusReply(const HttpReply::AllowedOrigin& origin);
    QString documentsRoot() const;
    QString baseURL() const;

    SettingsManager& m_settings;
    TrustedPageOrigins& m_origins;
    std::atomic<quint16> m_port{9988};

    // Owned by the GUI thread; the listener itself lives on m_thread.
    std::unique_ptr<QThread> m_thread;
    ImageServerListener* m_listener = nullptr;

    mutable std::mutex m_cacheMutex;
    QHash<QString, QByteArray> m_imageCache;

    // Cancellations of transfers that `stop` ends; nothing registers one so far.
    std::mutex m_taskMutex;
    QHash<QString, std::function<void()>> m_downloadTasks;

    mutable std::mutex m_providerMutex;
    DocumentsRootProvider m_documentsRoot;
};
