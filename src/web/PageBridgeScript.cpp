#include "web/PageBridgeScript.h"

#include "web/ScriptMessageEndpoint.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

QString PageBridgeScript::webChannelClientSource() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString PageBridgeScript::shimSource() {
    const QString names = QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(kHandlerNames)).toJson(QJsonDocument::Compact));
    return QStringLiteral(R"JS(
var pending = [];
var endpoint = null;
function deliver(name, body) {
    var text;
    try {
        text = JSON.stringify(body);
    } catch (error) {
        text = undefined;
    }
    if (text === undefined) {
        text = "";
    }
    if (endpoint) {
        endpoint.postMessage(name, text);
    } else {
        pending.push([name, text]);
    }
}
var handlers = {};
%1.forEach(function (name) {
    handlers[name] = Object.freeze({ postMessage: function (body) { deliver(name, body); } });
});
var webkit = window.webkit || {};
webkit.messageHandlers = Object.freeze(handlers);
window.webkit = webkit;
function connect() {
    if (!(window.qt && window.qt.webChannelTransport)) {
        setTimeout(connect, 0);
        return;
    }
    new QWebChannel(window.qt.webChannelTransport, function (channel) {
        var target = channel.objects[%2];
        pending.splice(0).forEach(function (post) { target.postMessage(post[0], post[1]); });
        endpoint = target;
    });
}
connect();
)JS")
        .arg(names,
             QStringLiteral("\"") + ScriptMessageEndpoint::kChannelName + QStringLiteral("\""));
}

QWebEngineScript PageBridgeScript::make() {
    QWebEngineScript script;
    script.setName(QStringLiteral("native-message-handlers"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    // One closure: the channel client stays private to the shim.
    script.setSourceCode(QStringLiteral("(function () {\n") + webChannelClientSource() +
                         shimSource() + QStringLiteral("\n})();\n"));
    return script;
}
