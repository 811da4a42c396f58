#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The failures the self-update raises itself. Platform failures (network, files, processes)
// travel as plain `Error` values with their own texts.
class UpdateError {
public:
    enum class Case {
        invalidPackage,
        commandFailed,
        alreadyRunning,
        checksumMismatch,
    };

    static inline const QString kDomain = QStringLiteral("UpdateError");

    // The texts the update steps put into `invalidPackage`.
    static inline const QString kHttpsRequired = QStringLiteral("更新地址必须使用 HTTPS");
    static inline const QString kNoMountPoint = QStringLiteral("无法找到 DMG 挂载目录");
    static inline const QString kNoApplication = QStringLiteral("DMG 根目录中未找到 .app 应用");
    static inline const QString kUnreadableBundle =
        QStringLiteral("无法读取 DMG 内应用的 Info.plist");
    static inline const QString kVersionMismatch = QStringLiteral("DMG 版本与服务端版本不一致");
    static inline const QString kVersionNotNewer = QStringLiteral("目标版本不高于当前版本");

    static UpdateError invalidPackage(QString text) {
        return UpdateError(Case::invalidPackage, std::move(text));
    }
    static UpdateError commandFailed(QString text) {
        return UpdateError(Case::commandFailed, std::move(text));
    }
    static UpdateError alreadyRunning() { return UpdateError(Case::alreadyRunning, {}); }
    static UpdateError checksumMismatch() { return UpdateError(Case::checksumMismatch, {}); }

    // A missing identifier reads "未知" on either side; the running one is named first.
    static UpdateError bundleIdentifierMismatch(const std::optional<QString>& running,
                                                const std::optional<QString>& package);
    // A command that ended with a non-zero status: its standard error when that is valid UTF-8,
    // else the executable's path.
    static UpdateError commandFailed(const QByteArray& standardError,
                                     const QString& executablePath);

    Case errorCase() const { return m_case; }
    const QString& payload() const { return m_payload; }
    // The one text the user sees.
    QString errorDescription() const;
    // As a plain error value; the code is the case's position.
    Error toError() const;

    bool operator==(const UpdateError&) const = default;

private:
    UpdateError(Case errorCase, QString payload)
        : m_case(errorCase), m_payload(std::move(payload)) {}

    Case m_case;
    QString m_payload;
};
