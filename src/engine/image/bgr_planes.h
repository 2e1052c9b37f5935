// Packed blue-green-red pixels taken apart into their three channels, sixteen at a time, for the vector loops.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace vellicam {

// 16 packed pixels (48 bytes) into their blue, green and red bytes: four rounds of one byte interleave take every
// third byte together.
inline void Deinterleave(const std::uint8_t* p, __m128i& b, __m128i& g, __m128i& r)
{
    __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
#pragma GCC unroll 4
    for (int round = 0; round < 4; ++round) {
        const __m128i y0 = _mm_unpacklo_epi8(x0, _mm_unpackhi_epi64(x1, x1));
        const __m128i y1 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(x0, x0), x2);
        const __m128i y2 = _mm_unpacklo_epi8(x1, _mm_unpackhi_epi64(x2, x2));
        x0 = y0;
        x1 = y1;
        x2 = y2;
    }
    b = x0;
    g = x1;
    r = x2;
}

} // namespace vellicam
#endif
