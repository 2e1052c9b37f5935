// The temporary image handed to the detector library: a grey, reduced copy of the working image in binary PGM,
// which costs a few tens of milliseconds where a full-size JPEG of a 4000-pixel square costs a third of a second. The
// library reports rectangles in the copy's pixels; the run scales them back.
#pragma once

#include "image/bitmap.h"

#include <string>

namespace vellicam {

// The copy's longer side is brought down to at most this many pixels by a whole reduction factor: the library
// searches on about 800 pixels anyway, and the landmarks keep a few photo pixels of precision on faces of 200.
inline constexpr int kDetectorImageLongSide = 1200;

// The reduction factor for a working image of imageWidth × imageHeight: the smallest whole number that brings the longer side to
// kDetectorImageLongSide or below (1 for smaller images and for non-positive sizes).
[[nodiscard]] int DetectorImageFactor(int imageWidth, int imageHeight);

// Writes `image` as 8-bit grey (BT.601 weights), each pixel the mean of a factor × factor block (the blocks of the
// last row and column may be cut short by the edge), to `path` (created with mode 0600, never through a symbolic
// link). Returns "" on success, else the reason. Refuses an empty image and a factor below 1.
[[nodiscard]] std::string WriteDetectorImage(const Bitmap& image, int factor, const std::string& path);

} // namespace vellicam
