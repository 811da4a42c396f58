#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QJsonValue>

// The payload when a caller needs only the envelope's "code" and "msg". Having no fields, it
// reads from any value.
struct EmptyResponse {
    static Result<EmptyResponse> fromJson(const QJsonValue&, const QString& = {}) {
        return EmptyResponse{};
    }
    QJsonObject toJson() const { return {}; }

    bool operator==(const EmptyResponse&) const = default;
};
