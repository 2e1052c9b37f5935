// The print sheet's layout: the built-in L sheet of four 30 × 40 photos, the layout of any photo size on any paper
// of the lists, and the crop-frame limits a layout gives.
#pragma once

#include "sheet/photo_size.h"

#include <array>
#include <string>
#include <string_view>

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
    bool ScaleFits = true; // the 5 cm scale has room below the cells; without it the scale is left out
};

// The built-in sheet: 300 dpi, 1051 × 1500, four cells of 378 × 496 (cut 354 × 472) centred at (301, 366),
// (750, 366), (301, 935), (750, 935), head-top margin 59, chin margin 118; cells 5 to 20 zero.
[[nodiscard]] SheetLayout DefaultSheetLayout();

enum SheetLayoutResult : int {
    kLayoutBuilt = 0,
    kLayoutDoesNotFit = -1, // not one photo fits the paper with its marks
    kLayoutUnknownSize = -2,
    kLayoutUnknownPaper = -3,
};

// The layout of `size` on `paper` at kSheetResolution: as many cells as fit (at most kMaxSheetCells), each image
// the cut plus 1 mm of bleed on each side, 6 mm between neighbouring images, the block centred with room for the
// marks on every side, and the 5 cm scale below it where it fits without costing a row. Each cell's head-top
// margin is the bleed plus the size's space above the head, its chin margin what the face target leaves. The
// default pair (履歴書・一般 on L) gives DefaultSheetLayout() itself. Refuses a pair where nothing fits or a length is
// negative or beyond ten metres, `layout` untouched.
[[nodiscard]] int BuildSheetLayout(const PhotoSize& size, const PaperSize& paper, SheetLayout& layout);
// The same by the lists' ids ("passport", "2L"); refuses an unknown id.
[[nodiscard]] int BuildSheetLayout(std::string_view sizeId, std::string_view paperId, SheetLayout& layout);

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
