#pragma once

#include "foundation/logging/LineQuotes.h"
#include "foundation/logging/LineReader.h"

#include <QChar>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

// Where the values of a line start and end: an object or array to its close, a text to its closing
// quote (LineQuotes), an unquoted value to a delimiter, a header's to its line's end. What a look
// forward finds is kept. A text, object or array that never closes ends at its line's end; a
// bracket that ends a text ("unexpected token: {") opens none.
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
    // What an object or array is read as: texts, words, its brackets and the characters between.
    struct Piece {
        enum class Kind { text, word, opening, closing, other };
        Kind kind = Kind::other;
        // A text's content, a word, a bracket; the piece ends at `end`.
        Span span;
        qsizetype end = 0;
    };

    explicit LineValues(const LineReader& reader);

    const LineReader& reader() const { return m_reader; }
    LineQuotes& quotes() { return m_quotes; }

    // The value after a separator ending at `after`, URL-escaped `level` times; null: a header's.
    Value at(qsizetype after, const LineCharacter& keyQuote, QChar separator, int level);
    // A text to the quote that closes it (LineQuotes), or to its line's end.
    Value quoted(const LineCharacter& opening, bool mayBeKey);
    // After a whole phone or ID-card number ending at `after`, the next one of a list ("、", "/",
    // blanks…); an empty span where the next is none.
    Span followingNumber(qsizetype after, int level);
    Piece pieceAt(qsizetype position);
    // Where the object or array at `start` ends: after its closing bracket, or at its line's end.
    qsizetype structureEnd(qsizetype start);
    qsizetype blanksFrom(qsizetype position, int form) const;
    qsizetype lineEnd(qsizetype from) { return m_quotes.lineEnd(from); }
    // Where an element's text ends: the next "<" escaped no deeper than its ">", or its line's end.
    qsizetype elementTextEnd(qsizetype from, int depth) {
        return m_elementTextEnd[std::min(depth, LineReader::kDeepestUrlLevel)].from(from);
    }
    // The next ":" or "=", also written with URL escapes.
    qsizetype nextSeparator(qsizetype from) { return m_separator.from(from); }

private:
    // The first position at or after a start where a test holds. Starts come in the line's order,
    // so an answer still ahead of the next start is its answer too: no character is tested twice.
    struct NextWhere {
        const LineReader* reader = nullptr;
        bool (*test)(const LineReader& reader, qsizetype position, int depth) = nullptr;
        int depth = 0;
        qsizetype start = -1;
        qsizetype found = -1;

        // The position, or the text's size where the test holds nowhere after `at`.
        qsizetype from(qsizetype at) {
            if (at < start || at > found) {
                const qsizetype size = reader->text().size();
                for (found = at; found < size && !test(*reader, found, depth);) {
                    ++found;
                }
            }
            start = at;
            return found;
        }
    };
    // One cursor for each depth of escapes, the plain one first.
    using Cursors = std::array<NextWhere, LineReader::kDeepestUrlLevel + 1>;
    // The brackets an object read to the line's end without closing met, and where each closed.
    struct Bracket {
        qsizetype position = 0;
        qsizetype end = -1;
    };
    struct Number {
        qsizetype end = 0;
        bool whole = false;
        bool personal = false;
    };
    // A group of a number as the reader reads it, where it ends, whether it is one of a number.
    static constexpr qsizetype kLongestGroup = 24;
    struct Group {
        QVarLengthArray<char16_t, kLongestGroup> text;
        qsizetype end = 0;
        bool number = true;
    };
    Cursors cursors(bool (*test)(const LineReader&, qsizetype, int)) const;
    Group groupAt(qsizetype start, qsizetype end, int form) const;
    Number digitGroups(qsizetype start, qsizetype end, NextWhere& ends, int form) const;
    qsizetype headerEnd(qsizetype start, int level);
    LineCharacter parameterClose(const LineCharacter& opening) const;
    bool endsText(const LineCharacter& bracket);
    bool isApostrophe(qsizetype position) const;

    const LineReader& m_reader;
    QStringView m_text;
    LineQuotes m_quotes;
    Cursors m_bareEnd;
    // The last header's value: a header inside it ends where it does.
    Span m_header{-1, -1};
    Cursors m_elementTextEnd;
    NextWhere m_separator;
    // Of the last object read to the text's end without closing, in the order of the line.
    std::vector<Bracket> m_openBrackets;
    // What looks for closes across lines may still read, so that it stays linear.
    qsizetype m_structureReads = 0;
};
