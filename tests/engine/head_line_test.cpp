// The head line's angle, its rotation proposal, and the frame it sets.
#include "geometry/head_line.h"

#include <gtest/gtest.h>

using namespace vellicam;

namespace {

struct LineCase {
    const char* name;
    int x, y; // the chin, with the head top at (200, 100)
    bool vertical;
    double angle;
    int proposal; // only checked when not vertical
    const char* status;
};

class HeadLineAngleTest : public testing::TestWithParam<LineCase> { };

TEST_P(HeadLineAngleTest, AngleProposalAndStatus)
{
    const LineCase& c = GetParam();
    const HeadLineAngle line = EvaluateHeadLine(200, 100, c.x, c.y);
    EXPECT_EQ(line.vertical, c.vertical);
    EXPECT_NEAR(line.angle, c.angle, 1e-5);
    if (!c.vertical)
        EXPECT_EQ(line.rotationProposal, c.proposal);
    else
        EXPECT_EQ(line.rotationProposal, 0);
    EXPECT_EQ(HeadLineStatusText(line), c.status);
}

INSTANTIATE_TEST_SUITE_P(HeadLine, HeadLineAngleTest,
    testing::Values(
        // Truncation toward zero: a chin to the left proposes the tilt rounded down, to the right rounded up.
        LineCase { "ChinLeft", 190, 200, false, -95.710, 50, "R*10=50" },
        LineCase { "ChinRight", 210, 200, false, -84.289, -60, "R*10=-60" },
        LineCase { "UnderOneDegreeLeftProposesNothing", 199, 400, false, -90.190, 0, "R*10=0" },
        LineCase { "AnyTiltRightProposesAWholeDegree", 201, 400, false, -89.809, -10, "R*10=-10" },
        // The cut through single precision rounds -69.9999967 to -70.000, one degree more than a plain cut.
        LineCase { "SinglePrecisionCut", 299, 372, false, -70.000, -200, "R*10=-200" },
        LineCase { "HorizontalRight", 300, 100, false, 0, -900, "R*10=-900" },
        LineCase { "HorizontalLeft", 100, 100, false, 180, -2700, "R*10=-2700" },
        LineCase { "UpLeft", 190, 0, false, 95.710, -1850, "R*10=-1850" },
        LineCase { "StraightDown", 200, 300, true, -90, 0, "-90.000000" },
        LineCase { "StraightUp", 200, 0, true, 90, 0, "90.000000" },
        LineCase { "ZeroLength", 200, 100, true, 90, 0, "90.000000" }),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// The proposal on release comes from the released line alone: a vertical line after a tilted one asks nothing.
TEST(HeadLine, ReleasedLineProposesFromItselfAlone)
{
    struct Release {
        int ex, ey;
        int proposal;
    };
    // One drag after another from the head top (200, 100).
    const Release drags[] = {
        { 190, 200, 50 }, // tilted: a question
        { 200, 300, 0 }, // then straight down: none
        { 210, 200, -60 }, { 200, 100, 0 }, // a click without a drag
        { 201, 400, -10 }, { 200, 0, 0 }, // straight up
    };
    for (const Release& r : drags) {
        EXPECT_EQ(RotationProposalOf(200, 100, r.ex, r.ey), r.proposal) << r.ex << "," << r.ey;
        EXPECT_EQ(RotationProposalOf(200, 100, r.ex, r.ey), EvaluateHeadLine(200, 100, r.ex, r.ey).rotationProposal);
    }
}

TEST(HeadLine, QuestionTextsAndAngleAfterYes)
{
    EXPECT_EQ(RotationQuestionText(50), "角度が5.000000度あります。回転させますか？");
    EXPECT_EQ(RotationQuestionText(-60), "角度が-6.000000度あります。回転させますか？");
    EXPECT_EQ(RotationQuestionText(-1855), "角度が-185.500000度あります。回転させますか？");
    EXPECT_EQ(LinePointsText(200, 100, -3, 419), "(200,100)-(-3,419)");

    // The truncated remainder keeps the sign of the difference.
    EXPECT_EQ(AngleAfterProposal(0, 50), -50);
    EXPECT_EQ(AngleAfterProposal(-3590, 50), -40);
    EXPECT_EQ(AngleAfterProposal(3590, -60), 50);
    EXPECT_EQ(AngleAfterProposal(100, 100), 0);
}

struct FrameCase {
    const char* name;
    int sx, sy, ex, ey;
    int scrollX, scrollY;
    ControlBounds expected;
};

class FrameFromLineTest : public testing::TestWithParam<FrameCase> { };

TEST_P(FrameFromLineTest, Geometry)
{
    const FrameCase& c = GetParam();
    // The default cell at half scale: minima 189 × 248 view pixels, so the frame is at least 190 × 249.
    HeadLineFrameInput in;
    in.sx = c.sx;
    in.sy = c.sy;
    in.ex = c.ex;
    in.ey = c.ey;
    in.cellImageHeight = 496;
    in.headTopMargin = 59;
    in.chinMargin = 118;
    in.minWidth = 189;
    in.minHeight = 248;
    in.aspectWidth = 378;
    in.aspectHeight = 496;
    in.scrollX = c.scrollX;
    in.scrollY = c.scrollY;
    ControlBounds frame;
    ASSERT_EQ(FrameFromLine(in, frame), kHeadLineFramePlaced);
    EXPECT_EQ(frame, c.expected);
}

INSTANTIATE_TEST_SUITE_P(HeadLine, FrameFromLineTest,
    testing::Values(FrameCase { "HalfScale", 200, 100, 204, 419, 0, 0, { 13, 41, 378, 496 } },
        FrameCase { "Scrolled", 200, 100, 204, 419, 10, 20, { 3, 21, 378, 496 } },
        // Upward: the top comes from the negative height, the size is the minimum + 1.
        FrameCase { "Upward", 200, 300, 200, 100, 0, 0, { 105, 336, 190, 249 } },
        // A click without a move: minimum size, centred on the click, top at the click.
        FrameCase { "ZeroLength", 150, 120, 150, 120, 0, 0, { 55, 120, 190, 249 } },
        // Only the vertical extent sets the size; the frame may leave the view.
        FrameCase { "LargeAndSlanted", 10, 5, 110, 643, 0, 0, { -318, -113, 756, 992 } }),
    [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(HeadLine, FrameFromLineRefusesCellsWithoutFaceRowsAndBadAspect)
{
    HeadLineFrameInput in;
    in.ey = 100;
    in.aspectWidth = 378;
    in.aspectHeight = 496;
    in.cellImageHeight = 177;
    in.headTopMargin = 59;
    in.chinMargin = 118;
    ControlBounds frame { 1, 2, 3, 4 };
    EXPECT_EQ(FrameFromLine(in, frame), kHeadLineFrameBadCell);
    in.cellImageHeight = 0;
    in.headTopMargin = in.chinMargin = 0;
    EXPECT_EQ(FrameFromLine(in, frame), kHeadLineFrameBadCell);
    in.cellImageHeight = 496;
    in.aspectHeight = 0;
    EXPECT_EQ(FrameFromLine(in, frame), kHeadLineFrameBadAspect);
    EXPECT_EQ(frame, (ControlBounds { 1, 2, 3, 4 }));
}

} // namespace
