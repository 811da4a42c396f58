#include "api/CustomInterceptor.h"

CustomInterceptor::RetryDecision CustomInterceptor::retry(std::optional<int> httpStatus,
                                                          int retryCount) const {
    if (!httpStatus || *httpStatus == 401 || *httpStatus < 500) {
        return {};
    }
    if (retryCount <= 2) {
        return {true, m_retryDelay};
    }
    return {};
}
