// vellicam-cli on a phone's portrait stored on its side: the command line loads the photo upright, as the window
// does, before it builds the square.
#include "cli_runner.h"
#include "exif_block.h"
#include "image/image_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vellicam;

namespace {

TEST(CliExif, SquareOfASidewaysPhotoIsBuiltUpright)
{
    test::ScratchDir dir;
    // Stored lying down, 80 × 40, white with a black left half; orientation 6 stands it up as 40 × 80 with the
    // black half on top.
    Bitmap stored = test::SolidBitmap(80, 40, kWhite);
    FillRect(stored, { 0, 0, 40, 40 }, kBlack);
    std::string jpeg;
    ASSERT_TRUE(EncodeJpeg(stored, { 95, 0 }, jpeg).ok);
    for (const bool bigEndian : { false, true }) {
        test::WriteFile(dir / "phone.jpg", test::WithApp1(jpeg, test::OrientationPayload(6, bigEndian)));
        const test::CliRun run = test::RunCli({ "square", dir / "phone.jpg", dir / "square.png" });
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "{\"result\": 0, \"width\": 80, \"height\": 80}\n");
        Bitmap square;
        ASSERT_TRUE(LoadImage(dir / "square.png", square).ok);
        // Black bands left and right of the standing photo; its lower half white.
        EXPECT_EQ(square.Pixel(5, 60), kBlack);
        EXPECT_EQ(square.Pixel(74, 60), kBlack);
        const Rgb lower = square.Pixel(40, 70);
        EXPECT_GT(lower.r, 200);
        const Rgb upper = square.Pixel(40, 10);
        EXPECT_LT(upper.r, 50);
    }
}

} // namespace
