#include "foundation/logging/LogText.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace LogText {

qsizetype nextStop(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    const auto equal = [](const __m128i chunk, char16_t character) {
        return _mm_cmpeq_epi16(chunk, _mm_set1_epi16(static_cast<short>(character)));
    };
    for (; from + 8 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(equal(chunk, u':'), equal(chunk, u'=')),
                                      _mm_or_si128(equal(chunk, u'>'), equal(chunk, u'['))),
                         _mm_or_si128(equal(chunk, u'%'), equal(chunk, u'\\')));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            return from + std::countr_zero(mask) / 2;
        }
    }
#endif
    static constexpr AsciiSet kStops(u":=>[%\\");
    while (from < size && !kStops.holds(text[from])) {
        ++from;
    }
    return from;
}

}  // namespace LogText
