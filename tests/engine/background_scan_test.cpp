// The head-top scan over the strip above a face.
#include "recognition/background_scan.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace vellicam;
using vellicam::test::SolidBitmap;

namespace {

constexpr Rgb kSky { 200, 220, 240 };
constexpr Rgb kHair { 40, 30, 20 };

// A 500 × 120 photo of hair; the rows listed get `matching` sky pixels from column 50 on.
Bitmap StripPhoto(std::initializer_list<std::pair<int, int>> rowsAndMatching)
{
    Bitmap bitmap = SolidBitmap(500, 120, kHair);
    for (const auto& [row, matching] : rowsAndMatching)
        for (int x = 50; x < 50 + matching; ++x)
            bitmap.SetPixel(x, row, kSky);
    return bitmap;
}

TEST(BackgroundScan, RowMustExceedTheRatio)
{
    // A strip of 400 columns (50..449): 323 sky pixels give 80 %, which is not more than 80; 324 give 81.
    const Bitmap photo = StripPhoto({ { 100, 323 }, { 99, 323 }, { 98, 324 }, { 97, 400 } });
    const HeadTopScan scan = ScanHeadTop(50, 449, 100, photo, 50, 80, false, {});
    EXPECT_EQ(scan.row, 98);
    EXPECT_TRUE(scan.sampled);
    EXPECT_EQ(scan.sx, 50);
    EXPECT_EQ(scan.sy, 100);
    EXPECT_EQ(scan.background, kSky);
    EXPECT_EQ(ScanHeadTop(50, 449, 100, photo, 50, 81, false, {}).row, 97);
}

TEST(BackgroundScan, RowWithoutBackgroundEndsTheScan)
{
    const Bitmap photo = StripPhoto({ { 100, 10 }, { 99, 10 } });
    EXPECT_EQ(ScanHeadTop(50, 449, 100, photo, 50, 80, false, {}).row, 98);
    // Tolerance 0 matches nothing, not even the sample itself.
    EXPECT_EQ(ScanHeadTop(50, 449, 100, photo, 0, 80, false, {}).row, 100);
}

TEST(BackgroundScan, ToleranceBoundsAreStrict)
{
    Bitmap photo = SolidBitmap(10, 3, kSky);
    for (int x = 0; x < 10; ++x)
        photo.SetPixel(x, 1, { static_cast<std::uint8_t>(200 + (x < 5 ? 9 : 10)), 220, 240 });
    // Row 1: five pixels 9 off match, five 10 off do not: 50 % with tolerance 10 is not above 50 %.
    EXPECT_EQ(ScanHeadTop(0, 9, 1, photo, 10, 50, true, kSky).row, 0);
    EXPECT_EQ(ScanHeadTop(0, 9, 1, photo, 10, 49, true, kSky).row, 1);
    EXPECT_EQ(ScanHeadTop(0, 9, 1, photo, 11, 50, true, kSky).row, 1);
}

struct DarkCase {
    const char* name;
    Rgb picked;
    int expected;
};

class DarkBackgroundTest : public testing::TestWithParam<DarkCase> { };

TEST_P(DarkBackgroundTest, AllChannelsBelow64StopTheScan)
{
    // Rows 31..49 are half background, row 30 has none: a scan that runs ends on row 30.
    const DarkCase& c = GetParam();
    Bitmap photo = SolidBitmap(20, 50, kHair);
    for (int y = 31; y < 50; ++y)
        for (int x = 0; x < 10; ++x)
            photo.SetPixel(x, y, c.picked);
    EXPECT_EQ(ScanHeadTop(0, 19, 40, photo, 5, 80, true, c.picked).row, c.expected);
    EXPECT_EQ(ScanHeadTop(0, 19, 40, photo, 5, 80, false, {}).row, c.expected); // sampled at (0, 40)
}

INSTANTIATE_TEST_SUITE_P(BackgroundScan, DarkBackgroundTest,
    testing::Values(DarkCase { "Grey63", { 63, 63, 63 }, 40 }, DarkCase { "Red64", { 64, 0, 0 }, 30 },
        DarkCase { "Green64", { 0, 64, 0 }, 30 }, DarkCase { "Blue64", { 0, 0, 64 }, 30 }),
    [](const testing::TestParamInfo<DarkCase>& info) { return std::string(info.param.name); });

TEST(BackgroundScan, EdgesOfTheImage)
{
    const Bitmap photo = SolidBitmap(30, 20, kSky);
    // A face top at row 0 returns 0 whatever the pixels; a negative one returns itself.
    EXPECT_EQ(ScanHeadTop(0, 29, 0, photo, 50, 80, false, {}).row, 0);
    EXPECT_EQ(ScanHeadTop(0, 29, -5, photo, 50, 80, false, {}).row, -5);
    // Rows below the image have no background pixel.
    EXPECT_EQ(ScanHeadTop(0, 29, 25, photo, 50, 80, false, {}).row, 25);
    // The sample point is limited to the image; the strip's width still counts columns beyond it.
    const HeadTopScan beyond = ScanHeadTop(40, 49, 15, photo, 50, 80, false, {});
    EXPECT_EQ(beyond.sx, 29);
    EXPECT_EQ(beyond.sy, 15);
    EXPECT_EQ(beyond.row, 0); // 1 of 10 columns inside on every row: runs out
    EXPECT_EQ(ScanHeadTop(40, 49, 30, photo, 50, 80, false, {}).sy, 19);
    EXPECT_EQ(ScanHeadTop(10, 29 + 4, 10, photo, 50, 80, false, {}).row, 10); // 20 of 24: 83 %
    EXPECT_EQ(ScanHeadTop(10, 29 + 6, 10, photo, 50, 80, false, {}).row, 0); // 20 of 26: 76 %, runs out
    // An empty strip has nothing to count.
    EXPECT_EQ(ScanHeadTop(10, 5, 10, photo, 50, 80, false, {}).row, 10);
}

TEST(BackgroundScan, ImagesBeyondThePlaneReadBlack)
{
    // Half of each row is black: 50 % in a readable image, 100 % when the whole image reads as black.
    const Rgb picked { 64, 10, 10 };
    for (const int width : { 9600, 9601 }) {
        Bitmap photo = SolidBitmap(width, 3, kSky);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width / 2; ++x)
                photo.SetPixel(x, y, kBlack);
        const HeadTopScan scan = ScanHeadTop(0, width - 1, 2, photo, 70, 80, true, picked);
        EXPECT_EQ(scan.row, width > 9600 ? 2 : 0) << width;
        // Without a picked colour the sample reads black and the dark rule stops the scan.
        const HeadTopScan sampled = ScanHeadTop(width - 1, width - 1, 2, photo, 70, 80, false, {});
        EXPECT_EQ(sampled.background, width > 9600 ? kBlack : kSky) << width;
    }
}

TEST(BackgroundScan, ReportsProgressOnLongScans)
{
    Bitmap stripes = SolidBitmap(4, 400, kSky);
    for (int y = 0; y < 400; ++y)
        stripes.SetPixel(0, y, kHair); // 3 of 4 columns: 75 %, never above 80
    int reports = 0;
    EXPECT_EQ(ScanHeadTop(0, 3, 399, stripes, 50, 80, true, kSky, [&] { ++reports; }).row, 0);
    EXPECT_GT(reports, 2);
    EXPECT_LT(reports, 20);
}

} // namespace
