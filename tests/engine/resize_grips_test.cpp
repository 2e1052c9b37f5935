// The resize-grip control's drag steps, grip places and hint texts.
#include "geometry/resize_grips.h"

#include <gtest/gtest.h>

using namespace vellicam;

namespace {

// A control attached at `control` with wide limits and bounds unless a case narrows them.
struct StepCase {
    const char* name;
    ControlBounds attached;
    int minW, minH, maxW, maxH, boundW, boundH;
    bool keepAspect;
    ControlBounds current; // the control when the step runs (usually as attached)
    int tag, dx, dy;
    ControlBounds expected;
    bool aspectStep;
};

class GripMoveTest : public testing::TestWithParam<StepCase> { };

TEST_P(GripMoveTest, OneStep)
{
    const StepCase& c = GetParam();
    ResizeControlState state;
    SetGripLimits(state, c.maxW, c.maxH, c.minW, c.minH, c.boundW, c.boundH, c.keepAspect);
    EXPECT_EQ(Attach(state, c.attached), OwnAreaOf(c.attached));
    state.grabX = 30; // where the grip was grabbed; only the displacement counts
    state.grabY = 40;
    GripMove move;
    ASSERT_EQ(Move(state, c.current, c.tag, 30 + c.dx, 40 + c.dy, move), kGripMoved);
    EXPECT_EQ(move.control, c.expected);
    EXPECT_EQ(move.ownArea,
        (ControlBounds { c.expected.left - 7, c.expected.top - 7, c.expected.width + 14, c.expected.height + 14 }));
    EXPECT_EQ(move.aspectStep, c.aspectStep);
    if (c.aspectStep) {
        EXPECT_EQ((ControlBounds { state.lastLeft, state.lastTop, state.lastWidth, state.lastHeight }), c.expected);
    } else {
        EXPECT_EQ((ControlBounds { state.lastLeft, state.lastTop, state.lastWidth, state.lastHeight }), c.attached);
    }
}

constexpr int kBig = 100000;

INSTANTIATE_TEST_SUITE_P(ResizeGrips, GripMoveTest,
    testing::Values(StepCase { "BottomRightKeepsAspect", { 100, 100, 378, 496 }, 0, 0, kBig, kBig, kBig, kBig, true,
                        { 100, 100, 378, 496 }, kGripBottomRight, 10, 3, { 100, 100, 388, 509 }, true },
        StepCase { "TopLeftKeepsBottomRight", { 100, 100, 378, 496 }, 0, 0, kBig, kBig, kBig, kBig, true,
            { 100, 100, 378, 496 }, kGripTopLeft, -10, -3, { 90, 87, 388, 509 }, true },
        StepCase { "TopRightKeepsBottomLeft", { 100, 100, 378, 496 }, 0, 0, kBig, kBig, kBig, kBig, true,
            { 100, 100, 378, 496 }, kGripTopRight, 10, -3, { 100, 87, 388, 509 }, true },
        StepCase { "BottomLeftKeepsTopRight", { 100, 100, 378, 496 }, 0, 0, kBig, kBig, kBig, kBig, true,
            { 100, 100, 378, 496 }, kGripBottomLeft, -10, 3, { 90, 100, 388, 509 }, true },
        // A frame freshly placed at the lower limits grows by one pixel on the first click, top-left kept.
        StepCase { "FirstClickAtMinimum", { 165, 136, 189, 248 }, 189, 248, 945, 1240, 520, 520, true,
            { 165, 136, 189, 248 }, kGripWholeControl, 0, 0, { 165, 136, 190, 249 }, true },
        StepCase { "TopEdgeMovesOnly", { 100, 100, 200, 262 }, 189, 248, kBig, kBig, kBig, kBig, true,
            { 100, 100, 200, 262 }, kGripTop, 15, -5, { 115, 95, 200, 262 }, true },
        StepCase { "RightEdgeMovesOnly", { 100, 100, 200, 262 }, 189, 248, kBig, kBig, kBig, kBig, true,
            { 100, 100, 200, 262 }, kGripRight, -15, 5, { 85, 105, 200, 262 }, true },
        StepCase { "BottomEdgeMovesOnly", { 100, 100, 200, 262 }, 189, 248, kBig, kBig, kBig, kBig, true,
            { 100, 100, 200, 262 }, kGripBottom, 1, 2, { 101, 102, 200, 262 }, true },
        StepCase { "LeftEdgeMovesOnly", { 100, 100, 200, 262 }, 189, 248, kBig, kBig, kBig, kBig, true,
            { 100, 100, 200, 262 }, kGripLeft, -1, -2, { 99, 98, 200, 262 }, true },
        // Past the minimum: the place comes from the unclamped size, then the size is raised, so the right and
        // bottom edges move out.
        StepCase { "TopLeftPastMinimum", { 100, 100, 200, 262 }, 189, 248, kBig, kBig, kBig, kBig, true,
            { 100, 100, 200, 262 }, kGripTopLeft, 50, 50, { 150, 166, 190, 249 }, true },
        // The width leads; it is trimmed back when the truncated height left the frame relatively wider.
        StepCase { "WidthTrimmedToHeight", { 0, 0, 100, 496 }, 0, 0, kBig, kBig, kBig, kBig, true, { 0, 0, 101, 497 },
            kGripBottomRight, 1, 0, { 0, 0, 101, 505 }, true },
        StepCase { "ClampedToMaximum", { 10, 10, 378, 496 }, 0, 0, 380, 500, kBig, kBig, true, { 10, 10, 378, 496 },
            kGripBottomRight, 100, 0, { 10, 10, 380, 500 }, true },
        StepCase { "PushedBackIntoBounds", { 10, 10, 100, 100 }, 0, 0, kBig, kBig, 300, 200, true, { 10, 10, 100, 100 },
            kGripWholeControl, 250, 250, { 200, 100, 100, 100 }, true },
        StepCase { "NegativePlaceRaisedToZero", { 10, 10, 100, 100 }, 0, 0, kBig, kBig, 300, 200, true,
            { 10, 10, 100, 100 }, kGripWholeControl, -50, -20, { 0, 0, 100, 100 }, true },
        // Bounds hold the place only: a control wider than the area goes to 0 and keeps its width.
        StepCase { "WiderThanBounds", { 20, 10, 350, 200 }, 0, 0, kBig, kBig, 300, 400, true, { 20, 10, 350, 200 },
            kGripWholeControl, 0, 0, { 0, 10, 350, 200 }, true },
        // Attached with no width: nothing to keep, so no limits and no bounds either.
        StepCase { "NoAspectMovesFreely", { 10, 10, 0, 50 }, 100, 100, 200, 200, 20, 20, true, { 10, 10, 0, 50 },
            kGripBottomRight, 5, 7, { 10, 10, 5, 57 }, false },
        StepCase { "KeepAspectOffMovesFreely", { 10, 10, 100, 100 }, 0, 0, kBig, kBig, 50, 50, false,
            { 10, 10, 100, 100 }, kGripTopLeft, -5, -7, { 5, 3, 105, 107 }, false },
        // Below the minimum in one direction and above the maximum in another: back to the last geometry.
        StepCase { "OutOfRangeRestoresLast", { 40, 50, 300, 300 }, 100, 100, 500, 500, kBig, kBig, true,
            { 0, 0, 50, 600 }, kGripBottomRight, 10, 10, { 40, 50, 300, 300 }, false }),
    [](const testing::TestParamInfo<StepCase>& info) { return std::string(info.param.name); });

TEST(ResizeGrips, ConsecutiveStepsUseTheLastAcceptedGeometry)
{
    ResizeControlState state;
    SetGripLimits(state, 2000, 2000, 0, 0, 2000, 2000, true);
    Attach(state, { 100, 100, 378, 496 });
    GripMove move;
    ASSERT_EQ(Move(state, { 100, 100, 378, 496 }, kGripTopLeft, -10, -3, move), kGripMoved);
    EXPECT_EQ(move.control, (ControlBounds { 90, 87, 388, 509 }));
    // The grip moved with the corner, so the same mouse place in its coordinates is no further displacement.
    ASSERT_EQ(Move(state, move.control, kGripTopLeft, 0, 0, move), kGripMoved);
    EXPECT_EQ(move.control, (ControlBounds { 90, 87, 388, 509 }));
    ASSERT_EQ(Move(state, move.control, kGripTopLeft, -12, 0, move), kGripMoved);
    EXPECT_EQ(move.control.left + move.control.width, 478); // the bottom-right corner stays
    EXPECT_EQ(move.control.top + move.control.height, 596);
}

TEST(ResizeGrips, RefusesUnknownTagsWithoutTouchingState)
{
    ResizeControlState state;
    Attach(state, { 1, 2, 30, 40 });
    GripMove move;
    move.widthChange = 99;
    EXPECT_EQ(Move(state, { 1, 2, 30, 40 }, 9, 5, 5, move), kGripBadTag);
    EXPECT_EQ(Move(state, { 1, 2, 30, 40 }, -1, 5, 5, move), kGripBadTag);
    EXPECT_EQ(move.widthChange, 99);
    EXPECT_EQ(state.lastWidth, 30);
}

TEST(ResizeGrips, GripPlaces)
{
    const auto grips = MoveGrips(13, 23, 114, 64);
    const int xs[3] = { 13, 66, 119 }, ys[3] = { 23, 51, 79 };
    for (int i = 0; i < kGripCount; ++i) {
        const GripFactors& k = kGripFactors[static_cast<std::size_t>(i)];
        EXPECT_EQ(grips[static_cast<std::size_t>(i)], (GripPosition { xs[k.column], ys[k.row] })) << "grip " << i;
    }
    // An own area narrower than the grips: the half is truncated toward zero.
    const auto narrow = MoveGrips(50, 60, 5, 4);
    EXPECT_EQ(narrow[0], (GripPosition { 50, 60 }));
    EXPECT_EQ(narrow[1].left, 49); // trunc(-3 × 0.5) = -1
    EXPECT_EQ(narrow[4], (GripPosition { 47, 56 }));
    EXPECT_EQ(OwnAreaOf({ 20, 30, 100, 50 }), (ControlBounds { 13, 23, 114, 64 }));
}

TEST(ResizeGrips, HintTexts)
{
    ResizeControlState state;
    SetGripLimits(state, 2000, 2000, 0, 0, 2000, 2000, true);
    Attach(state, { 100, 100, 378, 496 });
    GripMove move;
    ASSERT_EQ(Move(state, { 100, 100, 378, 496 }, kGripTopLeft, -10, -3, move), kGripMoved);
    EXPECT_EQ(ResizeHintText(kGripTopLeft, move, -10, -3), "LX: 90, TY: 87 W:388 H:509 nwx:10 nhy:3 mx:-10 my:-3");
    ASSERT_EQ(Move(state, move.control, kGripWholeControl, 5, 6, move), kGripMoved);
    EXPECT_EQ(ResizeHintText(kGripWholeControl, move, 5, 6), "X: 95, Y: 93 (5 6)");
}

} // namespace
