// The detector's grey copy and the person mask's picture in one pass.
//
// Both are block means of the square: the grey copy over factor × factor blocks of grey, the mask's picture over
// f × f blocks of each channel. A black pixel adds nothing to a block's sum, so the sums taken over the photo's
// area alone are the sums over the whole square; each block is still divided by its full pixel count, and the
// blocks wholly outside the area stay 0, which is what their mean of black gives.
#include "recognition/reduced_pictures.h"

#include "resample/shared_bands.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <numeric>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellicam {

namespace {

// The blocks first .. end - 1 of `factor` columns that columns left .. right - 1 fall in.
struct BlockColumns {
    int first = 0, end = 0;
};
BlockColumns BlocksOf(int left, int right, int factor)
{
    return { left / factor, (right - 1) / factor + 1 };
}

// columns[i] += greys[i] for `count` values.
void AddGreys(std::uint32_t* columns, const std::uint16_t* greys, std::size_t count)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(greys + i));
        auto* c = reinterpret_cast<__m128i*>(columns + i);
        _mm_storeu_si128(c, _mm_add_epi32(_mm_loadu_si128(c), _mm_unpacklo_epi16(g, zero)));
        _mm_storeu_si128(c + 1, _mm_add_epi32(_mm_loadu_si128(c + 1), _mm_unpackhi_epi16(g, zero)));
    }
#endif
    for (; i < count; ++i)
        columns[i] += greys[i];
}

// columns[i] += bytes[i] for `count` values; 16 bits hold the sums of up to 257 rows.
void AddBytes(std::uint16_t* columns, const std::uint8_t* bytes, std::size_t count)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        auto* c = reinterpret_cast<__m128i*>(columns + i);
        _mm_storeu_si128(c, _mm_add_epi16(_mm_loadu_si128(c), _mm_unpacklo_epi8(b, zero)));
        _mm_storeu_si128(c + 1, _mm_add_epi16(_mm_loadu_si128(c + 1), _mm_unpackhi_epi8(b, zero)));
    }
#endif
    for (; i < count; ++i)
        columns[i] = static_cast<std::uint16_t>(columns[i] + bytes[i]);
}

} // namespace

