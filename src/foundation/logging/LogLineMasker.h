#pragma once

#include "foundation/logging/ClosingQuotes.h"
#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LineReader.h"
#include "foundation/logging/NextWhere.h"
#include "foundation/logging/ObjectScope.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <optional>
#include <vector>

// The scan behind LogRedaction::maskedLine. It reads the line once, through `LineReader`, from
// stop to stop: the ":", "=" and "=>" of JSON members, headers, queries, forms and hashes, the ">"
// of an XML element and the "[" of a pair, each in any encoding the reader knows. At a separator
// it reads back to the key and, when that key is hidden, forward to the value, notes the value's
// span and goes on after it. Values of other keys are scanned like the rest of the line, which is
// how JSON text inside them is reached. Entries (a name and a value in one object, a pair, the
// object store's argument) hide their value when their name is hidden, in either order. A hidden
// span ends at its line's end. The edits are made at the end, so a line without any comes back as
// it came.
//
// Its cost grows with the line's length alone: a look back stops at the name's first character
// that no hidden name has, and what a look forward finds is kept for the next one
// (`ClosingQuotes`, `NextWhere`, `ObjectScope`).
class LogLineMasker {
public:
    struct Span {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype size() const { return end - start; }
    };

    explicit LogLineMasker(const QString& line);

    QString masked();
    // The spans of the line that read "***", in the order of the line; one may hold others.
    QList<Span> hiddenSpans();

private:
    // [start, end) becomes `quote` "***" `quote`.
    struct Edit {
        Span span;
        Span quote;
    };
    // What a key names (a combination of HiddenKeyNames::Kind), and the quote that closed it
    // (a character of 0 for a bare key).
    struct Key {
        int kinds = 0;
        LineCharacter quote;
    };
    enum class ValueKind { none, quoted, bare, structure };
    struct Value {
        ValueKind kind = ValueKind::none;
        Span content;
        qsizetype end = 0;
        // The quote that opened it, or the key's for a value not quoted.
        LineCharacter quote;
    };
    // A value seen before the name that says whether it is hidden, and its object.
    struct EarlyValue {
        Value value;
        ObjectScope scope;
        // Another name came after it.
        bool claimed = false;
    };
    // The name last read back from the end of an entry's name, for the next entry whose name
    // ends there too (one inside the other's unclosed text).
    struct EntryName {
        qsizetype floor = -1;
        qsizetype start = -1;
        qsizetype end = -1;
        int whole = 0;
        int ending = 0;
    };

    void scan();
    qsizetype onSeparator(const LineCharacter& separator);
    qsizetype onEntryMember(int kinds, const Value& value, qsizetype position, qsizetype next);
    qsizetype onElementStart(const LineCharacter& bracket);
    qsizetype onPair(const LineCharacter& bracket);
    Key keyBefore(qsizetype end, bool form) const;
    // Whether a reading back as the line stands that stopped at `stop` is how the reader reads
    // it: no escape takes part in the character it stopped at.
    bool readsAsItStands(qsizetype stop, qsizetype floor, bool form) const {
        return stop == floor || (m_text[stop - 1] != u'%' && m_text[stop - 1] != u'\\' &&
                                 !m_reader.mayEndEscape(stop, floor, form));
    }
    HiddenKeyNames::NameKinds nameBefore(qsizetype end, qsizetype floor, qsizetype& start) const;
    qsizetype elementNameEnd(qsizetype bracket) const;
    bool namesHiddenKey(Span content);
    qsizetype blanksFrom(qsizetype position, bool form) const;
    Value valueAt(qsizetype after, const Key& key, QChar separator, int level);
    Value quotedValue(const LineCharacter& opening, bool mayBeKey);
    qsizetype hideValue(const Value& value);
    qsizetype hideStructure(qsizetype start, const LineCharacter& quote);
    bool hideOwnEarlyValues(qsizetype position);
    void hideEarlyValue(const EarlyValue& early);
    bool isLiteral(Span span) const;
    void hide(Span span, const LineCharacter& quote);
    qsizetype lineEnd(qsizetype from);
    QStringView text(Span span) const { return m_text.sliced(span.start, span.size()); }

    const QString& m_line;
    QStringView m_text;
    LineReader m_reader;
    bool m_scanned = false;
    // Masked text starts here: no key is looked for before it. Values are hidden up to there.
    qsizetype m_floor = 0;
    qsizetype m_hiddenTo = 0;
    // An entry's name named a hidden key: the values of its own object are hidden
    // (`m_namedObject`), whatever comes between, and where its own value is not told, those of
    // the entries after it.
    bool m_nextValueHidden = false;
    std::optional<ObjectScope> m_namedObject;
    // The values seen before their names, the latest last, hidden when a name of their own
    // object turns out hidden.
    std::vector<EarlyValue> m_earlyValues;
    // Structures are hidden up to here, those hidden as early values up to there.
    qsizetype m_structuresHiddenTo = 0;
    qsizetype m_earlyHiddenTo = 0;
    EntryName m_entryName;
    ClosingQuotes m_closingQuotes;
    // By the number of times URL escapes wrote the separator.
    std::array<NextWhere, 4> m_bareEnd;
    NextWhere m_headerEnd;
    NextWhere m_lineEnd;
    std::optional<bool> m_hasLineBreak;
    NextWhere m_nonWord;
    NextWhere m_elementTextEnd;
    // In the order of the line.
    QVarLengthArray<Edit, 8> m_edits;
};
