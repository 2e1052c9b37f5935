// The sharpening filter.
#include "resample/sharpen.h"

#include "resample/shared_bands.h"

#include "image/bgr_planes.h"
#include "resample/reduce.h"
#include "resample/weighted_mean.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellicam {
namespace {

constexpr int kRowsPerReport = 32;

using namespace sharpen_arithmetic;

// One pixel of the filter from its unfiltered colour and its weighted mean into `out` (blue, green, red).
void SharpenPixel(int b0, int g0, int r0, int ba, int ga, int ra, std::uint8_t* out)
{
    if (r0 == 0 && g0 == 0 && b0 == 255)
        return; // the overlays' key colour must survive, or the overlay would show through
    const int y0 = DivideBy255(28 * r0 + 77 * g0 + 151 * b0);
    const int ya = DivideBy255(28 * ra + 77 * ga + 151 * ba);
    // C++ division truncates toward zero, as the half difference must.
    const int target = y0 - (ya - y0) / 2;
    // A target at or below zero scales every channel to zero or below, which the limit makes 0. A luminance
    // of 0 always has such a target, since the mean's luminance is not negative.
    if (target <= 0) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    out[0] = static_cast<std::uint8_t>(std::min(255, DivideByLuminance(b0 * target, y0)));
    out[1] = static_cast<std::uint8_t>(std::min(255, DivideByLuminance(g0 * target, y0)));
    out[2] = static_cast<std::uint8_t>(std::min(255, DivideByLuminance(r0 * target, y0)));
}

// The rows the filter works from, one byte plane per channel, so that the vector path never has to take packed
// pixels apart more than once per row. A row is split as it comes in below and kept for the two rows after.
struct PlanarRow {
    std::uint8_t* channel[3]; // blue, green, red
};

#if defined(__SSE2__)
// The inverse of Deinterleave: each round splits even and odd bytes back where one round took them from.
void Interleave(__m128i x0, __m128i x1, __m128i x2, std::uint8_t* p)
{
    const __m128i even = _mm_set1_epi16(0x00ff);
#pragma GCC unroll 4
    for (int round = 0; round < 4; ++round) {
        const __m128i y0 = _mm_packus_epi16(_mm_and_si128(x0, even), _mm_and_si128(x1, even));
        const __m128i y1 = _mm_packus_epi16(_mm_and_si128(x2, even), _mm_srli_epi16(x0, 8));
        const __m128i y2 = _mm_packus_epi16(_mm_srli_epi16(x1, 8), _mm_srli_epi16(x2, 8));
        x0 = y0;
        x1 = y1;
        x2 = y2;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), x1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), x2);
}

// Eight pixels' luminance from their 16-bit channels: the weighted sum (at most 65280) fits a 16-bit lane,
// and / 255 is the high half of × 32897, shifted by 7.
__m128i Luminance(__m128i r, __m128i g, __m128i b)
{
    const __m128i sum
        = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(28)), _mm_mullo_epi16(g, _mm_set1_epi16(77))),
            _mm_mullo_epi16(b, _mm_set1_epi16(151)));
    return _mm_srli_epi16(_mm_mulhi_epu16(sum, _mm_set1_epi16(static_cast<short>(32897))), 7);
}

// min(255, c × ratio) for eight 16-bit channels, as ScaleByRatio computes it; the saturating packs do the limit.
__m128i Scale(__m128i c, __m128 ratioLo, __m128 ratioHi)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128 nudge = _mm_set1_ps(kRatioNudge);
    const __m128i lo
        = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(c, zero)), ratioLo), nudge));
    const __m128i hi
        = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(c, zero)), ratioHi), nudge));
    return _mm_packs_epi32(lo, hi);
}

