#pragma once

#include "foundation/logging/LineReader.h"

#include <QHash>

#include <optional>
#include <vector>

// Where the quoted texts of one line end: at the next quote written as the one that opened the
// text (the same character after as many backslashes and URL escapes), followed by the end of the
// line, by what may follow a value or, for a key in a structure, by its ":". A quote followed by
// anything else belongs to the text (descriptions print texts unescaped). Most texts are plain
// and close at the next quote, found as it stands; the others look theirs up in an index of the
// line's quotes by kind, made in one pass on the first such question.
class ClosingQuotes {
public:
    explicit ClosingQuotes(const LineReader& reader) : m_reader(reader) {}

    std::optional<LineCharacter> find(const LineCharacter& opening, bool mayBeKey);

private:
    struct Found {
        qsizetype start = 0;
        qsizetype end = 0;
    };

    bool closes(const LineCharacter& quote, bool mayBeKey) const;
    void index();
    static quint64 kindOf(const LineCharacter& quote, bool mayBeKey);

    const LineReader& m_reader;
    bool m_indexed = false;
    // In the order of the line.
    QHash<quint64, std::vector<Found>> m_byKind;
};
