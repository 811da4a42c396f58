#pragma once

#include "foundation/logging/LineReader.h"

#include <QHash>

#include <array>
#include <optional>
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

    // The quote that closes the text `opening` opens, whose line ends at `lineEnd`; none where the
    // text ends at its line's end. A key's name (`mayBeKey`) also closes before a ":" or "=".
    std::optional<LineCharacter> closing(const LineCharacter& opening, bool mayBeKey,
                                         qsizetype lineEnd);
    // The first quote after `opening` that reads as it, whatever follows it.
    std::optional<LineCharacter> next(const LineCharacter& opening);
    // Whether what follows `quote` may follow a text's end.
    bool closes(const LineCharacter& quote, bool mayBeKey) const;

private:
    using Spans = std::vector<std::pair<qsizetype, qsizetype>>;

    // The first quote written as `opening` after it that closes it.
    std::optional<LineCharacter> nextWrittenAlike(const LineCharacter& opening, bool mayBeKey);
    void index();
    static std::optional<LineCharacter> first(const Spans& quotes, const LineCharacter& opening);
    static quint64 kindOf(const LineCharacter& quote);

    const LineReader& m_reader;
    QStringView m_text;
    // Made once, for the first text that does not close at the next plain quote.
    bool m_indexed = false;
    // The quotes that read as each kind of quote, and those written so that may end a value's text
    // and a key's name.
    QHash<quint64, Spans> m_readingAs;
    std::array<QHash<quint64, Spans>, 2> m_closers;
};
