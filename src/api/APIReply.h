#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QUrl>

#include <optional>

// What the transport hands to parsing once a request is over, retries included.
struct APIReply {
    QUrl requestUrl;                 // empty when no request was made
    std::optional<int> statusCode;   // absent without an HTTP response
    std::optional<QByteArray> body;  // absent when nothing usable was received
    std::optional<Error> error;      // transport, validation or empty-body failure

    bool succeeded() const { return !error && body; }
};
