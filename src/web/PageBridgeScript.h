#pragma once

#include "web/TrustedPageOrigins.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWebEngineScript>

// The scripts every main frame of a native web view gets before its own scripts run. On one of
// the client's own pages the page's world gets `window.webkit.messageHandlers.<name>.postMessage`
// for each handler name, and a world of the bridge's own, which the page's scripts cannot reach,
// holds the web channel: each post crosses to it as a DOM event, leaves with the address of the
// page that made it and waits, in order, until the channel is up. Any other page gets neither.
class PageBridgeScript {
public:
    static inline const QStringList kHandlerNames{QStringLiteral("nativeHandler"),
                                                  QStringLiteral("web2native"),
                                                  QStringLiteral("native2web")};
    static constexpr QWebEngineScript::ScriptWorldId kChannelWorld =
        QWebEngineScript::ApplicationWorld;
    static inline const QString kPostEvent = QStringLiteral("kx-native-post");

    // The handlers for the page's world and the channel for the bridge's world.
    static QList<QWebEngineScript> make(const TrustedPageOrigins::Snapshot& trusted);
    // The channel client Qt ships as a resource; empty when it is missing.
    static QString webChannelClientSource();
    // `isTrustedPage()` over the snapshot, as the native side judges a page.
    static QString trustCheckSource(const TrustedPageOrigins::Snapshot& trusted);
    // The page's handlers alone (they expect `isTrustedPage` in scope).
    static QString shimSource();
    // The channel side alone (it expects `QWebChannel` and `isTrustedPage` in scope).
    static QString channelSource();
};
