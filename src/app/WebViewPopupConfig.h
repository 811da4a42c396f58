#pragma once

#include <QColor>
#include <QString>

#include <optional>

// What a popup web window shows and how it looks. The first of url, htmlString and localFilePath
// that is present is loaded.
struct WebViewPopupConfig {
    QString title;
    double width = 800;
    double height = 600;
    std::optional<QString> url;
    std::optional<QString> htmlString;
    // A file path, optionally followed by "#<route>" and a query.
    std::optional<QString> localFilePath;
    bool resizable = true;
    bool showTitleBar = true;
    QColor backgroundColor = Qt::white;
};
