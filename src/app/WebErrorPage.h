#pragma once

#include "api/ForceInfo.h"

#include <QString>
#include <QUrl>

#include <optional>

// The local page the main window shows when the web package cannot be shown: why, where to get
// the package by hand, where to unpack it, and a button that asks the client to repair it.
namespace WebErrorPage {

// & < > " ' replaced by their entities, each once.
QString escapeHTML(const QString& text);

// The last package download's address, else the running release's web package address, else the
// hint to ask for one.
QString manualDownloadAddress(const std::optional<QUrl>& lastDownloadURL,
                              const std::optional<ForceInfo>& activeForceInfo);

// The whole document; the three texts are escaped here.
QString html(const QString& failureText, const QString& downloadAddress,
             const QString& targetFolder);

}  // namespace WebErrorPage
