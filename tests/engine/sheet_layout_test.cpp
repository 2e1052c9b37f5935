// The built-in sheet layout.
#include "sheet/sheet_layout.h"

#include <gtest/gtest.h>

using namespace vellicam;

TEST(SheetLayout, DefaultsAndFrameLimits)
{
    const SheetLayout layout = DefaultSheetLayout();
    EXPECT_EQ(layout.Resolution, 300);
    EXPECT_EQ(layout.SheetWidth, 1051);
    EXPECT_EQ(layout.SheetHeight, 1500);
    ASSERT_EQ(layout.CellCount, 4);
    for (int i = 0; i < 4; ++i) {
        const SheetCell& c = layout.Cells[i];
        EXPECT_EQ(c.ImageHeight - c.HeadTopMargin - c.ChinMargin, 319);
        // Images lie inside the sheet and overlap no other image.
        const int l = c.CentreX - c.ImageWidth / 2, t = c.CentreY - c.ImageHeight / 2;
        EXPECT_GE(l, 0);
        EXPECT_GE(t, 0);
        EXPECT_LE(l + c.ImageWidth, layout.SheetWidth);
        EXPECT_LE(t + c.ImageHeight, layout.SheetHeight);
        for (int j = 0; j < i; ++j) {
            const SheetCell& o = layout.Cells[j];
            const int ol = o.CentreX - o.ImageWidth / 2, ot = o.CentreY - o.ImageHeight / 2;
            const bool apart = l >= ol + o.ImageWidth || ol >= l + c.ImageWidth || t >= ot + o.ImageHeight
                || ot >= t + c.ImageHeight;
            EXPECT_TRUE(apart) << "cells " << j << " and " << i;
        }
    }
    EXPECT_EQ(layout.Cells[4], SheetCell {});
    EXPECT_EQ(layout.Cells[19], SheetCell {});

    const FrameLimits limits = FrameLimitsOf(layout);
    EXPECT_EQ(limits.FrameMinWidth, 378);
    EXPECT_EQ(limits.FrameMinHeight, 496);
    EXPECT_EQ(limits.FrameMaxWidth, 1890);
    EXPECT_EQ(limits.FrameMaxHeight, 2480);
    EXPECT_EQ(limits.FrameAspectWidth, 378);
    EXPECT_EQ(limits.FrameAspectHeight, 496);
}

TEST(SheetLayout, LimitsTakeWidestAndTallestCellsSeparately)
{
    SheetLayout layout = DefaultSheetLayout();
    layout.Cells[1].ImageWidth = 400;
    layout.Cells[2].ImageHeight = 500;
    layout.Cells[5].ImageWidth = 900; // not in use
    const FrameLimits limits = FrameLimitsOf(layout);
    EXPECT_EQ(limits.FrameMinWidth, 400);
    EXPECT_EQ(limits.FrameMinHeight, 500);
}
