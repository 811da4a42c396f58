#pragma once

#include <QString>

// Names of the notifications the client's parts post to one another on the default centre.
namespace NotificationNames {
inline const QString languageDidChange = QStringLiteral("languageDidChange");
inline const QString childToMainMessage = QStringLiteral("childToMainMessage");
inline const QString mainToChildMessage = QStringLiteral("mainToChildMessage");
inline const QString reduceBitrateMode = QStringLiteral("reduce-bitrate-mode");
inline const QString userLogin = QStringLiteral("user_login");
inline const QString userLogout = QStringLiteral("user_logout");
inline const QString webViewDebugModeDidChange = QStringLiteral("webViewDebugModeDidChange");
inline const QString webContentDidRepair = QStringLiteral("webContentDidRepair");
}  // namespace NotificationNames
