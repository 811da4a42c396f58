#pragma once

#include <QString>

// Error domains and codes the SDK reports.
namespace KXErrorCode {
inline const QString clientDomain = QStringLiteral("KXClient");
inline const QString deviceDomain = QStringLiteral("KXDevice");

constexpr int authenticationFailed = 3;
constexpr int notInitialized = 1001;
constexpr int invalidParameters = 1002;
constexpr int deviceNotFound = 1004;
constexpr int deviceClosed = 1005;
constexpr int unsupportedFormat = 1006;
constexpr int encodingFailed = 1007;
constexpr int fileNotFound = 1008;
constexpr int invalidPackage = 1009;
}  // namespace KXErrorCode
