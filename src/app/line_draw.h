// A one-pixel line in any direction, as the head line needs it (the engine draws only level and upright lines).
#pragma once

#include "image/bitmap.h"

namespace vellicam {

// Draws from (x0, y0) towards (x1, y1), the end point excluded, clipped to the bitmap.
void DrawAnyLine(Bitmap& bitmap, int x0, int y0, int x1, int y1, Rgb colour);

} // namespace vellicam
