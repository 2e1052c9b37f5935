// The two reduced pictures a recognition run makes of its working square, the detector's grey copy and the person
// mask's picture, in one pass over the part of the square that holds the photo.
#pragma once

#include "image/bitmap.h"
#include "recognition/detector_image.h"
#include "recognition/person_mask.h"

#include <string>

namespace vellicam {

// Makes `grey`, the detector's copy of `square` reduced by `factor` (MakeDetectorImage's pixels), and, when `mask` is
// given, the person mask's picture of it (MakeMaskPicture's at kPersonMaskLongSide; an empty picture when the square
// is all black). Reads each row of `photoArea` once and no pixel outside it: every pixel of the square outside
// `photoArea` must be black, as around a photo on its square or a turned one. An empty `photoArea` stands for the
// whole square; one reaching past the square is cut to it. Returns "" on success, else the reason (an empty square,
// a factor below 1, no memory); `grey` and `mask` are untouched then. With `threads` 2 bands of rows are made on
// two threads; the pictures are the same.
[[nodiscard]] std::string MakeReducedPictures(
    const Bitmap& square, Rect photoArea, int factor, GreyImage& grey, MaskPicture* mask, int threads = 1);

} // namespace vellicam
