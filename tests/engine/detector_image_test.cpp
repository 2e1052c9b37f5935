// The reduced grey copy handed to the detector, against a plain reference.
#include "recognition/detector_image.h"

#include "image/image_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace vellicam::test {
namespace {

TEST(DetectorImage, FactorBringsTheLongerSideToTwelveHundred)
{
    struct Case {
        int imageWidth, imageHeight, factor;
    };
    for (const Case& c : { Case { 1, 1, 1 }, Case { 1200, 10, 1 }, Case { 1201, 10, 2 }, Case { 10, 2400, 2 },
             Case { 4000, 3000, 4 }, Case { 4001, 4001, 4 }, Case { 9600, 9600, 8 }, Case { 0, -5, 1 } })
        EXPECT_EQ(DetectorImageFactor(c.imageWidth, c.imageHeight), c.factor) << c.imageWidth << " x " << c.imageHeight;
}

// Each copy pixel is the rounded mean of its block's grey levels (BT.601 weights in 1/256), the last blocks cut by
// the edge; checked on random pixels for factors 1 to 4 and sizes that do not divide, rows long enough for the
// vector loop and its tail.
TEST(DetectorImage, EachPixelIsItsBlocksMeanGrey)
{
    ScratchDir dir;
    std::mt19937 random(7);
    constexpr int kWidth = 71, kHeight = 5;
    for (const int factor : { 1, 2, 3, 4 }) {
        Bitmap image;
        ASSERT_TRUE(image.Resize(kWidth, kHeight));
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                image.SetPixel(x, y,
                    { static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                        static_cast<std::uint8_t>(random()) });
        const std::string path = dir / "copy.pgm";
        ASSERT_EQ(WriteDetectorImage(image, factor, path), "");
        Bitmap copy;
        ASSERT_TRUE(LoadPpm(path, copy).ok);
        const int w = (kWidth + factor - 1) / factor, h = (kHeight + factor - 1) / factor;
        ASSERT_EQ(copy.Width(), w);
        ASSERT_EQ(copy.Height(), h);
        for (int by = 0; by < h; ++by)
            for (int bx = 0; bx < w; ++bx) {
                double sum = 0;
                int n = 0;
                for (int y = by * factor; y < std::min(kHeight, (by + 1) * factor); ++y)
                    for (int x = bx * factor; x < std::min(kWidth, (bx + 1) * factor); ++x, ++n) {
                        const Rgb p = image.Pixel(x, y);
                        sum += (77.0 * p.r + 150.0 * p.g + 29.0 * p.b) / 256;
                    }
                EXPECT_NEAR(copy.Pixel(bx, by).r, sum / n, 0.51) << factor << ": " << bx << "," << by;
            }
    }
}

TEST(DetectorImage, RefusesWhatItCannotWrite)
{
    ScratchDir dir;
    Bitmap image;
    EXPECT_NE(WriteDetectorImage(image, 1, dir / "empty.pgm"), "");
    ASSERT_TRUE(image.Resize(1, 1));
    EXPECT_NE(WriteDetectorImage(image, 0, dir / "zero.pgm"), "");
    EXPECT_NE(WriteDetectorImage(image, 1, dir / "no/such/folder.pgm"), "");
    // Never through a symbolic link someone put in the way.
    std::filesystem::create_symlink(dir / "target.pgm", dir / "link.pgm");
    EXPECT_NE(WriteDetectorImage(image, 1, dir / "link.pgm"), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "target.pgm"));
    // A one-pixel image is a one-pixel copy.
    EXPECT_EQ(WriteDetectorImage(image, 1, dir / "one.pgm"), "");
    Bitmap one;
    ASSERT_TRUE(LoadPpm(dir / "one.pgm", one).ok);
    EXPECT_EQ(one.Width(), 1);
}

} // namespace
} // namespace vellicam::test