std::string MakeReducedPictures(
    const Bitmap& square, Rect area, int factor, GreyImage& grey, MaskPicture* mask, int threads)
{
    if (square.Empty() || factor < 1)
        return "no image to hand to the detector";
    const int W = square.Width(), H = square.Height();
    if (area.Width() <= 0 || area.Height() <= 0)
        area = { 0, 0, W, H };
    area = { std::clamp(area.left, 0, W), std::clamp(area.top, 0, H), std::clamp(area.right, 0, W),
        std::clamp(area.bottom, 0, H) };

    const int gw = (W + factor - 1) / factor, gh = (H + factor - 1) / factor;
    const int f = MaskPictureFactor(W, H, kPersonMaskLongSide);
    const int mw = (W + f - 1) / f, mh = (H + f - 1) / f;
    // The column sums of a block row of the mask's picture are 16 bits wide: a square too large for that (beyond
    // any the engine allocates) is reduced the separate way.
    if (mask && f > 257) {
        try {
            GreyImage madeGrey;
            (void)MakeDetectorImage(square, factor, madeGrey);
            MaskPicture picture;
            (void)MakeMaskPicture(square, kPersonMaskLongSide, picture);
            grey = std::move(madeGrey);
            *mask = std::move(picture);
        } catch (const std::bad_alloc&) {
            return "no memory for the detector's image";
        }
        return {};
    }
    const int aw = area.Width();
    const std::size_t columns = static_cast<std::size_t>(std::max(0, aw));
    GreyImage madeGrey;
    Bitmap reduced;
    try {
        madeGrey = { gw, gh, std::vector<std::uint8_t>(static_cast<std::size_t>(gw) * gh) };
        if (mask && !reduced.Resize(mw, mh)) // black: the blocks outside the area
            throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        return "no memory for the detector's image";
    }

    // Each row is added column by column into the sums of its block row, for the grey copy and for the mask's
    // picture while the row is at hand; a block row's last row turns its column sums into block means. A band of
    // rows starts and ends on block rows of both pictures, so that bands can be made apart, each with its own sums.
    const BlockColumns greyBlocks = aw > 0 ? BlocksOf(area.left, area.right, factor) : BlockColumns {};
    const BlockColumns maskBlocks = aw > 0 ? BlocksOf(area.left, area.right, f) : BlockColumns {};
    const auto reduceRows = [&](int top, int bottom) {
        std::vector<std::uint16_t> greys(columns), maskColumns(mask ? 3 * columns : 0);
        std::vector<std::uint32_t> greyColumns(columns);
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* row = square.Row(y) + 3 * static_cast<std::size_t>(area.left);

            if (y == top || y % factor == 0)
                std::fill(greyColumns.begin(), greyColumns.end(), 0u);
            GreyRow(row, aw, greys.data());
            AddGreys(greyColumns.data(), greys.data(), columns);
            if (y + 1 == area.bottom || (y + 1) % factor == 0) {
                const int by = y / factor;
                const int rows = std::min(H, (by + 1) * factor) - by * factor;
                std::uint8_t* out = madeGrey.pixels.data() + static_cast<std::size_t>(by) * gw;
                const std::uint32_t* g = greyColumns.data();
                for (int bx = greyBlocks.first; bx < greyBlocks.end; ++bx) {
                    const int n = std::min(area.right, (bx + 1) * factor) - std::max(area.left, bx * factor);
                    std::uint32_t sum = 0;
                    for (int i = 0; i < n; ++i)
                        sum += *g++;
                    const auto count
                        = static_cast<std::uint32_t>(rows * (std::min(W, (bx + 1) * factor) - bx * factor));
                    out[bx] = BlockGrey(sum, count);
                }
            }

            if (!mask)
                continue;
            if (y == top || y % f == 0)
                std::fill(maskColumns.begin(), maskColumns.end(), std::uint16_t { 0 });
            AddBytes(maskColumns.data(), row, 3 * columns);
            if (y + 1 == area.bottom || (y + 1) % f == 0) {
                const int by = y / f;
                const int rows = std::min(H, (by + 1) * f) - by * f;
                std::uint8_t* o = reduced.Row(by);
                const std::uint16_t* p = maskColumns.data();
                for (int bx = maskBlocks.first; bx < maskBlocks.end; ++bx) {
                    const int n = std::min(area.right, (bx + 1) * f) - std::max(area.left, bx * f);
                    std::uint32_t b = 0, g = 0, r = 0;
                    for (int i = 0; i < n; ++i, p += 3) {
                        b += p[0];
                        g += p[1];
                        r += p[2];
                    }
                    const auto count = static_cast<std::uint32_t>(rows * (std::min(W, (bx + 1) * f) - bx * f));
                    o[3 * bx] = static_cast<std::uint8_t>((b + count / 2) / count);
                    o[3 * bx + 1] = static_cast<std::uint8_t>((g + count / 2) / count);
                    o[3 * bx + 2] = static_cast<std::uint8_t>((r + count / 2) / count);
                }
            }
        }
    };
    if (aw > 0) {
        try {
            const int unit = mask ? std::lcm(factor, f) : factor;
            const int bands = threads > 1 ? std::clamp((area.Height() / std::max(unit, 1)) / 4, 1, 8) : 1;
            if (bands <= 1) {
                reduceRows(area.top, area.bottom);
            } else {
                // Band b ends on the block-row boundary nearest b / bands of the way down (the last at the bottom).
                const auto edge = [&](int b) {
                    if (b >= bands)
                        return area.bottom;
                    const int row = area.top + static_cast<int>(static_cast<std::int64_t>(area.Height()) * b / bands);
                    return std::clamp((row + unit / 2) / unit * unit, area.top, area.bottom);
                };
                // A band that cannot have its sums (no memory) fails the whole, on either thread.
                if (!MakeBandsShared(bands, [&](int b, bool) {
                        try {
                            reduceRows(b == 0 ? area.top : edge(b), edge(b + 1));
                        } catch (const std::bad_alloc&) {
                            return false;
                        }
                        return true;
                    }))
                    return "no memory for the detector's image";
            }
        } catch (const std::bad_alloc&) {
            return "no memory for the detector's image";
        }
    }

    // An all-black square leaves the picture empty: nothing to segment, as MakeMaskPicture refuses it (and, as
    // there, a cut that cannot be had).
    MaskPicture picture;
    if (mask)
        (void)CutMaskPicture(reduced, f, picture);
    grey = std::move(madeGrey);
    if (mask)
        *mask = std::move(picture);
    return {};
}

} // namespace vellicam
