#pragma once

#include "api/KeyedEncoder.h"

#include <QByteArray>

// The service's envelope: {"code", "msg", "data"}. A missing key or null leaves a field empty;
// a present value of the wrong type fails the whole envelope.
template <JsonRecord T>
struct KXAPIResponse {
    std::optional<T> data;
    std::optional<QString> msg;
    std::optional<qint64> code;
    // Never filled by decoding.
    std::optional<QByteArray> _rawData;

    // Code 0 or 200; a missing code is a failure.
    bool isSuccess() const { return code && (*code == 0 || *code == 200); }

    static Result<KXAPIResponse> fromJson(const QJsonValue& json, const QString& codingPath = {}) {
        KeyedDecoder decoder(json, codingPath);
        KXAPIResponse response;
        decoder.decodeIfPresent(QStringLiteral("data"), response.data);
        decoder.decodeIfPresent(QStringLiteral("msg"), response.msg);
        decoder.decodeIfPresent(QStringLiteral("code"), response.code);
        return decoder.finish(std::move(response));
    }

    QJsonObject toJson() const {
        KeyedEncoder encoder;
        encoder.encodeIfPresent(QStringLiteral("data"), data);
        encoder.encodeIfPresent(QStringLiteral("msg"), msg);
        encoder.encodeIfPresent(QStringLiteral("code"), code);
        return encoder.object();
    }

    bool operator==(const KXAPIResponse&) const = default;
};
