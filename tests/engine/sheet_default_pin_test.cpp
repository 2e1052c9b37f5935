// The default sheet pinned: the 30 × 40 photos on the L sheet give the very layout numbers and sheet bytes they
// gave before the size list existed.
#include "sheet/photo_size.h"
#include "sheet/sheet_compose.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace vellicam;

namespace {

// FNV-1a over the sheet's pixels: a change of any byte changes it.
std::uint64_t PixelHash(const Bitmap& bitmap)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.Row(y);
        for (std::size_t i = 0; i < bitmap.Stride(); ++i) {
            hash ^= row[i];
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

TEST(DefaultSheetPin, LayoutNumbersAreThoseOfBefore)
{
    const SheetLayout layout = DefaultSheetLayout();
    EXPECT_EQ(layout.Resolution, 300);
    EXPECT_EQ(layout.SheetWidth, 1051);
    EXPECT_EQ(layout.SheetHeight, 1500);
    ASSERT_EQ(layout.CellCount, 4);
    const int centres[4][2] = { { 301, 366 }, { 750, 366 }, { 301, 935 }, { 750, 935 } };
    for (int i = 0; i < 4; ++i) {
        const SheetCell expected { 378, 496, 354, 472, centres[i][0], centres[i][1], 59, 118 };
        EXPECT_EQ(layout.Cells[i], expected) << "cell " << i;
    }
    for (int i = 4; i < kMaxSheetCells; ++i)
        EXPECT_EQ(layout.Cells[i], SheetCell {}) << "cell " << i;

    // The list's default pair builds exactly this record.
    SheetLayout built;
    ASSERT_EQ(BuildSheetLayout("resume", "L", built), kLayoutBuilt);
    EXPECT_EQ(built.Resolution, layout.Resolution);
    EXPECT_EQ(built.SheetWidth, layout.SheetWidth);
    EXPECT_EQ(built.SheetHeight, layout.SheetHeight);
    EXPECT_EQ(built.CellCount, layout.CellCount);
    EXPECT_EQ(built.Cells, layout.Cells);
    EXPECT_TRUE(built.ScaleFits);

    const FrameLimits limits = FrameLimitsOf(built);
    EXPECT_EQ(limits.FrameMinWidth, 378);
    EXPECT_EQ(limits.FrameMinHeight, 496);
    EXPECT_EQ(limits.FrameMaxWidth, 1890);
    EXPECT_EQ(limits.FrameMaxHeight, 2480);
    EXPECT_EQ(limits.FrameAspectWidth, 378);
    EXPECT_EQ(limits.FrameAspectHeight, 496);
}

TEST(DefaultSheetPin, SheetBytesAreThoseOfBefore)
{
    // The hashes were taken from sheets composed before the size list was added.
    struct Case {
        SheetOptions options;
        std::uint64_t hash;
    };
    const Case cases[] = {
        { { true, true, true, true }, 0xbe21c1f46526eb7full },
        { { true, false, true, false }, 0xa8d20af18f38de08ull }, // the scale takes the dash-dot pen
        { { false, false, false, false }, 0x77e51ab37fdf5829ull },
    };
    const Bitmap photo = test::RandomBitmap(640, 840, 14);
    SheetLayout layout;
    ASSERT_EQ(BuildSheetLayout(DefaultPhotoSize(), DefaultPaperSize(), layout), kLayoutBuilt);
    for (const Case& c : cases)
        // On two threads the reduction, the sharpening, the white and the photos are shared: the same bytes.
        for (const int threads : { 1, 2 }) {
            SheetOptions options = c.options;
            options.threads = threads;
            Bitmap sheet;
            ASSERT_EQ(ComposeSheet(photo, layout, options, sheet), kSheetOk);
            EXPECT_EQ(PixelHash(sheet), c.hash) << std::hex << PixelHash(sheet) << " on " << threads;
        }
}

} // namespace
