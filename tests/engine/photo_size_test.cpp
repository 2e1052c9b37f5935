// The size lists, the layout of every size on every paper, the face-height check, and the smallest frame.
#include "geometry/view_geometry.h"
#include "recognition/frame_proposal.h"
#include "session/session_texts.h"
#include "sheet/photo_size.h"
#include "sheet/sheet_compose.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <string>
#include <vector>

using namespace vellicam;

namespace {

constexpr Rgb kGrey { 128, 128, 128 };

// The exact pixel length of tenths of a millimetre at 300 dpi, for "within one pixel".
double ExactPixels(int tenths)
{
    return tenths * 300.0 / 254.0;
}

struct Pair {
    const PhotoSize* size;
    const PaperSize* paper;
};

std::vector<Pair> AllPairs()
{
    std::vector<Pair> pairs;
    for (const PhotoSize& size : PhotoSizes())
        for (const PaperSize& paper : PaperSizes())
            pairs.push_back({ &size, &paper });
    return pairs;
}

class EveryPair : public testing::TestWithParam<Pair> { };

// The sheet itself is measured: the corner marks are found on it, not taken from the layout record.
TEST_P(EveryPair, CellsMeasureTheSizeAndTheMarksFrameTheCut)
{
    const PhotoSize& size = *GetParam().size;
    const PaperSize& paper = *GetParam().paper;
    SheetLayout layout;
    ASSERT_EQ(BuildSheetLayout(size, paper, layout), kLayoutBuilt);
    ASSERT_GE(layout.CellCount, 1);
    EXPECT_LE(std::abs(layout.SheetWidth - ExactPixels(paper.width)), 0.5);
    EXPECT_LE(std::abs(layout.SheetHeight - ExactPixels(paper.height)), 0.5);

    Bitmap sheet;
    ASSERT_EQ(ComposeSheet(test::SolidBitmap(800, 1000, kGrey), layout, { false, true, true, false }, sheet), kSheetOk);
    ASSERT_EQ(sheet.Width(), layout.SheetWidth);
    ASSERT_EQ(sheet.Height(), layout.SheetHeight);

    // Grey pixels are the images' and nothing else's: as many as the images hold when none overlaps another and
    // none is cut off by the paper's edge.
    long long grey = 0;
    for (int y = 0; y < sheet.Height(); ++y)
        for (int x = 0; x < sheet.Width(); ++x)
            grey += sheet.Pixel(x, y) == kGrey;
    const SheetCell& first = layout.Cells[0];
    EXPECT_EQ(grey, static_cast<long long>(layout.CellCount) * first.ImageWidth * first.ImageHeight);

    const auto black = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < sheet.Width() && y < sheet.Height() && sheet.Pixel(x, y) == kBlack;
    };
    // The lines stop one pixel short of their far end, as the sheet has always drawn them.
    const int markLength = 5 * 300 * 10 / 254 - 1;
    int lowestMark = 0;
    for (int i = 0; i < layout.CellCount; ++i) {
        const SheetCell& c = layout.Cells[i];
        SCOPED_TRACE("cell " + std::to_string(i));
        EXPECT_EQ(c.ImageWidth, first.ImageWidth);
        const int left = c.CentreX - c.ImageWidth / 2, top = c.CentreY - c.ImageHeight / 2;
        const int right = left + c.ImageWidth, bottom = top + c.ImageHeight;
        // The marks' columns, found in the row just above the image; their rows, in the column just left of it.
        std::vector<int> columns, rows;
        for (int x = left - 1; x <= right; ++x)
            if (black(x, top - 2))
                columns.push_back(x);
        for (int y = top - 1; y <= bottom; ++y)
            if (black(left - 2, y))
                rows.push_back(y);
        ASSERT_EQ(columns.size(), 2u);
        ASSERT_EQ(rows.size(), 2u);
        // The cut framed by the marks measures the entry's millimetres within a pixel, with 1 mm of image beyond it
        // on every side.
        EXPECT_LE(std::abs(columns[1] - columns[0] - ExactPixels(size.width)), 1.0);
        EXPECT_LE(std::abs(rows[1] - rows[0] - ExactPixels(size.height)), 1.0);
        EXPECT_NEAR(columns[0] - left, 12, 1);
        EXPECT_NEAR(right - columns[1], 12, 1);
        EXPECT_NEAR(rows[0] - top, 12, 1);
        EXPECT_NEAR(bottom - rows[1], 12, 1);
        // Each mark runs its full 5 mm, on the paper.
        for (const int x : columns) {
            EXPECT_TRUE(black(x, rows[0] - markLength));
            EXPECT_TRUE(black(x, rows[1] + markLength));
        }
        for (const int y : rows) {
            EXPECT_TRUE(black(columns[0] - markLength, y));
            EXPECT_TRUE(black(columns[1] + markLength, y));
        }
        lowestMark = std::max(lowestMark, rows[1] + markLength);
    }
    // The scale, where the layout has room for it, lies below every mark and on the paper.
    const int scaleTop = layout.SheetHeight - (300 * 100 / 254) / 2;
    const int scaleLeft = (layout.SheetWidth - 5 * (300 * 100 / 254)) / 2;
    EXPECT_EQ(black(scaleLeft, scaleTop), layout.ScaleFits);
    if (layout.ScaleFits) {
        EXPECT_LT(lowestMark, scaleTop);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SheetLayouts, EveryPair, testing::ValuesIn(AllPairs()), [](const testing::TestParamInfo<Pair>& info) {
        std::string name = std::string(info.param.size->id) + "_on_" + info.param.paper->id;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(SheetLayouts, HoldAsManyPhotosAsTheyShould)
{
    struct Case {
        const char *size, *paper;
        int cells;
        bool scale;
    };
    // Passport photos four to an L sheet and six to a 2L, as photo printers offer them; two 2 × 2 in photos on
    // L leave no room for the scale.
    const Case cases[] = {
        { "passport", "L", 4, true },
        { "passport", "2L", 6, true },
        { "passport", "4x6", 4, true },
        { "licence", "L", 6, true },
        { "licence", "2L", 12, true },
        { "us", "L", 2, false },
        { "us", "2L", 4, true },
        { "china", "L", 4, true },
        { "resume", "2L", 9, true },
    };
    for (const Case& c : cases) {
        SheetLayout layout;
        ASSERT_EQ(BuildSheetLayout(c.size, c.paper, layout), kLayoutBuilt) << c.size << " " << c.paper;
        EXPECT_EQ(layout.CellCount, c.cells) << c.size << " " << c.paper;
        EXPECT_EQ(layout.ScaleFits, c.scale) << c.size << " " << c.paper;
    }
}

TEST(SheetLayouts, RefusesUnknownIdsAndPhotosLargerThanThePaper)
{
    SheetLayout layout = DefaultSheetLayout();
    layout.CellCount = 3;
    EXPECT_EQ(BuildSheetLayout("Passport", "L", layout), kLayoutUnknownSize);
    EXPECT_EQ(BuildSheetLayout("passport", "l", layout), kLayoutUnknownPaper);
    EXPECT_EQ(BuildSheetLayout("", "", layout), kLayoutUnknownSize);
    // Sizes no list holds: larger than the paper, a face taller than the photo, lengths out of all proportion.
    const PhotoSize refused[] = {
        { "poster", "ポスター", 900, 1300, 300, 0, 0, 40 },
        { "tall", "", 300, 400, 380, 0, 0, 40 },
        { "huge", "", 2'000'000'000, 400, 270, 0, 0, 40 },
        { "negative", "", 300, -400, 270, 0, 0, 40 },
        { "space", "", 300, 400, 270, 0, 0, -2'000'000'000 },
    };
    for (const PhotoSize& size : refused)
        EXPECT_EQ(BuildSheetLayout(size, DefaultPaperSize(), layout), kLayoutDoesNotFit) << size.id;
    const PaperSize roll { "roll", "", 890, 2'000'000'000 };
    EXPECT_EQ(BuildSheetLayout(*FindPhotoSize("passport"), roll, layout), kLayoutDoesNotFit);
    EXPECT_EQ(layout.CellCount, 3); // untouched
}

TEST(PhotoSizes, IdsAreUniqueAndTheRulesHoldTheirTargets)
{
    std::set<std::string> ids;
    for (const PhotoSize& size : PhotoSizes()) {
        SCOPED_TRACE(size.id);
        EXPECT_TRUE(ids.insert(size.id).second);
        EXPECT_EQ(FindPhotoSize(size.id), &size);
        if (size.faceMin > 0) {
            // The layout aims at the middle of the range.
            EXPECT_LE(std::abs(2 * size.faceTarget - size.faceMin - size.faceMax), 1);
        }
        EXPECT_LT(size.topSpace + size.faceTarget, size.height);
    }
    for (const char* id : { "resume", "passport", "mynumber", "licence", "residence", "us", "china", "schengen" })
        EXPECT_NE(FindPhotoSize(id), nullptr) << id;
    for (const char* id : { "L", "2L", "4x6" })
        EXPECT_NE(FindPaperSize(id), nullptr) << id;
    EXPECT_STREQ(DefaultPhotoSize().id, "resume");
    EXPECT_STREQ(DefaultPaperSize().id, "L");
    EXPECT_EQ(SizeText(*FindPhotoSize("us")), "50.8 × 50.8mm");
    EXPECT_EQ(FaceRuleText(*FindPhotoSize("passport")), "顔 32〜36mm・頭上 4mm");
    EXPECT_EQ(FaceRuleText(*FindPhotoSize("us")), "顔 25.4〜34.9mm・頭上 4mm");
    EXPECT_EQ(FaceRuleText(DefaultPhotoSize()), "顔 27mm（目安）・頭上 4mm");
    SheetLayout layout;
    ASSERT_EQ(BuildSheetLayout("passport", "2L", layout), kLayoutBuilt);
    EXPECT_EQ(
        LayoutStatusText(*FindPhotoSize("passport"), *FindPaperSize("2L"), layout), "パスポート 35 × 45mm・2L判 6枚");
}

TEST(FaceHeight, ReportsTheFaceAsPrintedAgainstTheRule)
{
    struct Case {
        const char* size;
        int headTop, chin, frameHeight;
        int tenths;
        bool meets;
        const char* text;
    };
    // A passport image is 556 rows for 45 + 2 mm: 402 rows of a 556-row frame print as 34.0 mm.
    const Case cases[] = {
        { "passport", 100, 502, 556, 340, true, "顔の高さ 34.0mm ✓" },
        { "passport", 0, 804, 1112, 340, true, "顔の高さ 34.0mm ✓" }, // twice the pixels, the same print
        { "passport", 0, 1359, 2000, 320, true, "顔の高さ 32.0mm ✓" }, // 31.99 shows as 32.0 and passes
        { "passport", 0, 1357, 2000, 319, false, "顔の高さ 31.9mm（規定 32〜36mm）" },
        { "passport", 0, 1531, 2000, 360, true, "顔の高さ 36.0mm ✓" },
        { "passport", 0, 1533, 2000, 361, false, "顔の高さ 36.1mm（規定 32〜36mm）" },
        { "passport", 0, 1234, 2000, 290, false, "顔の高さ 29.0mm（規定 32〜36mm）" },
        { "us", 0, 1000, 2000, 264, true, "顔の高さ 26.4mm ✓" },
        { "us", 0, 900, 2000, 238, false, "顔の高さ 23.8mm（規定 25.4〜34.9mm）" },
        { "resume", 59, 378, 496, 270, false, "顔の高さ 27.0mm" }, // no rule: the figure alone
    };
    for (const Case& c : cases) {
        FaceHeightCheck check;
        ASSERT_EQ(CheckFaceHeight(*FindPhotoSize(c.size), c.headTop, c.chin, c.frameHeight, check), kFaceHeightChecked);
        EXPECT_EQ(check.tenths, c.tenths) << c.text;
        EXPECT_EQ(check.meets, c.meets) << c.text;
        EXPECT_EQ(FaceHeightText(check, *FindPhotoSize(c.size)), c.text);
    }
    FaceHeightCheck untouched;
    untouched.tenths = 7;
    EXPECT_EQ(CheckFaceHeight(DefaultPhotoSize(), 0, 100, 0, untouched), kFaceHeightBadFrame);
    EXPECT_EQ(CheckFaceHeight(DefaultPhotoSize(), 100, 100, 500, untouched), kFaceHeightBadFace);
    EXPECT_EQ(CheckFaceHeight(DefaultPhotoSize(), 200, 100, 500, untouched), kFaceHeightBadFace);
    EXPECT_EQ(CheckFaceHeight(DefaultPhotoSize(), -2'000'000'000, 2'000'000'000, 1, untouched), kFaceHeightTooLarge);
    const PhotoSize huge { "huge", "", 300, 2'000'000'000, 270, 0, 0, 40 };
    EXPECT_EQ(CheckFaceHeight(huge, -2'000'000'000, 2'000'000'000, 1, untouched), kFaceHeightBadSize);
    EXPECT_EQ(untouched.tenths, 7);
    EXPECT_EQ(TenthsToPixels(2'000'000'000, 2'000'000'000), INT_MAX);
}

// The recognition proposal takes the cell's margins, so the face it frames prints at the size's target.
TEST(FaceHeight, TheProposedFrameMeetsEachSizesRule)
{
    const FaceRect face { 900, 1100, 2000, 2200 };
    const HeadTopScanner scanner = [](int, int, int y0) { return y0 - 150; };
    for (const PhotoSize& size : PhotoSizes()) {
        SCOPED_TRACE(size.id);
        SheetLayout layout;
        ASSERT_EQ(BuildSheetLayout(size, DefaultPaperSize(), layout), kLayoutBuilt);
        FrameProposal p;
        ASSERT_EQ(ProposeFrame(face, nullptr, 4200, ProposalSettingsOf(layout, true), scanner, p), kProposed);
        FaceHeightCheck check;
        ASSERT_EQ(CheckFaceHeight(size, p.headTop, p.chinLine, p.h, check), kFaceHeightChecked);
        EXPECT_NEAR(check.tenths, size.faceTarget, 2);
        EXPECT_EQ(check.meets, size.faceMin > 0);
        // The head top lies the size's space (plus the bleed) below the frame's top.
        EXPECT_NEAR(
            (p.headTop - p.frameTop) * 254.0 * layout.Cells[0].ImageHeight / (300.0 * p.h), size.topSpace + kBleedTenths, 2);
    }
}

// The smallest frame shown on the view converts back to at least a whole cell, for the view sizes and zooms the
// window has, and is one view pixel longer than the truncated minimum only where that fell short.
TEST(SmallestFrame, ConvertsBackToAtLeastAWholeCell)
{
    std::vector<FrameLimits> limits;
    for (const PhotoSize& size : PhotoSizes()) {
        SheetLayout layout;
        ASSERT_EQ(BuildSheetLayout(size, DefaultPaperSize(), layout), kLayoutBuilt);
        limits.push_back(FrameLimitsOf(layout));
    }
    int lengthened = 0;
    for (const int base : { 520, 480, 611, 737, 1000 })
        for (const int zoom : { 50, 75, 100, 125, 150, 200, 300, 400 })
            for (const int imageSide : { 128, 434, 640, 768, 900, 1200, 1600, 2048, 3000, 4032, 4200, 9600 })
                for (const FrameLimits& l : limits) {
                    const int viewSide = base * zoom / 100;
                    const ControlBounds frame = CentredMinimumFrame(l, viewSide, imageSide, viewSide, viewSide);
                    CropRect crop;
                    ASSERT_EQ(CropRectFromFrame(
                                  frame.left, frame.top, frame.width, frame.height, 0, 0, imageSide, viewSide, crop),
                        kCropOk);
                    const std::string where = std::to_string(viewSide) + " / " + std::to_string(imageSide);
                    EXPECT_GE(crop.width, l.FrameMinWidth) << where;
                    EXPECT_GE(crop.height, l.FrameMinHeight) << where;
                    const int truncatedWidth = ScaleToView(l.FrameMinWidth, viewSide, imageSide);
                    ASSERT_TRUE(frame.width == truncatedWidth || frame.width == truncatedWidth + 1) << where;
                    if (frame.width == truncatedWidth + 1) {
                        ++lengthened;
                        ASSERT_EQ(
                            CropRectFromFrame(0, 0, truncatedWidth, truncatedWidth, 0, 0, imageSide, viewSide, crop),
                            kCropOk);
                        EXPECT_LT(crop.width, l.FrameMinWidth) << where;
                    }
                }
    EXPECT_GT(lengthened, 0);
}

} // namespace
