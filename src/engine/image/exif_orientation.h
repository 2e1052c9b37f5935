// The EXIF orientation of a photo: the tag read from a JPEG's APP1 "Exif" block, and the turn or mirror that shows
// the decoded photo the right way up (a phone held upright stores its picture on its side and says so here).
#pragma once

#include "image/bitmap.h"

#include <cstddef>

namespace vellicam {

// The orientation (1..8) held by the payload of an APP1 marker (the bytes after the marker's length field):
// "Exif\0\0", a TIFF header in either byte order, and tag 0x0112 (one SHORT) in the first image directory.
// Returns 0 when the block is no EXIF block, is broken or cut short before the tag, lacks the tag, or holds a
// value outside 1..8: the photo is then shown as stored. Reads nothing outside [data, data + size).
[[nodiscard]] int ReadExifOrientation(const unsigned char* data, std::size_t size);

// Turns a decoded photo the way its orientation says: 1 leaves it, 2 mirrors it left to right, 3 turns it half
// round, 4 mirrors it top to bottom, 5 mirrors it about the diagonal from the top-left corner, 6 turns it a
// quarter clockwise, 7 mirrors it about the other diagonal, 8 turns it a quarter anticlockwise. 5 to 8 swap width
// and height. Any other value leaves the photo alone. Returns false, with the photo untouched, only when the
// memory for a turned copy cannot be had.
[[nodiscard]] bool ApplyExifOrientation(Bitmap& photo, int orientation);

} // namespace vellicam
