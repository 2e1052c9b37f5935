// Bringing a photo into the workspace (it is read by LoadImage): the low-resolution rule, the black square the photo
// is centred on, and the size at which an image fits the square view.
#pragma once

#include "image/bitmap.h"

#include <string>

namespace vellicam {

struct Size {
    int width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Photos of 640 × 480 pixels and fewer make rough prints.
[[nodiscard]] bool IsLowResolution(int width, int height);

// True when the working square of a width × height photo (side = the longer side) would exceed the largest bitmap
// the engine allocates: such a photo can be decoded but not worked on.
[[nodiscard]] bool SquareTooLarge(int width, int height);

// Makes `square` a black square whose side is the photo's longer side, with the photo centred in it along that
// side's cross axis (halves truncated). Refuses an empty photo; false also when the memory cannot be had, in which
// case `square` may have lost its old content.
[[nodiscard]] bool BuildSquareBitmap(const Bitmap& photo, Bitmap& square);
// The same square for a width × height photo not yet decoded: its black bands are drawn and the place of the photo's
// top-left pixel is given, the photo's own pixels are left for the caller to write (a decoder writing straight into
// the square). False for a side below 1 or when the memory cannot be had.
[[nodiscard]] bool PrepareSquareFor(int width, int height, Bitmap& square, int& left, int& top);

// The size at which a width × height image is shown inside a viewWidth × viewHeight view, keeping its aspect ratio:
// one side fills the view, the other is truncated. 0 × 0 when any side is not positive.
[[nodiscard]] Size FittedSize(int width, int height, int viewWidth, int viewHeight);

} // namespace vellicam
