// The frame proposed from a detected face and its place on the view.
#include "recognition/frame_proposal.h"

#include <gtest/gtest.h>

using namespace vellicam;

namespace {

constexpr FaceRect kFace { 400, 300, 600, 560 };

// A scanner that reports a fixed row and records its calls.
struct FixedScanner {
    int row;
    int calls = 0;
    ScanStrip strip {};
    int y0 = 0;
    HeadTopScanner Function()
    {
        return [this](int a, int b, int y) {
            ++calls;
            strip = { a, b };
            y0 = y;
            return row;
        };
    }
};

ProposalSettings Settings(bool correct)
{
    ProposalSettings s = ProposalSettingsOf(DefaultSheetLayout(), correct);
    return s;
}

struct ProposalCase {
    const char* name;
    bool correct;
    int bgTop;
    bool withChin;
    // T0, C0, bgTop, C1, ChinLine, L, Tf, R, Bf, w, h
    int expected[11];
};

class ProposeFrameTest : public testing::TestWithParam<ProposalCase> { };

TEST_P(ProposeFrameTest, Outputs)
{
    const ProposalCase& c = GetParam();
    FixedScanner scanner { c.bgTop };
    const ChinDetection chin { 430, 10, 150, 190, 200 }; // centre row 430 + 150 + 25 = 605
    FrameProposal p;
    ASSERT_EQ(
        ProposeFrame(kFace, c.withChin ? &chin : nullptr, 1000, Settings(c.correct), scanner.Function(), p), kProposed);
    // The scan runs once, correction or not, over half a face either side from the face top.
    EXPECT_EQ(scanner.calls, 1);
    EXPECT_EQ(scanner.strip.a, 300);
    EXPECT_EQ(scanner.strip.b, 700);
    EXPECT_EQ(scanner.y0, 300);
    const int actual[11] = { p.estimatedTop, p.estimatedChin, p.bgTop, p.correctedChin, p.chinLine, p.frameLeft, p.frameTop, p.frameRight, p.frameBottom, p.w, p.h };
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(actual[i], c.expected[i]) << "output " << i;
}

INSTANTIATE_TEST_SUITE_P(FrameProposal, ProposeFrameTest,
    testing::Values(
        ProposalCase { "Estimate", false, 150, false, { 222, 578, 150, 578, 578, 290, 157, 710, 709, 420, 552 } },
        // The background begins above the estimate: head top 150, the chin moved down in proportion.
        ProposalCase { "Corrected", true, 150, false, { 222, 578, 150, 629, 629, 217, 62, 783, 806, 567, 744 } },
        // Background not above the estimate: nothing moves.
        ProposalCase {
            "BackgroundAtEstimate", true, 222, false, { 222, 578, 222, 578, 578, 290, 157, 710, 709, 420, 552 } },
        // The chin replaces the chin line even after the correction moved it.
        ProposalCase {
            "CorrectedWithChin", true, 150, true, { 222, 578, 150, 629, 605, 231, 66, 769, 773, 538, 707 } }),
    [](const testing::TestParamInfo<ProposalCase>& info) { return std::string(info.param.name); });

TEST(FrameProposal, ScanStripLimits)
{
    EXPECT_EQ(HeadScanStrip({ 100, 0, 400, 10 }, 1000).a, 0); // (300 - 400) / 2 raised to 0
    EXPECT_EQ(HeadScanStrip({ 800, 0, 1000, 10 }, 1000).b, 999); // 1100 is beyond the side
    EXPECT_EQ(HeadScanStrip({ 600, 0, 800, 10 }, 900).b, 900); // exactly the side stays
    EXPECT_EQ(HeadScanStrip({ 601, 0, 800, 10 }, 900).a, 501); // 1003 / 2, truncated
}

TEST(FrameProposal, OnePixelFaceDoesNotDivideByZero)
{
    // Its estimate lies on its centre row; the head top still moves, the chin keeps its estimate.
    FixedScanner scanner { 100 };
    FrameProposal p;
    ASSERT_EQ(ProposeFrame({ 400, 300, 401, 301 }, nullptr, 1000, Settings(true), scanner.Function(), p), kProposed);
    EXPECT_EQ(p.estimatedTop, 300);
    EXPECT_EQ(p.correctedChin, 301);
    EXPECT_EQ(p.frameTop, 100 - 59 * ((301 - 100) * 496 / 319) / 496);
}

TEST(FrameProposal, Refusals)
{
    FixedScanner scanner { 0 };
    FrameProposal p;
    p.estimatedTop = 77;
    ProposalSettings s = Settings(false);
    s.chinMargin = 496 - 59;
    EXPECT_EQ(ProposeFrame(kFace, nullptr, 1000, s, scanner.Function(), p), kProposalBadCell);
    EXPECT_EQ(ProposeFrame(kFace, nullptr, 1000, Settings(false), {}, p), kProposalNoScanner);
    EXPECT_EQ(ProposeFrame({ 0, 0, 10, 2'000'000'000 }, nullptr, 1000, Settings(false), scanner.Function(), p),
        kProposalOutOfRange);
    EXPECT_EQ(p.estimatedTop, 77);
    EXPECT_EQ(scanner.calls, 1);
}

TEST(FrameProposal, OversizeAndPlausibility)
{
    EXPECT_FALSE(Oversize(900, 900, 1000, 1000));
    EXPECT_TRUE(Oversize(901, 0, 1000, 1000));
    EXPECT_TRUE(Oversize(0, 901, 1000, 1000));
    // The estimate's frame is 552 high: 91 % of 606, 89.9 % of 614. The oversize setting plays no part.
    FixedScanner scanner { 0 };
    EXPECT_FALSE(IsPlausibleFace(kFace, 2000, 606, 2000, Settings(false), scanner.Function()));
    EXPECT_TRUE(IsPlausibleFace(kFace, 2000, 614, 2000, Settings(false), scanner.Function()));
    // The correction does count: a background at row 0 stretches the frame to 1141 rows.
    EXPECT_FALSE(IsPlausibleFace(kFace, 2000, 1250, 2000, Settings(true), scanner.Function()));
    EXPECT_TRUE(IsPlausibleFace(kFace, 2000, 1250, 2000, Settings(false), scanner.Function()));
    EXPECT_FALSE(IsPlausibleFace(kFace, 2000, 2000, 2000, Settings(true), {}));
}

TEST(FrameProposal, ImageToViewClamps)
{
    const ViewMapping view { 500, 1000, 0, 0, 500, 400 };
    EXPECT_EQ(ImageToView(400, 300, view), (ViewPoint { 201, 151 }));
    EXPECT_EQ(ImageToView(-10, -10, view), (ViewPoint { 0, 0 }));
    EXPECT_EQ(ImageToView(998, 798, view), (ViewPoint { 500, 400 })); // exactly on the extent stays
    EXPECT_EQ(ImageToView(1000, 800, view), (ViewPoint { 499, 399 }));
    EXPECT_EQ(ImageToView(400, 300, { 500, 1000, 50, 20, 500, 400 }), (ViewPoint { 151, 131 }));
    EXPECT_EQ(ImageToView(400, 300, { 500, 0, 0, 0, 500, 400 }), (ViewPoint { 0, 0 }));
}

FrameProposal Proposal(int L, int Tf, int R, int h)
{
    FrameProposal p;
    p.frameLeft = L;
    p.frameRight = R;
    p.frameTop = Tf;
    p.h = h;
    return p;
}

struct PlacementCase {
    const char* name;
    FrameProposal proposal;
    ViewMapping view;
    ControlBounds beforeFit;
    ControlBounds frame;
};

class PlaceProposedFrameTest : public testing::TestWithParam<PlacementCase> { };

TEST_P(PlaceProposedFrameTest, Fit)
{
    const PlacementCase& c = GetParam();
    ProposedFramePlacement placement;
    ASSERT_EQ(PlaceProposedFrame(c.proposal, kFace, nullptr, FrameLimitsOf(DefaultSheetLayout()), c.view, placement),
        kPlaced);
    EXPECT_EQ(placement.beforeFit, c.beforeFit);
    EXPECT_EQ(placement.frame, c.frame);
}

INSTANTIATE_TEST_SUITE_P(FrameProposal, PlaceProposedFrameTest,
    testing::Values(
        // At one view pixel per image pixel the sizes come out one pixel larger than the image's.
        PlacementCase { "OneToOne", Proposal(290, 157, 710, 552), { 1000, 1000, 0, 0, 1000, 1000 },
            { 291, 158, 421, 553 }, { 291, 158, 421, 553 } },
        PlacementCase { "Scrolled", Proposal(290, 157, 710, 552), { 1000, 1000, 50, 30, 1000, 1000 },
            { 241, 128, 421, 553 }, { 241, 128, 421, 553 } },
        // A small proposal is raised to the minimum + 1 at the view's scale: 189 × 248 → 190 × 249.
        PlacementCase { "RaisedToMinimum", Proposal(400, 300, 500, 100), { 500, 1000, 0, 0, 500, 500 },
            { 131, 52, 190, 249 }, { 131, 52, 190, 249 } },
        // Taller than the view: cut to the view's height and re-centred on the face.
        PlacementCase { "TallerThanView", Proposal(100, 0, 900, 1200), { 500, 1000, 0, 0, 500, 500 },
            { 22, 1, 458, 601 }, { 61, 0, 381, 500 } },
        PlacementCase { "PastTheBottom", Proposal(290, 500, 710, 552), { 1000, 1000, 0, 0, 1000, 1000 },
            { 291, 501, 421, 553 }, { 291, 447, 421, 553 } },
        PlacementCase { "PastTheLeft", Proposal(-200, 157, 200, 552), { 1000, 1000, 0, 0, 1000, 1000 },
            { -209, 158, 421, 553 }, { 0, 158, 421, 553 } },
        PlacementCase { "PastTheRight", Proposal(800, 157, 1200, 552), { 1000, 1000, 0, 0, 1000, 1000 },
            { 791, 158, 421, 553 }, { 579, 158, 421, 553 } },
        // Wider than the view: cut to its width, the height from the aspect, centred on the frame's middle row.
        PlacementCase { "WiderThanView", Proposal(290, 157, 710, 552), { 1000, 1000, 0, 0, 400, 1000 },
            { 291, 158, 421, 553 }, { 0, 172, 400, 524 } },
        // A scrolled panel changes where the frame is shown, not which part of the photo it covers.
        PlacementCase { "ScrolledAndPastTheLeft", Proposal(-200, 157, 200, 552), { 1000, 1000, 300, 0, 1000, 1000 },
            { -509, 158, 421, 553 }, { -300, 158, 421, 553 } }),
    [](const testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST(FrameProposal, ResultOutlines)
{
    FixedScanner scanner { 150 };
    FrameProposal p;
    const ChinDetection chin { 430, 10, 150, 190, 200 };
    ASSERT_EQ(ProposeFrame(kFace, &chin, 1000, Settings(true), scanner.Function(), p), kProposed);
    const ViewMapping view { 1000, 1000, 0, 0, 1000, 1000 };
    ProposedFramePlacement placement;
    ASSERT_EQ(PlaceProposedFrame(p, kFace, &chin, FrameLimitsOf(DefaultSheetLayout()), view, placement), kPlaced);
    const int fl = placement.frame.left, ft = placement.frame.top;
    ASSERT_EQ(placement.outlines.size(), 5u);
    // Corners map with the + 1 and are taken relative to the frame; each outline is grown or shrunk by its step.
    const Rect expected[5] = {
        { 401 - fl, 301 - ft, 601 - fl, 561 - ft },
        { 401 - fl + 1, 223 - ft + 1, 601 - fl - 1, 579 - ft - 1 },
        { 401 - fl - 1, 151 - ft - 1, 601 - fl + 1, 630 - ft + 1 },
        { 411 - fl, 581 - ft, 591 - fl, 631 - ft },
        { 401 - fl - 2, 151 - ft - 2, 601 - fl + 2, 606 - ft + 2 },
    };
    const Rgb colours[5] = { { 255, 255, 0 }, { 0, 128, 0 }, { 0, 255, 255 }, { 4, 4, 255 }, { 255, 204, 102 } };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(placement.outlines[static_cast<std::size_t>(i)].rect, expected[i]) << "outline " << i;
        EXPECT_EQ(placement.outlines[static_cast<std::size_t>(i)].colour, colours[i]) << "outline " << i;
    }
    ASSERT_EQ(PlaceProposedFrame(p, kFace, nullptr, FrameLimitsOf(DefaultSheetLayout()), view, placement), kPlaced);
    EXPECT_EQ(placement.outlines.size(), 3u);
}

TEST(FrameProposal, PlacementRefusalsAndStatusText)
{
    ProposedFramePlacement placement;
    FrameLimits limits = FrameLimitsOf(DefaultSheetLayout());
    EXPECT_EQ(PlaceProposedFrame(Proposal(0, 0, 10, 10), kFace, nullptr, limits, { 500, 0, 0, 0, 500, 500 }, placement),
        kPlacementBadScale);
    limits.FrameAspectHeight = 0;
    EXPECT_EQ(
        PlaceProposedFrame(Proposal(0, 0, 10, 10), kFace, nullptr, limits, { 500, 1000, 0, 0, 500, 500 }, placement),
        kPlacementBadAspect);
    EXPECT_EQ(ProposalStatusText({ 291, 158, 421, 553 }), "(291,158)-(712,711)");
}

} // namespace

namespace {

// With landmarks the head top is the eye row raised by 1.25 eye-to-chin heights, and the background scan is
// believed only when it lies above that by at most half the eye-to-chin height and is not row 0.
TEST(FrameProposal, HeadTopFromLandmarksAndWhenTheScanIsBelieved)
{
    EXPECT_EQ(HeadTopFromLandmarks(400, 560).top, 200);
    EXPECT_EQ(HeadTopFromLandmarks(400, 560).eyeToChin, 160);
    EXPECT_EQ(HeadTopFromLandmarks(400, 401).top, 399); // 1.25 rounds to 1
    EXPECT_EQ(HeadTopFromLandmarks(400, 300).top, 400) << "a chin above the eyes gives no height";
    EXPECT_EQ(HeadTopFromLandmarks(400, 300).eyeToChin, 0);

    const LandmarkHeadTop top = HeadTopFromLandmarks(400, 560); // 200, reach 160: believed from 120 to 199
    struct Case {
        int bgTop;
        int headTop;
    };
    for (const Case& c : { Case { 150, 150 }, Case { 120, 120 }, Case { 119, 200 }, Case { 0, 200 }, Case { 199, 199 },
             Case { 250, 200 } }) {
        FixedScanner scanner { c.bgTop };
        FrameProposal p;
        ASSERT_EQ(ProposeFrame(kFace, nullptr, 2000, Settings(true), scanner.Function(), p, &top), kProposed);
        EXPECT_EQ(p.estimatedTop, 200) << c.bgTop;
        EXPECT_EQ(p.headTop, c.headTop) << c.bgTop;
        EXPECT_EQ(p.bgTop, c.bgTop);
    }
    // A scan not believed gives way to the colour profile's row, when there is one; a believed scan goes first.
    LandmarkHeadTop withProfile = top;
    withProfile.profileTop = 170;
    for (const Case& c : { Case { 0, 170 }, Case { 119, 170 }, Case { 150, 150 } }) {
        FixedScanner scanner { c.bgTop };
        FrameProposal p;
        ASSERT_EQ(ProposeFrame(kFace, nullptr, 2000, Settings(true), scanner.Function(), p, &withProfile), kProposed);
        EXPECT_EQ(p.headTop, c.headTop) << c.bgTop;
    }
    // Without the correction the scan is never taken; without landmarks the old estimate holds.
    FixedScanner scanner { 150 };
    FrameProposal p;
    ASSERT_EQ(ProposeFrame(kFace, nullptr, 2000, Settings(false), scanner.Function(), p, &top), kProposed);
    EXPECT_EQ(p.headTop, 200);
    ASSERT_EQ(ProposeFrame(kFace, nullptr, 2000, Settings(false), scanner.Function(), p), kProposed);
    EXPECT_EQ(p.headTop, 300 - 260 * 30 / 100);
}

// A confirmed face keeps its frame as long as its head (head top to chin line) fits in the image, however far the
// margins reach beyond it; an unconfirmed one only up to 90 %.
TEST(FrameProposal, ConfirmedFaceMayFillThePhoto)
{
    // Head top 200, chin estimate 578: a frame about 590 rows high around a head of 378.
    const LandmarkHeadTop top = HeadTopFromLandmarks(400, 560);
    FixedScanner scanner { 0 };
    FrameProposal p;
    ASSERT_EQ(ProposeFrame(kFace, nullptr, 2000, Settings(false), scanner.Function(), p, &top), kProposed);
    const int head = p.chinLine - p.headTop;
    ASSERT_GT(p.h, head);
    EXPECT_TRUE(IsPlausibleFace(kFace, 2000, 620, 2000, Settings(false), scanner.Function(), &top));
    EXPECT_TRUE(IsPlausibleFace(kFace, 2000, head, 2000, Settings(false), scanner.Function(), &top));
    EXPECT_FALSE(IsPlausibleFace(kFace, 2000, head - 1, 2000, Settings(false), scanner.Function(), &top));
    EXPECT_FALSE(IsPlausibleFace(kFace, 2000, head, 2000, Settings(false), scanner.Function()));
    EXPECT_FALSE(ConfirmedOversize(p, head));
    EXPECT_TRUE(ConfirmedOversize(p, head - 1));
}

} // namespace
