#include "foundation/settings/ServiceEndpoints.h"

#include "foundation/AppInfo.h"

#include <QtGlobal>

namespace ServiceEndpoints {

namespace {

QUrl fromEnvironment(const char* name, const QUrl& fallback) {
    return overrideFrom(qEnvironmentVariable(name)).value_or(fallback);
}

}  // namespace

std::optional<QUrl> overrideFrom(const QString& value) {
    QString text = value.trimmed();
    while (text.endsWith(QLatin1Char('/'))) {
        text.chop(1);
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (text.isEmpty() || !url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return std::nullopt;
    }
    return url;
}

QUrl apiBaseUrl() {
    static const QUrl url = fromEnvironment(
        "KX_API_BASE_URL", QUrl(QStringLiteral("https://") + QString::fromUtf8(AppInfo::kApiHost) +
                                QStringLiteral("/api")));
    return url;
}

QUrl resourceBaseUrl() {
    static const QUrl url = fromEnvironment(
        "KX_RESOURCE_BASE_URL",
        QUrl(QStringLiteral("https://") + QString::fromUtf8(AppInfo::kResourceHost)));
    return url;
}

QUrl resourceUrl(const QString& path) {
    return QUrl(resourceBaseUrl().toString() + path);
}

}  // namespace ServiceEndpoints
