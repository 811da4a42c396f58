#pragma once

#include "foundation/logging/LineReader.h"

// Reads on from a member of an object, once however often it is asked, and tells whether a later
// position is still a member of that object, and not of an object inside it: those are passed
// whole, and braces inside its texts do not count. Its texts are those opened by quotes written as
// `quote` is (the member's own, "\"" in JSON text inside JSON text, "%22" with URL escapes); with
// no quote (a character of 0), every brace counts.
class ObjectScope {
public:
    ObjectScope(const LineReader& reader, qsizetype from, const LineCharacter& quote)
        : m_reader(&reader), m_quote(quote), m_readTo(from) {}

    bool holds(qsizetype position);
    // Whether the object had ended where `holds` was last asked.
    bool ended() const { return m_ended; }
    // Whether every text opened since the member was closed there: where not, `holds` may be
    // wrong.
    bool textsClosed() const { return !m_inText; }

private:
    const LineReader* m_reader;
    LineCharacter m_quote;
    qsizetype m_readTo;
    int m_depth = 0;
    bool m_inText = false;
    bool m_ended = false;
};
