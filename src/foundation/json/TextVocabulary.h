#pragma once

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>

// The cases of an enumeration with the fixed ASCII text each is written as. Both come from one
// list of rows, ROW(case, "text") in case order: the enumeration is declared from it and the
// vocabulary built from its texts, so the order, the texts and the count cannot drift apart.
template <typename Enum, std::size_t N>
class TextVocabulary {
public:
    constexpr explicit TextVocabulary(const std::array<const char*, N>& texts)
        : m_texts(texts), m_cases(casesOf(std::make_index_sequence<N>{})) {}

    QString text(Enum value) const {
        return QString::fromLatin1(m_texts.at(static_cast<std::size_t>(value)));
    }

    // Exact, case-sensitive match; no trimming.
    std::optional<Enum> find(const QString& text) const {
        for (std::size_t i = 0; i < N; ++i) {
            if (text == QLatin1StringView(m_texts[i])) {
                return m_cases[i];
            }
        }
        return std::nullopt;
    }

    // Every case, in declaration order.
    constexpr std::span<const Enum> cases() const { return m_cases; }

private:
    template <std::size_t... I>
    static constexpr std::array<Enum, N> casesOf(std::index_sequence<I...>) {
        return {static_cast<Enum>(I)...};
    }

    std::array<const char*, N> m_texts;
    std::array<Enum, N> m_cases;
};

template <typename Enum, std::size_t N>
constexpr TextVocabulary<Enum, N> textVocabulary(const std::array<const char*, N>& texts) {
    return TextVocabulary<Enum, N>(texts);
}
