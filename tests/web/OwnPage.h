#pragma once

#include "../support/PageScript.h"

#include "web/NativeWebPage.h"
#include "web/NativeWebView.h"
#include "web/TrustedPageOrigins.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

// A page of the client's own: the built-in page's bridge, `ask(key)`, which keeps a setting's value
// in window.answers when it comes back, and the test's own script.
inline QByteArray ownPageHtml(const QByteArray& script) {
    return "<!doctype html><script src=\"bridge.js\"></script><script>\n"
           "window.answers = {};\n"
           "window.ask = function (key) {\n"
           "    nativeBridge.getSetting(key).then(function (value) { window.answers[key] = value; "
           "});\n"
           "};\n" +
           script + "</script>";
}

// The client's own page in a test: `html` as the index of a web-content folder under `home`,
// beside the built-in page's bridge (KX_BUILT_IN_PAGE_DIR), which the view trusts and loads.
inline void loadOwnPage(NativeWebView& view, const QString& home, const QByteArray& html) {
    const QString content = QDir(home).filePath(QStringLiteral("KXVWebContent"));
    const QString page = content + QStringLiteral("/0.1/pc/index.html");
    QDir().mkpath(QFileInfo(page).path());
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(html) == html.size());
    file.close();
    QVERIFY(QFile::copy(QStringLiteral(KX_BUILT_IN_PAGE_DIR "/bridge.js"),
                        content + QStringLiteral("/0.1/pc/bridge.js")));
    TrustedPageOrigins::shared().setWebContentFolderProvider([content] { return content; });
    QSignalSpy finished(view.page(), &QWebEnginePage::loadFinished);
    view.loadLocalFile(page);
    QVERIFY(finished.wait(20000));
}

// The text as a script's string literal.
inline QString jsString(const QString& text) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}
