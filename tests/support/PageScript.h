#pragma once

#include <QString>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>

#include <memory>
#include <utility>

// Runs a script in the page and waits (up to 15 s) for its result.
inline QVariant evaluate(QWebEnginePage* page, const QString& script) {
    auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    page->runJavaScript(script, [state](const QVariant& value) { *state = {true, value}; });
    if (!QTest::qWaitFor([&] { return state->first; }, 15000)) {
        qWarning("script timed out: %s", qPrintable(script));
    }
    return state->second;
}