// Sixteen pixels from x on: `here` the unfiltered channels of the row, `sums` its channels' vertical sums.
void Sharpen16(const PlanarRow& here, std::uint16_t* const sums[3], int x, std::uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    __m128i original[3];
    for (int ch = 0; ch < 3; ++ch)
        original[ch] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(here.channel[ch] + x));
    // Each pixel's ratio target / luminance first, half by half, so that few registers stay live at a time.
    __m128 ratio[2][2];
    for (int half = 0; half < 2; ++half) {
        __m128i mean[3];
        for (int ch = 0; ch < 3; ++ch) {
            // The horizontal 1-2-1 over the vertical sums, / 16.
            const std::uint16_t* v = sums[ch] + x + 8 * half;
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v - 1));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + 1));
            mean[ch] = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(l, r), _mm_slli_epi16(c, 1)), 4);
        }
        auto widen = [&](__m128i v) { return half ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero); };
        const __m128i y0 = Luminance(widen(original[2]), widen(original[1]), widen(original[0]));
        const __m128i ya = Luminance(mean[2], mean[1], mean[0]);
        const __m128i difference = _mm_sub_epi16(ya, y0);
        // Halved toward zero: add one to negative odd differences before the arithmetic shift.
        const __m128i halfDifference = _mm_srai_epi16(_mm_add_epi16(difference, _mm_srli_epi16(difference, 15)), 1);
        __m128i target = _mm_sub_epi16(y0, halfDifference);
        target = _mm_and_si128(target, _mm_cmpgt_epi16(target, zero)); // zero or below: black
        const __m128i divisor = _mm_max_epi16(y0, one); // y0 = 0 has a target of zero or below
        ratio[half][0] = _mm_div_ps(
            _mm_cvtepi32_ps(_mm_unpacklo_epi16(target, zero)), _mm_cvtepi32_ps(_mm_unpacklo_epi16(divisor, zero)));
        ratio[half][1] = _mm_div_ps(
            _mm_cvtepi32_ps(_mm_unpackhi_epi16(target, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(divisor, zero)));
    }
    // Pure blue pixels keep their colour: the overlays' key colour must survive.
    const __m128i key
        = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(original[2], zero), _mm_cmpeq_epi8(original[1], zero)),
            _mm_cmpeq_epi8(original[0], _mm_set1_epi8(-1)));
    __m128i result[3];
    for (int ch = 0; ch < 3; ++ch) {
        const __m128i filtered
            = _mm_packus_epi16(Scale(_mm_unpacklo_epi8(original[ch], zero), ratio[0][0], ratio[0][1]),
                Scale(_mm_unpackhi_epi8(original[ch], zero), ratio[1][0], ratio[1][1]));
        result[ch] = _mm_or_si128(_mm_and_si128(key, original[ch]), _mm_andnot_si128(key, filtered));
    }
    Interleave(result[0], result[1], result[2], out + 3 * x);
}
#endif

// Vertical 1-2-1 sums of one channel over three rows: the first factor of the separable weighting.
void VerticalSums(
    const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width, std::uint16_t* sums)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x));
        const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(here + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x));
        const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
            _mm_slli_epi16(_mm_unpacklo_epi8(h, zero), 1));
        const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
            _mm_slli_epi16(_mm_unpackhi_epi8(h, zero), 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x + 8), hi);
    }
#endif
    for (; x < width; ++x)
        sums[x] = static_cast<std::uint16_t>(above[x] + 2 * here[x] + below[x]);
}

// Splits a row of packed pixels into its channel planes.
void SplitRow(const std::uint8_t* row, int width, const PlanarRow& planes)
{
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= width; x += 16) {
        __m128i b, g, r;
        Deinterleave(row + 3 * x, b, g, r);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(planes.channel[0] + x), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(planes.channel[1] + x), g);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(planes.channel[2] + x), r);
    }
#endif
    for (; x < width; ++x)
        for (int ch = 0; ch < 3; ++ch)
            planes.channel[ch][x] = row[3 * x + ch];
}

} // namespace

