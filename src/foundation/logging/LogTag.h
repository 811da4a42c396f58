#pragma once

#include <QHashFunctions>
#include <QString>

#include <array>
#include <optional>

// The area of the client a log line comes from.
enum class LogTag {
    app,
    network,
    web,
    native,
    video,
    window,
    file,
    settings,
    upload,
    download,
    obs,
    performance,
    ui,
};

inline constexpr std::array<LogTag, 13> kAllLogTags = {
    LogTag::app,    LogTag::network,     LogTag::web,      LogTag::native, LogTag::video,
    LogTag::window, LogTag::file,        LogTag::settings, LogTag::upload, LogTag::download,
    LogTag::obs,    LogTag::performance, LogTag::ui,
};

// "APP", "NET", "WEB", … as printed between the brackets of a line.
QString logTagText(LogTag tag);

// Exactly one of the 13 texts (case-sensitive), else nothing.
std::optional<LogTag> logTagFromText(const QString& text);

inline size_t qHash(LogTag tag, size_t seed = 0) noexcept {
    return ::qHash(static_cast<int>(tag), seed);
}
