#pragma once

#include "foundation/logging/LineReader.h"

#include <QChar>
#include <QHash>

#include <array>
#include <optional>
#include <vector>

// Where the values of a line start and end: an object or array, a text to its closing quote, an
// unquoted value to a delimiter, a header's to its line's end. What a look forward finds is kept.
class LineValues {
public:
    struct Span {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype size() const { return end - start; }
    };
    enum class Kind { none, quoted, bare, structure };
    struct Value {
        Kind kind = Kind::none;
        Span content;
        qsizetype end = 0;
        // The quote that opened it, or its key's for a value not quoted.
        LineCharacter quote;
    };

    explicit LineValues(const LineReader& reader);

    // The value after a separator ending at `after`, URL-escaped `level` times; null: a header's.
    Value at(qsizetype after, const LineCharacter& keyQuote, QChar separator, int level);
    // A text to the next quote written as its opening one that may end it, or to its line's end.
    Value quoted(const LineCharacter& opening, bool mayBeKey);
    qsizetype blanksFrom(qsizetype position, bool form) const;
    qsizetype lineEnd(qsizetype from);
    // Where an element's text ends: the next "<" escaped no deeper than its ">", or its line's end.
    qsizetype elementTextEnd(qsizetype from, int level) {
        return m_elementTextEnd[level].from(from);
    }
    // The next ":" or "=", also written with URL escapes.
    qsizetype nextSeparator(qsizetype from) { return m_separator.from(from); }

private:
    // The first position at or after a start where a test holds. Starts come in the line's order,
    // so an answer still ahead of the next start is its answer too: no character is tested twice.
    struct NextWhere {
        QStringView text;
        bool (*test)(QStringView text, qsizetype position);
        qsizetype start = -1;
        qsizetype found = -1;

        // The position, or the text's size where the test holds nowhere after `at`.
        qsizetype from(qsizetype at) {
            if (at < start || at > found) {
                for (found = at; found < text.size() && !test(text, found);) {
                    ++found;
                }
            }
            start = at;
            return found;
        }
    };

    qsizetype digitGroupsEnd(qsizetype start, qsizetype firstEnd, NextWhere& ends, bool form) const;
    std::optional<LineCharacter> closingQuote(const LineCharacter& opening, bool mayBeKey);
    bool closes(const LineCharacter& quote, bool mayBeKey) const;
    static quint64 kindOf(const LineCharacter& quote, bool mayBeKey);

    const LineReader& m_reader;
    QStringView m_text;
    bool m_quotesIndexed = false;
    QHash<quint64, std::vector<std::pair<qsizetype, qsizetype>>> m_quotesByKind;
    std::array<NextWhere, 4> m_bareEnd;
    NextWhere m_headerEnd;
    NextWhere m_lineEnd;
    std::optional<bool> m_hasLineBreak;
    std::array<NextWhere, 4> m_elementTextEnd;
    NextWhere m_separator;
};
