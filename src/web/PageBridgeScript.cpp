#include "web/PageBridgeScript.h"

#include "web/ScriptMessageEndpoint.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString jsonText(const QJsonValue& value) {
    return QString::fromUtf8(value.isArray()
                                 ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                 : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

QString quoted(const QString& text) {
    const QString array = jsonText(QJsonArray{text});
    return array.mid(1, array.size() - 2);
}

QWebEngineScript script(const QString& name, QWebEngineScript::ScriptWorldId world,
                        const QString& source) {
    QWebEngineScript script;
    script.setName(name);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(world);
    script.setRunsOnSubFrames(false);
    // One closure each: nothing of the bridge is left on the page's global object.
    script.setSourceCode(QStringLiteral("(function () {\n") + source + QStringLiteral("\n})();\n"));
    return script;
}

}  // namespace

QString PageBridgeScript::webChannelClientSource() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString PageBridgeScript::trustCheckSource(const TrustedPageOrigins::Snapshot& trusted) {
    const QJsonObject lists{
        {QStringLiteral("origins"), QJsonArray::fromStringList(trusted.origins)},
        {QStringLiteral("folders"), QJsonArray::fromStringList(trusted.folders)}};
    return QStringLiteral(R"JS(
var trusted = %1;
function isTrustedPage() {
    var here = window.location;
    if (here.protocol === "data:") {
        return true;
    }
    if (here.protocol === "file:") {
        var path;
        try {
            path = decodeURIComponent(here.pathname);
        } catch (error) {
            return false;
        }
        return trusted.folders.some(function (folder) { return path.indexOf(folder) === 0; });
    }
    return trusted.origins.indexOf(here.origin) >= 0;
}
)JS")
        .arg(jsonText(lists));
}

QString PageBridgeScript::shimSource() {
    return QStringLiteral(R"JS(
if (!isTrustedPage()) {
    return;
}
var dispatch = EventTarget.prototype.dispatchEvent;
var PostEvent = CustomEvent;
var stringify = JSON.stringify;
function deliver(name, body) {
    var text;
    try {
        text = stringify(body);
    } catch (error) {
        text = undefined;
    }
    if (text === undefined) {
        text = "";
    }
    // The name holds no line break, and JSON text none outside its strings.
    dispatch.call(document, new PostEvent(%2, { detail: name + "\n" + text }));
}
var handlers = {};
%1.forEach(function (name) {
    handlers[name] = Object.freeze({ postMessage: function (body) { deliver(name, body); } });
});
var webkit = window.webkit || {};
webkit.messageHandlers = Object.freeze(handlers);
window.webkit = webkit;
)JS")
        .arg(jsonText(QJsonArray::fromStringList(kHandlerNames)), quoted(kPostEvent));
}

QString PageBridgeScript::channelSource() {
    return QStringLiteral(R"JS(
if (!isTrustedPage()) {
    return;
}
var pending = [];
var endpoint = null;
// Read when the post is made, so a navigation that follows cannot lend it another page's name.
function pageAddress() {
    var here = window.location;
    if (here.protocol === "data:") {
        return "data:";
    }
    if (here.protocol === "file:") {
        return "file://" + here.host + here.pathname;
    }
    return here.origin;
}
document.addEventListener(%1, function (event) {
    var detail = event.detail;
    var end = typeof detail === "string" ? detail.indexOf("\n") : -1;
    if (end < 0) {
        return;
    }
    var post = [detail.slice(0, end), detail.slice(end + 1), pageAddress()];
    if (endpoint) {
        endpoint.postMessage(post[0], post[1], post[2]);
    } else {
        pending.push(post);
    }
});
function connect() {
    if (!(window.qt && window.qt.webChannelTransport)) {
        setTimeout(connect, 0);
        return;
    }
    new QWebChannel(window.qt.webChannelTransport, function (channel) {
        var target = channel.objects[%2];
        pending.splice(0).forEach(function (post) { target.postMessage(post[0], post[1], post[2]); });
        endpoint = target;
    });
}
connect();
)JS")
        .arg(quoted(kPostEvent), quoted(ScriptMessageEndpoint::kChannelName));
}

QList<QWebEngineScript> PageBridgeScript::make(const TrustedPageOrigins::Snapshot& trusted) {
    const QString check = trustCheckSource(trusted);
    return {script(QStringLiteral("native-message-handlers"), QWebEngineScript::MainWorld,
                   check + shimSource()),
            script(QStringLiteral("native-message-channel"), kChannelWorld,
                   webChannelClientSource() + check + channelSource())};
}
