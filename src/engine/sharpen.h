// The sharpening filter: an unsharp mask on a luminance measure, amount one half, hue kept.
#pragma once

#include "bitmap.h"
#include "progress.h"

namespace vellicam {

// Sharpens `bitmap` in place. The outer one-pixel border and pure blue (0, 0, 255) pixels stay as they are; a
// pixel whose luminance (28 R + 77 G + 151 B) / 255 is 0 becomes black. A bitmap wider or taller than 9600 is
// left unchanged.
void SharpenBitmap(Bitmap& bitmap, const Progress& progress = {});

} // namespace vellicam
