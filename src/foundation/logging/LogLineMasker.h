#pragma once

#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LineReader.h"
#include "foundation/logging/LineValues.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <optional>
#include <vector>

// The scan behind LogRedaction::maskedLine: once from stop to stop (":", "=", "=>", an element's
// ">", a pair's "["), in any encoding the reader knows. At a separator it reads back to the key;
// if hidden, it notes the value's span (an entry's in either order). No edits: the line comes back.
// A line is a whole message: a text, object or array hidden runs on across its line breaks to its
// close.
class LogLineMasker {
public:
    using Span = LineValues::Span;

    explicit LogLineMasker(const QString& line);

    QString masked();
    // The spans that read "***", in the order of the line; one may hold others.
    QList<Span> hiddenSpans() const;

private:
    // Reads on from a member of an object, once however often asked: whether a later position is a
    // member of that object, not of one inside it. Braces count outside texts quoted as `quote` is
    // (all where its character is 0), each text read to its close as every value is (LineValues);
    // `leftOpen`: one of them did not close at the next quote of its kind, so `holds` may be wrong.
    struct ObjectScope {
        LineValues* values;
        LineCharacter quote;
        qsizetype readTo;
        int depth = 0;
        bool leftOpen = false;
        bool ended = false;

        bool holds(qsizetype position) {
            while (!ended && readTo < position) {
                const LineCharacter read = values->reader().at(readTo);
                readTo = read.end;
                if (quote.character != 0 && read.isWrittenAs(quote)) {
                    const LineValues::Value text = values->quoted(read, true);
                    const std::optional<LineCharacter> next = values->quotes().next(read);
                    leftOpen = leftOpen || !next || next->end != text.end;
                    readTo = std::max(readTo, text.end);
                } else if (read.character == u'{' || read.character == u'}') {
                    ended = read.character == u'}' && depth == 0;
                    depth += read.character == u'{' ? 1 : -1;
                }
            }
            return !ended && depth == 0;
        }
    };
    // [start, end) becomes `quote` "***" `quote`.
    struct Edit {
        Span span;
        Span quote;
    };
    // Edits noted in the order of the line, but for a few values seen before their names. The
    // scan's, an object's or array's members, and those values each have one, merged at the end.
    struct EditRun {
        QVarLengthArray<Edit, 8> edits;
        bool inOrder = true;

        void add(const Edit& edit) {
            inOrder = inOrder && (edits.isEmpty() || !goesBefore(edit, edits.back()));
            edits.append(edit);
        }
        // The longer first where two start together: one inside a value masked goes with it.
        static bool goesBefore(const Edit& edit, const Edit& other) {
            return edit.span.start < other.span.start ||
                   (edit.span.start == other.span.start && edit.span.end > other.span.end);
        }
    };
    // A name read back: its kinds whole and as an ending, where it starts, a key's closing quote.
    struct Name {
        HiddenKeyNames::NameKinds kinds;
        qsizetype start = 0;
        LineCharacter quote;
    };
    using Value = LineValues::Value;
    using ValueKind = LineValues::Kind;
    // A value seen before its name, its object, and whether another name came after it.
    struct EarlyValue {
        Value value;
        ObjectScope scope;
        bool claimed = false;
    };
    // The name last read back from the end of an entry's name, for one that ends there too.
    struct EntryName {
        qsizetype floor = -1;
        qsizetype start = -1;
        qsizetype end = -1;
        HiddenKeyNames::NameKinds kinds;
    };

    void scan();
    qsizetype onSeparator(const LineCharacter& separator);
    Name nameBefore(qsizetype end, qsizetype floor, int form, bool key) const;
    bool readsAsItStands(qsizetype stop, qsizetype end, qsizetype floor) const;
    qsizetype onEntryMember(int kinds, const Value& value, qsizetype position, qsizetype next);
    bool hideOwnEarlyValues(qsizetype position);
    qsizetype onElementStart(const LineCharacter& bracket);
    qsizetype onPair(const LineCharacter& bracket);
    bool namesHiddenKey(Span content);
    qsizetype hideValue(const Value& value);
    void hideFollowingNumbers(qsizetype after, const LineCharacter& quote, int level);
    qsizetype hideContent(const Value& value, bool early);
    qsizetype hideStructure(qsizetype start, const LineCharacter& quote, EditRun& run);
    bool isLiteral(Span span) const;
    static void hide(Span span, const LineCharacter& quote, EditRun& run);
    template <typename Use>
    void forEachEdit(Use use) const;
    QStringView text(Span span) const { return m_text.sliced(span.start, span.size()); }

    const QString& m_line;
    QStringView m_text;
    LineReader m_reader;
    LineValues m_values;
    // The last hidden value starts here (keys are read back to it), values are hidden to there.
    qsizetype m_floor = 0;
    // Where the latest escape the scan read ends.
    qsizetype m_escapedTo = -1;
    qsizetype m_hiddenTo = 0;
    qsizetype m_structuresHiddenTo = 0;
    qsizetype m_earlyHiddenTo = 0;
    // A hidden name hides its object's values, and where its own is not told, the next ones.
    bool m_nextValueHidden = false;
    std::optional<ObjectScope> m_namedObject;
    // The values seen before their names, the latest last.
    std::vector<EarlyValue> m_earlyValues;
    EntryName m_entryName;
    EditRun m_edits;
    EditRun m_structureEdits;
    EditRun m_earlyEdits;
};