namespace {

// Sharpens rows first .. end - 1 (inside 1 .. height - 2) in place. `above` is row first - 1 and `below` row end as
// they were before any sharpening: copies where another band may have sharpened them already. False when the
// working rows cannot be had.
bool SharpenRows(Bitmap& bitmap, int first, int end, const std::uint8_t* above, const std::uint8_t* below,
    const Progress& progress)
{
    const int w = bitmap.Width();
    // Three rows split into channel planes are all the unfiltered image the filter needs: a row is split before
    // it is overwritten.
    const std::size_t width = static_cast<std::size_t>(w);
    std::unique_ptr<std::uint8_t[]> planes(new (std::nothrow) std::uint8_t[9 * width]);
    std::unique_ptr<std::uint16_t[]> sumMemory(new (std::nothrow) std::uint16_t[3 * width]);
    if (!planes || !sumMemory)
        return false;
    PlanarRow ring[3];
    for (int row = 0; row < 3; ++row)
        for (int ch = 0; ch < 3; ++ch)
            ring[row].channel[ch] = planes.get() + (3 * row + ch) * width;
    std::uint16_t* const sums[3] = { sumMemory.get(), sumMemory.get() + width, sumMemory.get() + 2 * width };
    SplitRow(above, w, ring[(first - 1) % 3]);
    SplitRow(bitmap.Row(first), w, ring[first % 3]);
    for (int y = first; y < end; ++y) {
        if (y % kRowsPerReport == 0)
            Report(progress);
        const PlanarRow& up = ring[(y - 1) % 3];
        const PlanarRow& here = ring[y % 3];
        const PlanarRow& down = ring[(y + 1) % 3];
        SplitRow(y + 1 == end ? below : bitmap.Row(y + 1), w, down);
        for (int ch = 0; ch < 3; ++ch)
            VerticalSums(up.channel[ch], here.channel[ch], down.channel[ch], w, sums[ch]);
        std::uint8_t* out = bitmap.Row(y);
        int x = 1;
#if defined(__SSE2__)
        for (; x + 16 <= w - 1; x += 16)
            Sharpen16(here, sums, x, out);
#endif
        for (; x < w - 1; ++x) {
            int mean[3];
            for (int ch = 0; ch < 3; ++ch)
                mean[ch] = (sums[ch][x - 1] + 2 * sums[ch][x] + sums[ch][x + 1]) >> 4;
            SharpenPixel(
                here.channel[0][x], here.channel[1][x], here.channel[2][x], mean[0], mean[1], mean[2], out + 3 * x);
        }
    }
    return true;
}

// The rows a band of a sharpening shared between two threads holds.
constexpr int kBandRows = 64;

} // namespace

void SharpenBitmap(Bitmap& bitmap, const Progress& progress, int threads)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    // Beyond the limit the filter has no defined neighbourhood to read; leaving the image as it is beats
    // blackening it.
    if (w > kMaxPlaneSide || h > kMaxPlaneSide || w < 3 || h < 3)
        return;
    const int rows = h - 2; // rows 1 .. h - 2 are filtered
    const int count = (rows + kBandRows - 1) / kBandRows;
    if (threads < 2 || count < 2) {
        (void)SharpenRows(bitmap, 1, h - 1, bitmap.Row(0), bitmap.Row(h - 1), progress);
        return;
    }
    // Each seam's two rows as they were, for the bands on either side of it, whichever thread comes first.
    const std::size_t stride = bitmap.Stride();
    std::unique_ptr<std::uint8_t[]> seams(new (std::nothrow) std::uint8_t[2 * stride * static_cast<std::size_t>(count)]);
    if (!seams)
        return;
    const auto bandFirst = [](int band) { return 1 + band * kBandRows; };
    for (int band = 1; band < count; ++band) {
        std::uint8_t* copy = seams.get() + 2 * stride * static_cast<std::size_t>(band);
        std::memcpy(copy, bitmap.Row(bandFirst(band) - 1), stride);
        std::memcpy(copy + stride, bitmap.Row(bandFirst(band)), stride);
    }
    (void)MakeBandsShared(count, [&](int band, bool onCaller) {
        const int first = bandFirst(band), end = std::min(h - 1, bandFirst(band + 1));
        const std::uint8_t* above
            = band == 0 ? bitmap.Row(0) : seams.get() + 2 * stride * static_cast<std::size_t>(band);
        const std::uint8_t* below
            = band + 1 == count ? bitmap.Row(h - 1) : seams.get() + 2 * stride * static_cast<std::size_t>(band + 1) + stride;
        return SharpenRows(bitmap, first, end, above, below, onCaller ? progress : Progress {});
    });
}

} // namespace vellicam
