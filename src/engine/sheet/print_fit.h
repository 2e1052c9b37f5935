// Whether a sheet printed at its own size lies inside a printer's printable area: the sheet is laid from the paper's
// top left corner, one sheet pixel to 1/dpi inch, never scaled to fit.
#pragma once

namespace vellicam {

// A rectangle on the paper in millimetres, from its top left corner.
struct PaperRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// How far the sheet reaches past each edge of the printable area, in millimetres (0 where it stays inside).
struct PrintFit {
    bool fits = true;
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    // The largest of the four: what the user is told.
    [[nodiscard]] double largest() const;
};

// A sheet of width × height pixels at `dpi` on the page, against `printable`. Edges within a hundredth of a
// millimetre count as inside (a printer's area comes in its own device units). A sheet or area without size, a
// dpi below 1 or a figure that is not finite never fits: the whole sheet is counted as reaching past every edge.
[[nodiscard]] PrintFit FitSheetOnPage(int width, int height, int dpi, const PaperRect& printable);

} // namespace vellicam
