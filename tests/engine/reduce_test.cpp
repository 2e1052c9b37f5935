#include "resample/reduce.h"
#include "session/session_texts.h"
#include "test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace vellicam {
namespace {

using test::RandomBitmap;
using test::SameImage;
using test::SolidBitmap;

// The reduction proper, cell by cell, with the weight lists written out: slow and plainly right.
Bitmap ReferenceReduce(const Bitmap& src, int dstH, int dstW)
{
    const std::int64_t srcW = src.Width(), srcH = src.Height();
    Bitmap out = SolidBitmap(dstW, dstH, kWhite);
    for (int y = 0; y < dstH; ++y) {
        for (int x = 0; x < dstW; ++x) {
            const std::int64_t x0 = x * srcW * 100 / dstW, x1 = (x + 1) * srcW * 100 / dstW - 1;
            const std::int64_t y0 = y * srcW * 100 / dstW, y1 = (y + 1) * srcW * 100 / dstW - 1;
            const std::int64_t sx0 = x0 / 100, sx1 = x1 / 100, sy0 = y0 / 100, sy1 = y1 / 100;
            std::int64_t wx[101], wy[101];
            wx[0] = (sx0 + 1) * 100 - x0;
            for (std::int64_t i = 1; i < sx1 - sx0; ++i)
                wx[i] = 100;
            wx[sx1 - sx0] = x1 - sx1 * 100;
            wy[0] = (sy0 + 1) * 100 - y0;
            for (std::int64_t i = 1; i < sy1 - sy0; ++i)
                wy[i] = 100;
            wy[sy1 - sy0] = y1 - sy1 * 100;
            std::int64_t r = 0, g = 0, b = 0, ws = 0;
            for (std::int64_t j = 0; j <= sy1 - sy0; ++j) {
                for (std::int64_t i = 0; i <= sx1 - sx0; ++i) {
                    const Rgb p = src.Pixel(
                        static_cast<int>(std::min(sx0 + i, srcW - 1)), static_cast<int>(std::min(sy0 + j, srcH - 1)));
                    const std::int64_t w = wx[i] * wy[j];
                    r += w * p.r;
                    g += w * p.g;
                    b += w * p.b;
                    ws += w;
                }
            }
            Rgb c { static_cast<std::uint8_t>(std::min<std::int64_t>(r / ws, 255)),
                static_cast<std::uint8_t>(std::min<std::int64_t>(g / ws, 255)),
                static_cast<std::uint8_t>(std::min<std::int64_t>(b / ws, 255)) };
            const bool interior = x > 0 && y > 0 && x < dstW - 1 && y < dstH - 1;
            if (interior && 28 * c.r + 77 * c.g + 151 * c.b < 255)
                c = kBlack;
            out.SetPixel(x, y, c);
        }
    }
    return out;
}

// Both the vector and the portable loops against the reference.
void ExpectReduction(const Bitmap& src, int dstW, int dstH)
{
    SCOPED_TRACE(testing::Message() << src.Width() << "x" << src.Height() << " -> " << dstW << "x" << dstH);
    const Bitmap expected = ReferenceReduce(src, dstH, dstW);
    Bitmap fast, plain;
    EngineError error { ErrorCode::NotSmaller, ErrorDomain::Reduction, "stale", 1, 1 };
    ASSERT_EQ(ReduceHighQuality(src, dstH, dstW, fast, &error), kReduced);
    EXPECT_EQ(error, EngineError {});
    ASSERT_EQ(detail::ReduceHighQualityPortable(src, dstH, dstW, plain), kReduced);
    EXPECT_TRUE(SameImage(fast, expected, "fast"));
    EXPECT_TRUE(SameImage(plain, expected, "portable"));
}

// Smooth gradients with noise and dark patches, so that sums vary and the dark rule fires now and then.
Bitmap PhotoLike(int w, int h, std::uint32_t seed)
{
    Bitmap b = RandomBitmap(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb n = b.Pixel(x, y);
            const bool dark = ((x / 7 + y / 5) % 4) == 0;
            b.SetPixel(x, y,
                dark ? Rgb { static_cast<std::uint8_t>(n.r % 4), 0, static_cast<std::uint8_t>(n.b % 2) }
                     : Rgb { static_cast<std::uint8_t>(x * 255 / w), static_cast<std::uint8_t>(n.g / 2 + 64),
                         static_cast<std::uint8_t>((x + y) % 256) });
        }
    return b;
}

TEST(ReduceHighQuality, MatchesTheReferenceOnRandomSizes)
{
    std::mt19937 rng(20240611);
    int reduced = 0;
    for (int i = 0; i < 400 && reduced < 150; ++i) {
        const int srcW = 2 + static_cast<int>(rng() % 260), srcH = 2 + static_cast<int>(rng() % 260);
        const int dstW = 1 + static_cast<int>(rng() % (srcW - 1));
        // Near the source's proportions, up to a few points either way.
        const int dstH = std::max(1, dstW * srcH / srcW + static_cast<int>(rng() % 5) - 2);
        const std::int64_t ratio = srcW * 100 / srcH - dstW * 100 / dstH;
        if (ratio > 3 || ratio < -3 || dstH >= srcH || dstW * 100 < srcW || dstH * 100 < srcH)
            continue;
        const Bitmap src = i % 2 ? RandomBitmap(srcW, srcH, i) : PhotoLike(srcW, srcH, i);
        ExpectReduction(src, dstW, dstH);
        ++reduced;
    }
    EXPECT_GE(reduced, 100);
}

TEST(ReduceHighQuality, MatchesTheReferenceAtTheLimits)
{
    ExpectReduction(PhotoLike(1000, 1000, 1), 103, 100); // ratio difference -3
    ExpectReduction(PhotoLike(1000, 1000, 2), 100, 103); // +3: the last rows read past the bottom
    ExpectReduction(PhotoLike(1030, 1000, 3), 100, 100); // source wider: rows past 999 read row 999
    ExpectReduction(PhotoLike(1000, 1030, 4), 100, 100); // source taller: its last rows are left out
    ExpectReduction(PhotoLike(5000, 5000, 5), 50, 50); // exactly 1/100, blocks of 100 columns
    ExpectReduction(PhotoLike(450, 300, 6), 300, 200); // blocks of one column now and then (weight 99)
    ExpectReduction(RandomBitmap(200, 100, 7), 199, 99); // a hair smaller: mostly one- and two-column blocks
    ExpectReduction(SolidBitmap(700, 700, kWhite), 7, 7); // the largest sums, all white
    for (int side : { 1, 2, 3 }) // tiny targets, at 1/100 and a little less
        ExpectReduction(RandomBitmap(100 * side - side / 2, 100 * side - side / 2, side), side, side);
    ExpectReduction(RandomBitmap(90, 3, 8), 30, 1);
}

TEST(ReduceHighQuality, RefusesInOrderWithItsMessages)
{
    struct Case {
        int srcW, srcH, dstW, dstH, code;
        const char* message;
    };
    const Case cases[] = {
        { 0, 0, 10, 10, kReductionSizeBelowOne, "画像サイズが1px未満なので高画質圧縮を中断しました。(幅 0  高さ0)" },
        { 10, 10, 5, 0, kReductionSizeBelowOne, "画像サイズが1px未満なので高画質圧縮を中断しました。(幅 5  高さ0)" },
        { 1000, 1000, 104, 100, kReductionAspectDiffers, "比率が違うので高画質圧縮を中断しました。(幅 104  高さ100)" },
        { 9601, 1, 19202, 1, kReductionAspectDiffers, "比率が違うので高画質圧縮を中断しました。(幅 19202  高さ1)" },
        { 9601, 1, 19202, 2, kReductionSourceTooLarge,
            "元画像が大きすぎるので高画質圧縮を中断しました。(幅 9601  "
            "高さ1)\n最大サイズは幅　9600px　高さ9600pxです。" },
        { 1, 9601, 2, 19202, kReductionSourceTooLarge,
            "元画像が大きすぎるので高画質圧縮を中断しました。(幅 1  "
            "高さ9601)\n最大サイズは幅　9600px　高さ9600pxです。" },
        { 100, 100, 9601, 9601, kReductionTargetTooLarge,
            "縮小後画像が大きすぎるので高画質圧縮を中断しました。(幅 9601  高さ9601)\n"
            "最大サイズは幅　9600px　高さ9600pxです。" },
        { 501, 500, 5, 5, kReductionBeyondHundredth,
            "縮小率が大きすぎるので高画質圧縮を中断しました。最大1/100です。" },
        { 1000, 1000, 1000, 980, kReductionNotSmaller, "拡大なので高画質圧縮を中断しました。" },
        { 100, 100, 200, 200, kReductionNotSmaller, "拡大なので高画質圧縮を中断しました。" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Bitmap src;
        ASSERT_TRUE(src.Resize(c.srcW, c.srcH));
        Bitmap dst = RandomBitmap(4, 3, 1);
        const Bitmap before = dst;
        EngineError error;
        EXPECT_EQ(ReduceHighQuality(src, c.dstH, c.dstW, dst, &error), c.code);
        EXPECT_EQ(error.domain, ErrorDomain::Reduction);
        EXPECT_EQ(ReductionMessage(error), c.message);
        EXPECT_TRUE(dst.SameAs(before));
    }
}

TEST(ReduceHighQuality, EqualSizesDrawAtTheCornerAndKeepTheDestinationSize)
{
    const Bitmap src = RandomBitmap(5, 4, 1);
    Bitmap dst = SolidBitmap(8, 3, kRed);
    EngineError error;
    EXPECT_EQ(ReduceHighQuality(src, 4, 5, dst, &error), kReduced);
    EXPECT_FALSE(error.Failed());
    EXPECT_EQ(ReductionMessage(error), "画像サイズが同じなので高画質圧縮を中断しました。(幅 5  高さ4)");
    Bitmap expected = SolidBitmap(8, 3, kRed);
    Draw(src, expected, 0, 0);
    EXPECT_TRUE(SameImage(dst, expected));

    Bitmap self = src; // into itself: nothing changes
    EXPECT_EQ(ReduceHighQuality(self, 4, 5, self), kReduced);
    EXPECT_TRUE(SameImage(self, src));
}

TEST(ReduceHighQuality, IntoItselfEqualsIntoAnotherBitmap)
{
    const Bitmap src = PhotoLike(1051, 1500, 9);
    Bitmap separate = SolidBitmap(3, 3, kBlue), self = src;
    int reports = 0;
    ASSERT_EQ(ReduceHighQuality(src, 712, 498, separate), kReduced);
    ASSERT_EQ(ReduceHighQuality(self, 712, 498, self, nullptr, [&] { ++reports; }), kReduced);
    EXPECT_TRUE(SameImage(self, separate));
    EXPECT_TRUE(SameImage(separate, ReferenceReduce(src, 712, 498)));
    EXPECT_GT(reports, 0);
    EXPECT_LT(reports, 712);
}

TEST(ReduceHighQuality, DarkPixelsTurnBlackOnlyInside)
{
    // Red weighs 28, green 77, blue 151: the pixel goes black when the sum is below 255.
    const struct {
        Rgb colour;
        bool dark;
    } cases[] = { { { 9, 0, 0 }, true }, { { 10, 0, 0 }, false }, { { 0, 3, 0 }, true }, { { 0, 4, 0 }, false },
        { { 0, 0, 1 }, true }, { { 0, 0, 2 }, false }, { { 2, 1, 0 }, true } };
    for (const auto& c : cases) {
        Bitmap out;
        ASSERT_EQ(ReduceHighQuality(SolidBitmap(40, 30, c.colour), 6, 8, out), kReduced);
        Bitmap expected = SolidBitmap(8, 6, c.colour);
        if (c.dark)
            FillRect(expected, { 1, 1, 7, 5 }, kBlack);
        EXPECT_TRUE(SameImage(out, expected)) << int(c.colour.r) << "," << int(c.colour.g) << "," << int(c.colour.b);
    }
}

// The rows shared between two threads make the bytes of one: the seam between the bands, the band that holds the
// last rows (read past the bottom) and a region's offset included.
TEST(ReduceHighQuality, TwoThreadsMakeTheBytesOfOne)
{
    struct Case {
        int srcW, srcH;
        Rect region;
        int dstW, dstH;
    };
    for (const Case& c : { Case { 2600, 2600, { 300, 0, 2300, 2600 }, 378, 496 },
             Case { 900, 1201, { 0, 0, 900, 1201 }, 301, 399 }, Case { 700, 700, { 7, 11, 680, 690 }, 65, 64 },
             Case { 1000, 1000, { 0, 0, 1000, 1000 }, 100, 103 }, Case { 400, 400, { 0, 0, 400, 400 }, 63, 64 } }) {
        SCOPED_TRACE(
            testing::Message() << c.region.Width() << "x" << c.region.Height() << " -> " << c.dstW << "x" << c.dstH);
        const Bitmap src = PhotoLike(c.srcW, c.srcH, static_cast<std::uint32_t>(c.dstW));
        Bitmap one, two;
        ASSERT_EQ(ReduceHighQualityRegion(src, c.region, c.dstH, c.dstW, one, nullptr, {}, 1), kReduced);
        ASSERT_EQ(ReduceHighQualityRegion(src, c.region, c.dstH, c.dstW, two, nullptr, {}, 2), kReduced);
        EXPECT_TRUE(SameImage(two, one, "two threads"));
    }
}

} // namespace
} // namespace vellicam
