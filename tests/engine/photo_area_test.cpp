// The photo's own pixels in the working square and a frame moved onto them, upright and turned.
#include "geometry/photo_area.h"

#include "image/photo.h"
#include "resample/rotate.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>

using namespace vellicam;

namespace {

struct PlaceCase {
    const char* name;
    int photoWidth, photoHeight, angle; // on a view as large as the square
    ControlBounds frame;
    int result;
    std::optional<ControlBounds> placed; // when the place is known exactly
};

class PlaceFrameOnPhotoTest : public testing::TestWithParam<PlaceCase> { };

TEST_P(PlaceFrameOnPhotoTest, MovesTheFrameOntoThePhotoWithoutResizingIt)
{
    const PlaceCase& c = GetParam();
    const PhotoArea area = PhotoAreaOnView(c.photoWidth, c.photoHeight, c.angle, 400);
    ControlBounds placed;
    ASSERT_EQ(PlaceFrameOnPhoto(c.frame, area, placed), c.result);
    EXPECT_EQ(placed.width, c.frame.width);
    EXPECT_EQ(placed.height, c.frame.height);
    if (c.placed) {
        EXPECT_EQ(placed, *c.placed);
    }
    EXPECT_EQ(FrameLiesOnPhoto(placed, area), c.result != kFrameLargerThanPhoto);
    EXPECT_EQ(FrameLiesOnPhoto(c.frame, area), c.result == kFrameOnPhoto);
}

INSTANTIATE_TEST_SUITE_P(PhotoArea, PlaceFrameOnPhotoTest,
    testing::Values(
        // A portrait padded left and right: 50 black columns each side.
        PlaceCase { "PortraitIntoTheLeftPadding", 300, 400, 0, { 10, 20, 100, 130 }, kFrameMovedOntoPhoto,
            ControlBounds { 50, 20, 100, 130 } },
        PlaceCase { "PortraitWithinStays", 300, 400, 0, { 100, 0, 100, 130 }, kFrameOnPhoto,
            ControlBounds { 100, 0, 100, 130 } },
        PlaceCase { "LandscapeIntoTheBottomPadding", 400, 300, 0, { 100, 300, 100, 130 }, kFrameMovedOntoPhoto,
            ControlBounds { 100, 220, 100, 130 } },
        PlaceCase { "WiderThanThePortrait", 300, 400, 0, { 0, 0, 320, 100 }, kFrameLargerThanPhoto,
            ControlBounds { 0, 0, 320, 100 } },
        // A quarter turn lays the portrait across: black above and below.
        PlaceCase { "QuarterTurnedPortrait", 300, 400, 900, { 0, 0, 100, 130 }, kFrameMovedOntoPhoto,
            ControlBounds { 0, 50, 100, 130 } },
        // Turned by a few degrees either way: the top-left corner lies in a black wedge.
        PlaceCase { "TurnedClockwiseCorner", 300, 400, 50, { 50, 0, 100, 130 }, kFrameMovedOntoPhoto, {} },
        PlaceCase { "TurnedAnticlockwiseCorner", 300, 400, -73, { 50, 0, 100, 130 }, kFrameMovedOntoPhoto, {} },
        PlaceCase { "TurnedLandscapeWithinStays", 400, 300, 30, { 150, 120, 100, 130 }, kFrameOnPhoto, {} },
        // Fits upright (290 of 300 columns) but not once turned five degrees.
        PlaceCase { "TurnedTooLarge", 300, 400, 50, { 55, 5, 290, 390 }, kFrameLargerThanPhoto,
            ControlBounds { 55, 5, 290, 390 } }),
    [](const testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

// The moved frame cut out of the square the rotation really builds holds none of its black, for turns either way,
// on a view smaller than the square.
TEST(PhotoArea, AMovedFrameCutsNoBlackOutOfTheTurnedSquare)
{
    const Bitmap photo = test::SolidBitmap(600, 800, { 255, 255, 255 });
    for (const int angle : { 0, 37, -52, 900, 1234 }) {
        SCOPED_TRACE(angle);
        Bitmap square;
        if (angle == 0)
            ASSERT_TRUE(BuildSquareBitmap(photo, square));
        else
            ASSERT_EQ(BuildRotatedSquare(photo, angle, square), 0);
        const int view = 400; // half the square
        const PhotoArea area = PhotoAreaOnView(600, 800, angle, view, 1.0 + 2.0 * view / 800);
        for (const ControlBounds& frame : { ControlBounds { 0, 0, 150, 200 }, ControlBounds { 260, 190, 150, 200 } }) {
            ControlBounds placed;
            ASSERT_GE(PlaceFrameOnPhoto(frame, area, placed), 0);
            int darkest = 255;
            for (int y = placed.top * 2; y < (placed.top + placed.height) * 2; ++y)
                for (int x = placed.left * 2; x < (placed.left + placed.width) * 2; ++x)
                    darkest = std::min<int>(darkest, square.Pixel(x, y).r);
            EXPECT_GT(darkest, 200) << placed.left << ',' << placed.top;
        }
    }
}

} // namespace
