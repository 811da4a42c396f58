#include "foundation/logging/LineScan.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace LineScan {

qsizetype nextSeparator(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    const __m128i colon = _mm_set1_epi16(u':');
    const __m128i equals = _mm_set1_epi16(u'=');
    const __m128i greater = _mm_set1_epi16(u'>');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    const __m128i letterU = _mm_set1_epi16(u'u');
    const __m128i percent = _mm_set1_epi16(u'%');
    for (; from + 9 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from + 1));
        const __m128i escape =
            _mm_and_si128(_mm_cmpeq_epi16(chunk, backslash), _mm_cmpeq_epi16(next, letterU));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(chunk, colon), _mm_cmpeq_epi16(chunk, equals)),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(chunk, greater), escape),
                         _mm_cmpeq_epi16(chunk, percent)));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            return from + std::countr_zero(mask) / 2;
        }
    }
#endif
    while (from < size && text[from] != u':' && text[from] != u'=' && text[from] != u'>' &&
           text[from] != u'%' &&
           !(text[from] == u'\\' && from + 1 < size && text[from + 1] == u'u')) {
        ++from;
    }
    return from;
}

bool isEscapedEquals(QStringView text, qsizetype position) {
    return position + 5 <= text.size() && text.sliced(position, 4) == u"u003" &&
           (text[position + 4] == u'd' || text[position + 4] == u'D');
}

}  // namespace LineScan
