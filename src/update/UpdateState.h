#pragma once

#include "foundation/json/Result.h"
#include "update/UpdateError.h"
#include "update/UpdateInfo.h"

#include <variant>

// Where an update stands. `installing` and `completed` are never reached by the manager, but the
// progress window still knows how to show them.
class UpdateState {
public:
    enum class Case {
        available,
        downloading,
        failed,
        idle,
        verifying,
        mounting,
        installing,
        restarting,
        completed,
        cancelled,
    };

    UpdateState() = default;

    static UpdateState available(UpdateInfo info) {
        return UpdateState(Case::available, std::move(info));
    }
    // The fraction done, from 0 to 1.
    static UpdateState downloading(double fraction) {
        return UpdateState(Case::downloading, fraction);
    }
    // Platform failures keep their own text; the user sees `Error::message`.
    static UpdateState failed(Error error) { return UpdateState(Case::failed, std::move(error)); }
    static UpdateState failed(const UpdateError& error) { return failed(error.toError()); }
    static UpdateState idle() { return UpdateState(); }
    static UpdateState verifying() { return UpdateState(Case::verifying, {}); }
    static UpdateState mounting() { return UpdateState(Case::mounting, {}); }
    static UpdateState installing() { return UpdateState(Case::installing, {}); }
    static UpdateState restarting() { return UpdateState(Case::restarting, {}); }
    static UpdateState completed() { return UpdateState(Case::completed, {}); }
    static UpdateState cancelled() { return UpdateState(Case::cancelled, {}); }

    Case stateCase() const { return m_case; }
    // Each payload is there only in its own case.
    const UpdateInfo* info() const { return std::get_if<UpdateInfo>(&m_payload); }
    std::optional<double> fraction() const;
    const Error* error() const { return std::get_if<Error>(&m_payload); }

    bool operator==(const UpdateState&) const = default;

private:
    using Payload = std::variant<std::monostate, UpdateInfo, double, Error>;

    UpdateState(Case stateCase, Payload payload)
        : m_case(stateCase), m_payload(std::move(payload)) {}

    Case m_case = Case::idle;
    Payload m_payload;
};
