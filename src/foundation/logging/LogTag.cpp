#include "foundation/logging/LogTag.h"

QString logTagText(LogTag tag) {
    switch (tag) {
        case LogTag::app:
            return QStringLiteral("APP");
        case LogTag::network:
            return QStringLiteral("NET");
        case LogTag::web:
            return QStringLiteral("WEB");
        case LogTag::native:
            return QStringLiteral("NATIVE");
        case LogTag::video:
            return QStringLiteral("VIDEO");
        case LogTag::window:
            return QStringLiteral("WINDOW");
        case LogTag::file:
            return QStringLiteral("FILE");
        case LogTag::settings:
            return QStringLiteral("SETTINGS");
        case LogTag::upload:
            return QStringLiteral("UPLOAD");
        case LogTag::download:
            return QStringLiteral("DOWNLOAD");
        case LogTag::obs:
            return QStringLiteral("OBS");
        case LogTag::performance:
            return QStringLiteral("PERF");
        case LogTag::ui:
            return QStringLiteral("UI");
    }
    return {};
}

std::optional<LogTag> logTagFromText(const QString& text) {
    for (LogTag tag : kAllLogTags) {
        if (logTagText(tag) == text) {
            return tag;
        }
    }
    return std::nullopt;
}
