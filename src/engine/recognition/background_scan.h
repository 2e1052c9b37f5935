// The head-top scan: the first row above the face that is mostly background colour, or that has none of it.
#pragma once

#include "image/bitmap.h"
#include "resample/progress.h"

namespace vellicam {

// The scan's result: the row, where the background colour was sampled and which colour was used.
struct HeadTopScan {
    int row = 0;
    int sx = 0, sy = 0; // the sample point (a, y0) limited to the bitmap
    Rgb background; // the picked colour, or the bitmap's colour at the sample point
    bool sampled = false; // the colour came from the bitmap (the window then marks the sample point)
};

// Scans the rows y0, y0 − 1, …, 0 of the strip of n = b − a + 1 columns starting at the sample column and returns
// the first row whose count of background pixels is 0 or exceeds `ratio` percent of n (count × 100 / n, integer).
// A pixel is background when every channel lies strictly within ± `tolerance` of the background colour, so a
// tolerance of 0 matches nothing. A dark background (all channels below 64) stops the scan: row y0. The loop
// running out gives 0; a negative y0 gives y0. Columns and rows outside the bitmap never match. A bitmap wider or
// taller than 9600 reads as black throughout (the pixel planes hold no more). Refuses nothing.
[[nodiscard]] HeadTopScan ScanHeadTop(int a, int b, int y0, const Bitmap& bitmap, int tolerance, int ratio,
    bool usePickedColour, Rgb pickedColour, const Progress& progress = {});

} // namespace vellicam
