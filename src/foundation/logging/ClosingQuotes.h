#pragma once

#include <QHash>
#include <QStringView>

#include <array>
#include <limits>
#include <vector>

// The quotes of one line, for the scan of LogLineMasker: where the quoted text that opens at a
// given place ends. A text opened by a quote after some backslashes ends at the same quote after
// exactly as many backslashes, followed by the end of the line, by what may follow a value or, in
// a structure, by the ":" of a key.
//
// Each kind of text (quote, backslashes, key or not) looks through the line with a cursor of its
// own that keeps what it found: texts come in the order of the line, so a cursor reads each part of
// the line once, and a line of many texts that never close costs as little as one. A line with
// texts of more kinds than there are cursors has its quotes indexed by kind in one pass instead.
class ClosingQuotes {
public:
    explicit ClosingQuotes(QStringView text);

    // The position of the first such quote at or after `from`, or -1. `from` follows the opening
    // quote; each kind's next `from` is expected further on in the line (an earlier one is looked
    // for from the line's start again).
    qsizetype find(qsizetype from, QChar quote, qsizetype backslashes, bool mayBeKey);

private:
    struct Quote {
        qsizetype position = 0;
        // The next quote of the same character after as many backslashes; -1 after the last.
        qsizetype nextAlike = -1;
        bool endsValue = false;
        bool endsKey = false;
    };
    struct Cursor {
        bool started = false;
        qsizetype from = 0;
        qsizetype quote = -1;
    };
    // What a cursor reading the line found: the first closing quote at or after `from`, or -1.
    struct Reader {
        quint64 key = 0;
        // Nothing read yet.
        qsizetype from = std::numeric_limits<qsizetype>::max();
        qsizetype found = -1;
    };
    // Quotes after fewer backslashes than this are looked up in the index without hashing.
    static constexpr qsizetype kDirectRuns = 8;
    static constexpr int kReaders = 16;

    qsizetype read(Reader& reader, qsizetype from, QChar quote, qsizetype backslashes,
                   bool mayBeKey) const;
    qsizetype backslashesBefore(qsizetype position) const;
    bool endsValueAt(qsizetype position) const;
    bool endsKeyAt(qsizetype position) const;
    void index();
    static quint64 kindOf(QChar quote, qsizetype backslashes);
    qsizetype firstAlike(quint64 kind) const;
    Cursor& cursor(quint64 kind, bool mayBeKey);

    QStringView m_text;
    std::array<Reader, kReaders> m_readers{};
    int m_readerCount = 0;
    bool m_indexed = false;
    std::vector<Quote> m_quotes;
    std::array<qsizetype, 2 * kDirectRuns> m_firstDirect{};
    QHash<quint64, qsizetype> m_firstHashed;
    std::array<Cursor, 4 * kDirectRuns> m_cursorsDirect{};
    QHash<quint64, Cursor> m_cursorsHashed;
};
