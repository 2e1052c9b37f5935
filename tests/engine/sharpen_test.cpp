// The sharpening filter against a literal transcription, its kept pixels, and its exact divisions.
#include "resample/sharpen.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

using namespace vellicam;
using vellicam::test::RandomBitmap;
using vellicam::test::SameImage;
using vellicam::test::SolidBitmap;

namespace {

// The filter pixel by pixel from a [x][y] array of the unfiltered image, with plain divisions.
Bitmap ReferenceSharpen(const Bitmap& in)
{
    const int w = in.Width(), h = in.Height();
    std::vector<std::vector<Rgb>> cell(w, std::vector<Rgb>(h));
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            cell[x][y] = in.Pixel(x, y);
    const int k[3][3] = { { 1, 2, 1 }, { 2, 4, 2 }, { 1, 2, 1 } };
    Bitmap out = in;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            const Rgb p = cell[x][y];
            if (p == kBlue)
                continue;
            int ra = 0, ga = 0, ba = 0;
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i) {
                    const Rgb q = cell[x + i][y + j];
                    ra += k[j + 1][i + 1] * q.r;
                    ga += k[j + 1][i + 1] * q.g;
                    ba += k[j + 1][i + 1] * q.b;
                }
            ra /= 16;
            ga /= 16;
            ba /= 16;
            const int y0 = (28 * p.r + 77 * p.g + 151 * p.b) / 255;
            const int ya = (28 * ra + 77 * ga + 151 * ba) / 255;
            const int target = y0 - (ya - y0) / 2;
            if (y0 == 0) {
                out.SetPixel(x, y, kBlack);
                continue;
            }
            auto scale = [&](int ch) { return std::uint8_t(std::clamp(ch * target / y0, 0, 255)); };
            out.SetPixel(x, y, { scale(p.r), scale(p.g), scale(p.b) });
        }
    return out;
}

// Random pixels salted with the colours the filter treats apart: pure blue, black, near-black, white, and
// saturated primaries whose luminance is small.
Bitmap SaltedBitmap(int width, int height, std::uint32_t seed)
{
    Bitmap b = RandomBitmap(width, height, seed);
    std::mt19937 rng(seed * 7 + 1);
    const Rgb apart[] = { kBlue, kBlack, { 3, 1, 0 }, { 0, 0, 1 }, kWhite, { 255, 0, 0 }, { 9, 0, 0 }, { 0, 4, 0 } };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (rng() % 4 == 0)
                b.SetPixel(x, y, apart[rng() % std::size(apart)]);
    return b;
}

} // namespace

TEST(SharpenBitmap, MatchesLiteralFilterOnRandomImages)
{
    const std::pair<int, int> sizes[]
        = { { 1, 1 }, { 2, 5 }, { 3, 3 }, { 4, 3 }, { 3, 8 }, { 17, 13 }, { 64, 3 }, { 40, 41 }, { 123, 77 } };
    std::uint32_t seed = 11;
    for (const auto& [w, h] : sizes) {
        for (const bool salted : { false, true }) {
            const Bitmap original = salted ? SaltedBitmap(w, h, seed) : RandomBitmap(w, h, seed);
            ++seed;
            Bitmap actual = original;
            SharpenBitmap(actual);
            ASSERT_TRUE(SameImage(actual, ReferenceSharpen(original), "sharpen")) << w << "x" << h;
        }
    }
}

// Bands shared between two threads work from the rows around them as they were: the seams come out as on one
// thread, for bands that end exactly at the last filtered row or one short of it.
TEST(SharpenBitmap, TwoThreadsMatchTheLiteralFilter)
{
    const std::pair<int, int> sizes[] = { { 378, 496 }, { 50, 130 }, { 33, 131 }, { 20, 129 } };
    std::uint32_t seed = 91;
    for (const auto& [w, h] : sizes) {
        const Bitmap original = SaltedBitmap(w, h, seed++);
        Bitmap actual = original;
        SharpenBitmap(actual, {}, 2);
        EXPECT_TRUE(SameImage(actual, ReferenceSharpen(original), "sharpen on two threads")) << w << "x" << h;
    }
}

TEST(SharpenBitmap, KeepsBorderBlueAndUniformAreas)
{
    Bitmap b = RandomBitmap(30, 20, 3);
    FillRect(b, { 5, 5, 15, 15 }, { 90, 140, 60 });
    FillRect(b, { 20, 5, 25, 10 }, kBlue);
    const Bitmap before = b;
    SharpenBitmap(b);
    for (int x = 0; x < 30; ++x) {
        EXPECT_EQ(b.Pixel(x, 0), before.Pixel(x, 0));
        EXPECT_EQ(b.Pixel(x, 19), before.Pixel(x, 19));
    }
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(b.Pixel(0, y), before.Pixel(0, y));
        EXPECT_EQ(b.Pixel(29, y), before.Pixel(29, y));
    }
    for (int y = 6; y < 14; ++y)
        for (int x = 6; x < 14; ++x)
            ASSERT_EQ(b.Pixel(x, y), (Rgb { 90, 140, 60 })) << x << "," << y;
    for (int y = 5; y < 10; ++y)
        for (int x = 20; x < 25; ++x)
            ASSERT_EQ(b.Pixel(x, y), kBlue);
}

TEST(SharpenBitmap, DarkestPixelBecomesBlack)
{
    // 28 × 3 + 77 × 2 = 238 < 255: luminance 0, although the pixel is not black.
    Bitmap b = SolidBitmap(5, 5, { 3, 2, 0 });
    SharpenBitmap(b);
    EXPECT_EQ(b.Pixel(2, 2), kBlack);
    EXPECT_EQ(b.Pixel(0, 2), (Rgb { 3, 2, 0 }));
}

TEST(SharpenBitmap, LeavesImagesOverTheLimitUnchanged)
{
    const Bitmap tooWide = RandomBitmap(9601, 3, 4);
    Bitmap b = tooWide;
    SharpenBitmap(b);
    EXPECT_TRUE(b.SameAs(tooWide));

    // At the limit the filter still works.
    const Bitmap atLimit = RandomBitmap(9600, 3, 4);
    Bitmap c = atLimit;
    SharpenBitmap(c);
    EXPECT_TRUE(SameImage(c, ReferenceSharpen(atLimit), "limit"));
}

TEST(SharpenArithmetic, MultiplyShiftDivisionsAreExact)
{
    for (int n = 0; n <= 255 * 256; ++n)
        ASSERT_EQ(sharpen_arithmetic::DivideBy255(n), n / 255) << n;
    // White has luminance 256 (the weights add up to 256), and its target reaches 256 + 256 / 2.
    for (int d = 1; d <= 256; ++d)
        for (int n = 0; n <= 255 * 384; ++n)
            ASSERT_EQ(sharpen_arithmetic::DivideByLuminance(n, d), n / d) << n << " / " << d;
}

TEST(SharpenArithmetic, VectorRatioMatchesIntegerScaling)
{
    for (int y0 = 1; y0 <= 256; ++y0)
        for (int target = 1; target <= 384; ++target)
            for (int c = 0; c <= 255; ++c)
                ASSERT_EQ(sharpen_arithmetic::ScaleByRatio(c, target, y0), std::min(255, c * target / y0))
                    << c << " * " << target << " / " << y0;
}
