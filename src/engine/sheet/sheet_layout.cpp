// The built-in sheet layout, the layout of a photo size on a paper, and the frame limits derived from a layout.
#include "sheet/sheet_layout.h"

#include <algorithm>
#include <cstring>

namespace vellicam {

namespace {

// How far the marks of a cell reach beyond its image along one side of `image` pixels with `cut` pixels cut: the
// corner marks run 5 mm out from the cut's corners, the centre marks a tenth of the image out; both as the sheet
// draws them (sheet_compose.cpp), truncated the same way.
int MarkReach(int image, int cut, int dpi)
{
    const int cornerLength = 5 * dpi * 10 / 254;
    const int corner = cornerLength - (image / 2 - cut / 2);
    const int centre = (image * 6 / 5) / 2 - image / 2;
    return std::max({ corner, centre, 0 });
}

// How many images of `image` pixels with `gap` between them fit `extent` with `reach` kept free at both ends.
int CountThatFit(int extent, int image, int gap, int reach)
{
    const int usable = extent - 2 * reach;
    if (usable < image)
        return 0;
    return 1 + (usable - image) / (image + gap);
}

} // namespace

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

int BuildSheetLayout(const PhotoSize& size, const PaperSize& paper, SheetLayout& layout)
{
    // The L sheet's 30 × 40 arrangement is older than the list: its rows start 10 mm from the top and lie 73 pixels
    // apart, which the general packing below does not reproduce. It is kept exactly as it always was.
    if (size.id && paper.id && std::strcmp(size.id, DefaultPhotoSize().id) == 0
        && std::strcmp(paper.id, DefaultPaperSize().id) == 0) {
        layout = DefaultSheetLayout();
        return kLayoutBuilt;
    }

    // Ten metres bounds every length, so that no pixel count, sum or product below overflows.
    constexpr int kLongest = 100000;
    for (const int length : { size.width, size.height, size.faceTarget, size.topSpace, paper.width, paper.height })
        if (length < 0 || length > kLongest)
            return kLayoutDoesNotFit;

    const int dpi = kSheetResolution;
    const int sheetWidth = TenthsToPixels(paper.width, dpi);
    const int sheetHeight = TenthsToPixels(paper.height, dpi);
    const int cutWidth = PrintedCutWidth(size);
    const int cutHeight = PrintedCutHeight(size);
    const int imageWidth = PrintedImageWidth(size);
    const int imageHeight = PrintedImageHeight(size);
    const int headTopMargin = TenthsToPixels(kBleedTenths + size.topSpace, dpi);
    const int chinMargin = imageHeight - headTopMargin - TenthsToPixels(size.faceTarget, dpi);
    if (cutWidth < 1 || cutHeight < 1 || sheetWidth < 1 || sheetHeight < 1 || chinMargin < 0)
        return kLayoutDoesNotFit;

    // 6 mm between images, as between the L sheet's two columns: room for a cut on each side of the bleed.
    const int gap = TenthsToPixels(60, dpi);
    const int reachX = MarkReach(imageWidth, cutWidth, dpi);
    const int reachY = MarkReach(imageHeight, cutHeight, dpi);
    const int columns = CountThatFit(sheetWidth, imageWidth, gap, reachX);
    int rows = CountThatFit(sheetHeight, imageHeight, gap, reachY);

    // The scale lies as the sheet draws it, half a centimetre from the bottom edge and 5 cm long; it is kept when
    // the rows still fit above it with a millimetre between its top and the lowest marks.
    const int mm = dpi * 10 / 254;
    const int cm = dpi * 100 / 254;
    const int scaleTop = sheetHeight - cm / 2;
    const bool scaleFits = 5 * cm <= sheetWidth && CountThatFit(scaleTop - mm, imageHeight, gap, reachY) == rows;
    const int usableHeight = scaleFits ? scaleTop - mm : sheetHeight;

    if (columns < 1 || rows < 1)
        return kLayoutDoesNotFit;
    rows = std::min(rows, kMaxSheetCells / columns);

    SheetLayout built;
    built.Resolution = dpi;
    built.SheetWidth = sheetWidth;
    built.SheetHeight = sheetHeight;
    built.CellCount = columns * rows;
    built.ScaleFits = scaleFits;
    const int blockWidth = columns * imageWidth + (columns - 1) * gap;
    const int blockHeight = rows * imageHeight + (rows - 1) * gap;
    const int left = (sheetWidth - blockWidth) / 2;
    const int top = (usableHeight - blockHeight) / 2;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            SheetCell& cell = built.Cells[row * columns + column];
            cell.ImageWidth = imageWidth;
            cell.ImageHeight = imageHeight;
            cell.CutWidth = cutWidth;
            cell.CutHeight = cutHeight;
            // The sheet draws the image from the centre less half the size, truncated: this puts it at the place.
            cell.CentreX = left + column * (imageWidth + gap) + imageWidth / 2;
            cell.CentreY = top + row * (imageHeight + gap) + imageHeight / 2;
            cell.HeadTopMargin = headTopMargin;
            cell.ChinMargin = chinMargin;
        }
    layout = built;
    return kLayoutBuilt;
}

int BuildSheetLayout(std::string_view sizeId, std::string_view paperId, SheetLayout& layout)
{
    const PhotoSize* size = FindPhotoSize(sizeId);
    if (!size)
        return kLayoutUnknownSize;
    const PaperSize* paper = FindPaperSize(paperId);
    if (!paper)
        return kLayoutUnknownPaper;
    return BuildSheetLayout(*size, *paper, layout);
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
