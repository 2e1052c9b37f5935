// Image-to-view scaling, the limits in view pixels, the centred starting frame and the zoom rescale.
#include "geometry/view_geometry.h"

#include <gtest/gtest.h>

using namespace vellicam;

namespace {

TEST(ViewGeometry, ScaleMultipliesFirstIn64BitsAndTruncatesTowardZero)
{
    EXPECT_EQ(ScaleToView(378, 520, 1600), 122);
    EXPECT_EQ(ScaleToView(3, 1, 2), 1);
    EXPECT_EQ(ScaleToView(-3, 1, 2), -1);
    EXPECT_EQ(ScaleToView(2'000'000'000, 3, 4), 1'500'000'000); // the product overflows 32 bits
    EXPECT_EQ(ScaleToView(100, 520, 0), 0); // nothing shown yet
    EXPECT_EQ(ScaleToView(2'000'000'000, 2, 1), 2'147'483'647);
}

TEST(ViewGeometry, LimitsAndCentredFrameAtViewScale)
{
    const FrameLimits limits = FrameLimitsOf(DefaultSheetLayout());
    const ViewFrameLimits view = FrameLimitsInView(limits, 520, 1600);
    EXPECT_EQ(view.minWidth, 122);
    EXPECT_EQ(view.minHeight, 161);
    EXPECT_EQ(view.maxWidth, 614);
    EXPECT_EQ(view.maxHeight, 806);

    // 122 × 161 would convert back to 375 × 495 image pixels, short of the 378 × 496 cell: one pixel more each.
    EXPECT_EQ(CentredMinimumFrame(limits, 520, 1600, 520, 400), (ControlBounds { 198, 119, 123, 162 }));
    // A view smaller than the frame: the halves are truncated toward zero, not floored.
    EXPECT_EQ(CentredMinimumFrame(limits, 520, 1600, 99, 100), (ControlBounds { -12, -31, 123, 162 }));
    // 189 × 248 convert back to exactly 378 × 496: kept.
    EXPECT_EQ(CentredMinimumFrame(limits, 1000, 2000, 1000, 1000), (ControlBounds { 405, 376, 189, 248 }));
}

struct ZoomCase {
    const char* name;
    ControlBounds frame;
    int oldScrollX, oldScrollY, newScrollX, newScrollY;
    int previous, zoom;
    ControlBounds expected;
};

class ZoomRescaleTest : public testing::TestWithParam<ZoomCase> { };

TEST_P(ZoomRescaleTest, KeepsTheFrameOverTheSamePart)
{
    const ZoomCase& c = GetParam();
    ControlBounds scaled;
    ASSERT_EQ(RescaleFrameForZoom(
                  c.frame, c.oldScrollX, c.oldScrollY, c.newScrollX, c.newScrollY, c.previous, c.zoom, scaled),
        0);
    EXPECT_EQ(scaled, c.expected);
}

INSTANTIATE_TEST_SUITE_P(ViewGeometry, ZoomRescaleTest,
    testing::Values(ZoomCase { "Double", { 10, 20, 100, 130 }, 0, 0, 0, 0, 100, 200, { 20, 40, 200, 260 } },
        ZoomCase { "Truncated", { 10, 21, 101, 131 }, 0, 0, 0, 0, 150, 100, { 6, 14, 67, 87 } },
        // Content place (50, 30) doubles to (100, 60) before the new scroll is taken off.
        ZoomCase { "OldScroll", { 10, 20, 100, 130 }, 40, 10, 0, 0, 100, 200, { 100, 60, 200, 260 } },
        ZoomCase { "NewScroll", { 10, 20, 100, 130 }, 40, 10, 70, 25, 100, 200, { 30, 35, 200, 260 } },
        ZoomCase { "Unchanged", { -5, 7, 90, 120 }, 3, 4, 3, 4, 200, 200, { -5, 7, 90, 120 } }),
    [](const testing::TestParamInfo<ZoomCase>& info) { return std::string(info.param.name); });

TEST(ViewGeometry, ZoomRescaleRefusesZeroZoom)
{
    ControlBounds scaled { 1, 2, 3, 4 };
    EXPECT_EQ(RescaleFrameForZoom({ 10, 10, 10, 10 }, 0, 0, 0, 0, 0, 100, scaled), -1);
    EXPECT_EQ(RescaleFrameForZoom({ 10, 10, 10, 10 }, 0, 0, 0, 0, 100, 0, scaled), -1);
    EXPECT_EQ(scaled, (ControlBounds { 1, 2, 3, 4 }));
}

} // namespace

TEST(ViewGeometry, TinyPhotosGetAFrameAPictureCanHold)
{
    const FrameLimits limits = FrameLimitsOf(DefaultSheetLayout());
    // A 1 × 1 photo is framed as if it were 128 long: 496 × 520 / 128 = 2015, not 257920.
    const ViewFrameLimits tiny = FrameLimitsInView(limits, 520, 1);
    EXPECT_EQ(tiny.minHeight, 2015);
    EXPECT_EQ(tiny.minWidth, 1535);
    const ControlBounds frame = CentredMinimumFrame(limits, 520, 1, 520, 520);
    EXPECT_EQ(frame.height, 2015);
    EXPECT_EQ(frame.top, (520 - 2015) / 2);
    // From 128 on nothing changes.
    EXPECT_EQ(FrameLimitsInView(limits, 520, 128).minHeight, 496 * 520 / 128);
    EXPECT_EQ(FrameLimitsInView(limits, 520, 434).minHeight, 496 * 520 / 434);
}
