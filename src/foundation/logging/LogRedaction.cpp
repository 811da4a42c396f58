#include "foundation/logging/LogRedaction.h"

#include "foundation/logging/LogLineMasker.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Unicode's controls of direction (Bidi_Control), which turn a line around on the screen, and line
// and paragraph separators. All but the Arabic letter mark lie in one span.
constexpr char16_t kArabicLetterMark = 0x061c;
constexpr char16_t kFirstFormatControl = 0x200e;
constexpr char16_t kLastFormatControl = 0x2069;

bool isFormatControl(char16_t code) {
    return code == kArabicLetterMark || code == 0x200e || code == 0x200f ||
           (code >= 0x2028 && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

// C0 but the tab, DEL, C1, and the format controls above.
bool isControl(char16_t code) {
    return (code < 0x20 && code != u'\t') || (code >= 0x7f && code <= 0x9f) ||
           isFormatControl(code);
}

// The first control character at or after `from`, or `size`, eight at a time.
qsizetype nextControl(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i lastC0 = _mm_set1_epi16(0x1f);
    const __m128i tab = _mm_set1_epi16(u'\t');
    const __m128i del = _mm_set1_epi16(0x7f);
    const __m128i c1Span = _mm_set1_epi16(0x9f - 0x7f);
    const __m128i firstFormat = _mm_set1_epi16(static_cast<short>(kFirstFormatControl));
    const __m128i formatSpan = _mm_set1_epi16(kLastFormatControl - kFirstFormatControl);
    const __m128i arabicLetterMark = _mm_set1_epi16(kArabicLetterMark);
    for (; from + 8 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        // Unsigned: a - b saturates at 0 exactly when a <= b.
        const __m128i c0 = _mm_andnot_si128(_mm_cmpeq_epi16(chunk, tab),
                                            _mm_cmpeq_epi16(_mm_subs_epu16(chunk, lastC0), zero));
        const __m128i high =
            _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(chunk, del), c1Span), zero);
        // The span also holds punctuation, told apart one by one.
        const __m128i format = _mm_or_si128(
            _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(chunk, firstFormat), formatSpan), zero),
            _mm_cmpeq_epi16(chunk, arabicLetterMark));
        auto mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(c0, high), format)));
        for (; mask != 0; mask &= mask - 1) {
            const qsizetype at = from + std::countr_zero(mask) / 2;
            if (isControl(text[at])) {
                return at;
            }
        }
    }
#endif
    while (from < size && !isControl(text[from])) {
        ++from;
    }
    return from;
}

}  // namespace

QString LogRedaction::maskedLine(const QString& line) {
    return LogLineMasker(line).masked();
}

QString LogRedaction::singleLine(const QString& text) {
    const char16_t* characters = QStringView(text).utf16();
    const qsizetype size = text.size();
    qsizetype control = nextControl(characters, 0, size);
    if (control == size) {
        return text;
    }
    QString shown;
    shown.reserve(size + 16);
    qsizetype copied = 0;
    for (; control < size; copied = control + 1, control = nextControl(characters, copied, size)) {
        shown.append(QStringView(characters + copied, control - copied));
        const char16_t code = characters[control];
        if (code == u'\n' || code == u'\r') {
            shown.append(code == u'\n' ? u"\\n" : u"\\r");
            continue;
        }
        shown.append(code > 0xff ? u"\\u" : u"\\x");
        for (int shift = code > 0xff ? 12 : 4; shift >= 0; shift -= 4) {
            shown.append(QChar(u"0123456789abcdef"[(code >> shift) & 0xf]));
        }
    }
    shown.append(QStringView(characters + copied, size - copied));
    return shown;
}

QJsonValue LogRedaction::hiddenValue(const QJsonValue& value) {
    if (value.isString() || value.isDouble()) {
        return mask();
    }
    if (value.isArray()) {
        QJsonArray items;
        for (const QJsonValue& item : value.toArray()) {
            items.append(hiddenValue(item));
        }
        return items;
    }
    QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        it.value() = hiddenValue(it.value());
    }
    // Flags and nulls stay.
    return value.isObject() ? QJsonValue(object) : value;
}

QJsonValue LogRedaction::maskedField(QStringView key, const QJsonValue& value) {
    return isHiddenKey(key) ? hiddenValue(value) : value;
}

QString LogRedaction::textLength(QStringView text) {
    qsizetype characters = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    while (finder.toNextBoundary() > 0) {
        ++characters;
    }
    return QStringLiteral("<%1 chars>").arg(characters);
}

bool LogRedaction::isTypedText(QStringView characters) {
    return !characters.isEmpty() && std::ranges::none_of(characters, [](QChar character) {
        return character.category() == QChar::Other_Control;
    });
}
