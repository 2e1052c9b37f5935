// The detector's grey copy and the person mask's picture in one pass.
//
// Both are block means of the square: the grey copy over factor × factor blocks of grey, the mask's picture over
// f × f blocks of each channel. A black pixel adds nothing to a block's sum, so the sums taken over the photo's
// area alone are the sums over the whole square; each block is still divided by its full pixel count, and the
// blocks wholly outside the area stay 0, which is what their mean of black gives.
#include "recognition/reduced_pictures.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

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

} // namespace

std::string MakeReducedPictures(const Bitmap& square, Rect area, int factor, GreyImage& grey, MaskPicture* mask)
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
    GreyImage madeGrey;
    Bitmap reduced;
    std::vector<std::uint32_t> greySums, maskSums;
    std::vector<std::uint16_t> greys;
    try {
        madeGrey = { gw, gh, std::vector<std::uint8_t>(static_cast<std::size_t>(gw) * gh) };
        greySums.resize(static_cast<std::size_t>(gw));
        greys.resize(static_cast<std::size_t>(std::max(0, area.Width())));
        if (mask) {
            maskSums.resize(static_cast<std::size_t>(mw) * 3);
            if (!reduced.Resize(mw, mh)) // black: the blocks outside the area
                throw std::bad_alloc();
        }
    } catch (const std::bad_alloc&) {
        return "no memory for the detector's image";
    }

    const int aw = area.Width();
    const BlockColumns greyBlocks = aw > 0 ? BlocksOf(area.left, area.right, factor) : BlockColumns {};
    const BlockColumns maskBlocks = aw > 0 ? BlocksOf(area.left, area.right, f) : BlockColumns {};
    for (int y = area.top; y < area.bottom && aw > 0; ++y) {
        const std::uint8_t* row = square.Row(y) + 3 * static_cast<std::size_t>(area.left);

        // The grey copy: the row's greys added block by block into the block row's sums.
        if (y == area.top || y % factor == 0)
            std::fill(greySums.begin() + greyBlocks.first, greySums.begin() + greyBlocks.end, 0u);
        GreyRow(row, aw, greys.data());
        const std::uint16_t* g = greys.data();
        for (int bx = greyBlocks.first; bx < greyBlocks.end; ++bx) {
            const int n = std::min(area.right, (bx + 1) * factor) - std::max(area.left, bx * factor);
            std::uint32_t sum = 0;
            for (int i = 0; i < n; ++i)
                sum += *g++;
            greySums[static_cast<std::size_t>(bx)] += sum;
        }
        if (y + 1 == area.bottom || (y + 1) % factor == 0) {
            const int by = y / factor;
            const int rows = std::min(H, (by + 1) * factor) - by * factor;
            std::uint8_t* out = madeGrey.pixels.data() + static_cast<std::size_t>(by) * gw;
            for (int bx = greyBlocks.first; bx < greyBlocks.end; ++bx) {
                const auto count = static_cast<std::uint32_t>(rows * (std::min(W, (bx + 1) * factor) - bx * factor));
                out[bx] = BlockGrey(greySums[static_cast<std::size_t>(bx)], count);
            }
        }

        // The mask's picture: each channel added block by block, from the same row while it is at hand.
        if (!mask)
            continue;
        if (y == area.top || y % f == 0)
            std::fill(maskSums.begin() + 3 * maskBlocks.first, maskSums.begin() + 3 * maskBlocks.end, 0u);
        const std::uint8_t* p = row;
        for (int bx = maskBlocks.first; bx < maskBlocks.end; ++bx) {
            const int n = std::min(area.right, (bx + 1) * f) - std::max(area.left, bx * f);
            std::uint32_t b = 0, gr = 0, r = 0;
            for (int i = 0; i < n; ++i, p += 3) {
                b += p[0];
                gr += p[1];
                r += p[2];
            }
            std::uint32_t* s = maskSums.data() + 3 * static_cast<std::size_t>(bx);
            s[0] += b;
            s[1] += gr;
            s[2] += r;
        }
        if (y + 1 == area.bottom || (y + 1) % f == 0) {
            const int by = y / f;
            const int rows = std::min(H, (by + 1) * f) - by * f;
            std::uint8_t* o = reduced.Row(by);
            for (int bx = maskBlocks.first; bx < maskBlocks.end; ++bx) {
                const auto n = static_cast<std::uint32_t>(rows * (std::min(W, (bx + 1) * f) - bx * f));
                for (int c = 0; c < 3; ++c)
                    o[3 * bx + c]
                        = static_cast<std::uint8_t>((maskSums[3 * static_cast<std::size_t>(bx) + c] + n / 2) / n);
            }
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
