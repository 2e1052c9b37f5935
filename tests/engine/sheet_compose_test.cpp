// Cutting the photo out of the square image and drawing the print sheet.
#include "resample/reduce.h"
#include "resample/sharpen.h"
#include "sheet/sheet_compose.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vellicam;

namespace {

constexpr Rgb kSkin { 200, 150, 120 };

struct CropCase {
    int left, top, width, height, scrollX, scrollY, side, view;
    CropRect expected;
};

class CropConversion : public testing::TestWithParam<CropCase> { };

TEST_P(CropConversion, RoundsHalfUpOnTheTenthAndCapsAtTheSquare)
{
    const CropCase& c = GetParam();
    CropRect crop;
    ASSERT_EQ(CropRectFromFrame(c.left, c.top, c.width, c.height, c.scrollX, c.scrollY, c.side, c.view, crop), kCropOk);
    EXPECT_EQ(crop, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, CropConversion,
    testing::Values(
        // Half scale: everything doubles.
        CropCase { 100, 50, 200, 260, 0, 0, 1000, 500, { { 200, 100, 600, 620 }, 400, 520 } },
        // Scroll positions add to the frame's place.
        CropCase { 10, 20, 200, 260, 30, 40, 1000, 500, { { 80, 120, 480, 640 }, 400, 520 } },
        // 1600 / 520: 1 → 3.07 → 3; 2 → 6.15 → 6; 163 → 501.5 → 502 (the tenth is 5, up); 161 → 495.38 → 495.
        CropCase { 1, 2, 163, 161, 0, 0, 1600, 520, { { 3, 6, 505, 501 }, 502, 495 } },
        // 1000 / 600: 1 → 1.666 → 2 (the tenth 6); 3 → 5.0 → 5.
        CropCase { 1, 3, 3, 3, 0, 0, 1000, 600, { { 2, 5, 7, 10 }, 5, 5 } },
        // A frame dragged above and left of the view starts at 0, its size kept.
        CropCase { -30, -5, 200, 260, 10, 0, 1000, 500, { { 0, 0, 400, 520 }, 400, 520 } },
        // Past the right and bottom edges: the source stops at the square, the cut keeps its size.
        CropCase { 400, 380, 200, 260, 0, 0, 1000, 500, { { 800, 760, 1000, 1000 }, 400, 520 } }));

TEST(CropConversion, RefusesNonsenseAndHugeValues)
{
    CropRect crop;
    EXPECT_EQ(CropRectFromFrame(0, 0, 10, 10, 0, 0, 1000, 0, crop), kCropBadScale);
    EXPECT_EQ(CropRectFromFrame(0, 0, 10, 10, 0, 0, 0, 500, crop), kCropBadScale);
    EXPECT_EQ(CropRectFromFrame(0, 0, 0, 10, 0, 0, 1000, 500, crop), kCropEmptyFrame);
    // A frame that rounds to nothing.
    EXPECT_EQ(CropRectFromFrame(0, 0, 1, 1, 0, 0, 100, 1000, crop), kCropEmptyFrame);
    // The product no longer fits 32 bits, the result still would: computed without overflow.
    ASSERT_EQ(CropRectFromFrame(0, 0, 100000, 100000, 0, 0, 100000, 100000, crop), kCropOk);
    EXPECT_EQ(crop.width, 100000);
    EXPECT_EQ(CropRectFromFrame(0, 0, 2000000000, 10, 0, 0, 1000, 1, crop), kCropTooLarge);
}

TEST(CutPhoto, CopiesInsideAndStretchesWhatTheEdgeCutShort)
{
    const Bitmap square = test::RandomBitmap(100, 100, 7);
    Bitmap photo;
    ASSERT_EQ(CutPhoto(square, { { 10, 20, 40, 60 }, 30, 40 }, photo), kCropOk);
    ASSERT_EQ(photo.Width(), 30);
    ASSERT_EQ(photo.Height(), 40);
    for (int y = 0; y < 40; y += 13)
        for (int x = 0; x < 30; x += 7)
            EXPECT_EQ(photo.Pixel(x, y), square.Pixel(10 + x, 20 + y));

    // A frame past the right edge: 40 columns wanted from x 80, 20 there; each source column fills two.
    CropRect crop;
    ASSERT_EQ(CropRectFromFrame(40, 10, 20, 10, 0, 0, 100, 50, crop), kCropOk);
    EXPECT_EQ(crop.source, (Rect { 80, 20, 100, 40 }));
    ASSERT_EQ(CutPhoto(square, crop, photo), kCropOk);
    ASSERT_EQ(photo.Width(), 40);
    ASSERT_EQ(photo.Height(), 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(photo.Pixel(x, y), square.Pixel(80 + x / 2, 20 + y)) << x << "," << y;
}

TEST(CutPhoto, RefusesACutOutsideTheSquareAndKeepsThePhoto)
{
    const Bitmap square = test::SolidBitmap(100, 100, kRed);
    Bitmap photo = test::SolidBitmap(3, 3, kBlue);
    CropRect crop;
    ASSERT_EQ(CropRectFromFrame(60, 0, 10, 10, 0, 0, 100, 50, crop), kCropOk); // starts at 120
    EXPECT_EQ(CutPhoto(square, crop, photo), kCropNothingToCut);
    EXPECT_EQ(CutPhoto(square, { { 0, 0, 200, 10 }, 200, 10 }, photo), kCropNothingToCut);
    EXPECT_EQ(CutPhoto(square, { { 0, 0, 10, 10 }, 0, 10 }, photo), kCropEmptyFrame);
    EXPECT_TRUE(photo.SameAs(test::SolidBitmap(3, 3, kBlue)));
}

TEST(SheetCompose, EnlargementWhenNarrowerOrLowerThanTheLargestCell)
{
    SheetLayout layout = DefaultSheetLayout();
    EXPECT_TRUE(NeedsEnlargement(test::SolidBitmap(300, 400, kSkin), layout));
    EXPECT_TRUE(NeedsEnlargement(test::SolidBitmap(377, 1000, kSkin), layout));
    EXPECT_TRUE(NeedsEnlargement(test::SolidBitmap(1000, 495, kSkin), layout));
    EXPECT_FALSE(NeedsEnlargement(test::SolidBitmap(378, 496, kSkin), layout));
    layout.Cells[2].ImageWidth = 500; // a wider cell in use raises the bar
    EXPECT_TRUE(NeedsEnlargement(test::SolidBitmap(400, 600, kSkin), layout));
}

// The default sheet with a uniform photo, so that marks and images are told apart by colour alone.
Bitmap DefaultSheet(const SheetOptions& options, const Bitmap& photo, SheetReport* report = nullptr)
{
    Bitmap sheet;
    EXPECT_EQ(ComposeSheet(photo, DefaultSheetLayout(), options, sheet, report), kSheetOk);
    return sheet;
}

// The first and the last black pixel of a row or column segment, or -1.
std::pair<int, int> BlackSpan(const Bitmap& b, int fixed, bool horizontal, int from, int to)
{
    int first = -1, last = -1;
    for (int i = from; i < to; ++i) {
        const Rgb p = horizontal ? b.Pixel(i, fixed) : b.Pixel(fixed, i);
        if (p == kBlack) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    return { first, last };
}

// The sheet with only one of the default cells, so that the marks of neighbouring cells do not run together.
Bitmap OneCellSheet(int cellIndex, const SheetOptions& options)
{
    SheetLayout layout = DefaultSheetLayout();
    layout.Cells[0] = layout.Cells[cellIndex];
    layout.CellCount = 1;
    Bitmap sheet;
    EXPECT_EQ(ComposeSheet(test::SolidBitmap(756, 992, kSkin), layout, options, sheet), kSheetOk);
    return sheet;
}

TEST(SheetCompose, CentreMarksReachBeyondTheImageAndStopBeforeTheirEnd)
{
    const Bitmap sheet = OneCellSheet(0, { true, false, false, false });
    ASSERT_EQ(sheet.Width(), 1051);
    ASSERT_EQ(sheet.Height(), 1500);
    // Cell 1: the horizontal line from x 75 to 527 at y 366, the end excluded; the image covers 112..489.
    const auto [hFirst, hLast] = BlackSpan(sheet, 366, true, 0, 560);
    EXPECT_EQ(hFirst, 75);
    EXPECT_LE(hLast, 526);
    EXPECT_GE(hLast, 490); // some of the right-hand stretch shows
    EXPECT_EQ(sheet.Pixel(112, 366), kSkin);
    EXPECT_EQ(sheet.Pixel(489, 366), kSkin);
    const auto [vFirst, vLast] = BlackSpan(sheet, 301, false, 0, 680);
    EXPECT_EQ(vFirst, 69);
    EXPECT_LE(vLast, 662);
    EXPECT_GE(vLast, 614);
    // Dash-dot: the line is broken, not solid.
    int white = 0;
    for (int x = 75; x < 112; ++x)
        white += sheet.Pixel(x, 366) == kWhite;
    EXPECT_GT(white, 0);
}

TEST(SheetCompose, CornerMarksFrameTheCutAndTouchItsCorners)
{
    const Bitmap sheet = OneCellSheet(0, { false, true, false, false });
    // Cell 1 top-left: (65, 130) → (124, 130) → (124, 71); the image hides everything from x 112 and y 118.
    EXPECT_EQ(BlackSpan(sheet, 130, true, 0, 112), std::make_pair(65, 111));
    EXPECT_EQ(BlackSpan(sheet, 124, false, 0, 118), std::make_pair(72, 117));
    // Top-right: (537, 130) → (478, 130) → (478, 71).
    EXPECT_EQ(BlackSpan(sheet, 130, true, 490, 600), std::make_pair(490, 537));
    EXPECT_EQ(BlackSpan(sheet, 478, false, 0, 118), std::make_pair(72, 117));
    // Bottom-left: (65, 602) → (124, 602) → (124, 661); the image ends at y 613.
    EXPECT_EQ(BlackSpan(sheet, 602, true, 0, 112), std::make_pair(65, 111));
    EXPECT_EQ(BlackSpan(sheet, 124, false, 614, 700), std::make_pair(614, 660));
    // Bottom-right: (537, 602) → (478, 602) → (478, 661).
    EXPECT_EQ(BlackSpan(sheet, 602, true, 490, 600), std::make_pair(490, 537));
    EXPECT_EQ(BlackSpan(sheet, 478, false, 614, 700), std::make_pair(614, 660));
    // Solid.
    for (int x = 65; x < 112; ++x)
        ASSERT_EQ(sheet.Pixel(x, 130), kBlack) << x;

    // Cell 3 top-left: (65, 699) → (124, 699) → (124, 640).
    const Bitmap third = OneCellSheet(2, { false, true, false, false });
    EXPECT_EQ(BlackSpan(third, 699, true, 0, 112), std::make_pair(65, 111));
    EXPECT_EQ(BlackSpan(third, 124, false, 0, 687), std::make_pair(641, 686));
}

TEST(SheetCompose, ScaleTicksAndBaseLine)
{
    const Bitmap photo = test::SolidBitmap(756, 992, kSkin);
    const Bitmap sheet = DefaultSheet({ true, true, true, false }, photo);
    for (int x : { 230, 348, 466, 584, 702, 820 }) {
        EXPECT_EQ(BlackSpan(sheet, x, false, 1400, 1500), std::make_pair(1441, x == 820 ? 1451 : 1452)) << x;
        EXPECT_EQ(sheet.Pixel(x + 1, 1445), kWhite);
    }
    // The base line runs from 230 up to, not including, 820; solid after the corner marks.
    EXPECT_EQ(BlackSpan(sheet, 1452, true, 0, 1051), std::make_pair(230, 819));
    for (int x = 230; x < 820; ++x)
        ASSERT_EQ(sheet.Pixel(x, 1452), kBlack) << x;
}

TEST(SheetCompose, ScaleTakesTheDashDotPenAfterCentreMarksAlone)
{
    const Bitmap photo = test::SolidBitmap(756, 992, kSkin);
    const Bitmap dashed = DefaultSheet({ true, false, true, false }, photo);
    const Bitmap solid = DefaultSheet({ false, false, true, false }, photo);
    int dashedBlack = 0, solidBlack = 0;
    for (int x = 230; x < 820; ++x) {
        dashedBlack += dashed.Pixel(x, 1452) == kBlack;
        solidBlack += solid.Pixel(x, 1452) == kBlack;
    }
    EXPECT_EQ(solidBlack, 590);
    EXPECT_GT(dashedBlack, 0);
    EXPECT_LT(dashedBlack, 590);
}

TEST(SheetCompose, AllMarksOffLeavesOnlyTheFourIdenticalImages)
{
    const Bitmap photo = test::RandomBitmap(400, 525, 3);
    SheetReport report;
    const Bitmap sheet = DefaultSheet({ false, false, false, false }, photo, &report);
    ASSERT_EQ(report.cellCount, 4);
    Bitmap expected = test::SolidBitmap(1051, 1500, kWhite);
    Bitmap cell;
    ASSERT_TRUE(cell.Resize(378, 496));
    CopyRect(sheet, { 112, 118, 490, 614 }, cell, 0, 0);
    for (auto [x, y] : { std::pair { 112, 118 }, { 561, 118 }, { 112, 687 }, { 561, 687 } })
        Draw(cell, expected, x, y);
    EXPECT_TRUE(test::SameImage(sheet, expected, "sheet"));
    // Each cell is the photo reduced to the cell.
    EXPECT_EQ(report.reduction[0], kReduced);
    Bitmap reduced = test::SolidBitmap(378, 496, kBlack);
    ASSERT_EQ(ReduceHighQuality(photo, 496, 378, reduced), kReduced);
    EXPECT_TRUE(test::SameImage(cell, reduced, "cell"));
}

TEST(SheetCompose, SmallCutIsStretchedToEveryCell)
{
    // 300 × 400: the reduction refuses to enlarge, each cell is the plain stretch.
    const Bitmap photo = test::RandomBitmap(300, 400, 11);
    ASSERT_TRUE(NeedsEnlargement(photo, DefaultSheetLayout()));
    SheetReport report;
    const Bitmap sheet = DefaultSheet({ true, true, true, false }, photo, &report);
    Bitmap stretched = test::SolidBitmap(378, 496, kBlack);
    StretchDraw(photo, stretched);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(report.reduction[i], kReductionNotSmaller) << i;
        const SheetCell c = DefaultSheetLayout().Cells[i];
        Bitmap cell = test::SolidBitmap(378, 496, kWhite);
        CopyRect(sheet, { c.CentreX - 189, c.CentreY - 248, c.CentreX + 189, c.CentreY + 248 }, cell, 0, 0);
        EXPECT_TRUE(test::SameImage(cell, stretched, "cell" + std::to_string(i)));
    }
    // Refusing to enlarge is what the window asks about beforehand, not a failure of the reduction.
    EXPECT_FALSE(report.ReductionRefused());
    report.reduction[2] = -10;
    EXPECT_TRUE(report.ReductionRefused());
}

TEST(SheetCompose, RefusesAnEmptyPhotoOrABrokenLayoutAndKeepsTheSheet)
{
    Bitmap sheet = test::SolidBitmap(2, 2, kRed);
    EXPECT_EQ(ComposeSheet(Bitmap {}, DefaultSheetLayout(), {}, sheet), kSheetNoPhoto);
    SheetLayout layout = DefaultSheetLayout();
    layout.Cells[3].ImageHeight = 0;
    EXPECT_EQ(ComposeSheet(test::SolidBitmap(400, 600, kSkin), layout, {}, sheet), kSheetBadLayout);
    layout = DefaultSheetLayout();
    layout.CellCount = 21;
    EXPECT_EQ(ComposeSheet(test::SolidBitmap(400, 600, kSkin), layout, {}, sheet), kSheetBadLayout);
    EXPECT_EQ(sheet.Width(), 2);
}

TEST(SheetCompose, MarksNearTheEdgeStayOnTheSheet)
{
    // A cell in the corner: its lines are limited to the sheet and nothing is written outside it.
    SheetLayout layout = DefaultSheetLayout();
    layout.CellCount = 1;
    layout.Cells[0].CentreX = 10;
    layout.Cells[0].CentreY = 10;
    Bitmap sheet;
    ASSERT_EQ(ComposeSheet(test::SolidBitmap(400, 600, kSkin), layout, {}, sheet), kSheetOk);
    EXPECT_EQ(sheet.Pixel(0, 0), kSkin);
    EXPECT_EQ(sheet.Pixel(1050, 1499), kWhite);
}

TEST(SheetPreview, DefaultSheetBecomes498By712)
{
    const Bitmap sheet = test::SolidBitmap(1051, 1500, kSkin);
    Bitmap preview;
    ASSERT_EQ(MakePreview(sheet, preview), kSheetOk);
    EXPECT_EQ(preview.Width(), 498);
    EXPECT_EQ(preview.Height(), 712);
    EXPECT_EQ(preview.Pixel(250, 356), kSkin);
    // Into itself, as the sheet is after saving.
    Bitmap same = sheet;
    ASSERT_EQ(MakePreview(same, same), kSheetOk);
    EXPECT_TRUE(test::SameImage(same, preview, "preview"));
    EXPECT_EQ(MakePreview(Bitmap {}, preview), kSheetNoPhoto);
    EXPECT_EQ(MakePreview(sheet, preview, 0), kSheetNoPhoto);
}

} // namespace

namespace {

TEST(SheetCompose, SharpeningAppliesToEachReducedCell)
{
    const Bitmap photo = test::RandomBitmap(400, 525, 5);
    Bitmap plain, sharp;
    ASSERT_EQ(ComposeSheet(photo, DefaultSheetLayout(), { false, false, false, false }, plain), kSheetOk);
    ASSERT_EQ(ComposeSheet(photo, DefaultSheetLayout(), { false, false, false, true }, sharp), kSheetOk);
    for (auto [x, y] : { std::pair { 112, 118 }, { 561, 687 } }) {
        Bitmap expected, actual;
        ASSERT_TRUE(expected.Resize(378, 496));
        ASSERT_TRUE(actual.Resize(378, 496));
        CopyRect(plain, { x, y, x + 378, y + 496 }, expected, 0, 0);
        CopyRect(sharp, { x, y, x + 378, y + 496 }, actual, 0, 0);
        SharpenBitmap(expected);
        EXPECT_TRUE(test::SameImage(actual, expected, "cell"));
    }
}

} // namespace

namespace {

// A sheet straight from a region of the square is the sheet of that region cut out first, byte for byte: regions at
// the square's corners and edges, of the cells' aspect and of others (whose reduction is refused and stretched),
// larger and smaller than a cell, and the whole square.
TEST(SheetCompose, ARegionOfTheSquareMakesTheSheetOfItsCut)
{
    const Bitmap square = test::RandomBitmap(900, 900, 11);
    const Rect regions[] = { { 0, 0, 600, 780 }, { 300, 120, 900, 900 }, { 17, 33, 417, 553 }, { 0, 0, 900, 900 },
        { 450, 0, 900, 300 }, { 800, 800, 900, 900 }, { 100, 100, 478, 596 } };
    for (const bool sharpen : { false, true }) {
        for (const Rect& r : regions) {
            SCOPED_TRACE(testing::Message() << r.left << "," << r.top << " " << r.Width() << "x" << r.Height());
            CropRect crop { r, r.Width(), r.Height() };
            Bitmap cut;
            ASSERT_EQ(CutPhoto(square, crop, cut), kCropOk);
            SheetOptions options;
            options.sharpen = sharpen;
            Bitmap fromCut, fromRegion;
            SheetReport cutReport, regionReport;
            ASSERT_EQ(ComposeSheet(cut, DefaultSheetLayout(), options, fromCut, &cutReport), kSheetOk);
            ASSERT_EQ(ComposeSheetFromRegion(square, r, DefaultSheetLayout(), options, fromRegion, &regionReport),
                kSheetOk);
            EXPECT_TRUE(fromRegion.SameAs(fromCut));
            EXPECT_EQ(regionReport.reduction, cutReport.reduction);
        }
    }
    Bitmap untouched;
    EXPECT_EQ(ComposeSheetFromRegion(square, { 800, 800, 901, 900 }, DefaultSheetLayout(), {}, untouched), kSheetNoPhoto);
    EXPECT_TRUE(untouched.Empty());
}

} // namespace
