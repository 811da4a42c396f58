#pragma once

#include <QString>
#include <QStringList>
#include <QWebEngineScript>

// The script every page of a native web view gets before its own scripts run: the web channel
// client and `window.webkit.messageHandlers.<name>.postMessage(body)` for each handler name.
// Posts made before the channel is up wait in order and go out once it is.
class PageBridgeScript {
public:
    static inline const QStringList kHandlerNames{QStringLiteral("nativeHandler"),
                                                  QStringLiteral("web2native"),
                                                  QStringLiteral("native2web")};

    static QWebEngineScript make();
    // The channel client Qt ships as a resource; empty when it is missing.
    static QString webChannelClientSource();
    // The handler shim alone (it expects `QWebChannel` in scope).
    static QString shimSource();
};
