// Moving pictures between the engine's packed 24-bit bitmaps and Qt's images.
#pragma once

#include "image/bitmap.h"

#include <QImage>

namespace vellicam {

// An opaque copy (Format_BGR888, the engine's byte order; rows copied one by one because QImage pads them).
[[nodiscard]] QImage ToQImage(const Bitmap& bitmap);
// A copy in which every pixel of colour `key` is see-through (Format_ARGB32_Premultiplied).
[[nodiscard]] QImage ToKeyedQImage(const Bitmap& bitmap, Rgb key);
// The image's pixels as a 24-bit bitmap; false when the bitmap cannot be allocated.
[[nodiscard]] bool FromQImage(const QImage& image, Bitmap& bitmap);

} // namespace vellicam
