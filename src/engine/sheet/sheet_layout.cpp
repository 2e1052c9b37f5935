// The built-in sheet layout and the frame limits derived from it.
#include "sheet/sheet_layout.h"

#include <algorithm>

namespace vellicam {

SheetLayout DefaultSheetLayout()
{
    SheetLayout layout;
    layout.Resolution = 300;
    layout.SheetWidth = 1051; // 89 mm
    layout.SheetHeight = 1500; // 127 mm
    layout.CellCount = 4;
    const int centres[4][2] = { { 301, 366 }, { 750, 366 }, { 301, 935 }, { 750, 935 } };
    for (int i = 0; i < 4; ++i) {
        SheetCell& cell = layout.Cells[i];
        cell.ImageWidth = 378; // 32 mm
        cell.ImageHeight = 496; // 42 mm
        cell.CutWidth = 354; // 30 mm
        cell.CutHeight = 472; // 40 mm
        cell.CentreX = centres[i][0];
        cell.CentreY = centres[i][1];
        cell.HeadTopMargin = 59; // 5 mm
        cell.ChinMargin = 118; // 10 mm
    }
    return layout;
}

FrameLimits FrameLimitsOf(const SheetLayout& layout)
{
    FrameLimits limits;
    const int used = std::clamp(layout.CellCount, 0, kMaxSheetCells);
    for (int i = 0; i < used; ++i) {
        limits.FrameMinWidth = std::max(limits.FrameMinWidth, layout.Cells[i].ImageWidth);
        limits.FrameMinHeight = std::max(limits.FrameMinHeight, layout.Cells[i].ImageHeight);
    }
    limits.FrameMaxWidth = 5 * limits.FrameMinWidth;
    limits.FrameMaxHeight = 5 * limits.FrameMinHeight;
    limits.FrameAspectWidth = limits.FrameMinWidth;
    limits.FrameAspectHeight = limits.FrameMinHeight;
    return limits;
}

} // namespace vellicam
