#pragma once

#include <QMutex>
#include <QString>
#include <QWebEngineUrlRequestInterceptor>

#include <optional>

// A page may read local files only inside the folder its own file was loaded from; every other
// file request is refused, and with no folder granted every file request is. Links are followed,
// so a link inside the folder cannot lead out of it, not even to a file missing behind it.
class LocalFileAccessInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void setReadableFolder(const std::optional<QString>& folder);
    std::optional<QString> readableFolder() const;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    mutable QMutex m_mutex;
    std::optional<QString> m_folder;
};
