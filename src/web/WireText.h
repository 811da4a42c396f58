#pragma once

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

// A vocabulary whose cases are indexed by position in a table of ASCII wire texts.
namespace wiretext {

template <typename Enum, std::size_t N>
QString textOf(const std::array<const char*, N>& texts, Enum value) {
    return QString::fromLatin1(texts.at(static_cast<std::size_t>(value)));
}

// Exact, case-sensitive match; no trimming.
template <typename Enum, std::size_t N>
std::optional<Enum> caseOf(const std::array<const char*, N>& texts, const QString& text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == QLatin1StringView(texts[i])) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

template <typename Enum, std::size_t... I>
constexpr std::array<Enum, sizeof...(I)> allCases(std::index_sequence<I...>) {
    return {static_cast<Enum>(I)...};
}

}  // namespace wiretext
