// Loading a photo into the workspace: what counts as a photo, the low-resolution warning, the centred square and
// the fitted view size.
#include "image/image_io.h"
#include "image/photo.h"
#include "session/photo_session.h"
#include "test_support.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <system_error>
#include <unistd.h>

using namespace vellicam;
using namespace vellicam::test;

TEST(Photo, LoadPhotoFileDecidesByContent)
{
    ScratchDir dir;
    const Bitmap image = RandomBitmap(20, 12, 3);
    ASSERT_TRUE(SaveJpeg(dir / "photo.jpg", image).ok);
    ASSERT_TRUE(SaveJpeg(dir / "jpeg-named.png", image).ok);
    ASSERT_TRUE(SavePng(dir / "png-named.jpg", image).ok);
    const Bitmap before = SolidBitmap(2, 2, kRed);

    Bitmap photo = before;
    std::string reason = "unchanged";
    EXPECT_EQ(LoadPhotoFile("", photo, &reason), 1);
    EXPECT_TRUE(photo.SameAs(before));
    EXPECT_EQ(reason, "unchanged");

    EXPECT_EQ(LoadPhotoFile(dir / "missing.jpg", photo, &reason), -1);
    EXPECT_NE(reason.find("missing.jpg"), std::string::npos);
    EXPECT_EQ(LoadPhotoFile(dir.Path().string(), photo, &reason), -1); // a folder is not a photo file
    EXPECT_TRUE(photo.SameAs(before));

    // A PNG is not a photo here whatever its name, though the general reader takes it.
    reason.clear();
    EXPECT_EQ(LoadPhotoFile(dir / "png-named.jpg", photo, &reason), -2);
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(photo.SameAs(before));
    Bitmap any;
    EXPECT_TRUE(LoadImage(dir / "png-named.jpg", any).ok);

    EXPECT_EQ(LoadPhotoFile(dir / "jpeg-named.png", photo, nullptr), 0);
    EXPECT_EQ(photo.Width(), 20);
    EXPECT_EQ(photo.Height(), 12);
    EXPECT_EQ(LoadPhotoFile(dir / "photo.jpg", photo, nullptr), 0);
    EXPECT_EQ(photo.Width(), 20);
}

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

// What the window says for a path it cannot open: a path that is there but cannot be reached says so with the
// system's reason, never "not found"; the loader and the session's open say the same.
TEST(Photo, APathThatCannotBeOpenedSaysWhy)
{
    ScratchDir dir;
    ASSERT_TRUE(SaveJpeg(dir / "photo.jpg", RandomBitmap(8, 6, 1)).ok);
    std::filesystem::create_symlink(dir / "loop-b.jpg", dir / "loop-a.jpg");
    std::filesystem::create_symlink(dir / "loop-a.jpg", dir / "loop-b.jpg");
    std::filesystem::create_directory(dir / "shut");
    ASSERT_TRUE(SaveJpeg(dir / "shut/photo.jpg", RandomBitmap(8, 6, 1)).ok);
    ASSERT_TRUE(SaveJpeg(dir / "unreadable.jpg", RandomBitmap(8, 6, 1)).ok);
    std::filesystem::permissions(dir / "unreadable.jpg", std::filesystem::perms::none);
    std::filesystem::permissions(dir / "shut", std::filesystem::perms::none);
    const std::string denied = std::generic_category().message(EACCES);
    struct Case {
        std::string path;
        std::string text; // the status line's start, before ": path"
        bool bindsOnlyOthers; // a permission the superuser is not held to
    };
    const Case cases[] = {
        { dir / "loop-a.jpg", "ファイルを開けません（" + std::generic_category().message(ELOOP) + "）", false },
        { dir / "shut/photo.jpg", "ファイルを開けません（" + denied + "）", true },
        { dir / "unreadable.jpg", "ファイルを開けません（" + denied + "）", true },
        { dir / "missing.jpg", "ファイルが見つかりません", false },
        { dir / "photo.jpg/inside.jpg", "ファイルが見つかりません", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.bindsOnlyOthers && geteuid() == 0)
            continue;
        Bitmap photo;
        std::string reason;
        EXPECT_EQ(LoadPhotoFile(c.path, photo, &reason), -1);
        EXPECT_EQ(reason, c.text + ": " + c.path);
        PhotoSession session;
        const OpenOutcome opened = session.open(c.path, false);
        EXPECT_FALSE(opened.opened());
        EXPECT_EQ(opened.failure, reason);
    }
    std::filesystem::permissions(dir / "shut", std::filesystem::perms::owner_all);
}
