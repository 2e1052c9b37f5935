// The bitmap and its drawing operations.
#include "image/bitmap.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vellicam;

TEST(Bitmap, ResizeGivesBlackAndRefusesNonsense)
{
    Bitmap b;
    ASSERT_TRUE(b.Resize(10, 10));
    EXPECT_EQ(b.Pixel(9, 9), kBlack);
    EXPECT_EQ(b.Stride(), 30u);
    EXPECT_FALSE(b.Resize(-1, 5));
    EXPECT_FALSE(b.Resize(60000, 60000)); // over the pixel limit
    EXPECT_EQ(b.Width(), 10); // a refused resize keeps the bitmap
    b.SetPixel(3, 4, { 1, 2, 3 });
    EXPECT_EQ(b.Row(4)[9], 3); // stored blue, green, red
    EXPECT_EQ(b.Row(4)[11], 1);
}

TEST(Bitmap, CopyRectClipsOnBothSides)
{
    const Bitmap src = test::RandomBitmap(8, 6, 1);
    Bitmap dst = test::SolidBitmap(5, 5, kWhite);
    CopyRect(src, { -2, -1, 6, 6 }, dst, 1, 1);
    // Source (-2, -1) lands on (1, 1), so source (0, 0) lands on (3, 2).
    EXPECT_EQ(dst.Pixel(3, 2), src.Pixel(0, 0));
    EXPECT_EQ(dst.Pixel(4, 4), src.Pixel(1, 2));
    EXPECT_EQ(dst.Pixel(2, 2), kWhite);
    EXPECT_EQ(dst.Pixel(0, 0), kWhite);
}

TEST(Bitmap, StretchDrawNearestNeighbour)
{
    Bitmap src = test::SolidBitmap(2, 2, kBlack);
    src.SetPixel(1, 0, kRed);
    src.SetPixel(0, 1, kBlue);
    Bitmap dst = test::SolidBitmap(4, 4, kWhite);
    StretchDraw(src, dst);
    EXPECT_EQ(dst.Pixel(0, 0), kBlack);
    EXPECT_EQ(dst.Pixel(3, 1), kRed);
    EXPECT_EQ(dst.Pixel(1, 3), kBlue);
    EXPECT_EQ(dst.Pixel(3, 3), kBlack);
}

TEST(Bitmap, LinesExcludeTheirEndPoint)
{
    Bitmap b = test::SolidBitmap(20, 20, kWhite);
    DrawLine(b, 2, 5, 10, 5, kBlack);
    EXPECT_EQ(b.Pixel(2, 5), kBlack);
    EXPECT_EQ(b.Pixel(9, 5), kBlack);
    EXPECT_EQ(b.Pixel(10, 5), kWhite);
    DrawLine(b, 4, 15, 4, 7, kRed); // upwards
    EXPECT_EQ(b.Pixel(4, 15), kRed);
    EXPECT_EQ(b.Pixel(4, 8), kRed);
    EXPECT_EQ(b.Pixel(4, 7), kWhite);
    DrawLine(b, -5, 0, 30, 0, kBlack); // clipped, no crash
    EXPECT_EQ(b.Pixel(19, 0), kBlack);
}

TEST(Bitmap, DashDotLeavesGaps)
{
    Bitmap b = test::SolidBitmap(40, 1, kWhite);
    DrawLine(b, 0, 0, 40, 0, kBlack, PenStyle::DashDot);
    int black = 0;
    for (int x = 0; x < 40; ++x)
        black += b.Pixel(x, 0) == kBlack;
    EXPECT_GT(black, 10);
    EXPECT_LT(black, 40);
}

TEST(Bitmap, RectOutlineCoversLeftTopToRightBottomMinusOne)
{
    Bitmap b = test::SolidBitmap(10, 10, kBlue);
    DrawRectOutline(b, { 0, 0, 6, 4 }, kRed);
    EXPECT_EQ(b.Pixel(5, 0), kRed);
    EXPECT_EQ(b.Pixel(5, 3), kRed);
    EXPECT_EQ(b.Pixel(0, 3), kRed);
    EXPECT_EQ(b.Pixel(6, 0), kBlue);
    EXPECT_EQ(b.Pixel(0, 4), kBlue);
    EXPECT_EQ(b.Pixel(2, 2), kBlue);
}

TEST(Bitmap, MovedFromIsEmptyAndLargeBitmapsComeZeroed)
{
    Bitmap big;
    ASSERT_TRUE(big.Resize(2000, 1500)); // large enough for a mapping of its own
    EXPECT_EQ(big.Pixel(1999, 1499), kBlack);
    big.SetPixel(5, 5, kRed);
    Bitmap moved = std::move(big);
    EXPECT_TRUE(big.Empty());
    EXPECT_EQ(big.Width(), 0);
    EXPECT_EQ(moved.Pixel(5, 5), kRed);
    // Resizing to the same byte count reuses the memory, which must still come out black.
    ASSERT_TRUE(moved.Resize(1500, 2000));
    EXPECT_EQ(moved.Pixel(5, 5), kBlack);
    Bitmap copy = moved;
    EXPECT_TRUE(copy.SameAs(moved));
}

// Memory kept between photos comes back to a bitmap of another size that fits it, black where black is asked for.
TEST(Bitmap, KeptMemoryIsReusedAndComesBackBlack)
{
    KeepPixelMemoryForReuse(std::size_t { 64 } << 20);
    const auto dirty = [](int width, int height) {
        Bitmap b;
        EXPECT_TRUE(b.ResizeUninitialized(width, height));
        Fill(b, kRed);
        return b.Data();
    };
    const std::uint8_t* first = dirty(2000, 1500);
    Bitmap smaller; // 8.6 MB against the kept 9 MB: it fits
    ASSERT_TRUE(smaller.Resize(1900, 1500));
    EXPECT_EQ(smaller.Data(), first) << "the kept memory was reused";
    EXPECT_EQ(smaller.Pixel(1899, 1499), kBlack);
    EXPECT_EQ(smaller.Pixel(0, 0), kBlack);

    (void)dirty(2000, 1500);
    Bitmap much; // twice as large: nothing kept fits
    ASSERT_TRUE(much.Resize(3000, 2000));
    EXPECT_EQ(much.Pixel(2999, 1999), kBlack);
    KeepPixelMemoryForReuse(0);
}
