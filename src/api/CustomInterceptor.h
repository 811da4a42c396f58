#pragma once

#include "foundation/json/Result.h"

#include <QNetworkRequest>

#include <chrono>
#include <optional>

// The request adapter, validation and retry rule of every API request.
class CustomInterceptor {
public:
    struct RetryDecision {
        bool retry = false;
        std::chrono::milliseconds delay{0};
        bool operator==(const RetryDecision&) const = default;
    };

    explicit CustomInterceptor(std::chrono::milliseconds retryDelay = std::chrono::seconds(1))
        : m_retryDelay(retryDelay) {}

    // Requests go out as they were built.
    Result<QNetworkRequest> adapt(const QNetworkRequest& request) const { return request; }

    // Only 200 to 299 count as success; anything else fails the request and reaches retry().
    static bool validate(int httpStatus) { return httpStatus >= 200 && httpStatus <= 299; }

    // For a failed request: server errors (500 and up) are sent again after the delay while
    // fewer than three retries were made; without an HTTP response, on 401 and on any other
    // status the failure stands.
    RetryDecision retry(std::optional<int> httpStatus, int retryCount) const;

private:
    std::chrono::milliseconds m_retryDelay;
};
