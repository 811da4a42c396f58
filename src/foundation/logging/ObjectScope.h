#pragma once

#include <QChar>
#include <QStringView>

// Reads on from a member's value, once however often it is asked, and tells whether a later
// position is still inside the member's object, and not inside an object within it: those are
// passed whole, and braces inside its texts do not count. Its texts are told by the quote the
// member's key or value was written with ("\"", "\\\"" in JSON text inside JSON text, "%22" and
// "%2522" with URL escapes); with none, every brace counts.
class ObjectScope {
public:
    ObjectScope(QStringView text, qsizetype from, QStringView quote);

    bool holds(qsizetype position);
    // Whether every text opened since the value was closed where `holds` was last asked: where
    // not, its answer may be wrong.
    bool textsClosed() const { return !m_inText; }

private:
    // The size of a quote of the object's texts at `position`; 0 for none.
    qsizetype quoteAt(qsizetype position) const;

    QStringView m_text;
    qsizetype m_readTo;
    QChar m_quote;
    qsizetype m_backslashes = 0;
    int m_escapeLevel = 0;
    int m_depth = 0;
    bool m_inText = false;
    bool m_ended = false;
};
