#pragma once

#include "foundation/FileLogger.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Shared set-up of the fuzz targets: one application object, a silent logger, and a way to
// stop with a message when a property that must always hold does not.
namespace fuzz {

inline void startQuietly(int* argc, char*** argv) {
    static QCoreApplication application(*argc, *argv);
    FileLogger::shared().setLogLevel(LogLevel::none);
}

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

[[noreturn]] inline void violated(const char* what) {
    std::fprintf(stderr, "fuzz: property violated: %s\n", what);
    std::abort();
}

}  // namespace fuzz
