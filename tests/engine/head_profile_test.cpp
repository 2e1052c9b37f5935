// The head's top from the colour profile above the eyes, on drawn pictures.
#include "recognition/head_profile.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace vellicam::test {
namespace {

// A picture with `background` above row `edge` and `hair` from it down, and `border` black rows at the top.
Bitmap Drawn(Rgb background, Rgb hair, int edge, int border = 0)
{
    Bitmap b = SolidBitmap(200, 300, hair);
    FillRect(b, { 0, 0, 200, edge }, background);
    FillRect(b, { 0, 0, 200, border }, kBlack);
    return b;
}

TEST(HeadProfile, FindsTheChangeFromBackgroundToHair)
{
    struct Case {
        Rgb background, hair;
        int edge, border;
        int expected;
    };
    for (const Case& c : {
             Case { { 240, 240, 240 }, { 30, 20, 10 }, 120, 0, 120 }, // dark hair, light wall
             Case { { 240, 240, 240 }, { 30, 20, 10 }, 60, 40, 60 }, // the square's black border is left out
             Case { { 40, 40, 40 }, { 30, 20, 10 }, 120, 0, -1 }, // dark hair on a dark background: no change
             Case { { 200, 180, 150 }, { 230, 200, 140 }, 120, 0, -1 }, // fair hair on a light wall: too little
             Case { { 240, 240, 240 }, { 30, 20, 10 }, 52, 0, 53 }, // the runs keep three rows: the top one moves
         }) {
        const Bitmap b = Drawn(c.background, c.hair, c.edge, c.border);
        EXPECT_EQ(FindHeadTopByProfile(b, 100, 40, 50, 200), c.expected) << c.edge << " " << c.border;
    }
}

TEST(HeadProfile, RefusesTooFewRowsAndEmptyBands)
{
    const Bitmap b = Drawn({ 240, 240, 240 }, { 30, 20, 10 }, 120);
    EXPECT_EQ(FindHeadTopByProfile(b, 100, 40, 118, 122), -1) << "five rows";
    EXPECT_EQ(FindHeadTopByProfile(b, 100, 40, 117, 122), 120) << "six rows";
    EXPECT_EQ(FindHeadTopByProfile(b, 500, 40, 50, 200), -1) << "band right of the picture";
    EXPECT_EQ(FindHeadTopByProfile(b, 100, -1, 50, 200), -1);
    EXPECT_EQ(FindHeadTopByProfile(b, 100, 40, 250, 100), -1) << "upside down";
    EXPECT_EQ(FindHeadTopByProfile(Bitmap {}, 0, 0, 0, 10), -1);
    // Rows beyond the picture are limited to it.
    EXPECT_EQ(FindHeadTopByProfile(b, 100, 40, -500, 5000), 120);
}

} // namespace
} // namespace vellicam::test
