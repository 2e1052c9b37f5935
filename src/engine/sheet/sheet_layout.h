// The print sheet's layout: an L-size sheet at 300 dpi with four photo cells, and the crop-frame limits it gives.
#pragma once

#include <array>

namespace vellicam {

// One photo cell; lengths are sheet pixels at the layout's resolution.
struct SheetCell {
    int ImageWidth = 0; // printed image, 1 mm of bleed beyond the cut on each side
    int ImageHeight = 0;
    int CutWidth = 0; // finished photo, framed by the corner marks
    int CutHeight = 0;
    int CentreX = 0; // the cell's centre on the sheet
    int CentreY = 0;
    int HeadTopMargin = 0; // image rows above the head top
    int ChinMargin = 0; // image rows below the chin
    friend bool operator==(const SheetCell&, const SheetCell&) = default;
};

inline constexpr int kMaxSheetCells = 20;

struct SheetLayout {
    int Resolution = 0; // dots per inch
    int SheetWidth = 0;
    int SheetHeight = 0;
    int CellCount = 0; // the first CellCount cells are in use
    std::array<SheetCell, kMaxSheetCells> Cells {};
};

// The built-in sheet: 300 dpi, 1051 × 1500, four cells of 378 × 496 (cut 354 × 472) centred at (301, 366),
// (750, 366), (301, 935), (750, 935), head-top margin 59, chin margin 118; cells 5 to 20 zero.
[[nodiscard]] SheetLayout DefaultSheetLayout();

// The crop frame's limits in image pixels: the largest ImageWidth and ImageHeight over the cells in use are the
// smallest frame and its aspect; five times them the largest frame.
struct FrameLimits {
    int FrameMinWidth = 0;
    int FrameMinHeight = 0;
    int FrameMaxWidth = 0;
    int FrameMaxHeight = 0;
    int FrameAspectWidth = 0;
    int FrameAspectHeight = 0;
};
[[nodiscard]] FrameLimits FrameLimitsOf(const SheetLayout& layout);

} // namespace vellicam
