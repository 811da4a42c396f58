#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>

#include <any>
#include <functional>

// How reply bytes become the caller's type: the record itself, the record inside the envelope,
// whichever of the two fits, or the caller's own function.
class ResponseParsingStrategy {
public:
    enum class Kind { custom, automatic, wrapped, direct };
    // Returns a value of any type, or an error in place of throwing.
    using CustomParser = std::function<Result<std::any>(const QByteArray&)>;

    static ResponseParsingStrategy custom(CustomParser parser) {
        return ResponseParsingStrategy(Kind::custom, std::move(parser));
    }
    // The manager's default.
    static ResponseParsingStrategy automatic() { return ResponseParsingStrategy(Kind::automatic); }
    static ResponseParsingStrategy wrapped() { return ResponseParsingStrategy(Kind::wrapped); }
    static ResponseParsingStrategy direct() { return ResponseParsingStrategy(Kind::direct); }

    Kind kind() const { return m_kind; }
    const CustomParser& customParser() const { return m_parser; }

private:
    explicit ResponseParsingStrategy(Kind kind, CustomParser parser = {})
        : m_kind(kind), m_parser(std::move(parser)) {}

    Kind m_kind;
    CustomParser m_parser;
};
