#pragma once

#include "foundation/logging/LineReader.h"
#include "foundation/logging/LogText.h"

#include <QStringView>

// The searches of LogLineMasker's scan: where it stops next, and the tests of its `NextWhere`
// cursors, each a test at a position of the line.
namespace LineScan {

// The next character at or after `from` that may be, or begin, a separator or a bracket the scan
// stops at (":", "=", ">", "[", "%", "\"), or `size`: eight characters at a time where the
// processor allows.
qsizetype nextStop(const char16_t* text, qsizetype from, qsizetype size);

// Where an unquoted value after a separator written with URL escapes `level` times ends: also at
// a character that ends it written so or fewer times ("%26" and "%2C" once, "%2526" twice).
template <int level>
bool endsBareValueAt(QStringView text, qsizetype position) {
    if (LogText::endsBareValue(text[position])) {
        return true;
    }
    const LineCharacter read = LineReader(text).urlAt(position);
    return read.urlLevel > 0 && read.urlLevel <= level &&
           LogText::endsBareValue(QChar(read.character));
}

inline bool endsLineAt(QStringView text, qsizetype position) {
    return LogText::endsLine(text[position]);
}

inline bool isLineBreakAt(QStringView text, qsizetype position) {
    return LogText::isLineBreak(text[position]);
}

inline bool isNotWordCharacterAt(QStringView text, qsizetype position) {
    return !LogText::isWordCharacter(text[position]);
}

// Where an element's text ends: the next "<", also written with URL escapes, or a line break.
inline bool endsElementTextAt(QStringView text, qsizetype position) {
    return text[position] == u'<' || LogText::isLineBreak(text[position]) ||
           (text[position] == u'%' && LineReader(text).urlAt(position).character == u'<');
}

}  // namespace LineScan
