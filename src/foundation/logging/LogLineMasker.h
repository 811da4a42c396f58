#pragma once

#include "foundation/logging/ClosingQuotes.h"
#include "foundation/logging/NextWhere.h"
#include "foundation/logging/ObjectScope.h"

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <optional>

// The scan behind LogRedaction::maskedLine. It goes once through the line from separator to
// separator (":", "=", "=>" and "\u003d" of JSON members, headers, queries, forms and hashes,
// also as URL escapes write them once or twice, "%3D" and "%253D"; ">" of XML elements). At each it
// looks back at the key before it, past a closing quote that may carry backslashes (JSON text
// inside JSON text), and when that key is hidden it looks forward at the value and notes where the
// value goes; it then goes on after that value. Values of other keys are scanned like the rest of
// the line, which is how JSON text inside them is reached. The edits are made at the end, so a line
// without any is returned as it came.
//
// Its cost grows with the line's length alone: a look back stops at the separator before, and
// what a look forward finds is kept for the next one (`ClosingQuotes`, `NextWhere`), so no part of
// the line is read more than a few times, whatever it holds.
class LogLineMasker {
public:
    explicit LogLineMasker(const QString& line);

    QString masked();

private:
    struct Span {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype size() const { return end - start; }
    };
    // [start, end) becomes `quote` "***" `quote`.
    struct Edit {
        Span span;
        Span quote;
    };
    // A key's name, and the quote (with its backslashes) that closed it; empty for a bare key.
    struct Key {
        Span name;
        Span quote;
    };
    // ":" or "=", also "=>" and "=" written "\u003d"; the value starts after it. `level`: how
    // many times URL escapes wrote it ("%3D" once, "%253D" twice).
    struct Separator {
        Span span;
        QChar character;
        int level = 0;
    };
    enum class ValueKind { none, quoted, bare, structure };
    struct Value {
        ValueKind kind = ValueKind::none;
        Span content;
        qsizetype end = 0;
    };
    // A value seen before the key that tells whether it is hidden, with its key's quote.
    struct EarlyValue {
        Value value;
        Span quote;
        ObjectScope scope;
    };
    // The name a setting's key ends with, kept for the next setting whose key ends there too:
    // whether it is hidden as a whole name, and as the end of a longer text.
    struct SettingName {
        qsizetype floor = -1;
        qsizetype start = -1;
        qsizetype end = -1;
        bool hidden = false;
        bool endingHidden = false;
    };

    qsizetype onSeparator(const Separator& separator);
    qsizetype onSetting(const Key& key, const Separator& separator);
    qsizetype onElementStart(qsizetype bracket);
    Span elementNameBefore(qsizetype bracket) const;
    Span keyEndBefore(qsizetype separator) const;
    qsizetype escapedQuoteBefore(qsizetype end) const;
    bool endsWithWord(qsizetype end, QStringView word) const;
    qsizetype memberNameStart(qsizetype end) const;
    bool mayNameHiddenKey(const Separator& separator) const;
    qsizetype nameStart(qsizetype end, qsizetype floor) const;
    std::optional<Key> keyBefore(qsizetype separator) const;
    bool namesHiddenKey(Span content);
    Value valueAt(const Key& key, const Separator& separator, bool wholeLine);
    Value withDigitGroups(Value value, NextWhere& ends);
    bool isNumber(Span span) const;
    std::optional<Span> closingQuote(qsizetype from, QChar quote, qsizetype backslashes,
                                     bool mayBeKey);
    qsizetype hideStructure(qsizetype start, Span quote);
    qsizetype hideValue(const Key& key, const Value& value);
    void hideEarlyValue(const EarlyValue& early);
    bool isLiteral(Span span) const;
    void hide(Span span, Span quote);
    QStringView text(Span span) const { return m_text.sliced(span.start, span.size()); }

    const QString& m_line;
    QStringView m_text;
    // Masked text ends here: no key is looked for before it.
    qsizetype m_floor = 0;
    // A setting's "key" (a list entry's "name") named a hidden key: its "value" is hidden.
    bool m_settingValueHidden = false;
    // The last setting "value" seen before its "key" (or a list entry's before its "name"),
    // hidden when that key turns out hidden in the same object.
    std::optional<EarlyValue> m_settingValue;
    // Structures hidden as early values are hidden up to here.
    qsizetype m_earlyHiddenTo = 0;
    SettingName m_settingName;
    // The object store's <ArgumentName> named a hidden key: the <ArgumentValue> after it is hidden.
    bool m_argumentValueHidden = false;
    std::optional<ClosingQuotes> m_closingQuotes;
    NextWhere m_bareEnd;
    // By the number of times URL escapes wrote a separator, less one.
    std::array<NextWhere, 2> m_escapedBareEnd;
    std::array<NextWhere, 2> m_escapedQuote;
    NextWhere m_lineEnd;
    NextWhere m_nonWord;
    // In the order of the line.
    QVarLengthArray<Edit, 8> m_edits;
};
