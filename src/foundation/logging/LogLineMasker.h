#pragma once

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <optional>

// The scan behind LogRedaction::maskedLine. It goes once through the line from separator to
// separator (":" and "=" of JSON members, headers, queries and forms; ">" of XML elements). At
// each it looks back at the key before it, past a closing quote that may carry backslashes
// (JSON text inside JSON text), and when that key is hidden it looks forward at the value and
// notes where the value goes; it then goes on after that value. Values of other keys are
// scanned like the rest of the line, which is how JSON text inside them is reached. The edits
// are made at the end, so a line without any is returned as it came.
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
    enum class ValueKind { none, quoted, bare, structure };
    struct Value {
        ValueKind kind = ValueKind::none;
        Span content;
        qsizetype end = 0;
    };

    qsizetype onSeparator(qsizetype separator);
    qsizetype onElementStart(qsizetype bracket);
    Span keyEndBefore(qsizetype separator) const;
    bool endsWithWord(qsizetype end, QStringView word) const;
    std::optional<Key> keyBefore(qsizetype separator) const;
    Value valueAt(qsizetype separator, bool wholeLine) const;
    std::optional<Span> closingQuote(qsizetype from, QChar quote, qsizetype backslashes,
                                     bool mayBeKey) const;
    qsizetype hideStructure(qsizetype start, Span quote);
    qsizetype hideValue(const Key& key, const Value& value);
    bool isKeyAt(qsizetype position) const;
    bool isLiteral(Span span) const;
    void hide(Span span, Span quote);
    QStringView text(Span span) const { return m_text.sliced(span.start, span.size()); }

    const QString& m_line;
    QStringView m_text;
    // Masked text ends here: no key is looked for before it.
    qsizetype m_floor = 0;
    // A setting's "key" named a hidden key: its "value" is hidden.
    bool m_settingValueHidden = false;
    // The last setting "value" seen before its "key", hidden when that key turns out hidden.
    std::optional<Edit> m_settingValue;
    QVarLengthArray<Edit, 8> m_edits;
};
