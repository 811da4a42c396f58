#pragma once

#include "foundation/logging/LineReader.h"

#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

// Where the texts of a message close. A text closes at the first quote after it that reads as its
// opening one: written the same way, or, as JSON reads a run of backslashes, after backslashes that
// escape each other (`"C:\\dir\\"` closes at its last quote, two backslashes before it). Where that
// quote is followed by what no text ends before (a letter: `"p"ss"`), a later one written the same
// way on its line may close it; otherwise the text ends at its line's end. A text runs on past its
// line only where its line holds no such quote, and then to the next one alone.
class LineQuotes {
public:
    explicit LineQuotes(const LineReader& reader) : m_reader(reader), m_text(reader.text()) {}

    // The quote that closes the text `opening` opens; none where the text ends at its line's end.
    // A key's name (`mayBeKey`) also closes before a ":" or "=".
    std::optional<LineCharacter> closing(const LineCharacter& opening, bool mayBeKey);
    // The first quote after `opening` that reads as it, whatever follows it.
    std::optional<LineCharacter> next(const LineCharacter& opening);
    // Whether what follows `quote` may follow a text's end.
    bool closes(const LineCharacter& quote, bool mayBeKey) const;
    // Where the line that holds `from` ends: its next line break, or the message's end. Most
    // messages hold no line break: told once, eight characters at a time. The others keep where
    // their breaks are, for any position in any order.
    qsizetype lineEnd(qsizetype from);

private:
    // Quotes of one kind in the order of the message, and where the last look-up found its answer:
    // texts are read in the message's order, so the next answer is most often a step or two on.
    struct Spans {
        std::vector<std::pair<qsizetype, qsizetype>> spans;
        size_t found = 0;

        void emplace_back(qsizetype start, qsizetype end) { spans.emplace_back(start, end); }
    };
    // The lists of one kind of quote: those that read as it, and those written so that may end a
    // value's text and a key's name.
    struct Kind {
        Spans readingAs;
        std::array<Spans, 2> closers;
    };

    // The first quote written as `opening` after it that closes it.
    std::optional<LineCharacter> nextWrittenAlike(const LineCharacter& opening, bool mayBeKey);
    // Whether no line break lies from `from` to `to`; a short stretch is read as it stands.
    bool onOneLine(qsizetype from, qsizetype to);
    void index();
    Kind& kind(const LineCharacter& quote);
    static std::optional<LineCharacter> first(Spans& quotes, const LineCharacter& opening);
    static quint64 kindOf(const LineCharacter& quote);

    const LineReader& m_reader;
    QStringView m_text;
    // Made once, for the first text that does not close at the next plain quote.
    bool m_indexed = false;
    // Each kind's lists; the map keeps its elements where they are, so the last kind asked for is
    // kept at hand.
    std::unordered_map<quint64, Kind> m_kinds;
    quint64 m_lastKind = ~quint64{0};
    Kind* m_last = nullptr;
    std::optional<std::vector<qsizetype>> m_lineBreaks;
};
