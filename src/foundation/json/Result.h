#pragma once

#include <QString>

#include <cassert>
#include <utility>
#include <variant>

// A failure as a value: the domain names the component ("UploadError",
// "CloudPhoneCommunicator.add"…), the message is the text a person reads.
struct Error {
    QString domain;
    int code = 0;
    QString message;

    bool operator==(const Error&) const = default;
};

// Either a value or an error; errors travel as values, never as exceptions across the event loop.
template <typename T, typename E = Error>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}

    static Result success(T value) { return Result(std::move(value)); }
    static Result failure(E error) { return Result(std::move(error)); }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& {
        assert(ok());
        return std::get<0>(m_state);
    }
    T& value() & {
        assert(ok());
        return std::get<0>(m_state);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(m_state));
    }
    const E& error() const {
        assert(!ok());
        return std::get<1>(m_state);
    }
    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, E> m_state;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : m_error(std::move(error)), m_failed(true) {}

    static Result success() { return Result(); }
    static Result failure(E error) { return Result(std::move(error)); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const E& error() const {
        assert(m_failed);
        return m_error;
    }

private:
    E m_error{};
    bool m_failed = false;
};
