#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The store's short-lived credential as the service hands it out; JSON keys are the field names.
struct OBSConfig {
    QString ak;
    QString sk;
    QString bucket;
    std::optional<QString> cdn;
    QString endPoint;
    QString token;
    qint64 validSecond = 0;
    qint64 expiredAt = 0;  // Unix seconds

    bool operator==(const OBSConfig&) const = default;
};

// The credential request's reply: {"msg", "code", "data"}.
struct OBSCredentialEncryptResponse {
    QString msg;
    qint64 code = 0;
    std::optional<OBSConfig> data;

    // A missing required key or a value of another type fails the whole reply.
    static Result<OBSCredentialEncryptResponse> decode(const QByteArray& json);
};
