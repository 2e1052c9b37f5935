// The 3 × 3 weighted mean of a row.
#include "resample/weighted_mean.h"

#include <algorithm>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellicam {

// The pixels inside the image always form a rectangle, so the weights used are the product of a horizontal and
// a vertical sum (4, 3 or 2 each): the divisor is one of 16, 12, 9, 8, 6, 4, and only the rows inside divide by 16.
void WeightedMeanRow(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int width,
    std::uint16_t* column, std::uint8_t* out)
{
    const int bytes = 3 * width;
    const int rowWeight = 2 + (up ? 1 : 0) + (down ? 1 : 0);
    int i = 3; // the bytes of the pixels between the first and the last: 3 .. end - 1
    const int end = bytes - 3;
#if defined(__SSE2__)
    if (rowWeight == 4) {
        // Sixteen bytes at a time in 16-bit lanes (at most 16 × 255).
        const __m128i zero = _mm_setzero_si128();
        auto horizontal = [&](const std::uint8_t* row) {
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - 3));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 3));
            const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero)),
                _mm_slli_epi16(_mm_unpacklo_epi8(c, zero), 1));
            const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero)),
                _mm_slli_epi16(_mm_unpackhi_epi8(c, zero), 1));
            return std::pair { lo, hi };
        };
        for (; i + 16 <= end; i += 16) {
            const auto [ulo, uhi] = horizontal(up);
            const auto [mlo, mhi] = horizontal(mid);
            const auto [dlo, dhi] = horizontal(down);
            const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(ulo, dlo), _mm_slli_epi16(mlo, 1)), 4);
            const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(uhi, dhi), _mm_slli_epi16(mhi, 1)), 4);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    // Column sums where the bytes left over need them: both edge pixels and the interior tail.
    auto columnSums = [&](int from, int to) {
        for (int k = from; k < to; ++k)
            column[k] = static_cast<std::uint16_t>(2 * mid[k] + (up ? up[k] : 0) + (down ? down[k] : 0));
    };
    columnSums(0, std::min(6, bytes));
    columnSums(std::max(0, i - 3), bytes);

    auto edge = [&](int x) {
        const int weight = rowWeight * (2 + (x > 0 ? 1 : 0) + (x < width - 1 ? 1 : 0));
        for (int ch = 0; ch < 3; ++ch) {
            const int k = 3 * x + ch;
            const int sum = 2 * column[k] + (x > 0 ? column[k - 3] : 0) + (x < width - 1 ? column[k + 3] : 0);
            out[k] = static_cast<std::uint8_t>(sum / weight);
        }
    };
    edge(0);
    if (width > 1)
        edge(width - 1);
    const int weight = 4 * rowWeight;
    for (; i < end; ++i) {
        const int sum = column[i - 3] + 2 * column[i] + column[i + 3];
        out[i] = static_cast<std::uint8_t>(weight == 16 ? sum >> 4 : sum / weight);
    }
}

} // namespace vellicam
