// Bringing a photo into the workspace, the low-resolution warning, the centred square and
// the fitted view size.
#include "image/image_io.h"
#include "image/photo.h"
#include "session/session_texts.h"
#include "session/photo_session.h"
#include "test_support.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <system_error>
#include <unistd.h>

using namespace vellicam;
using namespace vellicam::test;

TEST(Photo, LowResolutionIsUpTo640By480Pixels)
{
    EXPECT_TRUE(IsLowResolution(640, 480));
    EXPECT_TRUE(IsLowResolution(480, 640));
    EXPECT_TRUE(IsLowResolution(1, 1));
    EXPECT_FALSE(IsLowResolution(641, 480));
    EXPECT_FALSE(IsLowResolution(640, 481));
    EXPECT_TRUE(IsLowResolution(307200, 1)); // the area counts, not the shape
    EXPECT_FALSE(IsLowResolution(60000, 60000)); // no overflow into a small or negative area
    EXPECT_EQ(LowResolutionMessage(640, 480),
        "画像解像度が低いので作成画像が荒れる可能性があります。\n\n横ピクセル数:640 縦ピクセル数: 480");
}

namespace {

// The square as it should be, pixel by pixel.
Bitmap ExpectedSquare(const Bitmap& photo, int dx, int dy)
{
    const int side = std::max(photo.Width(), photo.Height());
    Bitmap square = SolidBitmap(side, side, kBlack);
    for (int y = 0; y < photo.Height(); ++y)
        for (int x = 0; x < photo.Width(); ++x)
            square.SetPixel(x + dx, y + dy, photo.Pixel(x, y));
    return square;
}

} // namespace

TEST(Photo, SquareBitmapCentresThePhotoOnBlack)
{
    struct Case {
        int w, h, dx, dy;
    };
    // 30 × 40 stands for 3000 × 4000 (x = 500); odd differences truncate the half.
    for (const Case c : { Case { 30, 40, 5, 0 }, Case { 40, 30, 0, 5 }, Case { 31, 40, 4, 0 }, Case { 40, 33, 0, 3 },
             Case { 25, 25, 0, 0 }, Case { 1, 4, 1, 0 } }) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const Bitmap photo = RandomBitmap(c.w, c.h, static_cast<std::uint32_t>(c.w * 100 + c.h));
        Bitmap square = SolidBitmap(7, 7, kWhite); // old content must not show through
        ASSERT_TRUE(BuildSquareBitmap(photo, square));
        EXPECT_TRUE(SameImage(square, ExpectedSquare(photo, c.dx, c.dy)));
    }

    // The photo and the square may be the same bitmap.
    const Bitmap photo = RandomBitmap(6, 10, 9);
    Bitmap same = photo;
    ASSERT_TRUE(BuildSquareBitmap(same, same));
    EXPECT_TRUE(SameImage(same, ExpectedSquare(photo, 2, 0), "aliased"));

    Bitmap square = SolidBitmap(3, 3, kWhite);
    EXPECT_FALSE(BuildSquareBitmap(Bitmap {}, square));
}

// A square large enough for a mapping of its own: fresh memory is left black as the system gives it; memory kept from
// an earlier, white square gets its bands cleared.
TEST(Photo, LargeSquaresBandsAreBlackOnFreshAndOnReusedMemory)
{
    const Bitmap photo = RandomBitmap(1300, 900, 5);
    const Bitmap expected = ExpectedSquare(photo, 0, 200);
    KeepPixelMemoryForReuse(std::size_t { 64 } << 20);
    for (const char* memory : { "fresh", "kept from a white square" }) {
        SCOPED_TRACE(memory);
        Bitmap square;
        ASSERT_TRUE(BuildSquareBitmap(photo, square));
        EXPECT_TRUE(SameImage(square, expected));
        Fill(square, kWhite); // given back white: the next square reuses it
    }
    KeepPixelMemoryForReuse(0);
}

TEST(Photo, FittedSize)
{
    struct Case {
        int w, h, r, t;
        Size expected;
    };
    const Case cases[] = {
        { 4000, 3000, 500, 500, { 500, 375 } }, // landscape fills the width
        { 3000, 4000, 500, 500, { 375, 500 } }, // portrait fills the height
        { 800, 800, 500, 500, { 500, 500 } }, // square
        { 1000, 500, 600, 300, { 600, 300 } }, // same ratio in a non-square view: exact
        { 100, 50, 500, 500, { 500, 250 } }, // smaller than the view: enlarged
        { 7, 3, 10, 10, { 10, 4 } }, // 30 / 7 truncated
        { 3, 7, 10, 10, { 4, 10 } },
        { 9999, 10000, 600, 600, { 599, 600 } }, // nearly square: the truncation shows
        { 60000, 50000, 60000, 60000, { 60000, 50000 } }, // products beyond 32 bits
        { 50000, 60001, 59999, 60000, { 49999, 60000 } },
        { 0, 10, 500, 500, { 0, 0 } },
        { 10, 10, 0, 500, { 0, 0 } },
        { -4, 3, 500, 500, { 0, 0 } },
    };
    for (const Case& c : cases) {
        const Size s = FittedSize(c.w, c.h, c.r, c.t);
        EXPECT_EQ(s.width, c.expected.width) << c.w << "x" << c.h << " in " << c.r << "x" << c.t;
        EXPECT_EQ(s.height, c.expected.height) << c.w << "x" << c.h << " in " << c.r << "x" << c.t;
    }
}

TEST(Photo, SquareTooLargeFollowsTheLongerSide)
{
    EXPECT_FALSE(vellicam::SquareTooLarge(14142, 10)); // 14142² is just under 200 megapixels
    EXPECT_TRUE(vellicam::SquareTooLarge(10, 14143));
    EXPECT_TRUE(vellicam::SquareTooLarge(65296, 253));
    EXPECT_FALSE(vellicam::SquareTooLarge(6000, 4000));
}

