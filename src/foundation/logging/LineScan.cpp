#include "foundation/logging/LineScan.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace LineScan {

namespace {

constexpr LogText::AsciiSet kStops(u":=>[%\\");

}  // namespace

qsizetype nextStop(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    const __m128i stops[] = {_mm_set1_epi16(u':'), _mm_set1_epi16(u'='), _mm_set1_epi16(u'>'),
                             _mm_set1_epi16(u'['), _mm_set1_epi16(u'%'), _mm_set1_epi16(u'\\')};
    for (; from + 8 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        __m128i hits = _mm_setzero_si128();
        for (const __m128i& stop : stops) {
            hits = _mm_or_si128(hits, _mm_cmpeq_epi16(chunk, stop));
        }
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            return from + std::countr_zero(mask) / 2;
        }
    }
#endif
    while (from < size && !kStops.holds(text[from])) {
        ++from;
    }
    return from;
}

}  // namespace LineScan
