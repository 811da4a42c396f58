#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

// The bytes as text when they are valid UTF-8 throughout, else nothing.
inline std::optional<QString> strictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}
