#include "update/UpdateError.h"

#include <QStringDecoder>

UpdateError UpdateError::bundleIdentifierMismatch(const std::optional<QString>& running,
                                                  const std::optional<QString>& package) {
    const QString unknown = QStringLiteral("未知");
    return invalidPackage(QStringLiteral("Bundle ID 不匹配：当前 ") + running.value_or(unknown) +
                          QStringLiteral("，安装包 ") + package.value_or(unknown));
}

UpdateError UpdateError::commandFailed(const QByteArray& standardError,
                                       const QString& executablePath) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(standardError);
    return commandFailed(decoder.hasError() ? executablePath : text);
}

QString UpdateError::errorDescription() const {
    switch (m_case) {
        case Case::invalidPackage:
        case Case::commandFailed:
            return m_payload;
        case Case::alreadyRunning:
            return QStringLiteral("已有更新任务正在执行");
        case Case::checksumMismatch:
            return QStringLiteral("安装包校验失败");
    }
    return m_payload;
}

Error UpdateError::toError() const {
    return Error{kDomain, static_cast<int>(m_case), errorDescription()};
}
