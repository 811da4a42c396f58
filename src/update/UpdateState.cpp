#include "update/UpdateState.h"

std::optional<double> UpdateState::fraction() const {
    if (const double* value = std::get_if<double>(&m_payload)) {
        return *value;
    }
    return std::nullopt;
}
