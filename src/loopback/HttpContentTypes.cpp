#include "loopback/HttpContentTypes.h"

#include <QHash>

namespace HttpContentTypes {

QString imageContentType(const QByteArray& image) {
    if (image.size() < 12) {
        return QStringLiteral("application/octet-stream");
    }
    if (image.startsWith("GIF")) {
        return QStringLiteral("image/gif");
    }
    if (image.startsWith("\xFF\xD8\xFF")) {
        return QStringLiteral("image/jpeg");
    }
    if (image.startsWith("\x89PNG")) {
        return QStringLiteral("image/png");
    }
    // The RIFF header before it is not examined.
    if (image.mid(8, 4) == "WEBP") {
        return QStringLiteral("image/webp");
    }
    if (image.startsWith("BM")) {
        return QStringLiteral("image/bmp");
    }
    return QStringLiteral("application/octet-stream");
}

QString mimeType(const QString& extension) {
    static const QHash<QString, QString> kTypes = {
        {QStringLiteral("html"), QStringLiteral("text/html; charset=utf-8")},
        {QStringLiteral("js"), QStringLiteral("application/javascript; charset=utf-8")},
        {QStringLiteral("css"), QStringLiteral("text/css; charset=utf-8")},
        {QStringLiteral("json"), QStringLiteral("application/json; charset=utf-8")},
        {QStringLiteral("map"), QStringLiteral("application/json; charset=utf-8")},
        {QStringLiteral("png"), QStringLiteral("image/png")},
        {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("jpeg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("gif"), QStringLiteral("image/gif")},
        {QStringLiteral("svg"), QStringLiteral("image/svg+xml")},
        {QStringLiteral("webp"), QStringLiteral("image/webp")},
        {QStringLiteral("ico"), QStringLiteral("image/x-icon")},
        {QStringLiteral("woff"), QStringLiteral("font/woff")},
        {QStringLiteral("woff2"), QStringLiteral("font/woff2")},
        {QStringLiteral("ttf"), QStringLiteral("font/ttf")},
    };
    return kTypes.value(extension.toLower(), QStringLiteral("application/octet-stream"));
}

QString pathExtension(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

}  // namespace HttpContentTypes
